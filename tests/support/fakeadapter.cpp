#include "tests/support/fakeadapter.h"

#include "sim/adapterwire.h"

#include <chrono>
#include <cmath>

FakeAdapter::FakeAdapter()
{
    if (!pty.open())
        return;
    collecting = true;
    collector = std::thread(&FakeAdapter::collect, this);
}

FakeAdapter::~FakeAdapter()
{
    stopStream();
    stopCollector();
    pty.close();
}

void FakeAdapter::collect()
{
    QByteArray chunk;
    for (; collecting.load(); ++collectorPasses) {
        if (!pty.waitReadable(20))
            continue;
        chunk.clear();
        if (pty.readAvailable(chunk) > 0) {
            std::lock_guard<std::mutex> lock(writtenMutex);
            writtenBytes.append(chunk);
        }
    }
}

void FakeAdapter::settle() const
{
    // The second pass from now began after the call and read what was there.
    const unsigned start = collectorPasses.load();
    while (collecting.load() && collectorPasses.load() < start + 2)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void FakeAdapter::stopCollector()
{
    collecting = false;
    if (collector.joinable())
        collector.join();
}

QByteArray FakeAdapter::written() const
{
    std::lock_guard<std::mutex> lock(writtenMutex);
    return QByteArray(writtenBytes.constData(), writtenBytes.size()); // deep copy
}

void FakeAdapter::clearWritten()
{
    std::lock_guard<std::mutex> lock(writtenMutex);
    writtenBytes.clear();
}

QByteArray FakeAdapter::frame(quint32 id, bool standard, const QByteArray &data)
{
    return sim::buildAdapterFrame(id, standard, data);
}

bool FakeAdapter::sendFrame(quint32 id, bool standard, const QByteArray &data)
{
    return sendRaw(frame(id, standard, data));
}

bool FakeAdapter::sendRaw(const QByteArray &bytes)
{
    std::lock_guard<std::mutex> lock(sendMutex);
    return pty.writeAll(bytes);
}

void FakeAdapter::startStream(Generator generator, double unitsPerSecond, int count)
{
    stopStream();
    finished = false;
    failed = false;
    sent = 0;
    streaming = true;
    streamer = std::thread([this, generator = std::move(generator), unitsPerSecond, count] {
        using clock = std::chrono::steady_clock;
        const auto start = clock::now();
        int next = 0;
        QByteArray batch;
        while (streaming.load() && next < count) {
            const double elapsed = std::chrono::duration<double>(clock::now() - start).count();
            const int due = std::min(count, int(std::floor(elapsed * unitsPerSecond)) + 1);
            if (due <= next) {
                // Sleep until the next unit is due (at most 1 ms at a time).
                const double wait = (next / unitsPerSecond) - elapsed;
                std::this_thread::sleep_for(
                    std::chrono::microseconds(qBound(50, int(wait * 1e6), 1000)));
                continue;
            }
            batch.clear();
            for (int i = next; i < due; ++i)
                batch.append(generator(i));
            if (!sendWhileStreaming(batch)) {
                failed = streaming.load();
                break;
            }
            next = due;
            sent = next;
        }
        finished = true;
    });
}

bool FakeAdapter::sendWhileStreaming(const QByteArray &bytes)
{
    // Like sendRaw, but waits for room in short steps so that stopStream() is
    // never held up by a program that stopped reading.
    std::lock_guard<std::mutex> lock(sendMutex);
    const char *p = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        if (!streaming.load())
            return false;
        const qint64 n = pty.writeSome(p, left);
        if (n < 0)
            return false;
        if (n == 0) {
            pty.waitWritable(20);
            continue;
        }
        p += n;
        left -= n;
    }
    return true;
}

void FakeAdapter::stopStream()
{
    streaming = false;
    if (streamer.joinable())
        streamer.join();
}

void FakeAdapter::closeMaster()
{
    stopStream();
    stopCollector();
    std::lock_guard<std::mutex> lock(sendMutex);
    pty.closeMaster();
}
