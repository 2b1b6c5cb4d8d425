// vornix-slcan at the link's top rate: an emulated adapter (the load profile,
// default 10,000 frames/s over 200 identifiers, for 60 s) sends its frames to
// the bridge, a reader on the bridge's pseudo-terminal opens the channel like
// an SLCAN client and reads every line. The adapter is played here, on a
// pseudo-terminal of its own, so that the moment of each frame's write is
// known; like the emulator it writes everything due within a millisecond of
// its schedule at once. Prints the frames lost (the lines compared with the
// frames sent, one by one), the bridge's CPU share and the latency the bridge
// adds, from the adapter's write to the reader's read of the SLCAN line (p50,
// p99, max).
//
// Usage: bench_slcan [seconds, default 60] [frames/s, default 10000] [identifiers, default 200]

#include "bench/benchsupport.h"
#include "sim/adapterwire.h"
#include "sim/ptydevice.h"
#include "sim/trafficprofile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

qint64 nowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void sleepUntilNs(qint64 ns)
{
    timespec ts{time_t(ns / 1000000000), long(ns % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

// The SLCAN line of a frame, written here from the frame's fields (not by the bridge's code).
QByteArray slcanLine(const sim::EmulatedFrame &f)
{
    QByteArray line(f.standard ? "t" : "T");
    line += QByteArray::number(f.id, 16).toUpper().rightJustified(f.standard ? 3 : 8, '0');
    line += QByteArray::number(f.length);
    line += f.payload().toHex().toUpper();
    return line;
}

// Drops what the master side has received (the bridge's configuration commands).
void drain(sim::PtyDevice &pty)
{
    QByteArray ignored;
    pty.readAvailable(ignored);
}

double percentile(std::vector<qint64> &values, double p)
{
    if (values.empty())
        return 0;
    const std::size_t at = std::min(values.size() - 1, std::size_t(p * double(values.size() - 1) + 0.5));
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(at), values.end());
    return double(values[at]) / 1000.0; // µs
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const double seconds = args.size() > 1 ? args[1].toDouble() : 60.0;
    const double rate = args.size() > 2 ? args[2].toDouble() : 10000.0;
    const int identifiers = args.size() > 3 ? args[3].toInt() : 200;
    const qint64 total = qint64(seconds * rate);

    sim::PtyDevice adapter;
    if (!adapter.open()) {
        std::fprintf(stderr, "bench_slcan: cannot create the adapter's pseudo-terminal\n");
        return 1;
    }
    QProcess bridge;
    bridge.start(QStringLiteral(VORNIX_SLCAN_TOOL), {adapter.slavePath()});
    if (!bridge.waitForStarted() || !bridge.waitForReadyRead(10000)) {
        std::fprintf(stderr, "bench_slcan: the bridge did not start: %s\n", bridge.readAllStandardError().constData());
        return 1;
    }
    const QByteArray terminal = bridge.readLine().trimmed();
    const int client = ::open(terminal.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (client < 0) {
        std::fprintf(stderr, "bench_slcan: cannot open %s\n", terminal.constData());
        return 1;
    }

    // Open the channel at 500 kbit/s, as a client would.
    QByteArray got;
    char chunk[65536];
    if (::write(client, "S6\rO\r", 5) != 5)
        return 1;
    for (const qint64 until = nowNs() + 10000000000; got.size() < 2 && nowNs() < until;) {
        pollfd pfd{client, POLLIN, 0};
        if (::poll(&pfd, 1, 100) > 0) {
            const ssize_t n = ::read(client, chunk, sizeof chunk);
            if (n > 0)
                got.append(chunk, int(n));
        }
    }
    if (got != "\r\r") {
        std::fprintf(stderr, "bench_slcan: the channel did not open (%s)\n", got.toHex().constData());
        return 1;
    }
    drain(adapter);

    // ---- the adapter: the load profile at its due times, each write's time kept ----
    std::vector<qint64> writeNs(std::size_t(total), 0);
    std::atomic<qint64> written{0};
    std::atomic<bool> writerFailed{false};
    const double cpuStart = bench::statCpuSeconds(QStringLiteral("/proc/%1/stat").arg(bridge.processId()));
    const qint64 startNs = nowNs() + 100000000;
    std::thread writer([&] {
        sim::LoadTraffic traffic(identifiers, rate);
        QByteArray batch;
        qint64 k = 0;
        while (k < total) {
            sleepUntilNs(startNs + traffic.nextDueNs());
            // As the emulator does: everything due within the current
            // millisecond of the schedule goes out in one write.
            const qint64 horizon = ((nowNs() - startNs) / 1000000 + 1) * 1000000;
            batch.clear();
            const qint64 first = k;
            while (k < total && traffic.nextDueNs() < horizon) {
                const sim::EmulatedFrame f = traffic.takeNext();
                batch += sim::buildAdapterFrame(f.id, f.standard, f.payload());
                ++k;
            }
            const qint64 at = nowNs();
            for (qint64 i = first; i < k; ++i)
                writeNs[std::size_t(i)] = at;
            if (!adapter.writeAll(batch, 2000)) {
                writerFailed = true;
                break;
            }
            written.store(k, std::memory_order_release);
            drain(adapter);
        }
    });

    // ---- the reader: every line, matched with the frames sent in order ----
    sim::LoadTraffic expected(identifiers, rate);
    QByteArray nextLine = slcanLine(expected.takeNext());
    qint64 matched = 0, nextIndex = 0, lost = 0, strange = 0;
    std::vector<qint64> latencyNs;
    latencyNs.reserve(std::size_t(total));
    QByteArray pending;
    qint64 lastData = nowNs();
    for (;;) {
        pollfd pfd{client, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, 200);
        const qint64 now = nowNs();
        if (ready <= 0) {
            // Done once the adapter has sent everything and a second passed without a line.
            if (written.load() >= total && now - lastData > 1000000000)
                break;
            if (writerFailed.load() && now - lastData > 1000000000)
                break;
            continue;
        }
        const ssize_t n = ::read(client, chunk, sizeof chunk);
        if (n <= 0)
            continue;
        lastData = now;
        pending.append(chunk, int(n));
        int from = 0;
        for (int cr = pending.indexOf('\r'); cr >= 0; cr = pending.indexOf('\r', from)) {
            const QByteArray line = pending.mid(from, cr - from);
            from = cr + 1;
            // The frame it is: the next one expected, or one further on after a loss.
            qint64 skipped = 0;
            while (line != nextLine && nextIndex < total && skipped < 100000) {
                nextLine = slcanLine(expected.takeNext());
                ++nextIndex;
                ++skipped;
            }
            if (line != nextLine || nextIndex >= total) {
                ++strange;
                continue;
            }
            lost += skipped;
            while (written.load(std::memory_order_acquire) <= nextIndex) {
            }
            latencyNs.push_back(now - writeNs[std::size_t(nextIndex)]);
            ++matched;
            ++nextIndex;
            if (nextIndex < total)
                nextLine = slcanLine(expected.takeNext());
        }
        pending.remove(0, from);
    }
    writer.join();
    lost += written.load() - nextIndex;
    const double elapsed = double(nowNs() - startNs) / 1e9;
    const double cpuEnd = bench::statCpuSeconds(QStringLiteral("/proc/%1/stat").arg(bridge.processId()));
    // The bridge's threads by name: the link's reader and the rest carry the
    // program's name, the SLCAN side is "slcan-client".
    QStringList threads;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(bridge.processId());
    for (const QString &tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks + QLatin1Char('/') + tid + QStringLiteral("/comm"));
        comm.open(QIODevice::ReadOnly);
        const double cpu = bench::statCpuSeconds(tasks + QLatin1Char('/') + tid + QStringLiteral("/stat"));
        threads << QStringLiteral("%1 %2 s").arg(QString::fromLatin1(comm.readAll().trimmed())).arg(cpu, 0, 'f', 2);
    }

    ::kill(pid_t(bridge.processId()), SIGINT);
    bridge.waitForFinished(10000);
    const QByteArray summary = bridge.readAllStandardError();
    ::close(client);

    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    std::printf("bench_slcan: %.0f s at %.0f frames/s, %d identifiers, through vornix-slcan to a reader on its terminal\n",
                seconds, rate, identifiers);
    std::printf("| figure | value | goal |\n|---|---|---|\n");
    std::printf("| frames sent by the adapter | %lld | |\n", static_cast<long long>(written.load()));
    std::printf("| SLCAN lines read, matching the frames in order | %lld | all |\n", static_cast<long long>(matched));
    std::printf("| frames lost | %lld | 0 |\n", static_cast<long long>(lost));
    std::printf("| lines that are no frame sent | %lld | 0 |\n", static_cast<long long>(strange));
    std::printf("| bridge CPU (share of one core) | %.1f %% | <= 10 %% |\n",
                elapsed > 0 ? 100.0 * (cpuEnd - cpuStart) / elapsed : 0.0);
    std::printf("| added latency p50 | %.0f us | |\n", percentile(latencyNs, 0.50));
    std::printf("| added latency p99 | %.0f us | |\n", percentile(latencyNs, 0.99));
    std::printf("| added latency max | %.0f us | |\n", percentile(latencyNs, 1.0));
    std::printf("bridge CPU by thread over the whole run: %s\n", qPrintable(threads.join(QStringLiteral(", "))));
    std::printf("load average during the run: %.2f %.2f %.2f (2 cores, shared)\n", load[0], load[1], load[2]);
    if (writerFailed.load())
        std::printf("the adapter's writes stalled: the bridge stopped reading\n");
    std::printf("bridge summary:\n%s", summary.constData());
    return lost == 0 && strange == 0 ? 0 : 1;
}
