#pragma once

// The one object through which the main window reaches the CAN adapter: the
// serial port, the reader thread, the live message store and the recording.
// A plain class (no signals, no dialogs), held by value in the main window.

#include "core/messagerecord.h"
#include "link/protocol.h"

#include <QFile>
#include <QMutex>
#include <QSerialPort>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QThread;

// One valid frame as the reader took it from the port, for a FrameSink. The
// data pointer is valid during the call only.
struct ReceivedFrame {
    qint64 timeUs = 0;      // when the read that brought it returned, microseconds since 1970-01-01 UTC
    quint32 id = 0;
    bool standard = false;  // identifier kind 1
    int length = 0;         // payload bytes, 0..127 (wire::frameDataLength)
    const char *data = nullptr; // wire::FRAME_DATA_IN_FRAME bytes; positions beyond read as zero
};

// A consumer of the reader's frames in place of the recorder and the live
// store (a logger without a window). Every call comes from the reader thread;
// a sink must not block it for long.
class FrameSink
{
public:
    virtual ~FrameSink();
    // One frame that passed the header and checksum test.
    virtual void frameReceived(const ReceivedFrame &frame) = 0;
    // The frames of one read have all been handed over.
    virtual void readDone() {}
    // The last call of a reader run, after the port has been handed back:
    // deviceGone is true when the reader stopped because the device went away
    // (it closed the port), false when it was stopped by stopReading.
    virtual void readerEnded(bool deviceGone) { (void)deviceGone; }
};

class serialManager
{
public:
    serialManager();
    ~serialManager();
    serialManager(const serialManager &) = delete;
    serialManager &operator=(const serialManager &) = delete;

    // ---- serial link (GUI thread) ----
    void setBaudRate(quint32 rate);
    bool openPort(const QString &name);
    void closePort();
    QString errorString() const;
    qint64 writeData(const QByteArray &data);
    // Drops the bytes the port has received but nobody has read yet (while
    // no reader runs). With quietMs, also what keeps coming until the line
    // has been quiet that long (for at most maxMs): what a device had queued
    // on its side (a write held up by the full port, a transfer under way)
    // arrives after the first drop.
    void discardInput(int quietMs = 0, int maxMs = 0);
    void startReading();
    void stopReading();

    // Body of the reader thread.
    void readLoop();

    // ---- frames to a consumer of its own (set while no reader runs) ----
    // With a sink, the reader hands each valid frame to it and to nothing
    // else: no record texts are made, the recording and the store stay
    // untouched. nullptr (the default) is the window's path: dump line, store.
    void setFrameSink(FrameSink *sink);
    // Slices dropped by the header or checksum test since the manager was made.
    quint64 invalidFrames() const { return invalidSlices.load(std::memory_order_relaxed); }
    // Whether the last reader stopped because the device went away.
    bool deviceLost() const { return lostDevice.load(); }

    // ---- live message store ----
    // Insert-or-replace the newest record of an identifier (reader thread; tests).
    void storeMessage(quint32 id, const MessageRecord &record);
    // Take everything out at once, leaving the store empty (GUI thread).
    MessageMap takeMessages();
    void clearMessages();

    // ---- recording ----
    bool startRecording();
    void stopRecording();
    // Writes one dump line while recording is on (reader thread, before storing).
    void writeDumpLine(const MessageRecord &record);

private:
    std::unique_ptr<QSerialPort> port;
    QMutex messagesMutex;
    std::unique_ptr<std::thread> readerThread;
    std::atomic<bool> running{false};
    MessageMap messages;
    std::unique_ptr<QFile> dumpFile;
    std::atomic<bool> recording{false};
    std::atomic<bool> writingLine{false};

    // ---- hand-over of the port between the GUI and the reader thread ----
    // While a reader runs, the port object lives in the reader's thread (moved
    // there by startReading, moved back by the reader itself before it ends), so
    // that only one thread ever touches it. Writes from the GUI thread meanwhile
    // are queued and carried out by the reader.
    struct PendingWrite {
        QByteArray bytes;
        qint64 result = -1;
        bool done = false;
    };
    // Writes and flushes on the calling thread, which must own the port.
    qint64 writeNow(const QByteArray &data);
    // Reader side: carries out queued writes. Returns false once the gate has been
    // closed and the port handed back (only when leaving is true).
    bool serveWrites(bool leaving);
    // The receive loop proper, between the hand-over and the hand-back.
    // Returns true when it stopped because the device went away.
    bool runReader(QByteArray &buffer);

    FrameSink *sink = nullptr;                   // read by the reader, changed only while none runs
    std::atomic<quint64> invalidSlices{0};
    std::atomic<bool> lostDevice{false};

    std::mutex linkMutex;                // guards the members below; never held during port I/O
    std::condition_variable linkChanged; // signals hand-over steps and finished writes
    QThread *ownerThread = nullptr;      // thread that started the reader; the port returns there
    QThread *readerQThread = nullptr;    // published by the reader for the move
    bool portHandedOver = false;         // the port has been moved to the reader
    bool writeGateOpen = false;          // writes are queued for the reader while set
    std::vector<PendingWrite *> pendingWrites;
    std::atomic<bool> hangUpClosePending{false}; // a close of a hung-up port is scheduled
};
