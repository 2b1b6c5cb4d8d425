#pragma once

// The one object through which the main window reaches the CAN adapter: the
// serial port, the reader thread, the live message store and the recording.
// A plain class (no signals, no dialogs), held by value in the main window.

#include "link/messagerecord.h"
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
    void startReading();
    void stopReading();

    // Body of the reader thread.
    void readLoop();

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
    void runReader(QByteArray &buffer);

    std::mutex linkMutex;                // guards the members below; never held during port I/O
    std::condition_variable linkChanged; // signals hand-over steps and finished writes
    QThread *ownerThread = nullptr;      // thread that started the reader; the port returns there
    QThread *readerQThread = nullptr;    // published by the reader for the move
    bool portHandedOver = false;         // the port has been moved to the reader
    bool writeGateOpen = false;          // writes are queued for the reader while set
    std::vector<PendingWrite *> pendingWrites;
    std::atomic<bool> hangUpClosePending{false}; // a close of a hung-up port is scheduled
};
