#include "app/commandline.h"

#include "formats/formattable.h"
#include "sim/replaytraffic.h"

#include <QCommandLineParser>

namespace {

const QString DEMO = QStringLiteral("demo");
const QString RATE = QStringLiteral("rate");
const QString IDS = QStringLiteral("ids");
const QString REPLAY = QStringLiteral("replay");
const QString LOOP = QStringLiteral("loop");
const QString SPEED = QStringLiteral("speed");
const QString START = QStringLiteral("start");
const QString FMS_VALID_ONLY = QStringLiteral("fms-valid-only");
const QString TRUCK = QStringLiteral("truck");
const QString LOAD = QStringLiteral("load");

bool readCount(const QCommandLineParser &parser, const QString &name, int &value, QString *error)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const int number = parser.value(name).toInt(&ok);
    if (!ok || number < 1 || number > 100000) {
        *error = QStringLiteral("--%1 takes a whole number from 1 to 100000, not \"%2\"")
                     .arg(name, parser.value(name));
        return false;
    }
    value = number;
    return true;
}

bool readNumber(const QCommandLineParser &parser, const QString &name, double low, double high, double &value,
                QString *error)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const double number = parser.value(name).toDouble(&ok);
    if (!ok || !(number >= low && number <= high)) {
        *error = QStringLiteral("--%1 takes a number from %2 to %3, not \"%4\"")
                     .arg(name)
                     .arg(low)
                     .arg(high)
                     .arg(parser.value(name));
        return false;
    }
    value = number;
    return true;
}

} // namespace

void addProgramOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Vornix Can Analyzer: a CAN-bus monitor for serial CAN adapters.\n"
        "Without options the program starts as always: it lists the serial ports of\n"
        "the system, and a port is opened, configured and recorded from the window."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({DEMO,
                      QStringLiteral("List a simulated adapter (a pseudo-terminal) after the real ports and "
                                     "preselect it. Profile truck (the default): a truck's FMS traffic; load: "
                                     "--ids identifiers at --rate frames/s."),
                      QStringLiteral("truck|load")});
    parser.addOption({RATE, QStringLiteral("Frames per second of the load profile (1 to 100000, default 1000)."),
                      QStringLiteral("N")});
    parser.addOption({IDS, QStringLiteral("Identifiers of the load profile (1 to 100000, default 64)."),
                      QStringLiteral("N")});
    parser.addOption({REPLAY,
                      QStringLiteral("List a simulated adapter that plays FILE at its recorded timing: %1, by "
                                     "extension or content. OPEN and \"Configure and start\" (any CAN rate) start it.")
                          .arg(formats::formatDescriptionList()),
                      QStringLiteral("FILE")});
    parser.addOption({LOOP, QStringLiteral("Play the replay over and over.")});
    parser.addOption({SPEED, QStringLiteral("Play the replay F times as fast (0.1 to 100, default 1)."),
                      QStringLiteral("F")});
    parser.addOption({START, QStringLiteral("Skip the first S seconds of the replay."), QStringLiteral("S")});
    parser.addOption({FMS_VALID_ONLY,
                      QStringLiteral("The FMS panel leaves out J1939 \"not available\" and \"error\" values (raw "
                                     "values above 0xFA, 0xFAFF, 0xFAFFFFFF): a parameter that sends one keeps its "
                                     "last value, and of several senders the highest identifier with a valid value "
                                     "is shown.")});
}

QStringList withDemoProfile(const QStringList &arguments)
{
    QStringList out;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        const bool bare = argument == QLatin1String("--demo") || argument == QLatin1String("-demo");
        const bool profileFollows = i + 1 < arguments.size()
                                    && (arguments.at(i + 1) == TRUCK || arguments.at(i + 1) == LOAD);
        out << (bare && !profileFollows ? QStringLiteral("--demo=truck") : argument);
    }
    return out;
}

bool readProgramOptions(const QCommandLineParser &parser, ProgramOptions &options, QString *error)
{
    options.fmsValidOnly = parser.isSet(FMS_VALID_ONLY);
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first());
        return false;
    }
    if (parser.isSet(DEMO)) {
        const QString profile = parser.value(DEMO);
        if (profile == TRUCK) {
            options.simulation = ProgramOptions::Simulation::Truck;
        } else if (profile == LOAD) {
            options.simulation = ProgramOptions::Simulation::Load;
        } else {
            *error = QStringLiteral("--demo takes the profile truck or load, not \"%1\"").arg(profile);
            return false;
        }
    }
    if (parser.isSet(REPLAY)) {
        if (parser.isSet(DEMO)) {
            *error = QStringLiteral("--demo and --replay do not go together");
            return false;
        }
        options.simulation = ProgramOptions::Simulation::Replay;
        options.replayFile = parser.value(REPLAY);
        options.loop = parser.isSet(LOOP);
    } else if (parser.isSet(LOOP) || parser.isSet(SPEED) || parser.isSet(START)) {
        *error = QStringLiteral("--loop, --speed and --start go with --replay FILE");
        return false;
    }
    if ((parser.isSet(RATE) || parser.isSet(IDS)) && options.simulation != ProgramOptions::Simulation::Load) {
        *error = QStringLiteral("--rate and --ids go with --demo load");
        return false;
    }
    return readCount(parser, RATE, options.loadRate, error) && readCount(parser, IDS, options.loadIds, error)
           && readNumber(parser, SPEED, sim::MIN_REPLAY_SPEED, sim::MAX_REPLAY_SPEED, options.speed, error)
           && readNumber(parser, START, 0, 1e9, options.startSeconds, error);
}

QString versionText()
{
    return QStringLiteral("Vornix Can Analyzer ") + QStringLiteral(VORNIX_VERSION);
}
