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

// utime + stime of a process, in seconds.
double processCpu(qint64 pid)
{
    return bench::statCpuSeconds(QStringLiteral("/proc/%1/stat").arg(pid));
}

// A field of /proc/PID/status in kB (VmRSS, VmHWM).
long statusKb(qint64 pid, const char *field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field)) + 1).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// "ID#DATA" of a simulated frame, identifiers as candump and the dump files write them.
QByteArray frameKey(const sim::EmulatedFrame &f)
{
    QByteArray id = QByteArray::number(f.id, 16).toUpper();
    id = id.rightJustified(f.standard ? 3 : 8, '0');
    return id + '#' + f.payload().toHex().toUpper();
}

// "ID#DATA" of an output line; empty for a line that is no frame.
QByteArray lineKey(const QByteArray &line, bool csv)
{
    if (csv) {
        const QList<QByteArray> fields = line.split(';');
        if (fields.size() != 3 || fields[0] == "Timestamp")
            return QByteArray();
        QByteArray data = fields[2];
        return fields[1] + '#' + data.replace(' ', "");
    }
    const QList<QByteArray> fields = line.split(' ');
    return fields.size() == 3 ? fields[2] : QByteArray();
}

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
    r.rssStartKb = statusKb(pid, "VmRSS:");
    const double cpu0 = processCpu(pid);
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
    r.cpu = processCpu(pid) - cpu0;
    r.rssEndKb = statusKb(pid, "VmRSS:");
    r.peakKb = statusKb(pid, "VmHWM:");
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

    QFile file(output);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(output));
        return r;
    }
    sim::LoadTraffic expected(ids, rate);
    QByteArray next = frameKey(expected.takeNext());
    const bool csv = extension == QLatin1String(".csv");
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        line.chop(1);
        const QByteArray key = lineKey(line, csv);
        if (key.isEmpty())
            continue;
        ++r.lines;
        if (key == next) {
            ++r.matched;
            next = frameKey(expected.takeNext());
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
