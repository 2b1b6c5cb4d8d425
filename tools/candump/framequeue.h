#pragma once

// The bounded queue between a capture's reader thread and its writer thread.
// The reader hands over the frames of one read at a time, the writer takes
// all that are queued at a time; the lock is held for the swap or the copy
// only, never during I/O.

#include "link/protocol.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <vector>

namespace capture {

class FrameQueue
{
public:
    // A frame as it travels from the reader to the writer: 24 bytes.
    struct Frame {
        qint64 timeUs;
        quint32 id;
        quint8 standard;
        quint8 length;
        char data[wire::FRAME_DATA_IN_FRAME];
    };

    // At most `bound` frames wait; more are dropped.
    explicit FrameQueue(std::size_t bound);

    // Reader: queues the batch (as much of it as the bound leaves room for)
    // and empties it; gives the number of frames dropped. Wakes the writer
    // when the queue was empty.
    std::size_t put(std::vector<Frame> &batch);

    // Writer: waits until frames are queued or the queue is closed (when
    // `timed`, at most until `until`), then swaps all queued frames into
    // `taken`, which comes empty. True once the queue is closed: nothing more
    // can come.
    bool take(std::vector<Frame> &taken, bool timed, std::chrono::steady_clock::time_point until);

    // Called once the reader has stopped: the writer takes what is left.
    void close();

private:
    const std::size_t bound;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Frame> frames;
    bool closed = false;
};

} // namespace capture
