#include "emulator.h"

#include "protocol.h"
#include "ptydevice.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr quint8 START0 = 0xAA;
constexpr quint8 START1 = 0x55;
// The ten bytes that stand for one identifier byte 0x0D in a filter-list command.
const quint8 CR_ESCAPE[] = {0x0D, 0x0D, 0x0A, 'E', 'R', 'R', 'O', 'R', 0x0D, 0x0A};
constexpr int CR_ESCAPE_SIZE = int(sizeof CR_ESCAPE);
// A filter list longer than this is not believed (and its bytes not kept).
constexpr int MAX_FILTER_IDS = 1 << 20;
constexpr int MAX_PENDING_BYTES = 4 * MAX_FILTER_IDS * 2;

constexpr qint64 MS = 1000000;
// A frame that could not go out within this time after its due time is dropped
// instead of being sent in a burst.
constexpr qint64 LATE_NS = 250 * MS;
// An unfinished command still pending after this much silence is settled.
constexpr qint64 IDLE_FLUSH_NS = 200 * MS;

inline quint8 at(const QByteArray &b, int i)
{
    return quint8(b.at(i));
}

qint64 monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// Sum of bytes first..last (inclusive) modulo 256.
quint8 checksum(const QByteArray &b, int first, int last)
{
    unsigned sum = 0;
    for (int i = first; i <= last; ++i)
        sum += at(b, i);
    return quint8(sum);
}

QString hex(quint32 value)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper();
}

} // namespace

// ---------------------------------------------------------------- commands

QString AdapterCommand::canRateText() const
{
    if (command == 0x03) {
        if (timing == 0x5A)
            return QStringLiteral("33.333 kbps");
        if (timing == 0x24)
            return QStringLiteral("83.333 kbps");
        return QStringLiteral("timing 0x%1").arg(timing, 2, 16, QLatin1Char('0'));
    }
    switch (rateCode) {
    case 0x09:
        return QStringLiteral("50 kbps");
    case 0x08:
        return QStringLiteral("100 kbps");
    case 0x07:
        return QStringLiteral("125 kbps");
    case 0x05:
        return QStringLiteral("250 kbps");
    case 0x03:
        return QStringLiteral("500 kbps");
    default:
        return QStringLiteral("code 0x%1").arg(rateCode, 2, 16, QLatin1Char('0'));
    }
}

void AdapterCommandParser::dropHead(int count)
{
    count = std::min(count, buffer.size());
    buffer.remove(0, count);
    ignored += quint64(count);
}

std::vector<AdapterCommand> AdapterCommandParser::feed(const QByteArray &bytes)
{
    std::vector<AdapterCommand> out;
    buffer.append(bytes);
    const bool tooMuch = buffer.size() > MAX_PENDING_BYTES;
    while (!buffer.isEmpty()) {
        if (parseHead(out, tooMuch) == Step::NeedMore)
            break;
    }
    return out;
}

std::vector<AdapterCommand> AdapterCommandParser::flush()
{
    std::vector<AdapterCommand> out;
    while (!buffer.isEmpty())
        parseHead(out, true);
    return out;
}

AdapterCommandParser::Step AdapterCommandParser::parseHead(std::vector<AdapterCommand> &out,
                                                           bool final)
{
    const int size = buffer.size();
    // A command cut short: wait for more bytes, or, when no more will come,
    // give up on this start.
    const auto incomplete = [this, final] {
        if (!final)
            return Step::NeedMore;
        dropHead(1);
        return Step::Done;
    };

    // Resynchronise on the next AA 55.
    int start = -1;
    for (int i = 0; i + 1 < size; ++i) {
        if (at(buffer, i) == START0 && at(buffer, i + 1) == START1) {
            start = i;
            break;
        }
    }
    if (start < 0) {
        // A last AA may be the first half of a start.
        const bool keepLast = !final && at(buffer, size - 1) == START0;
        dropHead(keepLast ? size - 1 : size);
        return keepLast ? Step::NeedMore : Step::Done;
    }
    if (start > 0) {
        dropHead(start);
        return Step::Done;
    }

    if (size < 3)
        return incomplete();
    const quint8 kind = at(buffer, 2);

    if (kind == 0x02 || kind == 0x03) {
        if (size < wire::FRAME_SIZE)
            return incomplete();
        if (checksum(buffer, 2, 18) != at(buffer, 19)) {
            dropHead(1); // not a command: look for the next start
            return Step::Done;
        }
        AdapterCommand c;
        c.kind = AdapterCommand::Configuration;
        c.command = kind;
        c.rateCode = at(buffer, 3);
        c.idKind = at(buffer, 4);
        for (int i = 3; i >= 0; --i) {
            c.filterId = (c.filterId << 8) | at(buffer, 5 + i);
            c.maskId = (c.maskId << 8) | at(buffer, 9 + i);
        }
        c.timing = at(buffer, 16);
        out.push_back(c);
        buffer.remove(0, wire::FRAME_SIZE);
        return Step::Done;
    }

    if (kind != 0x10 && kind != 0x11) {
        dropHead(1);
        return Step::Done;
    }

    // Filter list. The count byte only gives the number of identifiers modulo
    // 256, so every length N, N + 256, ... whose checksum matches is a
    // candidate; the walk goes over the identifier bytes (undoing the 0x0D
    // escape) for as long as the bytes can belong to the command.
    if (size < 4)
        return incomplete();
    const int countByte = at(buffer, 3);
    QVector<quint32> ids;
    quint32 current = 0;
    int logical = 0; // identifier bytes read
    int pos = 4;     // physical position of the next byte
    int bestEnd = -1;
    int bestCount = -1;
    auto checkCandidate = [&]() {
        const int count = logical / 4;
        if (count % 256 != countByte || pos >= size)
            return;
        if (checksum(buffer, 2, std::min(18, pos - 1)) == at(buffer, pos)) {
            bestEnd = pos + 1;
            bestCount = count;
        }
    };
    checkCandidate();
    bool ranOut = false;
    for (;;) {
        if (pos >= size) {
            ranOut = true;
            break;
        }
        const quint8 b = at(buffer, pos);
        if (b == 0x0D) {
            // Must be followed by the rest of the escape.
            const int available = std::min(CR_ESCAPE_SIZE, size - pos);
            bool matches = true;
            for (int i = 1; i < available; ++i) {
                if (at(buffer, pos + i) != CR_ESCAPE[i]) {
                    matches = false;
                    break;
                }
            }
            if (!matches)
                break;
            if (available < CR_ESCAPE_SIZE) {
                ranOut = true;
                break;
            }
            pos += CR_ESCAPE_SIZE;
        } else {
            pos += 1;
        }
        current |= quint32(b) << (8 * (logical % 4));
        ++logical;
        if (logical % 4 == 0) {
            ids.append(current);
            current = 0;
            checkCandidate();
            if (ids.size() >= MAX_FILTER_IDS)
                break;
        }
    }

    bool accept = false;
    if (bestEnd > 0) {
        if (!ranOut || final || bestEnd == size)
            accept = true;
        else if (size >= bestEnd + 2 && at(buffer, bestEnd) == START0
                 && at(buffer, bestEnd + 1) == START1)
            accept = true; // the next command follows
    }
    if (accept) {
        AdapterCommand c;
        c.kind = AdapterCommand::FilterList;
        c.exclude = kind == 0x11;
        c.countByte = quint8(countByte);
        ids.resize(bestCount);
        c.ids = ids;
        out.push_back(c);
        buffer.remove(0, bestEnd);
        return Step::Done;
    }
    if (ranOut && !final)
        return Step::NeedMore;
    dropHead(1);
    return Step::Done;
}

// ---------------------------------------------------------------- emulator

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
            while (source->hasNext()) {
                const qint64 due = epochNs + source->nextDueNs();
                if (due >= horizon)
                    break;
                const EmulatedFrame f = source->takeNext();
                if (!passes(f.id)) {
                    ++filtered;
                    continue;
                }
                if (now - due > LATE_NS || !carry.isEmpty()) {
                    ++dropped;
                    continue;
                }
                batch.append(wire::buildAdapterFrame(f.id, f.standard, f.payload()));
                ++frames;
            }
            if (frames > 0) {
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
        if (sending && source->hasNext())
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
