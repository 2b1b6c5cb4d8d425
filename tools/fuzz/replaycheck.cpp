// The fuzz target "replay": byte 0 chooses the replay's settings, the rest is
// the recording, written to a file that the replay opens as it would open a
// user's file:
//
//   bits 0-2  the file's name: r.log, r.asc, r.csv, r (format told by the
//             content), dump_2024-10-27_02-30-00.csv, r.LOG, r.txt, r.blf
//   bit  3    loop
//   bits 4-5  speed 1, 0.1, 100 or 3.7
//   bits 6-7  skip the first 0, 0.5, 2 or 1000000 seconds
//
// The survey agrees with a reading of the same file by the format's reader;
// the replay opens exactly when it has a frame to play; it plays the
// playable frames in file order (two rounds when looping, each round 100 ms
// after the last frame of the one before), at due times that never go back,
// however the recording's clock goes back and forth, and that follow the
// recorded times at the speed (up to the latest due time); a restart plays
// the first frame again.

#include "tools/fuzz/fuzzcheck.h"
#include "tools/fuzz/recordingcheck.h"

#include "sim/replaytraffic.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>

namespace fuzz {

namespace {

constexpr qint64 ROUND_GAP_NS = 100 * 1000 * 1000;

bool playable(const formats::CanFrame &frame)
{
    return !frame.remote && !frame.fd;
}

// The recorded timing at the speed, as the replay's due time of a frame.
long double idealDueNs(qint64 timeUs, qint64 originUs, double speed)
{
    return (static_cast<long double>(timeUs) - static_cast<long double>(originUs)) * 1000.0L / speed;
}

} // namespace

const char *checkReplay(const uint8_t *data, size_t size)
{
    static const char *const names[8] = {"r.log", "r.asc", "r.csv", "r", "dump_2024-10-27_02-30-00.csv",
                                         "r.LOG", "r.txt", "r.blf"};
    static const double speeds[4] = {1.0, 0.1, 100.0, 3.7};
    static const double starts[4] = {0, 0.5, 2, 1000000};
    static QTemporaryDir folder(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                    ? QStringLiteral("/dev/shm/vornix-fuzz-replay-XXXXXX")
                                    : QString());
    if (size == 0 || !folder.isValid())
        return size == 0 ? nullptr : "no folder for the recording";
    const quint8 mode = data[0];
    sim::ReplaySettings settings;
    settings.path = folder.filePath(QString::fromLatin1(names[mode & 7]));
    settings.loop = (mode & 8) != 0;
    settings.speed = speeds[(mode >> 4) & 3];
    settings.startSeconds = starts[mode >> 6];
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), int(size - 1));
    {
        QFile file(settings.path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
            return "cannot write the recording";
    }

    // The file read by its format's reader, as the replay reads it.
    QFile file(settings.path);
    file.open(QIODevice::ReadOnly);
    formats::Format format = formats::Format::Candump;
    const bool known = formats::detectFormat(settings.path, &file, format);
    ReadPass read;
    if (known) {
        formats::ReadOptions options;
        options.skipBad = true;
        options.fileName = settings.path;
        options.fallbackDate = QFileInfo(settings.path).lastModified().date();
        read = readAll(*formats::openReader(format, &file, options));
    }
    file.close();
    std::vector<const formats::CanFrame *> frames;
    qint64 leftOut = read.unsupported, cut = 0;
    for (const formats::CanFrame &f : read.frames) {
        if (!playable(f))
            ++leftOut;
        else if (f.data.size() > 8)
            ++cut;
        if (playable(f))
            frames.push_back(&f);
    }

    const std::atomic<bool> stop{false};
    const sim::ReplayTraffic::Survey survey = sim::ReplayTraffic::survey(settings.path, stop);
    if (known
        && (!survey.complete || survey.format != format || survey.frames != qint64(read.frames.size())
            || survey.leftOut != leftOut || survey.cut != cut || survey.badLines != read.bad
            || survey.firstBadLine != read.firstBadLine))
        return failure(QStringLiteral("the survey found %1 frames, %2 left out, %3 cut, %4 bad from line %5; "
                                      "the reader %6, %7, %8, %9")
                           .arg(survey.frames)
                           .arg(survey.leftOut)
                           .arg(survey.cut)
                           .arg(survey.badLines)
                           .arg(survey.firstBadLine)
                           .arg(read.frames.size())
                           .arg(leftOut)
                           .arg(cut)
                           .arg(read.bad));

    // The frames due in a round: from the first playable frame's time plus
    // the start on.
    std::vector<const formats::CanFrame *> due;
    qint64 originUs = 0;
    if (!frames.empty()) {
        originUs = frames.front()->timeUs + qint64(settings.startSeconds * 1e6);
        for (const formats::CanFrame *f : frames) {
            if (f->timeUs >= originUs)
                due.push_back(f);
        }
    }

    QString error;
    const std::unique_ptr<sim::ReplayTraffic> replay = sim::ReplayTraffic::open(settings, &error);
    if (!replay) {
        if (error.isEmpty())
            return "no replay, and no error said";
        if (known && !due.empty())
            return failure(QStringLiteral("no replay of a recording with a frame to play: %1").arg(error));
        return nullptr;
    }
    if (!known || due.empty())
        return "a replay of a recording without a frame to play";
    replay->describe();

    // Round 0, then (looping) round 1 at the same pace behind it.
    std::vector<qint64> firstRound;
    qint64 previous = 0;
    long double latestIdeal = 0;
    const int rounds = settings.loop ? 2 : 1;
    for (int round = 0; round < rounds; ++round) {
        const qint64 roundOffset = round == 0 ? 0 : previous + ROUND_GAP_NS;
        for (size_t i = 0; i < due.size(); ++i) {
            const formats::CanFrame &f = *due[i];
            if (!replay->hasNext())
                return failure(QStringLiteral("round %1 ends after %2 of %3 frames").arg(round).arg(i).arg(due.size()));
            const qint64 at = replay->nextDueNs();
            if (at < previous || at < 0)
                return failure(QStringLiteral("due time %1 ns before %2 ns").arg(at).arg(previous));
            if (round == 0) {
                latestIdeal = std::min(std::max(latestIdeal, idealDueNs(f.timeUs, originUs, settings.speed)),
                                       static_cast<long double>(sim::MAX_DUE_NS));
                if (std::fabs(static_cast<long double>(at) - latestIdeal) > 2.0L + latestIdeal * 1e-12L)
                    return failure(QStringLiteral("frame %1 due at %2 ns, its recorded time gives %3 ns")
                                       .arg(i)
                                       .arg(at)
                                       .arg(double(latestIdeal)));
                firstRound.push_back(at);
            } else if (at != (firstRound[i] < sim::MAX_DUE_NS - roundOffset ? roundOffset + firstRound[i]
                                                                            : sim::MAX_DUE_NS)) {
                return failure(QStringLiteral("frame %1 of the second round due at %2 ns, not %3 ns after the first")
                                   .arg(i)
                                   .arg(at)
                                   .arg(roundOffset));
            }
            previous = at;
            const sim::EmulatedFrame out = replay->takeNext();
            const int length = std::min(int(f.data.size()), 8);
            if (out.id != f.id || out.standard == f.extended || out.length != length
                || !std::equal(out.data.begin(), out.data.begin() + length, f.data.constData(),
                               [](quint8 a, char b) { return a == quint8(b); }))
                return failure(QStringLiteral("frame %1 of round %2 is not the recording's").arg(i).arg(round));
        }
    }
    if (replay->hasNext() != settings.loop)
        return settings.loop ? "a loop that ends" : "more frames than the recording's";

    replay->restart();
    if (!replay->hasNext() || replay->nextDueNs() != firstRound.front() || replay->takeNext().id != due.front()->id)
        return "a restart does not play the first frame again";
    return nullptr;
}

} // namespace fuzz
