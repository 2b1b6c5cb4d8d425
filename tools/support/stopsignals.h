#pragma once

// The signals that stop a command-line tool (Ctrl+C, kill, a closed terminal).
// Blocked before any thread starts, so that every thread inherits the mask and
// only the tool's main loop takes them, synchronously (sigtimedwait, signalfd).

#include <csignal>
#include <pthread.h>

namespace tool {

inline sigset_t blockStopSignals()
{
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    return stopSignals;
}

} // namespace tool
