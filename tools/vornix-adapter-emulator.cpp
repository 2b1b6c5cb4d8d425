// Command-line CAN adapter emulator: serves a pseudo-terminal that behaves like
// the serial CAN adapter, so that the analyzer (or anything else that speaks the
// adapter's byte formats) can be tried without hardware.
//
//   vornix-adapter-emulator [--profile truck|load|replay] [--rate N] [--ids N]
//                           [--replay FILE] [--loop] [--speed F] [--start S] [--seconds S]
//
// The first line on standard output is the device path to open. Traffic starts
// when the program sends its configuration command ("Configure and start").
// Runs until SIGINT/SIGTERM or for S seconds, then prints one line with the
// frames sent and the achieved rate.

#include "formats/formattable.h"
#include "sim/emulator.h"
#include "sim/replaytraffic.h"
#include "tools/stopsignals.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <memory>

namespace {

int fail(const QString &message, int status)
{
    std::fprintf(stderr, "vornix-adapter-emulator: %s\n", qPrintable(message));
    return status;
}

// The option's value as a number within [low, high]; false when it is not one.
bool readNumber(const QCommandLineParser &parser, const QString &name, double low, double high, double &value)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const double number = parser.value(name).toDouble(&ok);
    if (!ok || number < low || number > high)
        return false;
    value = number;
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vornix-adapter-emulator"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VORNIX_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Serves an emulated serial CAN adapter on a pseudo-terminal and prints its device path.\n"
        "Traffic starts with the configuration command (\"Configure and start\"); the identifier\n"
        "filter list sent to it is applied. Runs until Ctrl+C (SIGINT, SIGTERM) or --seconds."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("profile"), QStringLiteral("Traffic to send: truck (default), load or replay."),
         QStringLiteral("truck|load|replay")},
        {QStringLiteral("rate"), QStringLiteral("Frames per second in total for the load profile (default 1000)."),
         QStringLiteral("N")},
        {QStringLiteral("ids"), QStringLiteral("Number of identifiers for the load profile (default 64)."),
         QStringLiteral("N")},
        {QStringLiteral("replay"),
         QStringLiteral("Replay a recording at its recorded timing: %1, by extension or content (implies "
                        "--profile replay).")
             .arg(formats::formatDescriptionList()),
         QStringLiteral("FILE")},
        {QStringLiteral("loop"), QStringLiteral("Replay the recording over and over.")},
        {QStringLiteral("speed"), QStringLiteral("Replay F times as fast (0.1 to 100, default 1)."), QStringLiteral("F")},
        {QStringLiteral("start"), QStringLiteral("Skip the first S seconds of the recording."), QStringLiteral("S")},
        {QStringLiteral("seconds"), QStringLiteral("Stop after S seconds instead of waiting for Ctrl+C."),
         QStringLiteral("S")},
    });
    if (!parser.parse(QCoreApplication::arguments()))
        return fail(parser.errorText() + QStringLiteral("\nTry --help."), 2);
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()), 2);

    double rate = 1000;
    double ids = 64;
    double seconds = -1;
    double speed = 1;
    double start = 0;
    if (!readNumber(parser, QStringLiteral("rate"), 1, 100000, rate)
        || !readNumber(parser, QStringLiteral("ids"), 1, 100000, ids)
        || !readNumber(parser, QStringLiteral("seconds"), 1e-3, 1e9, seconds)
        || !readNumber(parser, QStringLiteral("speed"), sim::MIN_REPLAY_SPEED, sim::MAX_REPLAY_SPEED, speed)
        || !readNumber(parser, QStringLiteral("start"), 0, 1e9, start))
        return fail(QStringLiteral("--rate and --ids take a number from 1 to 100000, --speed one from 0.1 to 100, "
                                   "--seconds one above 0, --start one from 0"),
                    2);
    const QString replayFile = parser.value(QStringLiteral("replay"));
    const bool loop = parser.isSet(QStringLiteral("loop"));
    QString profile = parser.value(QStringLiteral("profile"));
    if (profile.isEmpty())
        profile = replayFile.isEmpty() ? QStringLiteral("truck") : QStringLiteral("replay");

    std::unique_ptr<sim::TrafficSource> source;
    if (profile == QLatin1String("truck")) {
        source = std::make_unique<sim::TruckTraffic>();
    } else if (profile == QLatin1String("load")) {
        source = std::make_unique<sim::LoadTraffic>(int(ids), rate);
    } else if (profile == QLatin1String("replay")) {
        if (replayFile.isEmpty())
            return fail(QStringLiteral("--profile replay needs --replay FILE"), 2);
        QString error;
        source = sim::ReplayTraffic::open({replayFile, loop, speed, start}, &error);
        if (!source)
            return fail(error, 1);
    } else {
        return fail(QStringLiteral("unknown profile %1 (truck, load or replay)").arg(profile), 2);
    }
    const QString description = source->describe();

    // The signals are taken synchronously by this thread; the emulator's worker
    // inherits the blocked mask and never sees them.
    const sigset_t stopSignals = blockStopSignals();
    std::signal(SIGPIPE, SIG_IGN);

    sim::AdapterEmulator emulator(std::move(source));
    emulator.setEventHandler([](const QString &event) {
        std::fprintf(stderr, "%s\n", qPrintable(event));
    });
    QString error;
    if (!emulator.start(&error))
        return fail(error, 1);
    std::printf("%s\n", qPrintable(emulator.devicePath()));
    std::fflush(stdout);
    std::fprintf(stderr, "traffic: %s; waiting for the configuration command\n",
                 qPrintable(description));

    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    const qint64 limitNs = seconds > 0 ? qint64(seconds * 1e9) : -1;
    const qint64 startNs = qint64(deadline.tv_sec) * 1000000000LL + deadline.tv_nsec;
    for (;;) {
        timespec wait{1, 0};
        if (limitNs >= 0) {
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            const qint64 left = startNs + limitNs - (qint64(now.tv_sec) * 1000000000LL + now.tv_nsec);
            if (left <= 0)
                break;
            wait.tv_sec = time_t(left / 1000000000LL);
            wait.tv_nsec = long(left % 1000000000LL);
        }
        const int sig = sigtimedwait(&stopSignals, nullptr, &wait);
        if (sig > 0)
            break;
    }

    emulator.stop();
    const sim::AdapterEmulator::Stats s = emulator.stats();
    if (s.configurations == 0) {
        std::printf("frames sent: 0 (no configuration command received)\n");
    } else {
        const double achieved = s.sendingSeconds > 0 ? double(s.framesSent) / s.sendingSeconds : 0.0;
        const double cpuPercent = s.sendingSeconds > 0 ? 100.0 * s.cpuSeconds / s.sendingSeconds : 0.0;
        std::printf("frames sent: %llu in %.3f s (%.1f frames/s), dropped %llu, filtered %llu, "
                    "worker CPU %.3f s (%.1f %%)\n",
                    static_cast<unsigned long long>(s.framesSent), s.sendingSeconds, achieved,
                    static_cast<unsigned long long>(s.framesDropped),
                    static_cast<unsigned long long>(s.framesFiltered), s.cpuSeconds, cpuPercent);
    }
    std::fflush(stdout);
    return 0;
}
