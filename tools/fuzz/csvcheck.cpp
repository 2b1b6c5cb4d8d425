// The fuzz target "csv": arbitrary bytes read as the program's dump file
// (see tools/fuzz/recordingcheck.h for what every format is checked for),
// under one of a few file names picked by the input's size: none, names
// whose date is a day of a change to or from daylight saving time or the
// last day of a year, and a name that is not a dump file's. The frames'
// times are then checked against the date rules: the date of the name (or
// the fallback date), one day on each time of day that goes back by more
// than half a day, each frame at the local time of its line on that date.

#include "tools/fuzz/fuzzcheck.h"
#include "tools/fuzz/recordingcheck.h"

#include "formats/dumpformat.h"

#include <QDateTime>

namespace fuzz {

namespace {

constexpr int DAY_MS = 24 * 3600 * 1000;

struct Naming {
    const char *fileName;
    QDate fallbackDate;
};

} // namespace

const char *checkCsv(const uint8_t *data, size_t size)
{
    static const Naming namings[] = {
        {"", QDate(2024, 3, 31)},
        {"dump_2024-03-31_01-59-58.csv", QDate()},
        {"dump_2024-10-27_02-30-00.csv", QDate()},
        {"/some/folder/dump_2023-12-31_23-59-59_2.csv", QDate()},
        {"recording.csv", QDate(2024, 10, 27)},
    };
    const Naming &naming = namings[size % (sizeof namings / sizeof namings[0])];
    formats::ReadOptions options;
    options.fileName = QString::fromLatin1(naming.fileName);
    options.fallbackDate = naming.fallbackDate;

    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    ReadPass read;
    if (const char *failed = checkRecording(formats::Format::DumpCsv, bytes, options, &read))
        return failed;

    // The date rules over the lines that hold frames.
    const QDateTime start = dump::startFromFileName(options.fileName);
    QDate date = start.isValid() ? start.date() : naming.fallbackDate;
    int previousMs = start.isValid() ? start.time().msecsSinceStartOfDay() : -1;
    // The last piece is empty after a final line end, else a line cut short,
    // which the reader leaves out.
    QList<QByteArray> lines = bytes.split('\n');
    lines.removeLast();
    size_t next = 0;
    for (int i = 1; i < lines.size(); ++i) { // line 1 is the header (or a bad line)
        QByteArray line = lines.at(i);
        if (line.endsWith('\r'))
            line.chop(1);
        dump::Line frameLine;
        if (line.trimmed().isEmpty() || !dump::readLine(line, frameLine))
            continue;
        if (previousMs >= 0 && frameLine.msecsOfDay < previousMs - DAY_MS / 2)
            date = date.addDays(1);
        previousMs = frameLine.msecsOfDay;
        if (next >= read.frames.size())
            return "fewer frames than dump lines";
        const formats::CanFrame &frame = read.frames[next++];
        // A local time that exists is met by the frame's instant (either one
        // where the change to winter time repeats an hour); one that the
        // change to summer time skips is placed as Qt places it.
        const QTime time = QTime::fromMSecsSinceStartOfDay(frameLine.msecsOfDay);
        const QDateTime expected(date, time);
        const QDateTime instant = QDateTime::fromMSecsSinceEpoch(frame.timeUs / 1000);
        const bool placed = frame.timeUs % 1000 == 0
                            && (expected.isValid() ? instant.date() == date && instant.time() == time
                                                   : frame.timeUs == expected.toMSecsSinceEpoch() * 1000);
        if (!placed || frame.id != frameLine.id)
            return failure(QStringLiteral("line %1: frame at %2, the date rules give %3 %4")
                               .arg(i + 1)
                               .arg(frame.timeUs)
                               .arg(date.toString(Qt::ISODate), time.toString(QStringLiteral("HH:mm:ss.zzz"))));
    }
    if (next != read.frames.size())
        return "more frames than dump lines";
    return nullptr;
}

} // namespace fuzz
