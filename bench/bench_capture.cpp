// The headless logger at the link's top rate: the adapter simulator sends a
// known stream (the load profile, default 10,000 frames/s for 60 s) to
// vornix-candump, once into a candump file and once into a dump CSV file.
// Prints the frames lost (output compared with what the simulator sent, frame
// by frame), the CPU share of the capture process and its resident memory
// at the start and at the end.
//
// Usage: bench_capture [seconds, default 60] [frames/s, default 10000] [identifiers, default 64]

#include "bench/benchsupport.h"
#include "sim/emulator.h"
#include "tests/support/countedtraffic.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

struct Result {
    bool ok = false;
    quint64 sent = 0, dropped = 0;
    int lines = 0;
    int matched = 0; // lines equal to the frame the simulator sent at that place
    int exitCode = -1;
    double seconds = 0, cpu = 0;
    long rssStartKb = 0, rssEndKb = 0, peakKb = 0;
    QByteArray summary;
};

Result run(const QString &tool, const QString &extension, int seconds, double rate, int ids)
{
    Result r;
    QTemporaryDir dir;
    const quint64 count = quint64(rate * seconds);
    sim::AdapterEmulator emulator(
        std::make_unique<CountedTraffic>(std::make_unique<sim::LoadTraffic>(ids, rate), count));
    QString error;
    if (!dir.isValid() || !emulator.start(&error)) {
        std::fprintf(stderr, "cannot start the simulator: %s\n", qPrintable(error));
        return r;
    }
    const QString output = dir.filePath(QStringLiteral("capture") + extension);
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(dir.filePath(QStringLiteral("stderr.txt")));
    process.start(tool, {emulator.devicePath(), QStringLiteral("-r"), QStringLiteral("500k"), QStringLiteral("-o"), output});
    if (!process.waitForStarted()) {
        std::fprintf(stderr, "cannot start %s\n", qPrintable(tool));
        return r;
    }
    const qint64 pid = process.processId();
    QElapsedTimer wait;
    wait.start();
    while (emulator.stats().configurations == 0 && wait.elapsed() < 10000)
        QThread::msleep(10);
    // The start figures once the capture runs.
    QThread::msleep(1000);
    r.rssStartKb = bench::residentKiB(pid);
    const double cpu0 = bench::processCpuSeconds(pid);
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const sim::AdapterEmulator::Stats s = emulator.stats();
        if (s.framesSent + s.framesDropped >= count || process.state() != QProcess::Running)
            break;
        QThread::msleep(100);
    }
    QThread::msleep(500); // the tail reaches the file
    r.seconds = double(clock.nsecsElapsed()) * 1e-9;
    r.cpu = bench::processCpuSeconds(pid) - cpu0;
    r.rssEndKb = bench::residentKiB(pid);
    r.peakKb = bench::statusKiB("VmHWM", pid);
    ::kill(pid_t(pid), SIGINT);
    process.waitForFinished(30000);
    r.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    const sim::AdapterEmulator::Stats s = emulator.stats();
    r.sent = s.framesSent;
    r.dropped = s.framesDropped;
    emulator.stop();
    QFile errors(dir.filePath(QStringLiteral("stderr.txt")));
    if (errors.open(QIODevice::ReadOnly))
        r.summary = errors.readAll();

    // The output read back, compared frame by frame with what the simulator sent.
    const Recording written = readRecordingFile(output);
    if (!written.problem().isEmpty())
        std::fprintf(stderr, "%s: %s\n", qPrintable(output), qPrintable(written.problem()));
    sim::LoadTraffic expected(ids, rate);
    sim::EmulatedFrame next = expected.takeNext();
    for (const formats::CanFrame &f : written.frames) {
        ++r.lines;
        if (f.id == next.id && f.extended == !next.standard && f.data == next.payload()) {
            ++r.matched;
            next = expected.takeNext();
        }
    }
    r.ok = true;
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? qMax(1, atoi(argv[1])) : 60;
    const double rate = argc > 2 ? qMax(1.0, atof(argv[2])) : 10000.0;
    const int ids = argc > 3 ? qMax(1, atoi(argv[3])) : 64;
    const QString tool = QStringLiteral(VORNIX_CANDUMP_TOOL);

    std::printf("bench_capture: %d s at %.0f frames/s over %d identifiers, simulator -> vornix-candump\n",
                seconds, rate, ids);
    bool pass = true;
    for (const char *extension : {".log", ".csv"}) {
        const Result r = run(tool, QString::fromLatin1(extension), seconds, rate, ids);
        if (!r.ok)
            return 1;
        const long lost = long(r.sent) - r.matched;
        std::printf("%s file:\n", extension);
        std::printf("  frames sent            %llu (simulator dropped %llu)\n",
                    static_cast<unsigned long long>(r.sent), static_cast<unsigned long long>(r.dropped));
        std::printf("  lines written          %d, equal to the frame sent at their place: %d\n", r.lines,
                    r.matched);
        std::printf("  frames lost            %ld\n", lost);
        std::printf("  capture process CPU    %.2f s over %.1f s = %.1f %% of one core\n", r.cpu, r.seconds,
                    100.0 * r.cpu / r.seconds);
        std::printf("  resident memory        %ld kB at the start, %ld kB at the end (peak %ld kB)\n",
                    r.rssStartKb, r.rssEndKb, r.peakKb);
        std::printf("  exit status            %d\n", r.exitCode);
        pass = pass && lost == 0 && r.dropped == 0 && r.lines == r.matched && r.exitCode == 0;
        if (r.exitCode != 0)
            std::printf("%s", r.summary.constData());
    }
    std::printf("RESULT: %s\n", pass ? "every frame sent is one line, in order" : "FAILED");
    return pass ? 0 : 1;
}
