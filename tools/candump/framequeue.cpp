#include "tools/candump/framequeue.h"

namespace capture {

FrameQueue::FrameQueue(std::size_t most)
    : bound(most)
{
}

std::size_t FrameQueue::put(std::vector<Frame> &batch)
{
    if (batch.empty())
        return 0;
    std::size_t dropped = 0;
    bool wasEmpty = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        const std::size_t room = frames.size() < bound ? bound - frames.size() : 0;
        if (batch.size() > room) {
            dropped = batch.size() - room;
            batch.resize(room);
        }
        wasEmpty = frames.empty();
        if (wasEmpty)
            frames.swap(batch);
        else
            frames.insert(frames.end(), batch.begin(), batch.end());
    }
    batch.clear();
    if (wasEmpty)
        changed.notify_one();
    return dropped;
}

bool FrameQueue::take(std::vector<Frame> &taken, bool timed, std::chrono::steady_clock::time_point until)
{
    std::unique_lock<std::mutex> lock(mutex);
    const auto ready = [this] { return !frames.empty() || closed; };
    if (!ready()) {
        if (timed)
            changed.wait_until(lock, until, ready);
        else
            changed.wait(lock, ready);
    }
    taken.swap(frames);
    // The queue is closed after the reader stopped, and the frames were taken
    // under the same lock: nothing more can come.
    return closed;
}

void FrameQueue::close()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        closed = true;
    }
    changed.notify_one();
}

} // namespace capture
