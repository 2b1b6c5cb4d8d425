#pragma once

// A CAN adapter played by the test itself on a pseudo-terminal pair: the
// program under test opens devicePath() like a serial port; the fake adapter
// records every byte the program writes and sends frames back.

#include "sim/ptydevice.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

class FakeAdapter
{
public:
    FakeAdapter();  // opens the pty pair and starts recording
    ~FakeAdapter(); // stops the stream and the recording, closes the pair

    FakeAdapter(const FakeAdapter &) = delete;
    FakeAdapter &operator=(const FakeAdapter &) = delete;

    bool isOpen() const { return pty.isOpen(); }
    QString devicePath() const { return pty.slavePath(); }
    // The master descriptor (for checks of the line settings; -1 once closed).
    int masterFd() const { return pty.masterFd(); }

    // Every byte the program has written so far, in order.
    QByteArray written() const;
    void clearWritten();
    // Returns once everything written before the call is in written().
    void settle() const;

    // A valid 20-byte adapter frame (checksum computed).
    static QByteArray frame(quint32 id, bool standard, const QByteArray &data);
    bool sendFrame(quint32 id, bool standard, const QByteArray &data);
    bool sendRaw(const QByteArray &bytes);

    // Sends count units produced by generator(0 .. count-1) from a thread of its
    // own, paced at unitsPerSecond (units due at the same time go out in one
    // write; at low rates every unit is a write of its own). A unit is usually
    // one frame, but may be any bytes, e.g. part of a frame. Replaces a running
    // stream.
    using Generator = std::function<QByteArray(int index)>;
    void startStream(Generator generator, double unitsPerSecond, int count);
    void stopStream();
    bool streamFinished() const { return finished.load(); }
    int streamSent() const { return sent.load(); }
    // True when the stream stopped because a write failed.
    bool streamFailed() const { return failed.load(); }

    // The adapter disappears: the stream and the recording stop, the master is closed.
    void closeMaster();

private:
    void collect();
    void stopCollector();
    bool sendWhileStreaming(const QByteArray &bytes);

    sim::PtyDevice pty;
    mutable std::mutex writtenMutex;
    QByteArray writtenBytes;
    std::atomic<bool> collecting{false};
    std::atomic<unsigned> collectorPasses{0};
    std::thread collector;

    std::thread streamer;
    std::atomic<bool> streaming{false};
    std::atomic<bool> finished{false};
    std::atomic<bool> failed{false};
    std::atomic<int> sent{0};
    std::mutex sendMutex; // one writer of the master at a time
};
