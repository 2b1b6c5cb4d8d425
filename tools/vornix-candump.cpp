// vornix-candump: logs the traffic of the serial CAN adapter without a window,
// like can-utils' candump does for SocketCAN interfaces.
//
//   vornix-candump PORT -r RATE [-b BAUD] [--show ID,...|--exclude ID,...]
//                  [-o FILE [--rotate-size MB] [--rotate-time S]] [-n COUNT] [-t SECONDS]
//
// It opens the port as the window does, sends the configuration command (and
// the filter-list command when identifiers are given) and runs the link's
// reader, whose frames go to a capture (tools/candump/capture.h) instead of
// the live store: candump -L lines on standard output, or a file in the
// format of its extension.
//
// Exit status: 0 stopped by a signal, the count, the time or a closed
// standard output; 2 a command line, port or output file that does not do
// (or a standard output closed from the start); 3 the adapter went away;
// 4 the output could not be written (full disk, file-size limit).
//
// Installed as vornix-candump-capture, started by vornix-candump
// (candumplauncher.cpp), which blocks the stop signals before this
// program's libraries load.

#include "tools/candump/options.h"
#include "tools/candump/session.h"
#include "tools/candump/summary.h"
#include "tools/support/arguments.h"
#include "tools/support/messages.h"
#include "tools/support/standardstreams.h"
#include "tools/support/stopsignals.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>

int main(int argc, char *argv[])
{
    // The stop signals are taken by the main loop through a signalfd; every
    // thread started later inherits the blocked mask and never sees them.
    const sigset_t stopSignals = tool::blockStopSignals();
    // A closed standard output shows as a failed write, not as a signal; so
    // does a file-size limit (ulimit -f), which then ends the capture like a
    // full disk: whole lines kept, the loss counted.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    const int closedStreams = tool::holdClosedStandardStreams();
    QCoreApplication app(argc, argv);

    // parse: the command line, checked
    QCommandLineParser parser;
    candump::describeOptions(parser);
    int status = exitstatus::DONE;
    if (!tool::parseArguments(parser, status))
        return status;
    candump::Options options;
    QString error;
    if (!candump::readOptions(parser, options, &error))
        return tool::fail(error);
    if (options.output.toStandardOutput && (closedStreams & tool::STANDARD_OUTPUT_CLOSED))
        return tool::fail(QStringLiteral("standard output is closed; give -o FILE to write a file"));

    // plan: the port, the output and the adapter's commands in place
    candump::Session session(options, stopSignals);
    if (!session.start(&error))
        return tool::fail(error);

    // run: until a signal, the count, the time, the device or the output ends it
    const QString stopReason = session.run();

    // summary
    const candump::Summary summary = session.finish(stopReason);
    candump::printSummary(summary);
    return summary.status;
}
