#pragma once

// What a tool's main loop waits on: the stop signals (blocked before by
// blockStopSignals, taken here through a signalfd), a word from one of the
// tool's threads (an eventfd that thread writes to) and the next time the
// loop has something to do.

#include <QString>

#include <chrono>
#include <csignal>

namespace tool {

class StopWait
{
public:
    using Clock = std::chrono::steady_clock;

    explicit StopWait(const sigset_t &stopSignals);
    ~StopWait();
    StopWait(const StopWait &) = delete;
    StopWait &operator=(const StopWait &) = delete;

    // False when a descriptor could not be made; the tool cannot start then.
    bool ready() const { return signalFd >= 0 && wakeFd >= 0; }
    // The eventfd a thread writes to (8 bytes, any count) to wake the loop.
    int wakeDescriptor() const { return wakeFd; }

    // Waits for a stop signal, a word on the eventfd (taken here) or `due`
    // (Clock::time_point::max(): no time). True when the loop goes on: it
    // then looks itself at what changed. False when it is to stop, with
    // *why saying so ("stopped by SIGINT", or why waiting failed).
    bool wait(Clock::time_point due, QString *why);

private:
    int signalFd = -1;
    int wakeFd = -1;
};

} // namespace tool
