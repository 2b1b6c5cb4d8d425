// Speed of the recording formats on one core: lines (BLF: frames) per second
// of each reader and writer, the sizes of the four files of the same frames,
// and "vornix-dump convert" candump -> ASC next to can-utils' log2asc on the
// same input, in the same run; and the converter's resident memory for inputs
// of 1 and 10 million lines.
//
//   bench_formats [million lines]      default 1 (the memory run always uses 1 and 10)
//
// The input is built from the two real truck logs in tests/data/nmfta (candump
// -L, gzip), repeated with their times moved on so that they keep increasing.

#include "formats/frameio.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

QByteArray gunzip(const QString &path)
{
    QProcess gzip;
    gzip.start(QStringLiteral("gzip"), {QStringLiteral("-dc"), path});
    gzip.waitForFinished(-1);
    return gzip.readAllStandardOutput();
}

// Frames of both logs, in memory, the second log moved to follow the first.
std::vector<formats::CanFrame> realFrames()
{
    std::vector<formats::CanFrame> frames;
    qint64 shift = 0;
    const QString dir = QStringLiteral(VORNIX_REALDATA_DIR "/");
    for (const char *name : {"sampletruck.candump.log.gz", "decodinggui.candump.log.gz"}) {
        QByteArray text = gunzip(dir + QLatin1String(name));
        QBuffer buffer(&text);
        buffer.open(QIODevice::ReadOnly);
        auto reader = formats::openReader(formats::Format::Candump, &buffer);
        formats::CanFrame frame;
        bool first = true;
        while (reader->next(frame)) {
            if (first && !frames.empty())
                shift = frames.back().timeUs + 1000 - frame.timeUs;
            first = false;
            frame.timeUs += shift;
            frames.push_back(frame);
        }
    }
    return frames;
}

// Calls write(frame) for `lines` frames, the real frames over and over with
// their times moved on each round.
template <typename Write>
void repeatFrames(const std::vector<formats::CanFrame> &frames, qint64 lines, Write write)
{
    formats::CanFrame frame;
    qint64 shift = 0;
    const qint64 start = frames.front().timeUs;
    qint64 last = start;
    for (qint64 i = 0; i < lines; ++i) {
        const auto &source = frames[size_t(i % qint64(frames.size()))];
        if (i > 0 && i % qint64(frames.size()) == 0)
            shift = last - start + 1000;
        frame = source;
        frame.timeUs = source.timeUs + shift;
        last = frame.timeUs;
        write(frame);
    }
}

// Writes `lines` frames to path in the format.
void writeInput(const QString &path, formats::Format format, const std::vector<formats::CanFrame> &frames, qint64 lines)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    auto writer = formats::openWriter(format, &file);
    repeatFrames(frames, lines, [&](const formats::CanFrame &frame) { writer->write(frame); });
    writer->finish();
}

double readRate(const QString &path, formats::Format format, qint64 &lines)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    formats::ReadOptions options;
    options.fileName = path;
    auto reader = formats::openReader(format, &file, options);
    QElapsedTimer clock;
    clock.start();
    formats::CanFrame frame;
    while (reader->next(frame)) {
    }
    lines = reader->linesRead();
    return double(lines) / (double(clock.nsecsElapsed()) / 1e9);
}

double writeRate(formats::Format format, const std::vector<formats::CanFrame> &frames, qint64 lines)
{
    QFile sink(QStringLiteral("/dev/null"));
    sink.open(QIODevice::WriteOnly);
    auto writer = formats::openWriter(format, &sink);
    QElapsedTimer clock;
    clock.start();
    repeatFrames(frames, lines, [&](const formats::CanFrame &frame) { writer->write(frame); });
    writer->finish();
    return double(lines) / (double(clock.nsecsElapsed()) / 1e9);
}

struct ChildRun {
    double seconds = 0;
    long maxRssKb = 0;
    int status = -1;
};

// Runs a program to completion, timing it and taking its peak resident memory.
ChildRun runChild(const QStringList &command)
{
    ChildRun run;
    std::vector<QByteArray> storage;
    for (const QString &part : command)
        storage.push_back(part.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &part : storage)
        argv.push_back(part.data());
    argv.push_back(nullptr);
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.seconds = double(clock.nsecsElapsed()) / 1e9;
    run.maxRssKb = usage.ru_maxrss;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace

int main(int argc, char *argv[])
{
    const qint64 million = 1000000;
    const qint64 lines = (argc > 1 ? std::atoll(argv[1]) : 1) * million;
    const QString tool = QStringLiteral(VORNIX_DUMP_TOOL);
    QTemporaryDir dir;
    const std::vector<formats::CanFrame> frames = realFrames();
    std::printf("real frames: %zu (both truck logs); input lines per file: %lld\n\n", frames.size(),
                static_cast<long long>(lines));

    const QString log = dir.filePath(QStringLiteral("input.log"));
    const QString asc = dir.filePath(QStringLiteral("input.asc"));
    const QString csv = dir.filePath(QStringLiteral("dump_2016-10-31_07-42-15.csv"));
    writeInput(log, formats::Format::Candump, frames, lines);
    writeInput(asc, formats::Format::Asc, frames, lines);
    writeInput(csv, formats::Format::DumpCsv, frames, lines);
    const QString blf = dir.filePath(QStringLiteral("input.blf"));
    writeInput(blf, formats::Format::Blf, frames, lines);

    std::printf("%-28s %14s\n", "one core", "M lines/s");
    const struct { const char *name; formats::Format format; QString path; } inputs[] = {
        {"read candump", formats::Format::Candump, log},
        {"read ASC", formats::Format::Asc, asc},
        {"read dump CSV", formats::Format::DumpCsv, csv},
        {"read BLF", formats::Format::Blf, blf},
    };
    for (const auto &input : inputs) {
        qint64 read = 0;
        const double rate = readRate(input.path, input.format, read);
        std::printf("%-28s %14.2f\n", input.name, rate / 1e6);
    }
    for (const auto &output : {std::make_pair("write candump", formats::Format::Candump),
                               std::make_pair("write ASC", formats::Format::Asc),
                               std::make_pair("write dump CSV", formats::Format::DumpCsv),
                               std::make_pair("write BLF", formats::Format::Blf)}) {
        std::printf("%-28s %14.2f\n", output.first, writeRate(output.second, frames, lines) / 1e6);
    }
    std::printf("\n");

    // The same frames in each format.
    const double candumpBytes = double(QFileInfo(log).size());
    std::printf("%-28s %14s %10s\n", "file of the same frames", "MiB", "candump=1");
    for (const auto &file : {std::make_pair("candump", log), std::make_pair("ASC", asc),
                             std::make_pair("dump CSV", csv), std::make_pair("BLF", blf)}) {
        const double bytes = double(QFileInfo(file.second).size());
        std::printf("%-28s %14.1f %10.3f\n", file.first, bytes / (1024.0 * 1024.0), bytes / candumpBytes);
    }
    std::printf("\n");

    const QString outOurs = dir.filePath(QStringLiteral("ours.asc"));
    const QString outTheirs = dir.filePath(QStringLiteral("log2asc.asc"));
    const ChildRun ours = runChild({tool, QStringLiteral("convert"), log, outOurs});
    const ChildRun theirs = runChild({QStringLiteral("log2asc"), QStringLiteral("-I"), log, QStringLiteral("-O"),
                                      outTheirs, QStringLiteral("can0")});
    std::printf("%-28s %14.2f   (%.2f s, exit %d)\n", "vornix-dump candump -> ASC", double(lines) / ours.seconds / 1e6,
                ours.seconds, ours.status);
    std::printf("%-28s %14.2f   (%.2f s, exit %d)\n", "log2asc candump -> ASC", double(lines) / theirs.seconds / 1e6,
                theirs.seconds, theirs.status);
    std::printf("%-28s %14.2f x\n\n", "ratio", theirs.seconds / ours.seconds);

    // Peak memory of the converter for 1 and 10 million lines.
    std::printf("%-28s %14s %10s\n", "convert candump -> ASC", "lines", "max RSS");
    for (const qint64 n : {million, 10 * million}) {
        const QString big = dir.filePath(QStringLiteral("big.log"));
        writeInput(big, formats::Format::Candump, frames, n);
        QFile::remove(outOurs);
        const ChildRun run = runChild({tool, QStringLiteral("convert"), big, outOurs});
        std::printf("%-28s %14lld %7.1f MiB   (%.2f s, exit %d)\n", "", static_cast<long long>(n),
                    double(run.maxRssKb) / 1024.0, run.seconds, run.status);
    }
    return 0;
}
