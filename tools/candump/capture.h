#pragma once

// The capture behind vornix-candump. It takes the frames of the link's reader
// (a FrameSink) and hands them, one read at a time, through a bounded queue
// (tools/candump/framequeue.h) to a writer thread of its own, which writes
// them with the formats library to standard output or to files
// (tools/candump/rotation.h). A slow disk or a slow pipe therefore stalls the
// writer, never the reader.
//
// Threads and what they own:
//   reader thread  the batch being filled, the received-frame counter
//   writer thread  the output device, its format writer, the rotation state,
//                  the set of identifiers seen
//   the queue      the frames between the two and the closing request, under
//                  its own lock
//   namesMutex     the file names and the failure text
//   (both locks are held for swaps and copies only, never during I/O)
//   atomics        every figure the status line and the summary read
// Whatever either thread wants the main thread to notice (limit reached,
// device gone, output failed) is announced by writing to the wake descriptor
// (an eventfd the main thread polls).

#include "formats/frameio.h"
#include "link/serialmanager.h"
#include "tools/candump/framequeue.h"
#include "tools/candump/outputdevice.h"
#include "tools/candump/plan.h"
#include "tools/candump/rotation.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <vector>

namespace capture {

class Capture : public FrameSink
{
public:
    Capture(const Plan &plan, int wakeFd);
    ~Capture() override;
    Capture(const Capture &) = delete;
    Capture &operator=(const Capture &) = delete;

    // Creates the first output file (never replacing an existing one) and
    // starts the writer thread. False, with *error set, when the file cannot
    // be created.
    bool start(QString *error);
    // Call once the reader has stopped: the writer writes what is queued,
    // ends the current file (whole lines only) and is joined.
    void finish();

    // ---- FrameSink (reader thread) ----
    void frameReceived(const ReceivedFrame &frame) override;
    void readDone() override;
    void readerEnded(bool deviceGone) override;

    // ---- figures (any thread) ----
    quint64 framesReceived() const { return received.load(std::memory_order_relaxed); }
    // Frames the output holds: after a failure, those whole in the output
    // when it was cut back to whole lines.
    quint64 framesWritten() const { return written.load(std::memory_order_relaxed); }
    // Dropped because the writer fell more than the queue's bound behind.
    quint64 framesLost() const { return lost.load(std::memory_order_relaxed); }
    // Frames the output format cannot hold (counted by the format writer).
    quint64 framesUnsupported() const { return unsupported.load(std::memory_order_relaxed); }
    quint64 framesTruncated() const { return truncated.load(std::memory_order_relaxed); }
    // Frames the filter list holds back that the adapter still sent.
    quint64 framesHeldBack() const { return heldBack.load(std::memory_order_relaxed); }
    int identifiersSeen() const { return identifierCount.load(std::memory_order_relaxed); }
    bool limitReached() const { return limitHit.load(); }
    bool deviceGone() const { return readerGone.load(); }

    enum class Failure { None, WriteFailed, OutputClosed };
    Failure failure() const { return failureKind.load(); }
    QString failureText() const;
    // Every file written so far, in order.
    QStringList files() const;
    // The file being written ("" for standard output or before the first).
    QString currentFile() const;

    // Most frames the queue holds before the reader drops them (about 24 MB,
    // some 100 s of a 2,000,000-baud link).
    static constexpr std::size_t MAX_QUEUED = 1000000;

private:
    void wake();
    void writerLoop();
    void writeRecord(const FrameQueue::Frame &record);
    bool openNext(QString *error);
    // Ends the current file. A file that is rotated out is also pushed to the
    // disk (the writer has the time: the queue takes the frames meanwhile);
    // the last one is not, so that the capture ends without waiting for a
    // slow card.
    void closeCurrent(bool sync);
    void fail(Failure kind, const QString &text);
    void countWriter();
    // Frames of the current file the output holds.
    quint64 framesInFile() const;

    const Plan plan;
    const int wakeFd;

    // reader thread
    std::vector<FrameQueue::Frame> batch;
    bool accepting = true;

    FrameQueue queue{MAX_QUEUED};

    // shared, under namesMutex
    mutable std::mutex namesMutex;
    QStringList fileNames;
    QString failureMessage;

    // writer thread (and start() before it runs)
    std::thread writer;
    Rotation rotation;
    std::unique_ptr<OutputDevice> device;
    std::unique_ptr<formats::FrameWriter> frameWriter;
    formats::CanFrame frame;
    bool stopped = false;    // after a failure nothing more is written
    std::unordered_set<quint64> identifiers;
    // Of the current file: the ends of the frames whose bytes may still be
    // in the format writer's buffer (bytes from the file's start), the
    // frames known to be on the device, and after a failure the frames the
    // cut file holds (-1 before).
    std::vector<qint64> unsettledEnds;
    quint64 settledFrames = 0;
    qint64 keptFrames = -1;
    quint64 writtenBefore = 0; // frames of the files already closed
    quint64 unsupportedBefore = 0;
    quint64 truncatedBefore = 0;

    std::atomic<quint64> received{0}, written{0}, lost{0}, unsupported{0}, truncated{0}, heldBack{0};
    std::atomic<int> identifierCount{0};
    std::atomic<bool> limitHit{false}, readerGone{false};
    std::atomic<Failure> failureKind{Failure::None};
};

} // namespace capture
