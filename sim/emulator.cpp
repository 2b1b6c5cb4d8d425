#include "sim/emulator.h"

#include "link/protocol.h"
#include "sim/adapterwire.h"
#include "sim/ptydevice.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr qint64 MS = 1000000;
// A frame that could not go out within this time after its due time is dropped
// instead of being sent in a burst.
constexpr qint64 LATE_NS = 250 * MS;
// An unfinished command still pending after this much silence is settled.
constexpr qint64 IDLE_FLUSH_NS = 200 * MS;

qint64 monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

QString hex(quint32 value)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper();
}

} // namespace

struct AdapterEmulator::Device {
    PtyDevice pty;
};

AdapterEmulator::AdapterEmulator(std::unique_ptr<TrafficSource> traffic)
    : source(traffic ? std::move(traffic) : std::make_unique<TruckTraffic>())
{
}

AdapterEmulator::~AdapterEmulator()
{
    stop();
}

void AdapterEmulator::setEventHandler(std::function<void(const QString &)> handler)
{
    onEvent = std::move(handler);
}

bool AdapterEmulator::start(QString *error)
{
    if (isRunning())
        return true;
    device = std::make_unique<Device>();
    if (!device->pty.open()) {
        if (error)
            *error = QStringLiteral("cannot create a pseudo-terminal: %1")
                         .arg(QString::fromLocal8Bit(strerror(errno)));
        device.reset();
        return false;
    }
    wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0) {
        if (error)
            *error = QStringLiteral("cannot create an event descriptor: %1")
                         .arg(QString::fromLocal8Bit(strerror(errno)));
        device.reset();
        return false;
    }
    stopRequested = false;
    finalCpuNs = -1;
    stopNs = 0;
    worker = std::thread(&AdapterEmulator::run, this);
    return true;
}

void AdapterEmulator::stop()
{
    if (worker.joinable()) {
        stopRequested = true;
        const quint64 one = 1;
        if (::write(wakeFd, &one, sizeof one) < 0) {
            // The worker also checks the flag at its next wake-up.
        }
        worker.join();
    }
    if (wakeFd >= 0) {
        ::close(wakeFd);
        wakeFd = -1;
    }
    if (device) {
        device->pty.close();
        device.reset();
    }
}

QString AdapterEmulator::devicePath() const
{
    return device ? device->pty.slavePath() : QString();
}

AdapterEmulator::Stats AdapterEmulator::stats() const
{
    Stats s;
    s.framesSent = sent.load();
    s.framesDropped = dropped.load();
    s.framesFiltered = filtered.load();
    s.configurations = configs.load();
    s.filterCommands = filters.load();
    s.ignoredBytes = ignored.load();
    const qint64 first = firstStartPublished.load();
    if (first > 0) {
        const qint64 end = stopNs.load() > 0 ? stopNs.load() : monotonicNs();
        s.sendingSeconds = double(end - first) / 1e9;
    }
    qint64 cpu = finalCpuNs.load();
    if (cpu < 0 && worker.joinable()) {
        clockid_t clock;
        timespec ts{};
        if (pthread_getcpuclockid(const_cast<std::thread &>(worker).native_handle(), &clock) == 0
            && clock_gettime(clock, &ts) == 0)
            cpu = qint64(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
    }
    s.cpuSeconds = cpu > 0 ? double(cpu) / 1e9 : 0.0;
    return s;
}

AdapterEmulator::FilterState AdapterEmulator::filterState() const
{
    std::lock_guard<std::mutex> lock(stateMutex);
    return publishedFilter;
}

QString AdapterEmulator::canRate() const
{
    std::lock_guard<std::mutex> lock(stateMutex);
    return publishedRate;
}

bool AdapterEmulator::passes(quint32 id) const
{
    if (((id ^ maskFilter) & maskBits) != 0)
        return false;
    if (!filterOn)
        return true;
    const bool listed = std::binary_search(filterSorted.begin(), filterSorted.end(), id);
    return filterExclude ? !listed : listed;
}

void AdapterEmulator::flushDeviceInput()
{
    // Frames of the previous run that nobody read are stale now.
    device->pty.flushSlaveInput();
}

void AdapterEmulator::applyCommand(const AdapterCommand &command, qint64 nowNs)
{
    QString event;
    if (command.kind == AdapterCommand::Configuration) {
        // Start over: stale frames and the rest of a half-sent one are dropped.
        sending = true;
        epochNs = nowNs;
        source->restart();
        carry.clear();
        flushDeviceInput();
        if (firstStartNs == 0) {
            firstStartNs = nowNs;
            firstStartPublished = nowNs;
        }
        maskFilter = command.filterId;
        maskBits = command.maskId;
        const QString rate = command.canRateText();
        {
            std::lock_guard<std::mutex> lock(stateMutex);
            publishedRate = rate;
        }
        event = QStringLiteral("configuration: %1, identifier kind %2, filter %3, mask %4")
                    .arg(rate)
                    .arg(command.idKind)
                    .arg(hex(command.filterId), hex(command.maskId));
        ++configs;
    } else {
        filterOn = !command.ids.isEmpty();
        filterExclude = command.exclude;
        filterSorted.assign(command.ids.begin(), command.ids.end());
        std::sort(filterSorted.begin(), filterSorted.end());
        filterSorted.erase(std::unique(filterSorted.begin(), filterSorted.end()),
                           filterSorted.end());
        {
            std::lock_guard<std::mutex> lock(stateMutex);
            publishedFilter.enabled = filterOn;
            publishedFilter.exclude = filterExclude;
            publishedFilter.ids = command.ids;
        }
        ++filters;
        if (!filterOn) {
            event = QStringLiteral("filter list: off");
        } else {
            QStringList shown;
            for (int i = 0; i < command.ids.size() && i < 8; ++i)
                shown << hex(command.ids.at(i));
            if (command.ids.size() > 8)
                shown << QStringLiteral("...");
            event = QStringLiteral("filter list: %1 %2 identifier(s): %3")
                        .arg(filterExclude ? QStringLiteral("exclude") : QStringLiteral("show"))
                        .arg(command.ids.size())
                        .arg(shown.join(QLatin1Char(' ')));
        }
    }
    if (onEvent)
        onEvent(event);
}

void AdapterEmulator::run()
{
    PtyDevice &pty = device->pty;
    AdapterCommandParser parser;
    QByteArray input;
    QByteArray batch;
    batch.reserve(64 * 1024);
    carry.clear();
    qint64 lastInputNs = 0;
    const bool everyFrame = source->keepsEveryFrame();

    auto handle = [&](const std::vector<AdapterCommand> &commands) {
        for (const AdapterCommand &c : commands)
            applyCommand(c, monotonicNs());
        ignored = parser.ignoredBytes();
    };

    while (!stopRequested.load()) {
        const qint64 now = monotonicNs();

        if (sending) {
            if (!carry.isEmpty()) {
                const qint64 n = pty.writeSome(carry.constData(), carry.size());
                if (n > 0)
                    carry.remove(0, int(n));
                else if (n < 0)
                    carry.clear();
            }
            // Everything due within the current millisecond of the schedule
            // goes out in one write.
            const qint64 horizon = epochNs + ((now - epochNs) / MS + 1) * MS;
            batch.clear();
            int frames = 0;
            while (source->hasNext() && !(everyFrame && !carry.isEmpty())) {
                const qint64 due = epochNs + source->nextDueNs();
                if (due >= horizon)
                    break;
                const EmulatedFrame f = source->takeNext();
                if (!passes(f.id)) {
                    ++filtered;
                    continue;
                }
                if (!everyFrame && (now - due > LATE_NS || !carry.isEmpty())) {
                    ++dropped;
                    continue;
                }
                batch.append(buildAdapterFrame(f.id, f.standard, f.payload()));
                ++frames;
            }
            if (frames > 0 && everyFrame) {
                // What the device does not take now waits for room.
                const qint64 n = pty.writeSome(batch.constData(), batch.size());
                if (n >= 0)
                    carry = batch.mid(int(n));
                sent += quint64(frames);
            } else if (frames > 0) {
                qint64 n = pty.writeSome(batch.constData(), batch.size());
                if (n < 0)
                    n = 0;
                int whole = int(n / wire::FRAME_SIZE);
                const int part = int(n % wire::FRAME_SIZE);
                if (part > 0) {
                    carry = batch.mid(int(n), wire::FRAME_SIZE - part);
                    ++whole;
                }
                sent += quint64(whole);
                dropped += quint64(frames - whole);
            }
        }

        qint64 wakeAt = LLONG_MAX;
        // A source that keeps every frame and finds the device full waits for
        // room (POLLOUT below), not for the next due time.
        if (sending && source->hasNext() && !(everyFrame && !carry.isEmpty()))
            wakeAt = epochNs + source->nextDueNs();
        if (parser.hasPending())
            wakeAt = std::min(wakeAt, lastInputNs + IDLE_FLUSH_NS);
        timespec timeout{};
        timespec *timeoutPtr = nullptr;
        if (wakeAt != LLONG_MAX) {
            const qint64 wait = std::max<qint64>(0, wakeAt - monotonicNs());
            timeout.tv_sec = time_t(wait / 1000000000LL);
            timeout.tv_nsec = long(wait % 1000000000LL);
            timeoutPtr = &timeout;
        }
        pollfd fds[2] = {
            {wakeFd, POLLIN, 0},
            {pty.masterFd(), short(POLLIN | (carry.isEmpty() ? 0 : POLLOUT)), 0},
        };
        const int r = ::ppoll(fds, 2, timeoutPtr, nullptr);
        if (r < 0 && errno != EINTR)
            break;
        if (r > 0 && (fds[0].revents & POLLIN))
            break;
        if (r > 0 && (fds[1].revents & POLLIN)) {
            input.clear();
            if (pty.readAvailable(input) > 0) {
                lastInputNs = monotonicNs();
                handle(parser.feed(input));
            } else {
                // Readable but nothing to read: the device is failing; do not spin.
                ::poll(fds, 1, 10);
            }
        } else if (r > 0 && (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL))) {
            ::poll(fds, 1, 10);
        }
        if (parser.hasPending() && monotonicNs() - lastInputNs >= IDLE_FLUSH_NS)
            handle(parser.flush());
    }

    stopNs = monotonicNs();
    timespec cpu{};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu) == 0)
        finalCpuNs = qint64(cpu.tv_sec) * 1000000000LL + cpu.tv_nsec;
}

} // namespace sim
