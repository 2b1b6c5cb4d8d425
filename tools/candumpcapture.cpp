#include "tools/candumpcapture.h"

#include <QIODevice>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace capture {

namespace {

// Numbers tried for a free name of a rotated file before giving up.
constexpr int MAX_NAME_TRIES = 100000;

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

QString numberedName(const QString &path, int number)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    int dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash + 1) // no extension (or a name that is all extension)
        dot = path.size();
    return path.left(dot) + QStringLiteral("_%1").arg(number, 4, 10, QLatin1Char('0')) + path.mid(dot);
}

// ---------------------------------------------------------------------------
// The output descriptor: standard output or a file this capture created. It
// remembers where the last whole line written ends, so that after a failed
// write (full disk) the file can be cut back to whole lines.

class Capture::OutputDevice : public QIODevice
{
public:
    static std::unique_ptr<OutputDevice> standardOutput()
    {
        auto device = std::unique_ptr<OutputDevice>(new OutputDevice(STDOUT_FILENO, false, QString()));
        const off_t at = ::lseek(STDOUT_FILENO, 0, SEEK_CUR);
        device->offset = device->lineEnd = at > 0 ? qint64(at) : 0;
        return device;
    }

    // Creates the file; an existing one (or a link of that name) is never
    // opened. errno tells why when nullptr is returned.
    static std::unique_ptr<OutputDevice> create(const QString &path)
    {
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0)
            return nullptr;
        return std::unique_ptr<OutputDevice>(new OutputDevice(fd, true, path));
    }

    ~OutputDevice() override
    {
        if (owned && fd >= 0)
            ::close(fd);
    }

    bool isSequential() const override { return true; }
    int lastError() const { return errorNumber; }
    QString path() const { return filePath; }

    // Cuts a regular file back to the end of the last whole line written.
    // Returns the size it is left with (-1 when it is no regular file).
    qint64 cutToWholeLines()
    {
        struct stat st{};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
            return -1;
        if (qint64(st.st_size) > lineEnd && ::ftruncate(fd, off_t(lineEnd)) != 0)
            return qint64(st.st_size);
        return std::min<qint64>(lineEnd, qint64(st.st_size));
    }

    // Closes a file of ours, first pushing its data to the disk when asked;
    // false (errno set) on failure.
    bool closeFile(bool sync)
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

protected:
    qint64 readData(char *, qint64) override { return -1; }

    qint64 writeData(const char *data, qint64 size) override
    {
        qint64 done = 0;
        while (done < size) {
            const ssize_t n = ::write(fd, data + done, size_t(size - done));
            if (n > 0) {
                if (const void *feed = ::memrchr(data + done, '\n', size_t(n)))
                    lineEnd = offset + (static_cast<const char *>(feed) - (data + done)) + 1;
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
            setErrorString(errnoText(errorNumber));
            break;
        }
        return done > 0 ? done : -1;
    }

private:
    OutputDevice(int descriptor, bool own, const QString &name)
        : fd(descriptor)
        , owned(own)
        , filePath(name)
    {
        QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }

    int fd;
    bool owned;
    QString filePath;
    qint64 offset = 0;  // bytes written so far (from the descriptor's position at the start)
    qint64 lineEnd = 0; // offset just after the last line feed written
    int errorNumber = 0;
};

// ---------------------------------------------------------------------------

Capture::Capture(const Plan &outputPlan, int wake)
    : plan(outputPlan)
    , wakeFd(wake)
{
    // Room for any payload up front, so that frames without data do not give
    // the buffer back and the next frame allocate it again.
    frame.data.reserve(128);
}

Capture::~Capture()
{
    finish();
}

bool Capture::start(QString *error)
{
    if (plan.toStandardOutput) {
        device = OutputDevice::standardOutput();
        formats::WriteOptions options;
        options.channel = plan.channel;
        frameWriter = formats::openWriter(plan.format, device.get(), options);
    } else if (!openNext(error)) {
        return false;
    }
    batch.reserve(4096);
    writer = std::thread(&Capture::writerLoop, this);
    return true;
}

void Capture::finish()
{
    if (!writer.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        closing = true;
    }
    queueChanged.notify_one();
    writer.join();
}

void Capture::wake()
{
    const quint64 one = 1;
    if (::write(wakeFd, &one, sizeof one) < 0) {
        // The counter is already non-zero (or the descriptor is gone at exit):
        // the main thread wakes up either way.
    }
}

QString Capture::failureText() const
{
    std::lock_guard<std::mutex> lock(queueMutex);
    return failureMessage;
}

QStringList Capture::files() const
{
    std::lock_guard<std::mutex> lock(queueMutex);
    return fileNames;
}

QString Capture::currentFile() const
{
    std::lock_guard<std::mutex> lock(queueMutex);
    return fileNames.isEmpty() ? QString() : fileNames.last();
}

// ---------------------------------------------------------------------------
// Reader thread

void Capture::frameReceived(const ReceivedFrame &frame)
{
    if (!accepting)
        return;
    if (plan.filterList) {
        const bool isListed = std::binary_search(plan.listed.begin(), plan.listed.end(), frame.id);
        if (isListed == plan.excludeListed) {
            heldBack.store(heldBack.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
            return;
        }
    }
    Record record;
    record.timeUs = frame.timeUs;
    record.id = frame.id;
    record.standard = frame.standard;
    record.length = quint8(frame.length);
    std::memcpy(record.data, frame.data, sizeof record.data);
    batch.push_back(record);
    // The reader is the only writer of the counter.
    const quint64 count = received.load(std::memory_order_relaxed) + 1;
    received.store(count, std::memory_order_relaxed);
    if (plan.maxFrames > 0 && count >= plan.maxFrames)
        accepting = false;
}

void Capture::readDone()
{
    bool wasEmpty = false;
    if (!batch.empty()) {
        std::size_t dropped = 0;
        {
            std::lock_guard<std::mutex> lock(queueMutex);
            const std::size_t room = queue.size() < MAX_QUEUED ? MAX_QUEUED - queue.size() : 0;
            if (batch.size() > room) {
                dropped = batch.size() - room;
                batch.resize(room);
            }
            wasEmpty = queue.empty();
            if (wasEmpty)
                queue.swap(batch);
            else
                queue.insert(queue.end(), batch.begin(), batch.end());
        }
        batch.clear();
        if (dropped > 0)
            lost.fetch_add(dropped, std::memory_order_relaxed);
        if (wasEmpty)
            queueChanged.notify_one();
    }
    if (!accepting && !limitHit.exchange(true))
        wake();
}

void Capture::readerEnded(bool gone)
{
    if (gone) {
        readerGone = true;
        wake();
    }
}

// ---------------------------------------------------------------------------
// Writer thread

void Capture::writerLoop()
{
    using Clock = std::chrono::steady_clock;
    // Standard output gets its lines as soon as the writer is idle (another
    // program reads them live); a file at least once a second.
    const Clock::duration flushEvery =
        plan.toStandardOutput ? Clock::duration::zero() : Clock::duration(std::chrono::seconds(1));
    Clock::time_point lastFlush = Clock::now();
    std::vector<Record> mine;
    mine.reserve(4096);

    for (;;) {
        bool finishing = false;
        {
            std::unique_lock<std::mutex> lock(queueMutex);
            const auto ready = [this] { return !queue.empty() || closing; };
            if (!ready()) {
                if (frameWriter && !stopped && frameWriter->bytesBuffered() > 0)
                    queueChanged.wait_until(lock, lastFlush + flushEvery, ready);
                else
                    queueChanged.wait(lock, ready);
            }
            mine.swap(queue);
            // closing is set after the reader stopped, and the queue was taken
            // under the same lock: nothing more can come.
            finishing = closing;
        }
        for (const Record &record : mine)
            writeRecord(record);
        mine.clear();
        if (finishing)
            break;
        if (frameWriter && !stopped && frameWriter->bytesBuffered() > 0
            && Clock::now() - lastFlush >= flushEvery) {
            if (!frameWriter->flush())
                fail(Failure::WriteFailed, QString());
            lastFlush = Clock::now();
        }
        countWriter();
    }
    closeCurrent(false);
    countWriter();
}

void Capture::countWriter()
{
    quint64 frames = writtenBefore, cut = truncatedBefore, left = unsupportedBefore;
    if (frameWriter) {
        frames += quint64(frameWriter->framesWritten());
        cut += quint64(frameWriter->truncated());
        left += quint64(frameWriter->unsupported());
    }
    written.store(frames, std::memory_order_relaxed);
    truncated.store(cut, std::memory_order_relaxed);
    unsupported.store(left, std::memory_order_relaxed);
    identifierCount.store(int(identifiers.size()), std::memory_order_relaxed);
}

void Capture::writeRecord(const Record &record)
{
    if (stopped)
        return;
    if (plan.rotateUs > 0 && frameWriter && fileStartUs >= 0 && record.timeUs - fileStartUs >= plan.rotateUs)
        closeCurrent(true);
    if (!frameWriter) {
        QString error;
        if (!openNext(&error)) {
            fail(Failure::WriteFailed, error);
            return;
        }
    }
    if (fileStartUs < 0)
        fileStartUs = record.timeUs;

    frame.timeUs = record.timeUs;
    frame.id = record.id;
    frame.extended = !record.standard;
    const int inFrame = std::min<int>(record.length, wire::FRAME_DATA_IN_FRAME);
    frame.data.resize(record.length);
    char *data = frame.data.data();
    std::memcpy(data, record.data, size_t(inFrame));
    if (record.length > inFrame)
        std::memset(data + inFrame, 0, size_t(record.length - inFrame));
    frameWriter->write(frame);
    identifiers.insert((quint64(frame.extended) << 32) | frame.id);
    if (frameWriter->failed()) {
        fail(Failure::WriteFailed, QString());
        return;
    }
    if (plan.rotateBytes > 0 && frameWriter->bytesWritten() + frameWriter->bytesBuffered() >= plan.rotateBytes)
        closeCurrent(true);
}

bool Capture::openNext(QString *error)
{
    QString path = plan.path;
    std::unique_ptr<OutputDevice> created;
    if (!plan.rotating()) {
        created = OutputDevice::create(path);
        if (!created) {
            *error = errno == EEXIST ? QStringLiteral("%1 exists; choose another name (nothing is overwritten)").arg(path)
                                     : QStringLiteral("cannot create %1: %2").arg(path, errnoText(errno));
            return false;
        }
    } else {
        // The next number whose name is free: files of an earlier run stay.
        for (int tries = 0; !created && tries < MAX_NAME_TRIES; ++tries) {
            path = numberedName(plan.path, ++fileNumber);
            created = OutputDevice::create(path);
            if (!created && errno != EEXIST) {
                *error = QStringLiteral("cannot create %1: %2").arg(path, errnoText(errno));
                return false;
            }
        }
        if (!created) {
            *error = QStringLiteral("no free name left for %1").arg(numberedName(plan.path, fileNumber));
            return false;
        }
    }
    device = std::move(created);
    formats::WriteOptions options;
    options.channel = plan.channel;
    frameWriter = formats::openWriter(plan.format, device.get(), options);
    fileStartUs = -1;
    std::lock_guard<std::mutex> lock(queueMutex);
    fileNames << path;
    return true;
}

void Capture::closeCurrent(bool sync)
{
    if (!frameWriter)
        return;
    if (!stopped && !frameWriter->finish())
        fail(Failure::WriteFailed, QString());
    if (!stopped && !device->closeFile(sync))
        fail(Failure::WriteFailed, QStringLiteral("cannot write %1: %2").arg(device->path(), errnoText(errno)));
    writtenBefore += quint64(frameWriter->framesWritten());
    truncatedBefore += quint64(frameWriter->truncated());
    unsupportedBefore += quint64(frameWriter->unsupported());
    frameWriter.reset();
    device.reset();
    fileStartUs = -1;
}

void Capture::fail(Failure kind, const QString &given)
{
    if (stopped)
        return;
    stopped = true;
    QString text = given;
    if (text.isEmpty() && frameWriter && device) {
        const int error = device->lastError();
        if (plan.toStandardOutput && error == EPIPE) {
            kind = Failure::OutputClosed;
            text = QStringLiteral("standard output was closed");
        } else {
            text = QStringLiteral("cannot write %1: %2")
                       .arg(plan.toStandardOutput ? QStringLiteral("standard output") : device->path(),
                            frameWriter->ioError());
        }
    }
    if (kind == Failure::WriteFailed && device) {
        // Never leave a torn line: back to the end of the last whole one. A
        // file of ours that keeps nothing is removed.
        const qint64 kept = device->cutToWholeLines();
        if (kept == 0 && !plan.toStandardOutput) {
            const QString path = device->path();
            ::unlink(QFile::encodeName(path).constData());
            std::lock_guard<std::mutex> lock(queueMutex);
            fileNames.removeAll(path);
        }
    }
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        failureMessage = text;
    }
    failureKind = kind;
    wake();
}

} // namespace capture
