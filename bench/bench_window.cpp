// The real main window in an X server, fed by the fake adapter at the link's
// top rate: 10,000 frames/s spread over 200 identifiers, all eight bytes of
// every frame changing, "HIGHLIGHT CHANGES" on, recording on.
//
// Prints, for a steady period in fixed mode and one in scroll mode:
//   - CPU time split by thread (GUI, reader, other window threads; the fake
//     adapter's own threads are shown apart and not counted as the program's),
//     and the X server's CPU when this program started it;
//   - paints of the table's viewport per second;
//   - lateness of a 5 ms precise timer on the GUI thread (p50, p99, max);
//   - the age of what a visible cell holds and what the screen shows: for every
//     frame of an identifier whose row is visible, the time from its write to
//     the pty until its cell (or a later paint of it) shows that frame or a
//     newer one (p50, p99, max);
//   - resident memory at the start and the end;
// then the dump file's completeness (every frame, in order), and the cost of
// first fills: 200, 500 and 2,000 new identifiers in one refresh, in arrival
// order and with "ORDER BY ID" among as many existing rows.
//
// Starts Xvfb on a free display when DISPLAY is not set, and stops it at the end.
//
//   bench_window [fixed seconds, default 60; 0: first fills only] [scroll seconds, default 60; 0: none]
//                [frames/s, default 10000] [first fills: 1 (default) or 0]

#include "bench/benchsupport.h"
#include "core/hex.h"
#include "tests/support/fakeadapter.h"
#include "tests/support/tablewindow.h"
#include "tests/support/windowdriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPaintEvent>
#include <QSet>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTime>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

constexpr int IDENTIFIERS = 200;
constexpr quint32 FIRST_ID = 0x18FE0000u;

// ---------------------------------------------------------------------------
// Frames: identifier index i % 200; the identifier's own frame counter c =
// i / 200 is spread over the eight bytes so that every byte differs from the
// identifier's previous frame: d0..d5 = l, l+1, .. l+5, d6 = m + l,
// d7 = h + m + l (all mod 256) for c = h:m:l.

QByteArray frameData(int index)
{
    const quint32 c = quint32(index / IDENTIFIERS);
    const quint32 l = c & 0xFF, m = (c >> 8) & 0xFF, h = (c >> 16) & 0xFF;
    QByteArray data(8, '\0');
    for (int k = 0; k < 6; ++k)
        data[k] = char((l + quint32(k)) & 0xFF);
    data[6] = char((m + l) & 0xFF);
    data[7] = char((h + m + l) & 0xFF);
    return data;
}

// The frame index shown by the bytes d0, d6, d7 of the identifier with index
// idIndex; -1 when one of them is missing.
int frameIndexOf(int idIndex, int b0, int b6, int b7)
{
    if (b0 < 0 || b6 < 0 || b7 < 0)
        return -1;
    const int l = b0, m = (b6 - l) & 0xFF, h = (b7 - m - l) & 0xFF;
    return ((h << 16) | (m << 8) | l) * IDENTIFIERS + idIndex;
}

// The byte a cell shows ("  A5  "), -1 for anything else.
int cellByte(const QTableWidgetItem *cell)
{
    quint64 value = 0;
    const QStringView text = cell ? QStringView(cell->text()).trimmed() : QStringView();
    return text.size() == 2 && core::parseHex(text, value) ? int(value) : -1;
}

// ---------------------------------------------------------------------------
// Threads and processes

double residentMiB()
{
    return double(bench::residentKiB()) / 1024.0;
}

struct CpuSnapshot {
    QMap<QString, double> threads;
    double server = 0;
    qint64 wallNs = 0;
};

CpuSnapshot cpuSnapshot(pid_t server)
{
    CpuSnapshot s;
    for (const QString &tid : bench::threadIds())
        s.threads.insert(tid, bench::threadCpuSeconds(tid));
    s.server = bench::processCpuSeconds(server);
    s.wallNs = bench::monotonicNs();
    return s;
}

// ---------------------------------------------------------------------------
// Xvfb

pid_t startXvfb()
{
    int display = 99;
    for (; display < 160; ++display) {
        struct stat st;
        if (stat(QStringLiteral("/tmp/.X11-unix/X%1").arg(display).toLocal8Bit().constData(), &st) != 0
            && stat(QStringLiteral("/tmp/.X%1-lock").arg(display).toLocal8Bit().constData(), &st) != 0)
            break;
    }
    const QByteArray name = ":" + QByteArray::number(display);
    const char *argv[] = {"Xvfb", name.constData(), "-screen", "0", "1920x1080x24", "-nolisten", "tcp", nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "Xvfb", nullptr, nullptr, const_cast<char **>(argv), environ) != 0) {
        std::fprintf(stderr, "cannot start Xvfb (install the xvfb package)\n");
        return 0;
    }
    const QByteArray socket = "/tmp/.X11-unix/X" + QByteArray::number(display);
    for (int i = 0; i < 100; ++i) {
        struct stat st;
        if (stat(socket.constData(), &st) == 0) {
            qputenv("DISPLAY", name);
            return pid;
        }
        usleep(50000);
    }
    std::fprintf(stderr, "Xvfb did not come up\n");
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return 0;
}

void stopXvfb(pid_t pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

// ---------------------------------------------------------------------------
// The application: counts and times the paints of the table's viewport.

class BenchApp : public QApplication
{
public:
    using QApplication::QApplication;

    QWidget *watched = nullptr;
    std::function<void(const QRegion &)> afterPaint;
    long paints = 0;

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (receiver != watched || event->type() != QEvent::Paint || !watched)
            return QApplication::notify(receiver, event);
        const QRegion region = static_cast<QPaintEvent *>(event)->region();
        const bool result = QApplication::notify(receiver, event);
        ++paints;
        if (afterPaint)
            afterPaint(region);
        return result;
    }
};

BenchApp *benchApp() { return static_cast<BenchApp *>(qApp); }

// Runs the event loop (sleeping while there is nothing to do) until `done`
// holds or `ms` passed.
template <typename Pred>
void spin(Pred done, int ms)
{
    QEventLoop loop;
    QElapsedTimer t;
    t.start();
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done() || t.elapsed() >= ms)
            loop.quit();
    });
    check.start(1);
    if (!done())
        loop.exec();
}

void spinFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// ---------------------------------------------------------------------------
// Steady streaming

struct Probe {
    int idIndex;
    int row;
    int lastShown = -1;   // newest frame index the cell has held
    int lastPainted = -1; // newest frame index a paint has shown
};

struct Steady {
    std::vector<double> lateness;       // ms
    std::vector<double> shownAge;       // ms
    std::vector<double> paintedAge;     // ms
    bool collecting = false;
};

class StreamBench
{
public:
    StreamBench(pid_t server, int rate)
        : server(server)
        , rate(rate)
    {
    }

    bool run(int fixedSeconds, int scrollSeconds);

private:
    void measure(const char *mode, int seconds);
    void sampleCells(std::vector<double> *sink, bool painted, const QRegion *region);

    pid_t server;
    int rate;
    std::unique_ptr<FakeAdapter> adapter;
    std::unique_ptr<MainWindow> window;
    QTableWidget *table = nullptr;
    std::vector<std::atomic<qint64>> writeNs;
    std::vector<Probe> probes;
    Steady steady;
    QSet<QString> adapterTids, readerTids;
    qint64 lastTick = 0;
};

void StreamBench::sampleCells(std::vector<double> *sink, bool painted, const QRegion *region)
{
    const qint64 now = bench::monotonicNs();
    const int sent = adapter->streamSent();
    for (Probe &probe : probes) {
        if (region && !region->intersects(table->visualRect(table->model()->index(probe.row, 2))))
            continue;
        const QTableWidgetItem *d0 = table->item(probe.row, 2), *d6 = table->item(probe.row, 8),
                               *d7 = table->item(probe.row, 9);
        if (!d0 || !d6 || !d7)
            continue;
        const int shown = frameIndexOf(probe.idIndex, cellByte(d0), cellByte(d6), cellByte(d7));
        int &last = painted ? probe.lastPainted : probe.lastShown;
        if (shown < 0 || shown >= sent || shown <= last)
            continue;
        if (last >= 0 && steady.collecting && sink) {
            for (int frame = last + IDENTIFIERS; frame <= shown; frame += IDENTIFIERS)
                sink->push_back(double(now - writeNs[std::size_t(frame)].load(std::memory_order_relaxed)) / 1e6);
        }
        last = shown;
    }
}

bool StreamBench::run(int fixedSeconds, int scrollSeconds)
{
    const int warmSeconds = 5;
    const int totalSeconds = warmSeconds + fixedSeconds + 3 + scrollSeconds + 2;
    const int count = rate * totalSeconds;
    writeNs = std::vector<std::atomic<qint64>>(std::size_t(count));

    const QSet<QString> before = bench::threadIds();
    adapter = std::make_unique<FakeAdapter>();
    if (!adapter->isOpen()) {
        std::fprintf(stderr, "cannot open a pseudo-terminal\n");
        return false;
    }
    adapterTids = bench::threadIds() - before;

    // Wide enough for all ten columns, as a user watching every byte would have it.
    window = std::make_unique<MainWindow>();
    window->resize(1900, 1000);
    window->show();
    spin([&] { return window->windowHandle() && window->windowHandle()->isExposed(); }, 5000);
    table = window->findChild<QTableWidget *>(QStringLiteral("tv_messages"));
    benchApp()->watched = table->viewport();

    if (!WindowDriver::openFake(*window, *adapter)) {
        std::fprintf(stderr, "the window did not open the fake adapter\n");
        return false;
    }
    const QSet<QString> beforeReader = bench::threadIds();
    WindowDriver::configure(*window);
    spinFor(100);
    readerTids = bench::threadIds() - beforeReader;
    WindowDriver::press(*window, "pb_highlightChanges");
    WindowDriver::press(*window, "pb_dumpFile");

    // Lateness of a 5 ms precise timer.
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = bench::monotonicNs();
        if (lastTick && steady.collecting)
            steady.lateness.push_back(qMax(0.0, double(now - lastTick) / 1e6 - 5.0));
        lastTick = now;
    });
    tick.start();

    // What the cells hold after every refresh, and what every paint shows.
    QObject::connect(table->model(), &QAbstractItemModel::dataChanged, [&] {
        sampleCells(&steady.shownAge, false, nullptr);
    });
    benchApp()->afterPaint = [&](const QRegion &region) { sampleCells(&steady.paintedAge, true, &region); };

    const QSet<QString> beforeStream = bench::threadIds();
    adapter->startStream(
        [this](int index) {
            writeNs[std::size_t(index)].store(bench::monotonicNs(), std::memory_order_relaxed);
            return FakeAdapter::frame(FIRST_ID + quint32(index % IDENTIFIERS), false, frameData(index));
        },
        rate, count);
    spinFor(300);
    adapterTids += bench::threadIds() - beforeStream - readerTids;

    // Probe the identifiers whose rows are wholly visible.
    spinFor(warmSeconds * 1000 - 300);
    const QMap<quint32, int> rows = MainWindowProbe::rowOfId(*window);
    for (auto it = rows.cbegin(); it != rows.cend(); ++it) {
        const QRect cell = table->visualRect(table->model()->index(it.value(), 9));
        if (table->viewport()->rect().contains(table->visualRect(table->model()->index(it.value(), 0)))
            && table->viewport()->rect().contains(cell))
            probes.push_back({int(it.key() - FIRST_ID), it.value()});
    }
    std::printf("window %dx%d, table viewport %dx%d, %d rows, %zu rows wholly visible (probed)\n",
                window->width(), window->height(), table->viewport()->width(), table->viewport()->height(),
                table->rowCount(), probes.size());

    measure("fixed mode", fixedSeconds);

    // Scroll mode: rows are new each refresh; nothing to probe by identifier.
    if (scrollSeconds > 0) {
        probes.clear();
        WindowDriver::press(*window, "pb_scroll");
        spinFor(3000);
        measure("scroll mode", scrollSeconds);
    }

    // Stop the stream, let the reader take the tail, then stop recording.
    tick.stop();
    adapter->stopStream();
    spinFor(1000);
    WindowDriver::press(*window, "pb_dumpFile");
    const int sent = adapter->streamSent();
    const int sentAll = sent;
    std::printf("\nstream: %d frames sent\n", sent);
    benchApp()->afterPaint = nullptr;
    benchApp()->watched = nullptr;
    WindowDriver::press(*window, "pb_close");
    window.reset();

    // The dump: every frame sent while recording, once and in order.
    const QFileInfoList dumps = QDir(QStringLiteral("dumps")).entryInfoList({QStringLiteral("dump_*.csv")});
    if (dumps.isEmpty()) {
        std::printf("recording: no dump file\n");
        return false;
    }
    const Recording dump = readRecordingFile(dumps.first().absoluteFilePath());
    long lines = 0, outOfOrder = 0, malformed = dump.error.isEmpty() ? 0 : 1; // the reader stops at the first
    int expected = 0;
    std::vector<char> seen(std::size_t(sentAll), 0);
    for (const formats::CanFrame &f : dump.frames) {
        const int idIndex = int(f.id - FIRST_ID);
        if (f.data.size() != 8 || idIndex < 0 || idIndex >= IDENTIFIERS) {
            ++malformed;
            continue;
        }
        const int frame = frameIndexOf(idIndex, quint8(f.data[0]), quint8(f.data[6]), quint8(f.data[7]));
        if (frame != expected)
            ++outOfOrder;
        expected = frame + 1;
        if (frame >= 0 && frame < sentAll)
            seen[std::size_t(frame)] = 1;
        ++lines;
    }
    long lost = 0;
    for (int i = 0; i < sent; ++i)
        lost += seen[std::size_t(i)] ? 0 : 1;
    std::printf("recording: %ld dump lines, %ld of the %d frames sent before the stop missing, %ld out of order, "
                "%ld malformed\n",
                lines, lost, sent, outOfOrder, malformed);
    return true;
}

void StreamBench::measure(const char *mode, int seconds)
{
    steady = Steady();
    for (Probe &probe : probes)
        probe.lastShown = probe.lastPainted = -1;
    const double rssStart = residentMiB();
    const long paints0 = benchApp()->paints;
    const int sent0 = adapter->streamSent();
    const CpuSnapshot c0 = cpuSnapshot(server);
    steady.collecting = true;
    double rssMax = rssStart;
    int trims = 0;
    long rowsAdded = 0;
    double rssAtFirstTrim = 0;
    long rowsAtFirstTrim = 0;
    const QMetaObject::Connection inserted = QObject::connect(
        table->model(), &QAbstractItemModel::rowsInserted,
        [&](const QModelIndex &, int first, int last) { rowsAdded += last - first + 1; });
    const QMetaObject::Connection removed =
        QObject::connect(table->model(), &QAbstractItemModel::rowsRemoved, [&] {
            if (trims++ == 0) {
                rssAtFirstTrim = residentMiB();
                rowsAtFirstTrim = rowsAdded;
            }
        });
    QTimer rssSampler;
    QObject::connect(&rssSampler, &QTimer::timeout, [&] { rssMax = std::max(rssMax, residentMiB()); });
    rssSampler.start(250);
    spinFor(seconds * 1000);
    rssSampler.stop();
    QObject::disconnect(inserted);
    QObject::disconnect(removed);
    steady.collecting = false;
    const CpuSnapshot c1 = cpuSnapshot(server);
    const double wall = double(c1.wallNs - c0.wallNs) * 1e-9;
    const long paints = benchApp()->paints - paints0;
    const int sent = adapter->streamSent() - sent0;

    const QString gui = QString::number(getpid());
    double guiCpu = 0, readerCpu = 0, adapterCpu = 0, otherCpu = 0;
    QStringList others;
    for (auto it = c1.threads.cbegin(); it != c1.threads.cend(); ++it) {
        const double used = it.value() - c0.threads.value(it.key(), 0.0);
        if (it.key() == gui)
            guiCpu += used;
        else if (readerTids.contains(it.key()))
            readerCpu += used;
        else if (adapterTids.contains(it.key()))
            adapterCpu += used;
        else {
            otherCpu += used;
            if (used > 0.005 * wall)
                others << QStringLiteral("%1 %2 %").arg(bench::threadName(it.key())).arg(100.0 * used / wall, 0, 'f', 1);
        }
    }
    auto pct = [wall](double s) { return 100.0 * s / wall; };
    std::printf("\n== %s, %d s at %.0f frames/s (%d frames)\n", mode, seconds, sent / wall, sent);
    std::printf("  program CPU            %5.1f %% of one core: GUI thread %.1f %%, reader %.1f %%, other %.1f %%%s\n",
                pct(guiCpu + readerCpu + otherCpu), pct(guiCpu), pct(readerCpu), pct(otherCpu),
                others.isEmpty() ? "" : qPrintable(QStringLiteral(" (") + others.join(QStringLiteral(", ")) + ')'));
    std::printf("  fake adapter threads   %5.1f %%;  X server %.1f %%\n", pct(adapterCpu),
                server > 0 ? pct(c1.server - c0.server) : 0.0);
    std::printf("  viewport paints        %5.1f per second\n", paints / wall);
    const bench::Summary late = bench::summarize(steady.lateness);
    const long over50 = long(std::count_if(steady.lateness.begin(), steady.lateness.end(), [](double ms) { return ms > 50; }));
    std::printf("  5 ms timer lateness    p50 %.2f ms, p99 %.2f ms, max %.2f ms (%zu ticks, %ld above 50 ms)\n", late.median,
                late.p99, late.max, late.count, over50);
    if (!probes.empty()) {
        const bench::Summary shown = bench::summarize(steady.shownAge);
        const bench::Summary painted = bench::summarize(steady.paintedAge);
        std::printf("  frame -> cell holds it p50 %.2f ms, p99 %.2f ms, max %.2f ms (%zu frames)\n", shown.median,
                    shown.p99, shown.max, shown.count);
        std::printf("  frame -> cell painted  p50 %.2f ms, p99 %.2f ms, max %.2f ms (%zu frames)\n", painted.median,
                    painted.p99, painted.max, painted.count);
    }
    const double rssEnd = residentMiB();
    std::printf("  resident memory        start %.1f MiB, end %.1f MiB, peak %.1f MiB\n", rssStart, rssEnd, rssMax);
    if (trims > 0 || rowsAdded > 0) {
        std::printf("  log rows               %ld appended (%.0f per second), %d trims, %d rows at the end\n", rowsAdded,
                    rowsAdded / wall, trims, table->rowCount());
        if (trims > 0 && rowsAtFirstTrim > 0)
            std::printf("  growth until the trim  %.1f MiB for %ld rows = %.0f bytes per row; %.1f MiB per minute "
                        "until then\n",
                        rssAtFirstTrim - rssStart, rowsAtFirstTrim,
                        (rssAtFirstTrim - rssStart) * 1024 * 1024 / double(rowsAtFirstTrim),
                        (rssAtFirstTrim - rssStart) / (double(rowsAtFirstTrim) / (rowsAdded / wall)) * 60.0);
    }
}

// ---------------------------------------------------------------------------
// First fills

void store(MainWindow &w, const std::vector<quint32> &ids)
{
    const QString now = stamp(QTime::currentTime());
    for (quint32 id : ids)
        MainWindowProbe::serial(w).storeMessage(id, {now, idText(id), payloadText(id)});
}

struct FillTime {
    double refreshMs;
    double paintedMs; // refresh plus the wait until the viewport was painted
};

FillTime timedRefresh(MainWindow &w)
{
    const long paints = benchApp()->paints;
    QElapsedTimer t;
    t.start();
    QMetaObject::invokeMethod(&w, "updateTable");
    MainWindowProbe::refreshTimer(w).stop();
    const double refresh = t.nsecsElapsed() / 1e6;
    spin([&] { return benchApp()->paints > paints; }, 2000);
    return {refresh, t.nsecsElapsed() / 1e6};
}

void firstFills()
{
    MainWindow w;
    w.show();
    spin([&] { return w.windowHandle() && w.windowHandle()->isExposed(); }, 5000);
    w.findChild<QWidget *>(QStringLiteral("tableFrame"))->setEnabled(true);
    auto *table = w.findChild<QTableWidget *>(QStringLiteral("tv_messages"));
    benchApp()->watched = table->viewport();
    WindowDriver::press(w, "pb_highlightChanges");
    spinFor(200);

    std::printf("\n== first fills (one refresh that inserts every identifier; median and max of 5)\n");
    for (const bool ordered : {false, true}) {
        for (const int n : {200, 500, 2000}) {
            std::vector<double> refresh, painted;
            for (int rep = 0; rep < 5; ++rep) {
                WindowDriver::press(w, "pb_clearTable");
                auto *order = w.findChild<QAbstractButton *>(QStringLiteral("pb_order"));
                if (order->isChecked() != ordered)
                    order->click();
                // Ordered: n rows exist, the n new identifiers fall between them.
                std::vector<quint32> existing, fresh;
                for (int i = 0; i < n; ++i) {
                    existing.push_back(FIRST_ID + quint32(i) * 2u);
                    fresh.push_back(FIRST_ID + quint32(i) * 2u + 1u);
                }
                if (ordered) {
                    store(w, existing);
                    timedRefresh(w);
                }
                spinFor(50);
                store(w, fresh);
                const FillTime t = timedRefresh(w);
                refresh.push_back(t.refreshMs);
                painted.push_back(t.paintedMs);
            }
            const bench::Summary r = bench::summarize(refresh), p = bench::summarize(painted);
            std::printf("  %-40s refresh %7.2f ms (max %7.2f), until painted %7.2f ms (max %7.2f)\n",
                        qPrintable(ordered ? QStringLiteral("%1 new, ORDER BY ID, among %1 rows").arg(n)
                                           : QStringLiteral("%1 new, arrival order, empty table").arg(n)),
                        r.median, r.max, p.median, p.max);
        }
    }
    benchApp()->watched = nullptr;
}

} // namespace

int main(int argc, char **argv)
{
    // 0 seconds skips the streaming phases (first fills only).
    const int fixedSeconds = argc > 1 ? std::max(0, atoi(argv[1])) : 60;
    const int scrollSeconds = argc > 2 ? std::max(0, atoi(argv[2])) : 60;
    const int rate = argc > 3 ? std::max(100, atoi(argv[3])) : 10000;
    const bool fills = argc > 4 ? atoi(argv[4]) != 0 : true;

    pid_t server = 0;
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        server = startXvfb();
        if (!server)
            return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    int status = 0;
    {
        BenchApp app(argc, argv);
        QTemporaryDir dir;
        if (!dir.isValid() || !QDir::setCurrent(dir.path())) {
            std::fprintf(stderr, "no temporary directory\n");
            status = 1;
        } else {
            std::printf("bench_window: display %s, %d IDENTIFIERS, %d frames/s, all 8 bytes changing, "
                        "HIGHLIGHT CHANGES and recording on\n",
                        qgetenv("DISPLAY").constData(), IDENTIFIERS, rate);
            std::fflush(stdout);
            if (fixedSeconds > 0) {
                StreamBench stream(server, rate);
                if (!stream.run(fixedSeconds, scrollSeconds))
                    status = 1;
            }
            std::fflush(stdout);
            if (fills)
                firstFills();
        }
    }
    stopXvfb(server);
    return status;
}
