// The reader of the program's dump files as a recording format:
// "Timestamp;ID;Payload", then one line per frame with the local time of day
// in milliseconds, read by the dump format's own line reader. The date comes
// from the file name, the day changes where the time of day goes back past
// midnight.

#include "formats/dumpcsv.h"
#include "formats/dumpformat.h"
#include "formats/formatparts.h"
#include "formats/linereader.h"

#include <QFileInfo>

namespace formats::parts {

namespace {

constexpr int DAY_MS = 24 * 3600 * 1000;

class DumpReader : public LineReader
{
public:
    DumpReader(QIODevice *device, const ReadOptions &options)
        : LineReader(device, options)
    {
        // The recording's start from the file name; any other name gives the
        // date the caller chose (with a warning).
        const QDateTime start = dump::startFromFileName(options.fileName);
        if (start.isValid()) {
            date = start.date();
            previousMs = start.time().msecsSinceStartOfDay();
        } else {
            date = options.fallbackDate.isValid() ? options.fallbackDate : QDate::currentDate();
            setWarning(options.fileName.isEmpty()
                           ? QStringLiteral("no dump file name to take the date from; the frames are dated %1")
                                 .arg(date.toString(Qt::ISODate))
                           : QStringLiteral("%1 is not named dump_yyyy-MM-dd_HH-mm-ss.csv; the frames are dated %2")
                                 .arg(QFileInfo(options.fileName).fileName(), date.toString(Qt::ISODate)));
        }
    }

protected:
    LineResult readLine(const char *text, int size, CanFrame &frame, QString *why) override
    {
        const QByteArray line = QByteArray::fromRawData(text, size);
        if (linesRead() == 1) {
            if (dump::isHeader(line))
                return LineResult::Skip;
            *why = QStringLiteral("missing header line \"Timestamp;ID;Payload\"");
            return LineResult::Bad;
        }
        if (line.trimmed().isEmpty())
            return LineResult::Skip;
        // The line's bytes go straight into the frame's buffer.
        frame.reset();
        dump::Line read;
        read.data.swap(frame.data);
        const bool good = dump::readLine(line, read);
        frame.data.swap(read.data);
        if (!good) {
            *why = QStringLiteral("not a dump line \"HH:mm:ss.zzz;ID;BYTES\"");
            return LineResult::Bad;
        }
        // A time of day that goes back by more than half a day means that the
        // recording ran past midnight; a smaller step back is a clock that was
        // set back, and stays on the same day.
        if (previousMs >= 0 && read.msecsOfDay < previousMs - DAY_MS / 2)
            date = date.addDays(1);
        previousMs = read.msecsOfDay;
        frame.timeUs = clock.toEpochMs(date, read.msecsOfDay) * 1000;
        frame.id = read.id;
        frame.extended = !read.standard;
        return LineResult::Frame;
    }

    bool atEnd(QString *why) override
    {
        if (linesRead() == 0) {
            *why = QStringLiteral("missing header line \"Timestamp;ID;Payload\"");
            return false;
        }
        return true;
    }

private:
    QDate date;
    int previousMs = -1;
    LocalClock clock;
};

} // namespace

bool looksLikeDump(const QByteArray &head)
{
    // The header, or a data line "HH:mm:ss.zzz;..." when it is missing.
    const QByteArray line = firstTextLine(head);
    return line.startsWith("Timestamp;") || (line.size() > 13 && line.at(2) == ':' && line.at(12) == ';');
}

std::unique_ptr<FrameReader> makeDumpReader(QIODevice *device, const ReadOptions &options)
{
    return std::make_unique<DumpReader>(device, options);
}

} // namespace formats::parts
