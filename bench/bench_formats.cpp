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

#include "bench/benchsupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {

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

} // namespace

int main(int argc, char *argv[])
{
    const qint64 million = 1000000;
    const qint64 lines = (argc > 1 ? std::atoll(argv[1]) : 1) * million;
    const QString tool = QStringLiteral(VORNIX_DUMP_TOOL);
    QTemporaryDir dir;
    const std::vector<formats::CanFrame> frames = bench::truckFrames();
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
    const bench::ChildRun ours = bench::runChild({tool, QStringLiteral("convert"), log, outOurs});
    const bench::ChildRun theirs = bench::runChild({QStringLiteral("log2asc"), QStringLiteral("-I"), log, QStringLiteral("-O"),
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
        const bench::ChildRun run = bench::runChild({tool, QStringLiteral("convert"), big, outOurs});
        std::printf("%-28s %14lld %7.1f MiB   (%.2f s, exit %d)\n", "", static_cast<long long>(n),
                    double(run.maxRssKiB) / 1024.0, run.seconds, run.status);
    }
    return 0;
}
