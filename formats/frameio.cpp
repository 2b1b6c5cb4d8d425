#include "formats/frameio.h"

#include "formats/formatparts.h"

#include <QFileInfo>
#include <QIODevice>

#include <cstring>

namespace formats {

namespace {

// Reads and writes go to the device in pieces of about this size.
constexpr int CHUNK_BYTES = 256 * 1024;
// A line longer than this is not believed to be a recording's line.
constexpr int MAX_LINE_BYTES = 64 * 1024;

} // namespace

QString formatName(Format format)
{
    switch (format) {
    case Format::DumpCsv: return QStringLiteral("csv");
    case Format::Candump: return QStringLiteral("candump");
    case Format::Asc: return QStringLiteral("asc");
    }
    return QString();
}

bool formatFromName(const QString &name, Format &format)
{
    const QString n = name.toLower();
    if (n == QLatin1String("csv") || n == QLatin1String("dump"))
        format = Format::DumpCsv;
    else if (n == QLatin1String("candump") || n == QLatin1String("log"))
        format = Format::Candump;
    else if (n == QLatin1String("asc"))
        format = Format::Asc;
    else
        return false;
    return true;
}

bool formatFromPath(const QString &path, Format &format)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("csv"))
        format = Format::DumpCsv;
    else if (suffix == QLatin1String("log"))
        format = Format::Candump;
    else if (suffix == QLatin1String("asc"))
        format = Format::Asc;
    else
        return false;
    return true;
}

bool formatFromContent(const QByteArray &head, Format &format)
{
    // The first line that is not blank decides.
    for (const QByteArray &raw : head.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty())
            continue;
        if (line.startsWith("Timestamp;") || (line.size() > 13 && line.at(2) == ':' && line.at(12) == ';')) {
            format = Format::DumpCsv;
        } else if (line.startsWith('(')) {
            format = Format::Candump;
        } else if (line.startsWith("date ") || line.startsWith("base ") || line.startsWith("//")
                   || line.startsWith("Begin Triggerblock")) {
            format = Format::Asc;
        } else {
            return false;
        }
        return true;
    }
    return false;
}

// ---------------------------------------------------------------- reading

FrameReader::FrameReader(QIODevice *source, const ReadOptions &readOptions)
    : options(readOptions)
    , device(source)
{
}

FrameReader::~FrameReader() = default;

bool FrameReader::atEnd(QString *)
{
    return true;
}

bool FrameReader::takeLine(const char *&line, int &size)
{
    for (;;) {
        const char *start = buffer.constData() + head;
        const int available = buffer.size() - head;
        const void *feed = std::memchr(start, '\n', size_t(available));
        if (feed || (eof && available > 0)) {
            const int length = feed ? int(static_cast<const char *>(feed) - start) : available;
            head += feed ? length + 1 : length;
            consumed += feed ? length + 1 : length;
            line = start;
            size = length;
            if (size > 0 && line[size - 1] == '\r')
                --size;
            return true;
        }
        if (eof)
            return false;
        // Keep the unfinished line, read the next chunk behind it.
        buffer.remove(0, head);
        head = 0;
        if (buffer.size() > MAX_LINE_BYTES) {
            // No line feed for far too long: hand the piece out as a line of
            // its own, which no reader takes.
            line = buffer.constData();
            size = buffer.size();
            consumed += size;
            head = size;
            return true;
        }
        const int before = buffer.size();
        buffer.resize(before + CHUNK_BYTES);
        const qint64 got = device->read(buffer.data() + before, CHUNK_BYTES);
        buffer.resize(before + int(qMax<qint64>(got, 0)));
        // Files and buffers give 0 at their end; a pipe-like device that has
        // nothing yet is waited for.
        if (got < 0 || (got == 0 && !(device->isSequential() && device->waitForReadyRead(-1))))
            eof = true;
    }
}

bool FrameReader::next(CanFrame &frame)
{
    if (finished)
        return false;
    const char *line = nullptr;
    int size = 0;
    QString why;
    while (takeLine(line, size)) {
        ++lineNumber;
        why.clear();
        switch (readLine(line, size, frame, &why)) {
        case LineResult::Frame:
            ++frames;
            return true;
        case LineResult::Skip:
            break;
        case LineResult::Unsupported:
            ++unsupportedFrames;
            break;
        case LineResult::Bad:
            if (!options.skipBad) {
                errorText = why;
                errorLineNumber = lineNumber;
                finished = true;
                return false;
            }
            ++bad;
            if (firstBad == 0) {
                firstBad = lineNumber;
                firstBadText = why;
            }
            break;
        }
    }
    finished = true;
    if (!atEnd(&why) && !why.isEmpty()) {
        if (options.skipBad) {
            ++bad;
            if (firstBad == 0) {
                firstBad = lineNumber;
                firstBadText = why;
            }
        } else {
            errorText = why;
            errorLineNumber = qMax<qint64>(lineNumber, 1);
        }
    }
    return false;
}

std::unique_ptr<FrameReader> openReader(Format format, QIODevice *device, const ReadOptions &options)
{
    switch (format) {
    case Format::DumpCsv: return parts::makeDumpReader(device, options);
    case Format::Candump: return parts::makeCandumpReader(device, options);
    case Format::Asc: return parts::makeAscReader(device, options);
    }
    return nullptr;
}

// ---------------------------------------------------------------- writing

FrameWriter::FrameWriter(QIODevice *target, const WriteOptions &writeOptions)
    : options(writeOptions)
    , device(target)
{
    buffer.reserve(CHUNK_BYTES + 4096);
}

FrameWriter::~FrameWriter() = default;

void FrameWriter::ending(QByteArray &)
{
}

FrameWriter::Outcome FrameWriter::write(const CanFrame &frame)
{
    const Outcome outcome = format(frame, buffer);
    switch (outcome) {
    case Outcome::Written:
        ++written;
        break;
    case Outcome::Truncated:
        ++written;
        ++truncatedFrames;
        break;
    case Outcome::Unsupported:
        ++unsupportedFrames;
        break;
    }
    if (buffer.size() >= CHUNK_BYTES)
        flush();
    return outcome;
}

bool FrameWriter::flush()
{
    if (failed()) {
        buffer.clear();
        return false;
    }
    const char *p = buffer.constData();
    qint64 left = buffer.size();
    while (left > 0) {
        const qint64 n = device->write(p, left);
        if (n <= 0) {
            ioErrorText = device->errorString();
            if (ioErrorText.isEmpty())
                ioErrorText = QStringLiteral("write failed");
            buffer.clear();
            return false;
        }
        p += n;
        left -= n;
        deviceBytes += n;
    }
    buffer.clear();
    return true;
}

bool FrameWriter::finish()
{
    ending(buffer);
    return flush();
}

std::unique_ptr<FrameWriter> openWriter(Format format, QIODevice *device, const WriteOptions &options)
{
    switch (format) {
    case Format::DumpCsv: return parts::makeDumpWriter(device, options);
    case Format::Candump: return parts::makeCandumpWriter(device, options);
    case Format::Asc: return parts::makeAscWriter(device, options);
    }
    return nullptr;
}

} // namespace formats
