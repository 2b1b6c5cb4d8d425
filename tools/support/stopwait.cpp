#include "tools/support/stopwait.h"

#include "tools/support/messages.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace tool {

StopWait::StopWait(const sigset_t &stopSignals)
    : signalFd(::signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK))
    , wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

StopWait::~StopWait()
{
    for (const int fd : {signalFd, wakeFd})
        if (fd >= 0)
            ::close(fd);
}

bool StopWait::wait(Clock::time_point due, QString *why)
{
    int timeoutMs = -1;
    if (due != Clock::time_point::max()) {
        // Rounded up, so that the loop does not wake just before `due` and
        // wait again for no time at all.
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(due - Clock::now()).count();
        timeoutMs = left <= 0 ? 0 : int(std::min<long long>((left + 999) / 1000, 24LL * 3600 * 1000));
    }
    pollfd fds[2] = {{signalFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    const int ready = ::poll(fds, 2, timeoutMs);
    if (ready < 0 && errno != EINTR) { // not expected to happen; stop in order all the same
        *why = QStringLiteral("waiting failed: %1").arg(errorText(errno));
        return false;
    }
    if (ready > 0 && (fds[0].revents & POLLIN)) {
        signalfd_siginfo info{};
        if (::read(signalFd, &info, sizeof info) == ssize_t(sizeof info))
            *why = QStringLiteral("stopped by SIG%1").arg(QString::fromLatin1(sigabbrev_np(int(info.ssi_signo))));
        else
            *why = QStringLiteral("stopped by a signal");
        return false;
    }
    if (ready > 0 && (fds[1].revents & POLLIN)) {
        quint64 count = 0;
        if (::read(wakeFd, &count, sizeof count) < 0) {
            // Nothing to take: the caller's state tells what happened.
        }
    }
    return true;
}

} // namespace tool
