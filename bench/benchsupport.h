#pragma once

// The measuring helpers every benchmark shares: clocks, the CPU time of this
// process, of one of its threads and of another process, resident memory,
// summaries of a series, the real truck logs as frames, and a child run to its
// end with its time and peak memory. Programs are run, recordings read and
// truck logs unpacked by the test support (tests/support); the payloads a
// benchmark fills the table with come from tests/support/tablewindow.h.

#include "tests/support/recording.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <ctime>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace bench {

inline qint64 monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

inline double monotonicSeconds()
{
    return double(monotonicNs()) / 1e9;
}

// A "Name:  value kB" field of /proc/PID/status (VmRSS, VmHWM) of this process
// (pid 0) or another one, in KiB; -1 when unknown.
inline long statusKiB(const char *field, qint64 pid = 0)
{
    QFile status(pid > 0 ? QStringLiteral("/proc/%1/status").arg(pid) : QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray name = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(name))
            return line.mid(name.size()).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// Resident memory of this process (or another one), KiB.
inline long residentKiB(qint64 pid = 0)
{
    return statusKiB("VmRSS", pid);
}

// User plus system time in seconds from a /proc stat file (of a process or a
// thread), -1 when it cannot be read. utime and stime are the 14th and 15th
// fields of the line, the 12th and 13th after the command name in parentheses.
inline double statCpuSeconds(const QString &statPath)
{
    QFile stat(statPath);
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return double(fields[11].toLongLong() + fields[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

// CPU time of this whole process, seconds.
inline double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// CPU time of another process (a child, the X server), seconds; 0 when unknown.
inline double processCpuSeconds(qint64 pid)
{
    return pid > 0 ? qMax(0.0, statCpuSeconds(QStringLiteral("/proc/%1/stat").arg(pid))) : 0.0;
}

// The threads of this process by their ids, as /proc/self/task lists them.
inline QSet<QString> threadIds()
{
    const QStringList tids = QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    return QSet<QString>(tids.begin(), tids.end());
}

inline QString threadName(const QString &tid)
{
    QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(tid));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed() : QString();
}

// CPU time of one thread of this process, seconds: the scheduler's run time in
// nanoseconds where the kernel offers it, else user + system ticks.
inline double threadCpuSeconds(const QString &tid)
{
    const QString task = QStringLiteral("/proc/self/task/") + tid;
    QFile schedstat(task + QStringLiteral("/schedstat"));
    if (schedstat.open(QIODevice::ReadOnly)) {
        bool ok = false;
        const qint64 ns = schedstat.readAll().split(' ').value(0).toLongLong(&ok);
        if (ok)
            return double(ns) * 1e-9;
    }
    return statCpuSeconds(task + QStringLiteral("/stat"));
}

// Median, 99th percentile, largest and mean of a series.
struct Summary {
    double median = 0, p99 = 0, max = 0, mean = 0;
    std::size_t count = 0;
};

inline Summary summarize(std::vector<double> v)
{
    Summary s;
    s.count = v.size();
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    s.median = v[v.size() / 2];
    s.p99 = v[std::min(v.size() - 1, v.size() * 99 / 100)];
    s.max = v.back();
    double sum = 0;
    for (double x : v)
        sum += x;
    s.mean = sum / double(v.size());
    return s;
}

// Hands take() each frame of both truck logs of tests/data/nmfta, read as
// they are unpacked, the second log moved on in time to follow the first.
template <typename Take>
void forEachTruckFrame(Take take)
{
    qint64 shift = 0, last = -1;
    for (const char *name : {"sampletruck", "decodinggui"}) {
        QByteArray text = truckLog(QLatin1String(name));
        QBuffer buffer(&text);
        buffer.open(QIODevice::ReadOnly);
        const auto reader = formats::openReader(formats::Format::Candump, &buffer);
        formats::CanFrame frame;
        for (bool first = true; reader->next(frame); first = false) {
            if (first && last >= 0)
                shift = last + 1000 - frame.timeUs;
            frame.timeUs += shift;
            last = frame.timeUs;
            take(frame);
        }
    }
}

inline std::vector<formats::CanFrame> truckFrames()
{
    std::vector<formats::CanFrame> frames;
    forEachTruckFrame([&frames](const formats::CanFrame &frame) { frames.push_back(frame); });
    return frames;
}

// A program run to its end: wall time, peak resident memory, CPU time, status.
struct ChildRun {
    double seconds = 0, cpuSeconds = 0;
    long maxRssKiB = 0;
    int status = -1;
};

inline ChildRun runChild(const QStringList &command)
{
    ChildRun run;
    std::vector<QByteArray> storage;
    for (const QString &part : command)
        storage.push_back(part.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &part : storage)
        argv.push_back(part.data());
    argv.push_back(nullptr);
    const double start = monotonicSeconds();
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.seconds = monotonicSeconds() - start;
    run.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.maxRssKiB = usage.ru_maxrss;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace bench
