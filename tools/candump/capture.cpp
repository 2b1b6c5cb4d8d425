#include "tools/candump/capture.h"

#include "tools/support/messages.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <unistd.h>

namespace capture {

Capture::Capture(const Plan &outputPlan, int wake)
    : plan(outputPlan)
    , wakeFd(wake)
    , rotation(outputPlan.path, outputPlan.rotateBytes, outputPlan.rotateUs)
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
    queue.close();
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
    std::lock_guard<std::mutex> lock(namesMutex);
    return failureMessage;
}

QStringList Capture::files() const
{
    std::lock_guard<std::mutex> lock(namesMutex);
    return fileNames;
}

QString Capture::currentFile() const
{
    std::lock_guard<std::mutex> lock(namesMutex);
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
    FrameQueue::Frame record;
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
    if (const std::size_t dropped = queue.put(batch))
        lost.fetch_add(dropped, std::memory_order_relaxed);
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
    std::vector<FrameQueue::Frame> mine;
    mine.reserve(4096);

    for (;;) {
        // Buffered lines wait for the next flush at most.
        const bool flushDue = frameWriter && !stopped && frameWriter->bytesBuffered() > 0;
        const bool finishing = queue.take(mine, flushDue, lastFlush + flushEvery);
        for (const FrameQueue::Frame &record : mine)
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

void Capture::writeRecord(const FrameQueue::Frame &record)
{
    if (stopped)
        return;
    if (frameWriter && rotation.dueByTime(record.timeUs))
        closeCurrent(true);
    if (!frameWriter) {
        QString error;
        if (!openNext(&error)) {
            fail(Failure::WriteFailed, error);
            return;
        }
    }
    rotation.frameWritten(record.timeUs);

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
    if (rotation.dueBySize(frameWriter->bytesWritten() + frameWriter->bytesBuffered()))
        closeCurrent(true);
}

bool Capture::openNext(QString *error)
{
    std::unique_ptr<OutputDevice> created = rotation.createNext(error);
    if (!created)
        return false;
    device = std::move(created);
    device->setWholeWrites(formats::formatInfo(plan.format).binary);
    formats::WriteOptions options;
    options.channel = plan.channel;
    frameWriter = formats::openWriter(plan.format, device.get(), options);
    std::lock_guard<std::mutex> lock(namesMutex);
    fileNames << device->path();
    return true;
}

void Capture::closeCurrent(bool sync)
{
    if (!frameWriter)
        return;
    if (!stopped && !frameWriter->finish())
        fail(Failure::WriteFailed, QString());
    if (!stopped && !device->closeFile(sync))
        fail(Failure::WriteFailed, QStringLiteral("cannot write %1: %2").arg(device->path(), tool::errorText(errno)));
    writtenBefore += quint64(frameWriter->framesWritten());
    truncatedBefore += quint64(frameWriter->truncated());
    unsupportedBefore += quint64(frameWriter->unsupported());
    frameWriter.reset();
    device.reset();
    rotation.fileEnded();
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
        // Never leave a torn record: back to the end of the last whole line
        // (or container). A file of ours that keeps nothing is removed.
        const qint64 kept = device->cutToWholeRecords();
        if (kept == 0 && !plan.toStandardOutput) {
            const QString path = device->path();
            ::unlink(QFile::encodeName(path).constData());
            std::lock_guard<std::mutex> lock(namesMutex);
            fileNames.removeAll(path);
        }
    }
    {
        std::lock_guard<std::mutex> lock(namesMutex);
        failureMessage = text;
    }
    failureKind = kind;
    wake();
}

} // namespace capture
