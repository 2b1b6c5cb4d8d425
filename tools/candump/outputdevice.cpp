#include "tools/candump/outputdevice.h"

#include "tools/support/messages.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace capture {

std::unique_ptr<OutputDevice> OutputDevice::standardOutput()
{
    auto device = std::unique_ptr<OutputDevice>(new OutputDevice(STDOUT_FILENO, false, QString()));
    const off_t at = ::lseek(STDOUT_FILENO, 0, SEEK_CUR);
    device->offset = device->recordEnd = at > 0 ? qint64(at) : 0;
    return device;
}

std::unique_ptr<OutputDevice> OutputDevice::create(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0)
        return nullptr;
    return std::unique_ptr<OutputDevice>(new OutputDevice(fd, true, path));
}

OutputDevice::OutputDevice(int descriptor, bool own, const QString &name)
    : fd(descriptor)
    , owned(own)
    , filePath(name)
{
    // Only files of ours are sought in: standard output is written in order.
    struct stat st{};
    regularFile = own && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

bool OutputDevice::seek(qint64 position)
{
    if (!regularFile || ::lseek(fd, off_t(position), SEEK_SET) < 0 || !QIODevice::seek(position))
        return false;
    offset = position;
    return true;
}

OutputDevice::~OutputDevice()
{
    if (owned && fd >= 0)
        ::close(fd);
}

qint64 OutputDevice::cutToWholeRecords()
{
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    if (qint64(st.st_size) > recordEnd && ::ftruncate(fd, off_t(recordEnd)) != 0)
        return qint64(st.st_size);
    return std::min<qint64>(recordEnd, qint64(st.st_size));
}

bool OutputDevice::closeFile(bool sync)
{
    if (!owned || fd < 0)
        return true;
    if (sync && ::fdatasync(fd) != 0 && errno != EINVAL) {
        const int syncError = errno;
        ::close(fd);
        fd = -1;
        errno = syncError;
        return false;
    }
    const bool ok = ::close(fd) == 0;
    fd = -1;
    return ok;
}

qint64 OutputDevice::writeData(const char *data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size_t(size - done));
        if (n > 0) {
            if (wholeWrites) {
                if (done + n == size)
                    recordEnd = std::max(recordEnd, offset + n);
            } else if (const void *feed = ::memrchr(data + done, '\n', size_t(n))) {
                recordEnd = offset + (static_cast<const char *>(feed) - (data + done)) + 1;
            }
            offset += n;
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // A non-blocking standard output: wait until it takes more.
            pollfd pfd{fd, POLLOUT, 0};
            ::poll(&pfd, 1, -1);
            continue;
        }
        errorNumber = n < 0 ? errno : EIO;
        setErrorString(tool::errorText(errorNumber));
        break;
    }
    return done > 0 ? done : -1;
}

} // namespace capture
