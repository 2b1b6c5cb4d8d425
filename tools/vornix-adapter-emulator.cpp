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
#include "sim/trafficoptions.h"
#include "tools/support/arguments.h"
#include "tools/support/messages.h"
#include "tools/support/stopsignals.h"

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

using exitstatus::CANNOT_START;
using exitstatus::FAILED;
using tool::fail;

const QString PROFILE = QStringLiteral("profile");
const QString SECONDS = QStringLiteral("seconds");

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    tool::describeProgram(parser, QStringLiteral("vornix-adapter-emulator"), QStringLiteral(
        "Serves an emulated serial CAN adapter on a pseudo-terminal and prints its device path.\n"
        "Traffic starts with the configuration command (\"Configure and start\"); the identifier\n"
        "filter list sent to it is applied. Runs until Ctrl+C (SIGINT, SIGTERM) or --seconds."));
    parser.addOptions({
        {PROFILE, QStringLiteral("Traffic to send: truck (default), load or replay."),
         QStringLiteral("truck|load|replay")},
        sim::trafficOption(sim::RATE_OPTION,
                           QStringLiteral("Frames per second in total for the load profile (default 1000).")),
        sim::trafficOption(sim::IDS_OPTION, QStringLiteral("Number of identifiers for the load profile (default 64).")),
        sim::trafficOption(sim::REPLAY_OPTION,
                           QStringLiteral("Replay a recording at its recorded timing: %1, by extension or content "
                                          "(implies --profile replay).")
                               .arg(formats::formatDescriptionList())),
        sim::trafficOption(sim::LOOP_OPTION, QStringLiteral("Replay the recording over and over.")),
        sim::trafficOption(sim::SPEED_OPTION, QStringLiteral("Replay F times as fast (0.1 to 100, default 1).")),
        sim::trafficOption(sim::START_OPTION, QStringLiteral("Skip the first S seconds of the recording.")),
        {SECONDS, QStringLiteral("Stop after S seconds instead of waiting for Ctrl+C."), QStringLiteral("S")},
    });
    int status = exitstatus::DONE;
    if (!tool::parseArguments(parser, status, QStringLiteral("\nTry --help.")))
        return status;
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()),
                    CANNOT_START);

    sim::TrafficOptions traffic;
    double seconds = -1;
    QString error;
    if (!sim::readTrafficOptions(parser, traffic, &error) || !sim::readNumberOption(parser, SECONDS, 1e-3, 1e9, seconds, &error))
        return fail(QStringLiteral("--rate and --ids take a number from 1 to 100000, --speed one from 0.1 to 100, "
                                   "--seconds one above 0, --start one from 0"),
                    CANNOT_START);
    QString profile = parser.value(PROFILE);
    if (profile.isEmpty())
        profile = traffic.replay.path.isEmpty() ? QStringLiteral("truck") : QStringLiteral("replay");
    if (profile == QLatin1String("truck")) {
        traffic.profile = sim::TrafficOptions::Profile::Truck;
    } else if (profile == QLatin1String("load")) {
        traffic.profile = sim::TrafficOptions::Profile::Load;
    } else if (profile == QLatin1String("replay")) {
        if (traffic.replay.path.isEmpty())
            return fail(QStringLiteral("--profile replay needs --replay FILE"), CANNOT_START);
        traffic.profile = sim::TrafficOptions::Profile::Replay;
    } else {
        return fail(QStringLiteral("unknown profile %1 (truck, load or replay)").arg(profile), CANNOT_START);
    }
    std::unique_ptr<sim::TrafficSource> source = sim::openTraffic(traffic, &error);
    if (!source)
        return fail(error, FAILED);
    const QString description = source->describe();

    // The signals are taken synchronously by this thread; the emulator's worker
    // inherits the blocked mask and never sees them.
    const sigset_t stopSignals = tool::blockStopSignals();
    std::signal(SIGPIPE, SIG_IGN);

    sim::AdapterEmulator emulator(std::move(source));
    emulator.setEventHandler([](const QString &event) {
        std::fprintf(stderr, "%s\n", qPrintable(event));
    });
    if (!emulator.start(&error))
        return fail(error, FAILED);
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
    return exitstatus::DONE;
}
