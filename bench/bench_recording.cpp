// Recording at the link's top rate: the fake adapter streams 10,000 frames/s
// (20-byte frames at 2,000,000 baud) into a serialManager that records while
// the main thread drains the store, as the table refresh would. Every frame
// carries its sequence number, so the dump can be checked for loss, order and
// torn lines. Also measures the reader thread's CPU share, with and without
// recording.
//
// Usage: bench_recording [seconds per phase, default 10] [frames/s, default 10000]

#include "bench/benchsupport.h"
#include "tests/support/fakeadapter.h"

#include "link/serialmanager.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>

#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {

QByteArray sequencedFrame(int index)
{
    QByteArray data(4, '\0');
    qToBigEndian<quint32>(quint32(index), data.data());
    return FakeAdapter::frame(0x18FE0000u + quint32(index % 100), false, data);
}

struct PhaseResult {
    bool ok = false;
    int sent = 0;
    long stored = 0; // records drained from the store
    double seconds = 0;       // stream plus the tail the reader is given
    double streamSeconds = 0; // first to last frame sent
    double readerCpu = 0;
    double processCpu = 0;
    // recording only
    int lines = 0;
    int lost = 0;
    int outOfOrder = 0;
    int malformed = 0;
    bool lastLineWhole = false;
};

PhaseResult runPhase(bool record, int seconds, double rate)
{
    PhaseResult result;
    FakeAdapter adapter;
    if (!adapter.isOpen()) {
        std::fprintf(stderr, "cannot open a pseudo-terminal\n");
        return result;
    }
    serialManager manager;
    manager.setBaudRate(2000000);
    if (!manager.openPort(adapter.devicePath())) {
        std::fprintf(stderr, "openPort failed: %s\n", qPrintable(manager.errorString()));
        return result;
    }
    const QSet<QString> before = bench::threadIds();
    manager.startReading();
    QThread::msleep(50);
    QSet<QString> started = bench::threadIds() - before;
    if (started.size() != 1) {
        std::fprintf(stderr, "cannot tell the reader thread (%d new threads)\n", int(started.size()));
        return result;
    }
    const QString readerTid = *started.begin();

    if (record && !manager.startRecording()) {
        std::fprintf(stderr, "startRecording failed\n");
        return result;
    }
    const QString dumpPath =
        record ? QDir(QStringLiteral("dumps")).entryInfoList({QStringLiteral("dump_*.csv")}).value(0).absoluteFilePath()
               : QString();

    const int count = int(rate * seconds);
    const double reader0 = bench::threadCpuSeconds(readerTid);
    const double process0 = bench::processCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    adapter.startStream(sequencedFrame, rate, count);
    // Drain the store every millisecond, like the table refresh.
    while (!adapter.streamFinished()) {
        result.stored += manager.takeMessages().size();
        QThread::usleep(1000);
    }
    result.streamSeconds = double(clock.nsecsElapsed()) * 1e-9;
    // Let the reader take the tail of the stream.
    QElapsedTimer tail;
    tail.start();
    while (tail.elapsed() < 200) {
        result.stored += manager.takeMessages().size();
        QThread::usleep(1000);
    }
    result.seconds = double(clock.nsecsElapsed()) * 1e-9;
    result.readerCpu = bench::threadCpuSeconds(readerTid) - reader0;
    result.processCpu = bench::processCpuSeconds() - process0;
    result.sent = adapter.streamSent();

    if (record)
        manager.stopRecording();
    manager.stopReading();
    manager.closePort();
    result.stored += manager.takeMessages().size();
    if (adapter.streamFailed())
        std::fprintf(stderr, "the stream failed to write\n");

    if (record) {
        const QByteArray all = readFile(dumpPath);
        result.lastLineWhole = all.endsWith('\n');
        formats::ReadOptions options;
        options.fileName = dumpPath;
        const Recording dump = readRecording(all, formats::Format::DumpCsv, options);
        result.malformed = dump.error.isEmpty() ? 0 : 1; // the reader stops at the first
        QVector<bool> seen(result.sent, false);
        int expected = 0;
        for (const formats::CanFrame &f : dump.frames) {
            if (f.data.size() != 4 || (f.id & 0xFFFFFF00u) != 0x18FE0000u) {
                ++result.malformed;
                continue;
            }
            const int seq = int(qFromBigEndian<quint32>(f.data.constData()));
            if (seq != expected)
                ++result.outOfOrder;
            expected = seq + 1;
            if (seq >= 0 && seq < seen.size())
                seen[seq] = true;
            ++result.lines;
        }
        result.lost = int(seen.count(false));
    }
    result.ok = true;
    return result;
}

void print(const char *name, const PhaseResult &r, double rate)
{
    std::printf("%s:\n", name);
    std::printf("  frames sent            %d in %.2f s (%.0f frames/s, target %.0f)\n", r.sent,
                r.streamSeconds, r.sent / r.streamSeconds, rate);
    std::printf("  records drained        %ld (newest per identifier at each 1 ms drain)\n", r.stored);
    std::printf("  reader thread CPU      %.3f s = %.1f %% of one core (over %.2f s)\n", r.readerCpu,
                100.0 * r.readerCpu / r.seconds, r.seconds);
    std::printf("  whole process CPU      %.3f s = %.1f %% of one core (incl. fake adapter, drain)\n",
                r.processCpu, 100.0 * r.processCpu / r.seconds);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? qMax(1, atoi(argv[1])) : 10;
    const double rate = argc > 2 ? qMax(1.0, atof(argv[2])) : 10000.0;

    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path())) {
        std::fprintf(stderr, "no temporary directory\n");
        return 1;
    }

    std::printf("bench_recording: %d s per phase at %.0f frames/s (2,000,000 baud link maximum)\n", seconds,
                rate);
    const PhaseResult plain = runPhase(false, seconds, rate);
    if (!plain.ok)
        return 1;
    print("reception without recording", plain, rate);

    const PhaseResult rec = runPhase(true, seconds, rate);
    if (!rec.ok)
        return 1;
    print("reception with recording", rec, rate);
    std::printf("  dump lines written     %d\n", rec.lines);
    std::printf("  frames lost            %d\n", rec.lost);
    std::printf("  lines out of order     %d\n", rec.outOfOrder);
    std::printf("  malformed/torn lines   %d (last line whole: %s)\n", rec.malformed,
                rec.lastLineWhole ? "yes" : "no");
    std::printf("  recording cost         %+.1f %% of one core on the reader thread\n",
                100.0 * (rec.readerCpu / rec.seconds - plain.readerCpu / plain.seconds));

    const bool pass = rec.lost == 0 && rec.outOfOrder == 0 && rec.malformed == 0 && rec.lastLineWhole &&
                      rec.lines == rec.sent;
    std::printf("RESULT: %s\n", pass ? "every frame sent is one whole line, in order" : "FAILED");
    return pass ? 0 : 1;
}
