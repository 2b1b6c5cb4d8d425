#include "sim/trafficoptions.h"

#include <QCommandLineParser>

#include <type_traits>

namespace sim {

namespace {

// Both counts of the load profile.
constexpr int MIN_COUNT = 1;
constexpr int MAX_COUNT = 100000;
// The most of a recording --start skips.
constexpr double MAX_START_SECONDS = 1e9;

// The option's value as a number from `low` to `high`, whole when Number is.
template <typename Number>
bool readValue(const QCommandLineParser &parser, const QString &name, Number low, Number high, Number &value,
               QString *error)
{
    if (!parser.isSet(name))
        return true;
    constexpr bool whole = std::is_integral_v<Number>;
    bool ok = false;
    const QString text = parser.value(name);
    const Number number = whole ? Number(text.toInt(&ok)) : Number(text.toDouble(&ok));
    if (!ok || !(number >= low && number <= high)) {
        *error = QStringLiteral("--%1 takes a %2 from %3 to %4, not \"%5\"")
                     .arg(name, whole ? QStringLiteral("whole number") : QStringLiteral("number"))
                     .arg(low)
                     .arg(high)
                     .arg(text);
        return false;
    }
    value = number;
    return true;
}

} // namespace

QCommandLineOption trafficOption(const QString &name, const QString &description)
{
    if (name == LOOP_OPTION)
        return {name, description};
    const QString valueName = name == REPLAY_OPTION ? QStringLiteral("FILE")
                              : name == SPEED_OPTION ? QStringLiteral("F")
                              : name == START_OPTION ? QStringLiteral("S")
                                                     : QStringLiteral("N");
    return {name, description, valueName};
}

bool readNumberOption(const QCommandLineParser &parser, const QString &name, double low, double high, double &value,
                      QString *error)
{
    return readValue(parser, name, low, high, value, error);
}

bool readTrafficOptions(const QCommandLineParser &parser, TrafficOptions &options, QString *error)
{
    if (parser.isSet(REPLAY_OPTION))
        options.replay.path = parser.value(REPLAY_OPTION);
    options.replay.loop = parser.isSet(LOOP_OPTION);
    return readValue(parser, RATE_OPTION, MIN_COUNT, MAX_COUNT, options.loadRate, error)
           && readValue(parser, IDS_OPTION, MIN_COUNT, MAX_COUNT, options.loadIds, error)
           && readNumberOption(parser, SPEED_OPTION, MIN_REPLAY_SPEED, MAX_REPLAY_SPEED, options.replay.speed, error)
           && readNumberOption(parser, START_OPTION, 0, MAX_START_SECONDS, options.replay.startSeconds, error);
}

std::unique_ptr<TrafficSource> openTraffic(const TrafficOptions &options, QString *error)
{
    switch (options.profile) {
    case TrafficOptions::Profile::Truck:
        return std::make_unique<TruckTraffic>();
    case TrafficOptions::Profile::Load:
        return std::make_unique<LoadTraffic>(options.loadIds, options.loadRate);
    case TrafficOptions::Profile::Replay:
        break;
    }
    return ReplayTraffic::open(options.replay, error);
}

} // namespace sim
