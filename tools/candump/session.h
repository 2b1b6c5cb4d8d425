#pragma once

// One run of vornix-candump: the port opened at the COM rate, the capture
// started, the adapter's commands sent and the link's reader feeding the
// capture; then the wait for what ends it (a stop signal, the count, the
// time, the adapter going away, the output failing), with a status line on
// a terminal; then everything stopped in order.

#include "link/serialmanager.h"
#include "tools/candump/capture.h"
#include "tools/candump/options.h"
#include "tools/candump/summary.h"
#include "tools/support/statusline.h"
#include "tools/support/stopwait.h"

#include <QString>

#include <chrono>
#include <csignal>
#include <memory>

namespace candump {

class Session
{
public:
    // `stopSignals` are blocked (tool::blockStopSignals) and taken here.
    Session(const Options &options, const sigset_t &stopSignals);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // Opens the port and the output, sends the adapter its commands and
    // starts the reader. False, with *error set, when any of it fails; a
    // file made for the capture is then removed again.
    bool start(QString *error);
    // Waits until the capture ends; says why ("stopped by SIGINT").
    QString run();
    // The reader first, then the writer (whole lines), then the port; the
    // status line is cleared. What the summary says, with the exit status.
    Summary finish(const QString &stopReason);

private:
    using Clock = tool::StopWait::Clock;

    // The status line's text: the rate since the last one, the counts, the file.
    QString statusText(Clock::time_point now);

    const Options &options;
    tool::StopWait waits;
    serialManager link;
    std::unique_ptr<capture::Capture> capture;
    bool reading = false;
    tool::StatusLine status;
    Clock::time_point started;
    Clock::time_point lastStatus;
    quint64 lastFrames = 0;
};

} // namespace candump
