#pragma once

// The bridge behind vornix-slcan: the adapter, seen as an SLCAN (Lawicel)
// device on a pseudo-terminal. It takes the frames of the link's reader (a
// FrameSink) and hands them through a bounded queue to a client thread of its
// own, which owns the pseudo-terminal's master side and the SLCAN session
// (slcan/session.h): it answers the client's commands, sends the adapter the
// configuration command on O and L (through the link's writeData, which the
// running reader carries out) and writes the frame lines.
//
// A client that stops reading never stalls the reader: once the
// pseudo-terminal is full the client thread stops taking frames, the queue
// fills up, and the reader drops what does not fit, counting it (the
// session's F reports the overrun). While no client has the terminal open the
// channel is closed; when the client goes away the session starts over and
// what it left unread on the terminal is thrown away, so that the next client
// sees only its own replies and frames.
//
// Threads and what they own:
//   reader thread  the batch being filled, the received and dropped counters
//   client thread  the master side, the session, the bytes waiting for the client
//   queueMutex     the queue between the two (held for swaps only, never during I/O)
//   atomics        the forwarding switch and every figure other threads read

#include "link/serialmanager.h"
#include "sim/ptydevice.h"
#include "slcan/session.h"

#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class SlcanBridge : public FrameSink
{
public:
    // link: the adapter's link; its reader must run while the bridge does.
    // fixedRate: the rate taken for every open (nullptr: the client's Sn).
    // notifyFd: written to (an eventfd, -1 for none) when the adapter went away.
    SlcanBridge(serialManager &link, const wire::CanRate *fixedRate, int notifyFd = -1);
    ~SlcanBridge() override; // stops the client thread
    SlcanBridge(const SlcanBridge &) = delete;
    SlcanBridge &operator=(const SlcanBridge &) = delete;

    // Creates the pseudo-terminal (raw mode) and starts the client thread.
    // False, with *error set, when the terminal cannot be made.
    bool start(QString *error);
    // Stops and joins the client thread and closes the terminal. Safe twice.
    void stop();

    // Path of the terminal's slave side ("/dev/pts/N"), for the client.
    QString terminalPath() const { return pty.slavePath(); }

    // ---- FrameSink (reader thread) ----
    void frameReceived(const ReceivedFrame &frame) override;
    void readDone() override;
    void readerEnded(bool deviceGone) override;

    // ---- figures (any thread) ----
    quint64 framesReceived() const { return received.load(std::memory_order_relaxed); }
    quint64 framesForwarded() const { return forwarded.load(std::memory_order_relaxed); }
    // Dropped because the client did not read them in time.
    quint64 framesDropped() const { return dropped.load(std::memory_order_relaxed); }
    quint64 framesFiltered() const { return filtered.load(std::memory_order_relaxed); }
    quint64 framesCut() const { return cut.load(std::memory_order_relaxed); }
    quint64 framesOutOfRange() const { return outOfRange.load(std::memory_order_relaxed); }
    quint64 commands() const { return commandCount.load(std::memory_order_relaxed); }
    quint64 commandsRefused() const { return refusedCount.load(std::memory_order_relaxed); }
    quint64 transmitsRefused() const { return transmitRefusedCount.load(std::memory_order_relaxed); }
    // Whether a client has the terminal open, and the state of its channel.
    bool clientPresent() const { return present.load(std::memory_order_relaxed); }
    slcan::Channel channel() const { return slcan::Channel(channelState.load(std::memory_order_relaxed)); }
    bool deviceGone() const { return readerGone.load(); }
    // CPU time of the client thread so far, seconds (-1 before it runs).
    double clientThreadCpuSeconds() const;

    // Most frames the queue holds before the reader drops them (1.6 s at
    // 10,000 frames/s), beyond what the terminal itself buffers.
    static constexpr std::size_t MAX_QUEUED = 16384;

private:
    // A frame as it travels from the reader to the client thread.
    struct Record {
        qint64 timeUs;
        quint32 id;
        quint8 standard;
        quint8 length;
        char data[wire::FRAME_DATA_IN_FRAME];
    };

    void clientLoop();
    // The client thread's steps.
    bool clientHungUp() const;
    void clientLeft(QByteArray &out);
    void takeFrames(QByteArray &out);
    void publish();
    bool writeConfiguration(const QByteArray &command);

    serialManager &link;
    const int notifyFd;
    sim::PtyDevice pty;
    std::unique_ptr<slcan::Session> session; // client thread (made by start)

    // reader thread
    std::vector<Record> batch;

    // shared, under queueMutex
    std::mutex queueMutex;
    std::vector<Record> queue;
    bool wakeWanted = true; // the client thread waits for a wake-up to take the queue

    // client thread
    std::thread client;
    std::vector<Record> taken;
    quint64 droppedSeen = 0;
    int wakeFd = -1; // eventfd: frames queued
    int stopFd = -1; // eventfd: stop request

    std::atomic<bool> forwarding{false}; // the channel is open: the reader queues frames
    std::atomic<quint64> received{0}, forwarded{0}, dropped{0}, filtered{0}, cut{0}, outOfRange{0};
    std::atomic<quint64> commandCount{0}, refusedCount{0}, transmitRefusedCount{0};
    std::atomic<bool> present{false};
    std::atomic<int> channelState{int(slcan::Channel::Closed)};
    std::atomic<bool> readerGone{false};
    std::atomic<bool> clientRunning{false};
    std::atomic<int> clientClock{0};       // CPU clock of the client thread while it runs
    std::atomic<qint64> clientCpuNs{-1};   // its CPU time when it ended
};
