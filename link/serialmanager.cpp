#include "link/serialmanager.h"

#include "core/recordtext.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QMutexLocker>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <poll.h>

// QMutex locks and unlocks inside the Qt library, which a thread-sanitizer build
// does not instrument; tell the sanitizer about the ordering the store mutex
// provides so that the store's accesses are checked against it.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void *addr);
extern "C" void __tsan_release(void *addr);
#define VORNIX_SYNC_ACQUIRE(addr) __tsan_acquire(addr)
#define VORNIX_SYNC_RELEASE(addr) __tsan_release(addr)
#else
#define VORNIX_SYNC_ACQUIRE(addr) ((void)(addr))
#define VORNIX_SYNC_RELEASE(addr) ((void)(addr))
#endif

namespace {

// Holds the store mutex for one map operation.
class StoreLock
{
public:
    explicit StoreLock(QMutex &mutex) : mutex_(mutex)
    {
        mutex_.lock();
        VORNIX_SYNC_ACQUIRE(&mutex_);
    }
    ~StoreLock()
    {
        VORNIX_SYNC_RELEASE(&mutex_);
        mutex_.unlock();
    }
    StoreLock(const StoreLock &) = delete;
    StoreLock &operator=(const StoreLock &) = delete;

private:
    QMutex &mutex_;
};

// Longest wait of the reader on the port, in milliseconds.
constexpr int READ_WAIT_MS = 10;
// How long a write keeps pushing its bytes out before leaving the rest queued
// in the port (they go out with the port's later waits).
constexpr int FLUSH_LIMIT_MS = 1000;

bool deviceGone(QSerialPort::SerialPortError error)
{
    return error != QSerialPort::NoError && error != QSerialPort::TimeoutError;
}

// Errors of an open port that may mean the device has hung up.
bool mayBeHangUp(QSerialPort::SerialPortError error)
{
    return error == QSerialPort::ReadError || error == QSerialPort::ResourceError
        || error == QSerialPort::WriteError;
}

// Whether the device behind an open descriptor has hung up or failed.
bool hungUp(qintptr fd)
{
    if (fd < 0)
        return true;
    pollfd pfd{int(fd), POLLIN, 0};
    return ::poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL));
}

qint64 wallClockUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

FrameSink::~FrameSink() = default;

serialManager::serialManager()
    : port(new QSerialPort)
{
    // A device that hangs up while the port is open (unplugged adapter) keeps
    // the port's read notifier firing: every read returns nothing and raises a
    // read error, and the thread that owns the port would spin. Close such a
    // port as soon as its owner is back in its event loop (closing inside the
    // notifier's own call would delete the notifier under it). This runs in the
    // port's owner thread, from within the failing port call.
    QObject::connect(port.get(), &QSerialPort::errorOccurred, [this](QSerialPort::SerialPortError error) {
        if (!mayBeHangUp(error) || !port->isOpen() || hangUpClosePending.exchange(true))
            return;
        QTimer::singleShot(0, port.get(), [this] {
            hangUpClosePending = false;
            if (port->isOpen() && hungUp(port->handle()))
                port->close();
        });
    });
}

serialManager::~serialManager()
{
    stopReading();
    // The hang-up handler refers to `port`; nothing may reach it while the
    // port is being destroyed.
    QObject::disconnect(port.get(), nullptr, nullptr, nullptr);
    port.reset();
    clearMessages();
    if (dumpFile && dumpFile->isOpen())
        stopRecording();
}

// ---------------------------------------------------------------------------
// Serial link (GUI thread)

void serialManager::setBaudRate(quint32 rate)
{
    if (port)
        port->setBaudRate(qint32(rate), QSerialPort::AllDirections);
}

bool serialManager::openPort(const QString &name)
{
    if (!port)
        return false;
    port->setPortName(name);
    port->setParity(QSerialPort::NoParity);
    port->setDataBits(QSerialPort::Data8);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    return port->open(QIODevice::ReadWrite);
}

void serialManager::closePort()
{
    // The port may only be touched by its owner: make sure no reader holds it.
    stopReading();
    if (port && port->isOpen())
        port->close();
}

QString serialManager::errorString() const
{
    return port ? port->errorString() : QString();
}

qint64 serialManager::writeData(const QByteArray &data)
{
    {
        std::unique_lock<std::mutex> lock(linkMutex);
        if (writeGateOpen) {
            // A reader owns the port: it carries the write out between two waits.
            PendingWrite request;
            request.bytes = data;
            pendingWrites.push_back(&request);
            linkChanged.wait(lock, [&request] { return request.done; });
            return request.result;
        }
    }
    // No reader (or it has already handed the port back): the port is ours.
    return writeNow(data);
}

void serialManager::discardInput(int quietMs, int maxMs)
{
    stopReading();
    if (!port || !port->isOpen())
        return;
    port->clear(QSerialPort::Input);
    QElapsedTimer clock;
    clock.start();
    while (quietMs > 0 && clock.elapsed() < maxMs && port->waitForReadyRead(quietMs))
        port->clear(QSerialPort::Input);
    port->clearError(); // the wait's time-out is no error of the port
}

qint64 serialManager::writeNow(const QByteArray &data)
{
    if (!port || !port->isOpen())
        return -1;
    port->clearError();
    const qint64 accepted = port->write(data);
    if (accepted < 0)
        return -1;
    // QSerialPort::write only fills the port's buffer; push the bytes out.
    QElapsedTimer clock;
    clock.start();
    while (port->bytesToWrite() > 0) {
        if (port->waitForBytesWritten(READ_WAIT_MS * 5))
            continue;
        if (deviceGone(port->error()))
            return -1;
        if (clock.elapsed() >= FLUSH_LIMIT_MS)
            break;
    }
    return accepted;
}

void serialManager::setFrameSink(FrameSink *frameSink)
{
    if (readerThread)
        stopReading();
    sink = frameSink;
}

void serialManager::startReading()
{
    if (readerThread)
        stopReading();
    lostDevice = false;
    {
        std::lock_guard<std::mutex> lock(linkMutex);
        ownerThread = QThread::currentThread();
        readerQThread = nullptr;
        portHandedOver = false;
    }
    running = true;
    readerThread = std::make_unique<std::thread>(&serialManager::readLoop, this);

    // Hand the port to the reader: the reader publishes its thread, this
    // thread (the port's owner) moves the port there, then lets it go on.
    QThread *target = nullptr;
    {
        std::unique_lock<std::mutex> lock(linkMutex);
        linkChanged.wait(lock, [this] { return readerQThread != nullptr; });
        target = readerQThread;
    }
    port->moveToThread(target);
    {
        std::lock_guard<std::mutex> lock(linkMutex);
        portHandedOver = true;
        writeGateOpen = true;
    }
    linkChanged.notify_all();
}

void serialManager::stopReading()
{
    running = false;
    if (readerThread) {
        if (readerThread->joinable())
            readerThread->join();
        readerThread.reset();
    }
}

// ---------------------------------------------------------------------------
// Reader thread

void serialManager::readLoop()
{
    // Constructing an event loop gives this thread an event dispatcher, which
    // the port's socket notifiers need while the port lives here.
    QEventLoop dispatcherHolder;

    {
        std::unique_lock<std::mutex> lock(linkMutex);
        readerQThread = QThread::currentThread();
        linkChanged.notify_all();
        linkChanged.wait(lock, [this] { return portHandedOver; });
    }

    QByteArray buffer; // receive buffer of this run only
    const bool gone = runReader(buffer);

    // Hand the port back; writes queued until the gate closes are still served.
    while (serveWrites(true)) {
    }
    lostDevice = gone;
    if (sink)
        sink->readerEnded(gone);
}

bool serialManager::runReader(QByteArray &buffer)
{
    // The window's path: a record per frame, to the recorder, then the store.
    const auto handleSlice = [this](const char *slice) {
        const wire::AdapterFrame frame{slice, recordtext::currentTimestamp()};
        if (!wire::isValidFrame(frame)) {
            invalidSlices.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        const wire::CanMessage message = wire::parseFrame(frame);
        writeDumpLine(message.record);
        storeMessage(message.id, message.record);
    };
    // A sink's path: the frame's fields and the time of the read, no texts.
    FrameSink *const frameSink = sink;
    ReceivedFrame received;
    const auto sinkSlice = [this, frameSink, &received](const char *slice) {
        if (!wire::isValidFrame(wire::AdapterFrame{slice, QString()})) {
            invalidSlices.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        received.id = wire::frameId(slice);
        received.standard = wire::frameIsStandard(slice);
        received.length = wire::frameDataLength(slice);
        received.data = slice + wire::FRAME_DATA;
        frameSink->frameReceived(received);
    };

    while (running.load()) {
        serveWrites(false);
        if (!port->isOpen()) {
            // Nothing to read from (closed after the device went away).
            running = false;
            return true;
        }
        if (port->error() != QSerialPort::NoError)
            port->clearError();
        const bool ready = port->waitForReadyRead(READ_WAIT_MS);
        if (!running.load())
            break;
        if (!ready && deviceGone(port->error())) {
            // The device went away (unplugged, hung up, closed under us): the
            // port will never yield data again and every wait would return at
            // once. Close it here, where it is owned, and stop instead of
            // spinning; CLOSE or a new configuration cleans up the rest.
            running = false;
            if (port->isOpen())
                port->close();
            return true;
        }
        buffer.append(port->readAll());
        if (buffer.isEmpty())
            continue;
        if (frameSink) {
            received.timeUs = wallClockUs();
            wire::cutFrames(buffer, sinkSlice);
            frameSink->readDone();
        } else {
            wire::cutFrames(buffer, handleSlice);
        }
    }
    return false;
}

bool serialManager::serveWrites(bool leaving)
{
    std::vector<PendingWrite *> batch;
    {
        std::lock_guard<std::mutex> lock(linkMutex);
        if (pendingWrites.empty()) {
            if (!leaving)
                return true;
            // Nothing queued any more: close the gate and give the port back to
            // its owner while still holding the lock, so that a writer either
            // queued before (and was served) or finds the gate closed and the
            // port already home.
            writeGateOpen = false;
            portHandedOver = false;
            port->moveToThread(ownerThread);
            return false;
        }
        batch.swap(pendingWrites);
    }
    for (PendingWrite *request : batch) {
        const qint64 result = writeNow(request->bytes);
        std::lock_guard<std::mutex> lock(linkMutex);
        request->result = result;
        request->done = true;
    }
    linkChanged.notify_all();
    return true;
}

// ---------------------------------------------------------------------------
// Live message store

void serialManager::storeMessage(quint32 id, const MessageRecord &record)
{
    StoreLock lock(messagesMutex);
    messages.insert(id, record);
}

MessageMap serialManager::takeMessages()
{
    MessageMap taken;
    {
        StoreLock lock(messagesMutex);
        taken.swap(messages);
    }
    return taken;
}

void serialManager::clearMessages()
{
    MessageMap old;
    {
        StoreLock lock(messagesMutex);
        old.swap(messages);
    }
    // The records are released here, outside the lock.
}
