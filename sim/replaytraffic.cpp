#include "sim/replaytraffic.h"

#include <QFileInfo>

#include <algorithm>
#include <sys/stat.h>

namespace sim {

namespace {

constexpr qint64 MS = 1000000; // nanoseconds
// A loop starts its next round this long after the last frame of a round.
constexpr qint64 ROUND_GAP_NS = 100 * MS;

bool playable(const formats::CanFrame &frame)
{
    return !frame.remote && !frame.fd;
}

// Whether the path names a regular file (or nothing, which the opening
// says): a pipe, a FIFO or a device gives its bytes once, and would block
// the opening until a writer comes.
bool readsAgain(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) != 0 || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode);
}

formats::ReadOptions readOptions(const QString &path)
{
    formats::ReadOptions options;
    options.skipBad = true;
    options.fileName = path;
    options.fallbackDate = QFileInfo(path).lastModified().date();
    return options;
}

} // namespace

ReplayTraffic::ReplayTraffic(const ReplaySettings &replaySettings, formats::Format fileFormat)
    : settings(replaySettings)
    , format(fileFormat)
{
}

std::unique_ptr<ReplayTraffic> ReplayTraffic::open(const ReplaySettings &settings, QString *error)
{
    if (!readsAgain(settings.path)) {
        *error = QStringLiteral("cannot replay %1: not a regular file (a pipe, a FIFO or a device), and a "
                                "replay reads its file again at every start; copy it to a file first")
                     .arg(settings.path);
        return nullptr;
    }
    QFile probe(settings.path);
    if (QFileInfo(settings.path).isDir() || !probe.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2")
                     .arg(settings.path, QFileInfo(settings.path).isDir() ? QStringLiteral("is a directory")
                                                                          : probe.errorString());
        return nullptr;
    }
    formats::Format format;
    if (!formats::detectFormat(settings.path, &probe, format)) {
        *error = QStringLiteral("cannot tell the format of %1: not %2")
                     .arg(settings.path, formats::formatDescriptionList());
        return nullptr;
    }
    probe.close();
    std::unique_ptr<ReplayTraffic> replay(new ReplayTraffic(settings, format));
    replay->restart();
    if (!replay->hasNext()) {
        *error = replay->originSet && settings.startSeconds > 0
                     ? QStringLiteral("%1 has no frame after its first %2 s").arg(settings.path).arg(settings.startSeconds)
                     : QStringLiteral("%1 holds no frame").arg(settings.path);
        return nullptr;
    }
    return replay;
}

bool ReplayTraffic::openReader()
{
    reader.reset();
    file = std::make_unique<QFile>(settings.path);
    if (!file->open(QIODevice::ReadOnly))
        return false;
    reader = formats::openReader(format, file.get(), readOptions(settings.path));
    return true;
}

void ReplayTraffic::restart()
{
    originSet = false;
    roundOffsetNs = 0;
    lastDueNs = 0;
    haveNext = false;
    if (openReader())
        advance();
}

void ReplayTraffic::advance()
{
    bool playedThisRound = haveNext || roundOffsetNs == 0;
    haveNext = false;
    for (;;) {
        if (!reader->next(frame)) {
            // End of the file (or of what could be read of it).
            if (!settings.loop || !playedThisRound || !openReader())
                return;
            roundOffsetNs = lastDueNs + ROUND_GAP_NS;
            playedThisRound = false;
            continue;
        }
        if (!playable(frame))
            continue;
        if (!originSet) {
            originUs = frame.timeUs + qint64(settings.startSeconds * 1e6);
            originSet = true;
        }
        if (frame.timeUs < originUs)
            continue;
        // Frames keep their order even where the recording's clock went back;
        // those further on than the due times reach are due at the last one.
        const double sinceOrigin = double(frame.timeUs - originUs) * 1000.0 / settings.speed;
        const qint64 step = sinceOrigin < double(MAX_DUE_NS) ? qint64(sinceOrigin) : MAX_DUE_NS;
        const qint64 due = step < MAX_DUE_NS - roundOffsetNs ? roundOffsetNs + step : MAX_DUE_NS;
        nextDue = std::max(due, lastDueNs);
        lastDueNs = nextDue;
        haveNext = true;
        return;
    }
}

EmulatedFrame ReplayTraffic::takeNext()
{
    EmulatedFrame out;
    out.id = frame.id;
    out.standard = !frame.extended;
    out.length = quint8(std::min(int(frame.data.size()), int(out.data.size())));
    std::copy_n(frame.data.constData(), out.length, out.data.begin());
    advance();
    return out;
}

QString ReplayTraffic::describe() const
{
    return QStringLiteral("replay of %1 (%2, speed %3%4)")
        .arg(QFileInfo(settings.path).fileName(), formats::formatName(format))
        .arg(settings.speed)
        .arg(settings.loop ? QStringLiteral(", looping") : QString());
}

ReplayTraffic::Survey ReplayTraffic::survey(const QString &path, const std::atomic<bool> &stop)
{
    Survey result;
    QFile file(path);
    if (!readsAgain(path) || !file.open(QIODevice::ReadOnly) || !formats::detectFormat(path, &file, result.format))
        return result;
    const auto reader = formats::openReader(result.format, &file, readOptions(path));
    formats::CanFrame frame;
    while (!stop.load(std::memory_order_relaxed) && reader->next(frame)) {
        ++result.frames;
        if (!playable(frame))
            ++result.leftOut;
        else if (frame.data.size() > 8)
            ++result.cut;
    }
    result.complete = !stop.load();
    result.leftOut += reader->unsupported();
    result.badLines = reader->badLines();
    result.firstBadLine = reader->firstBadLine();
    result.firstBadReason = reader->firstBadReason();
    if (reader->positionKind() != formats::FrameReader::Position::Line)
        result.badWhat = QStringLiteral("record");
    result.firstBadPlace = reader->describePosition(reader->firstBadPosition());
    return result;
}

} // namespace sim
