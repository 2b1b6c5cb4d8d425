// vornix-slcan: presents the serial CAN adapter as an SLCAN (Lawicel) device
// on a pseudo-terminal, for python-can, SavvyCAN, CANgaroo, slcand and the
// other programs that speak SLCAN.
//
//   vornix-slcan PORT [-b BAUD] [-r RATE] [--link PATH]
//
// It opens the adapter's port as the window does and runs the link's reader,
// whose frames go to the bridge (tools/slcan/bridge.h) instead of the live
// store; the bridge answers the client's commands on the terminal and writes
// it the frame lines. The terminal's path goes to standard output.
//
// Exit status: 0 stopped by a signal; 2 a command line, port or link path
// that does not do; 3 the adapter went away.

#include "tools/slcan/bridge.h"
#include "tools/slcan/options.h"
#include "tools/slcan/terminallink.h"
#include "tools/support/arguments.h"
#include "tools/support/messages.h"
#include "tools/support/statusline.h"
#include "tools/support/stopsignals.h"
#include "tools/support/stopwait.h"

#include "link/serialmanager.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <sys/resource.h>

namespace {

using Clock = tool::StopWait::Clock;

QString clientState(const SlcanBridge &bridge)
{
    return bridge.clientPresent() ? QStringLiteral("client ") + QLatin1String(slcan::channelName(bridge.channel()))
                                  : QStringLiteral("no client");
}

// Until a stop signal or the adapter's going away; the status line once a
// second. Returns why it ended.
QString runUntilStopped(const SlcanBridge &bridge, tool::StopWait &waits, const QString &port, tool::StatusLine &status)
{
    const Clock::time_point started = Clock::now();
    Clock::time_point nextStatus = started + std::chrono::seconds(1);
    Clock::time_point lastStatus = started;
    quint64 lastFrames = 0;
    for (;;) {
        QString why;
        if (!waits.wait(status.onTerminal() ? nextStatus : Clock::time_point::max(), &why))
            return why;
        if (bridge.deviceGone())
            return QStringLiteral("the adapter on %1 went away").arg(port);
        const Clock::time_point now = Clock::now();
        if (status.onTerminal() && now >= nextStatus) {
            const quint64 frames = bridge.framesReceived();
            const double span = std::chrono::duration<double>(now - lastStatus).count();
            status.show(QStringLiteral("%1 frames/s  %2 forwarded  %3 dropped  %4")
                            .arg(span > 0 ? double(frames - lastFrames) / span : 0.0, 0, 'f', 0)
                            .arg(bridge.framesForwarded())
                            .arg(bridge.framesDropped())
                            .arg(clientState(bridge)));
            lastFrames = frames;
            lastStatus = now;
            while (nextStatus <= now)
                nextStatus += std::chrono::seconds(1);
        }
    }
}

void printSummary(const SlcanBridge &bridge, quint64 invalidFrames, const QString &stopReason, double seconds)
{
    const auto number = [](quint64 n) { return static_cast<unsigned long long>(n); };
    const quint64 frames = bridge.framesReceived();
    tool::note(stopReason);
    std::fprintf(stderr, "frames:          %llu (%.1f frames/s)\n", number(frames),
                 seconds > 0 ? double(frames) / seconds : 0.0);
    std::fprintf(stderr, "forwarded:       %llu\n", number(bridge.framesForwarded()));
    std::fprintf(stderr, "dropped:         %llu (the client did not read them in time)\n",
                 number(bridge.framesDropped()));
    if (bridge.framesFiltered() > 0)
        std::fprintf(stderr, "filtered:        %llu (acceptance code and mask)\n", number(bridge.framesFiltered()));
    if (bridge.framesCut() > 0)
        std::fprintf(stderr, "cut to 8 bytes:  %llu\n", number(bridge.framesCut()));
    if (bridge.framesOutOfRange() > 0)
        std::fprintf(stderr, "left out:        %llu (identifier beyond its kind's range)\n",
                     number(bridge.framesOutOfRange()));
    std::fprintf(stderr, "invalid frames:  %llu (header or checksum test)\n", number(invalidFrames));
    std::fprintf(stderr, "commands:        %llu (%llu refused, %llu of them transmit)\n", number(bridge.commands()),
                 number(bridge.commandsRefused()), number(bridge.transmitsRefused()));
    std::fprintf(stderr, "duration:        %.3f s\n", seconds);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::fprintf(stderr, "cpu:             %.3f s\n",
                 double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
                     + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6);
}

} // namespace

int main(int argc, char *argv[])
{
    // The stop signals are taken by the main loop through a signalfd; every
    // thread started later inherits the blocked mask and never sees them.
    const sigset_t stopSignals = tool::blockStopSignals();
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);

    // ---- the command line ----
    QCommandLineParser parser;
    slcantool::describeOptions(parser);
    int status = exitstatus::DONE;
    if (!tool::parseArguments(parser, status))
        return status;
    slcantool::Options options;
    QString error;
    if (!slcantool::readOptions(parser, options, &error))
        return tool::fail(error);

    // ---- the port, the bridge, the terminal ----
    serialManager link;
    link.setBaudRate(options.baud);
    if (!link.openPort(options.port))
        return tool::fail(QStringLiteral("cannot open %1: %2").arg(options.port, link.errorString()));
    tool::StopWait waits(stopSignals);
    if (!waits.ready())
        return tool::fail(QStringLiteral("cannot create the descriptors to wait on"));
    SlcanBridge bridge(link, options.fixedRate, waits.wakeDescriptor());
    // Whatever the adapter sent before is no client's. The reader runs from
    // here on, since it also carries the configuration commands out.
    link.discardInput();
    link.setFrameSink(&bridge);
    link.startReading();
    const auto shutDown = [&] {
        bridge.stop();
        link.stopReading();
        link.setFrameSink(nullptr);
        link.closePort();
    };
    slcantool::TerminalLink terminalLink;
    if (!bridge.start(&error)
        || (!options.linkPath.isEmpty() && !terminalLink.make(options.linkPath, bridge.terminalPath(), &error))) {
        shutDown();
        return tool::fail(error);
    }
    std::fprintf(stdout, "%s\n", qPrintable(bridge.terminalPath()));
    std::fflush(stdout);

    // ---- until a signal or the adapter ends it ----
    const Clock::time_point started = Clock::now();
    tool::StatusLine statusLine;
    const QString stopReason = runUntilStopped(bridge, waits, options.port, statusLine);

    // ---- finish: the client side, then the reader, then the port ----
    shutDown();
    terminalLink.remove();
    statusLine.clear();
    printSummary(bridge, link.invalidFrames(), stopReason,
                 std::chrono::duration<double>(Clock::now() - started).count());
    return bridge.deviceGone() ? exitstatus::DEVICE_GONE : exitstatus::DONE;
}
