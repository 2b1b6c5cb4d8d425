#include "tools/slcan/bridge.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Bytes waiting for the client below which the client thread takes more
// frames from the queue.
constexpr int TAKE_BELOW = 4096;
// Bytes waiting for the client above which it reads no more commands (a
// client that sends commands and reads no replies is then held up by its own
// full terminal).
constexpr int REPLIES_BELOW = 65536;
// While no client has the terminal open, how often to look whether one came.
constexpr int PRESENCE_CHECK_MS = 50;

void notify(int fd)
{
    if (fd < 0)
        return;
    const quint64 one = 1;
    while (::write(fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void consume(int fd)
{
    quint64 count = 0;
    while (::read(fd, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

qint64 cpuNs(clockid_t clock)
{
    timespec ts{};
    if (::clock_gettime(clock, &ts) != 0)
        return -1;
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

} // namespace

SlcanBridge::SlcanBridge(serialManager &adapterLink, const wire::CanRate *fixedRate, int notify)
    : link(adapterLink), notifyFd(notify),
      session(std::make_unique<slcan::Session>(
          [this](const QByteArray &command) { return writeConfiguration(command); }, fixedRate))
{
    batch.reserve(256);
    queue.reserve(1024);
    taken.reserve(1024);
}

SlcanBridge::~SlcanBridge()
{
    stop();
}

bool SlcanBridge::start(QString *error)
{
    stop();
    if (!pty.open()) {
        *error = QStringLiteral("cannot create a pseudo-terminal");
        return false;
    }
    // The master alone: it then sees when a client opens and closes the slave.
    pty.releaseSlave();
    wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0 || stopFd < 0) {
        stop();
        *error = QStringLiteral("cannot create the descriptors to wait on");
        return false;
    }
    session->reset();
    publish();
    clientRunning = true;
    client = std::thread(&SlcanBridge::clientLoop, this);
    return true;
}

void SlcanBridge::stop()
{
    if (client.joinable()) {
        notify(stopFd);
        client.join();
    }
    forwarding = false;
    present = false;
    for (int *fd : {&wakeFd, &stopFd}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    pty.close();
}

double SlcanBridge::clientThreadCpuSeconds() const
{
    if (clientRunning.load()) {
        const qint64 ns = cpuNs(clockid_t(clientClock.load()));
        if (ns >= 0)
            return double(ns) / 1e9;
    }
    const qint64 ns = clientCpuNs.load();
    return ns < 0 ? -1.0 : double(ns) / 1e9;
}

// ---------------------------------------------------------------------------
// Reader thread

void SlcanBridge::frameReceived(const ReceivedFrame &frame)
{
    received.fetch_add(1, std::memory_order_relaxed);
    if (!forwarding.load(std::memory_order_relaxed))
        return;
    Record record;
    record.timeUs = frame.timeUs;
    record.id = frame.id;
    record.standard = frame.standard ? 1 : 0;
    record.length = quint8(frame.length);
    std::copy(frame.data, frame.data + wire::FRAME_DATA_IN_FRAME, record.data);
    batch.push_back(record);
}

void SlcanBridge::readDone()
{
    if (batch.empty())
        return;
    std::size_t accepted = 0;
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        accepted = std::min(batch.size(), MAX_QUEUED - std::min(MAX_QUEUED, queue.size()));
        queue.insert(queue.end(), batch.begin(), batch.begin() + std::ptrdiff_t(accepted));
        if (accepted > 0 && wakeWanted) {
            wakeWanted = false;
            wake = true;
        }
    }
    if (accepted < batch.size())
        dropped.fetch_add(batch.size() - accepted, std::memory_order_relaxed);
    batch.clear();
    if (wake)
        notify(wakeFd);
}

void SlcanBridge::readerEnded(bool deviceGone)
{
    batch.clear();
    if (!deviceGone)
        return;
    readerGone = true;
    notify(notifyFd);
}

// ---------------------------------------------------------------------------
// Client thread

bool SlcanBridge::writeConfiguration(const QByteArray &command)
{
    // Once the adapter is gone the port is closed; nothing is written.
    return !readerGone.load() && link.writeData(command) == command.size();
}

bool SlcanBridge::clientHungUp() const
{
    pollfd pfd{pty.masterFd(), 0, 0};
    return ::poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL));
}

void SlcanBridge::clientLeft(QByteArray &out)
{
    // Its channel closes with it; the next client starts as after power-on.
    session->reset();
    forwarding = false;
    out.clear();
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        queue.clear();
    }
    // What it left unread on the terminal is not for the next client: the
    // master's flush clears the terminal's buffer, the slave's the line
    // discipline's.
    ::tcflush(pty.masterFd(), TCIOFLUSH);
    const int slave = ::open(qPrintable(pty.slavePath()), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave >= 0) {
        ::tcflush(slave, TCIFLUSH);
        ::close(slave);
    }
    QByteArray unread; // and its commands not yet read
    pty.readAvailable(unread);
}

void SlcanBridge::takeFrames(QByteArray &out)
{
    taken.clear();
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        taken.swap(queue);
        wakeWanted = true;
    }
    ReceivedFrame frame;
    for (const Record &record : taken) {
        frame.timeUs = record.timeUs;
        frame.id = record.id;
        frame.standard = record.standard != 0;
        frame.length = record.length;
        frame.data = record.data;
        session->appendFrame(frame, out);
    }
}

void SlcanBridge::publish()
{
    const slcan::Session::Counters &c = session->counters();
    forwarded.store(c.forwarded, std::memory_order_relaxed);
    filtered.store(c.filtered, std::memory_order_relaxed);
    cut.store(c.cut, std::memory_order_relaxed);
    outOfRange.store(c.outOfRange, std::memory_order_relaxed);
    commandCount.store(c.commands, std::memory_order_relaxed);
    refusedCount.store(c.refused, std::memory_order_relaxed);
    transmitRefusedCount.store(c.transmitRefused, std::memory_order_relaxed);
    channelState.store(int(session->channel()), std::memory_order_relaxed);
    forwarding.store(session->channel() != slcan::Channel::Closed);
}

void SlcanBridge::clientLoop()
{
    ::pthread_setname_np(::pthread_self(), "slcan-client"); // as top -H and /proc show it
    clockid_t clock{};
    if (::pthread_getcpuclockid(::pthread_self(), &clock) == 0)
        clientClock = int(clock);

    QByteArray out; // bytes for the client, not yet taken by the terminal
    out.reserve(TAKE_BELOW * 2);
    char in[4096];
    bool connected = false;
    const int master = pty.masterFd();

    QByteArray early; // bytes of a client that arrived while its absence was being checked
    bool hangUpSeen = true; // the master has shown a hang-up since the last look
    for (;;) {
        // A present client's leaving shows in the wait below; an absent one's
        // coming is looked for.
        bool hungUp = hangUpSeen && clientHungUp();
        hangUpSeen = false;
        if (hungUp) {
            if (connected) {
                clientLeft(out);
            } else {
                // Bytes written while nobody seemed there are from a client
                // that came and went between two looks, unless one has just
                // arrived: they are then its first commands.
                pty.readAvailable(early);
                hungUp = clientHungUp();
                if (hungUp)
                    early.clear();
            }
            publish();
        }
        connected = !hungUp;
        present.store(connected, std::memory_order_relaxed);
        if (!early.isEmpty()) {
            session->receive(early.constData(), early.size(), out);
            early.clear();
            publish();
        }

        pollfd fds[3] = {{stopFd, POLLIN, 0}, {-1, 0, 0}, {-1, POLLIN, 0}};
        if (connected) {
            fds[1].fd = master;
            fds[1].events = short((out.size() < REPLIES_BELOW ? POLLIN : 0) | (out.isEmpty() ? 0 : POLLOUT));
            if (out.size() < TAKE_BELOW)
                fds[2].fd = wakeFd;
        }
        const int ready = ::poll(fds, 3, connected ? -1 : PRESENCE_CHECK_MS);
        if (ready < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN)
            break;
        if (!connected || (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))) {
            hangUpSeen = true;
            continue;
        }
        if (ready <= 0)
            continue;

        if (fds[1].revents & POLLIN) {
            const ssize_t n = ::read(master, in, sizeof in);
            if (n > 0) {
                // The frames that came before the commands go out before their replies.
                takeFrames(out);
                const quint64 nowDropped = dropped.load(std::memory_order_relaxed);
                session->addDropped(nowDropped - droppedSeen);
                droppedSeen = nowDropped;
                session->receive(in, n, out);
                publish();
            }
        }
        if (fds[2].revents & POLLIN) {
            consume(wakeFd);
            takeFrames(out);
            publish();
        }
        if (!out.isEmpty()) {
            const qint64 n = pty.writeSome(out.constData(), out.size());
            if (n > 0)
                out.remove(0, int(n));
        }
    }

    clientCpuNs = cpuNs(clock);
    clientRunning = false;
}
