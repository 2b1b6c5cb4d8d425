#include "tools/fuzz/recordingcheck.h"

#include "core/canid.h"
#include "core/recordtext.h"
#include "formats/dumpformat.h"
#include "tools/fuzz/fuzzcheck.h"

#include <QBuffer>
#include <QDateTime>

#include <algorithm>
#include <ctime>

namespace fuzz {

namespace {

using formats::CanFrame;
using formats::Format;

// The first bytes detection looks at, as the table's detection takes them.
constexpr int HEAD_BYTES = 4096;

qint64 lineCount(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return 0;
    return bytes.count('\n') + (bytes.endsWith('\n') ? 0 : 1);
}

QString describe(const CanFrame &f)
{
    return QStringLiteral("t=%1 id=%2%3%4%5 flags=%6 rl=%7 data=%8")
        .arg(f.timeUs)
        .arg(f.id, 0, 16)
        .arg(f.extended ? QStringLiteral("x") : QString())
        .arg(f.remote ? QStringLiteral(" remote") : QString())
        .arg(f.fd ? QStringLiteral(" fd") : QString())
        .arg(f.fdFlags)
        .arg(f.remoteLength)
        .arg(QString::fromLatin1(f.data.toHex()));
}

// A frame one of the formats can hold.
QString misshapen(Format format, const CanFrame &f)
{
    if (f.remote && (!f.data.isEmpty() || f.fd || f.remoteLength > formats::CLASSIC_DATA_BYTES))
        return QStringLiteral("remote request with data, CAN FD or a length above 8");
    if (f.fd && f.data.size() > formats::FD_DATA_BYTES)
        return QStringLiteral("CAN FD frame with more than 64 bytes");
    if (format == Format::DumpCsv)
        return QString(); // the program's own dump holds any identifier and any number of bytes
    if (!core::isValidId(f.id, f.extended))
        return QStringLiteral("identifier beyond its kind");
    if (!f.fd && f.data.size() > formats::CLASSIC_DATA_BYTES)
        return QStringLiteral("classic frame with more than 8 bytes");
    if (format == Format::Candump && f.timeUs < 0)
        return QStringLiteral("time before 1970 from a candump log");
    return QString();
}

bool sameFrame(const CanFrame &a, const CanFrame &b)
{
    return a.timeUs == b.timeUs && a.id == b.id && a.extended == b.extended && a.remote == b.remote && a.fd == b.fd
           && a.fdFlags == b.fdFlags && a.remoteLength == b.remoteLength && a.data == b.data;
}

// The frame as a candump log, an ASC log or a BLF file holds it.
CanFrame heldBy(Format format, const CanFrame &f)
{
    CanFrame held = f;
    if (f.remote) {
        held.data.clear();
        held.remoteLength = format != Format::Candump ? std::min<quint8>(f.remoteLength, formats::CLASSIC_DATA_BYTES)
                            : f.remoteLength <= formats::CLASSIC_DATA_BYTES ? f.remoteLength
                                                                            : 0;
    } else {
        held.remoteLength = 0;
        held.data = f.data.left(f.fd ? formats::FD_DATA_BYTES : formats::CLASSIC_DATA_BYTES);
    }
    held.fdFlags = f.fd ? quint8(f.fdFlags & (format == Format::Candump ? 0xF : 3)) : 0;
    return held;
}

qint64 floorMs(qint64 us)
{
    return us >= 0 ? us / 1000 : (us - 999) / 1000;
}

// The local time of day by the C library, which knows the time zone's
// history and its rules for the years to come (Qt 5 takes the standard time
// before 1970 and the rules of a year like it after 2037).
int localMsOfDay(qint64 us)
{
    const qint64 ms = floorMs(us);
    const time_t seconds = time_t(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    struct tm local = {};
    localtime_r(&seconds, &local);
    return ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 + int(ms - qint64(seconds) * 1000);
}

void convertLocalTime(const QDate &date)
{
    QDateTime(date, QTime(12, 0)).toMSecsSinceEpoch();
}

// Writes the frames with the format's writer and reads them back.
const char *roundTrip(Format format, const std::vector<CanFrame> &frames)
{
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    std::vector<const CanFrame *> written;
    qint64 truncated = 0, unsupported = 0;
    {
        const auto writer = formats::openWriter(format, &out);
        for (const CanFrame &f : frames) {
            switch (writer->write(f)) {
            case formats::FrameWriter::Outcome::Written:
                written.push_back(&f);
                break;
            case formats::FrameWriter::Outcome::Truncated:
                written.push_back(&f);
                ++truncated;
                break;
            case formats::FrameWriter::Outcome::Unsupported:
                ++unsupported;
                break;
            }
        }
        if (!writer->finish())
            return failure(QStringLiteral("%1 writer failed: %2").arg(formats::formatName(format), writer->ioError()));
        if (writer->framesWritten() != qint64(written.size()) || writer->truncated() != truncated
            || writer->unsupported() != unsupported || writer->bytesWritten() != out.size())
            return failure(QStringLiteral("%1 writer's counts differ from its outcomes").arg(formats::formatName(format)));
    }
    const QByteArray text = out.data();

    // What a writer makes is detected as its format (an empty candump log excepted).
    Format detected;
    if ((format != Format::Candump || !written.empty())
        && (!formats::formatFromContent(text.left(HEAD_BYTES), detected) || detected != format))
        return failure(QStringLiteral("a file the %1 writer made is not detected as %1").arg(formats::formatName(format)));

    if (format == Format::DumpCsv) {
        // The dump keeps the local time of day in milliseconds, not the date:
        // each written line read by the dump format's line reader.
        const QList<QByteArray> lines = text.split('\n');
        if (lines.size() != int(written.size()) + 2 || !dump::isHeader(lines.first()) || !lines.last().isEmpty())
            return "the dump writer's lines are not a header and a line a frame";
        for (size_t i = 0; i < written.size(); ++i) {
            const CanFrame &f = *written[i];
            dump::Line line;
            if (!dump::readLine(lines.at(int(i) + 1), line) || line.msecsOfDay != localMsOfDay(f.timeUs)
                || line.id != f.id || line.standard == f.extended || line.data != f.data)
                return failure(QStringLiteral("dump line %1 does not read back as %2").arg(i + 2).arg(describe(f)));
        }
        return nullptr;
    }

    QBuffer in;
    in.setData(text);
    in.open(QIODevice::ReadOnly);
    const auto reader = formats::openReader(format, &in, formats::ReadOptions());
    const ReadPass back = readAll(*reader);
    if (back.error || back.bad != 0 || back.unsupported != 0 || back.frames.size() != written.size())
        return failure(QStringLiteral("%1 written does not read back: %2 of %3 frames, %4 at line %5")
                           .arg(formats::formatName(format))
                           .arg(back.frames.size())
                           .arg(written.size())
                           .arg(back.errorText)
                           .arg(back.errorLine));
    for (size_t i = 0; i < written.size(); ++i) {
        const CanFrame expected = heldBy(format, *written[i]);
        if (!sameFrame(expected, back.frames[i]))
            return failure(QStringLiteral("%1 written and read back: %2 became %3")
                               .arg(formats::formatName(format), describe(*written[i]), describe(back.frames[i])));
    }
    return nullptr;
}

} // namespace

ReadPass readAll(formats::FrameReader &reader)
{
    ReadPass pass;
    CanFrame frame;
    while (reader.next(frame))
        pass.frames.push_back(frame);
    pass.lines = reader.linesRead();
    pass.bad = reader.badLines();
    pass.firstBadLine = reader.firstBadLine();
    pass.unsupported = reader.unsupported();
    pass.bytesRead = reader.bytesRead();
    pass.error = reader.hasError();
    pass.errorText = reader.error();
    pass.errorLine = reader.errorLine();
    pass.errorPosition = reader.errorPosition();
    pass.firstBadPosition = reader.firstBadPosition();
    pass.byLine = reader.positionKind() == formats::FrameReader::Position::Line;
    return pass;
}

const char *checkRecording(Format format, const QByteArray &bytes, const formats::ReadOptions &options,
                           ReadPass *skipping)
{
    // Detection by content, from the device as from the bytes; the bytes it
    // looked at stay to be read.
    QBuffer device;
    device.setData(bytes);
    device.open(QIODevice::ReadOnly);
    Format detected = Format::Candump, direct = Format::Candump;
    const bool known = formats::detectFormat(QString(), &device, detected);
    const bool knownDirect = formats::formatFromContent(bytes.left(HEAD_BYTES), direct);
    if (known != knownDirect || (known && detected != direct) || device.pos() != 0)
        return "detection from the device differs from detection from its bytes";

    // Stopped at the first bad record, on the device detection looked at,
    // and skipping bad records on a device of its own; each after the C
    // library's conversion of local times was last used in another season
    // (where a local time names two instants, its choice follows that):
    // a reading must not depend on what ran before it.
    convertLocalTime(QDate(2024, 7, 1));
    formats::ReadOptions strictOptions = options;
    strictOptions.skipBad = false;
    const ReadPass strict = readAll(*formats::openReader(format, &device, strictOptions));

    convertLocalTime(QDate(2024, 1, 1));
    QBuffer again;
    again.setData(bytes);
    again.open(QIODevice::ReadOnly);
    formats::ReadOptions skipOptions = options;
    skipOptions.skipBad = true;
    const ReadPass skip = readAll(*formats::openReader(format, &again, skipOptions));

    if (skip.error)
        return "an error although bad records are skipped";
    if (skip.byLine) {
        // Every line taken once, all bytes read.
        const qint64 lines = lineCount(bytes);
        if (skip.lines != lines)
            return failure(QStringLiteral("%1 lines taken of %2").arg(skip.lines).arg(lines));
        if (skip.bytesRead != bytes.size())
            return failure(QStringLiteral("%1 bytes taken of %2").arg(skip.bytesRead).arg(bytes.size()));
        if (skip.firstBadPosition < 0 || skip.firstBadPosition > qMax<qint64>(lines, 1))
            return failure(QStringLiteral("the first bad line at %1 of %2").arg(skip.firstBadPosition).arg(lines));
    } else {
        // All bytes read unless damage ended the reading, bad records within
        // the file (or at its end, where more was due).
        if (skip.bytesRead > bytes.size() || (skip.bad == 0 && skip.bytesRead != bytes.size()))
            return failure(QStringLiteral("%1 bytes taken of %2").arg(skip.bytesRead).arg(bytes.size()));
        if (skip.firstBadPosition < 0 || skip.firstBadPosition > bytes.size())
            return failure(QStringLiteral("the first bad record at byte offset %1 of %2")
                               .arg(skip.firstBadPosition)
                               .arg(bytes.size()));
    }
    if (qint64(skip.frames.size()) + skip.bad + skip.unsupported > skip.lines + 1)
        return "more frames, bad and unsupported records than records";
    if (skip.byLine && (skip.bad == 0) != (skip.firstBadLine == 0))
        return failure(QStringLiteral("%1 bad lines, the first at line %2").arg(skip.bad).arg(skip.firstBadLine));
    if (strict.error != (skip.bad > 0))
        return "stopping and skipping disagree on whether there is a bad record";
    if (strict.error) {
        if (strict.errorText.isEmpty() || strict.errorPosition != skip.firstBadPosition)
            return failure(QStringLiteral("the error at %1 is not the first bad record at %2")
                               .arg(strict.errorPosition)
                               .arg(skip.firstBadPosition));
        if (strict.frames.size() > skip.frames.size() || strict.lines > skip.lines)
            return "stopping at the first bad record read more than skipping";
    } else if (strict.frames.size() != skip.frames.size() || strict.lines != skip.lines
               || strict.unsupported != skip.unsupported) {
        return "without a bad record, stopping and skipping read differently";
    }
    for (size_t i = 0; i < strict.frames.size(); ++i) {
        if (!sameFrame(strict.frames[i], skip.frames[i]))
            return "the frames before the first bad record differ between stopping and skipping";
    }
    for (const CanFrame &f : skip.frames) {
        const QString wrong = misshapen(format, f);
        if (!wrong.isEmpty())
            return failure(QStringLiteral("%1: %2").arg(wrong, describe(f)));
    }

    const Format every[] = {Format::Candump, Format::Asc, Format::DumpCsv, Format::Blf};
    for (uint i = 0; i < 4; ++i) {
        if (!takesQuarter(bytes, i))
            continue;
        if (const char *failed = roundTrip(every[i], skip.frames))
            return failed;
    }
    if (skipping)
        *skipping = skip;
    return nullptr;
}

} // namespace fuzz
