#include "sim/ptydevice.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

bool setNonBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

} // namespace

PtyDevice::~PtyDevice()
{
    close();
}

bool PtyDevice::open()
{
    close();
    // Close-on-exec: a program started from this process (a tool under test)
    // must not hold the master open, or closing it would not hang up the slave.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0)
        return false;
    char name[128];
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0
        || ::ptsname_r(master, name, sizeof name) != 0) {
        ::close(master);
        return false;
    }
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) {
        ::close(master);
        return false;
    }
    // Raw mode: no echo back to the master, no line editing, no CR/LF mapping,
    // every byte passes through unchanged in both directions.
    termios tio;
    if (::tcgetattr(slave, &tio) != 0) {
        ::close(slave);
        ::close(master);
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(slave, TCSANOW, &tio) != 0 || !setNonBlocking(master)) {
        ::close(slave);
        ::close(master);
        return false;
    }
    masterFd_ = master;
    slaveFd_ = slave;
    slavePath_ = QString::fromLocal8Bit(name);
    return true;
}

void PtyDevice::close()
{
    closeMaster();
    releaseSlave();
}

void PtyDevice::flushSlaveInput()
{
    if (slaveFd_ >= 0)
        ::tcflush(slaveFd_, TCIFLUSH);
}

void PtyDevice::releaseSlave()
{
    if (slaveFd_ >= 0) {
        ::close(slaveFd_);
        slaveFd_ = -1;
    }
}

void PtyDevice::closeMaster()
{
    if (masterFd_ >= 0) {
        ::close(masterFd_);
        masterFd_ = -1;
    }
}

qint64 PtyDevice::readAvailable(QByteArray &out)
{
    if (masterFd_ < 0)
        return -1;
    qint64 total = 0;
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(masterFd_, chunk, sizeof chunk);
        if (n > 0) {
            out.append(chunk, int(n));
            total += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return total;
        // End of file or EIO: the slave side has no reader any more. Bytes
        // read before that still count.
        return total > 0 ? total : (n == 0 || errno == EIO ? 0 : -1);
    }
}

qint64 PtyDevice::writeSome(const char *data, qint64 size)
{
    if (masterFd_ < 0)
        return -1;
    for (;;) {
        const ssize_t n = ::write(masterFd_, data, size_t(size));
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        return -1;
    }
}

bool PtyDevice::writeAll(const QByteArray &data, int timeoutMs)
{
    const char *p = data.constData();
    qint64 left = data.size();
    while (left > 0) {
        const qint64 n = writeSome(p, left);
        if (n < 0)
            return false;
        if (n == 0) {
            // The pty buffer is full: wait until the slave side drained some.
            pollfd pfd{masterFd_, POLLOUT, 0};
            const int r = ::poll(&pfd, 1, timeoutMs);
            if (r == 0)
                return false;
            if (r < 0 && errno != EINTR)
                return false;
            if (r > 0 && (pfd.revents & (POLLERR | POLLNVAL)))
                return false;
            continue;
        }
        p += n;
        left -= n;
    }
    return true;
}

bool PtyDevice::waitReadable(int timeoutMs)
{
    if (masterFd_ < 0)
        return false;
    pollfd pfd{masterFd_, POLLIN, 0};
    const int r = ::poll(&pfd, 1, timeoutMs);
    return r > 0 && (pfd.revents & POLLIN);
}

bool PtyDevice::waitWritable(int timeoutMs)
{
    if (masterFd_ < 0)
        return false;
    pollfd pfd{masterFd_, POLLOUT, 0};
    const int r = ::poll(&pfd, 1, timeoutMs);
    return r > 0 && (pfd.revents & POLLOUT);
}

} // namespace sim
