#include "formats/linereader.h"

#include "formats/formatparts.h"

#include <QIODevice>

#include <cstring>

namespace formats {

namespace {

// The device is read in pieces of about this size.
constexpr int CHUNK_BYTES = 256 * 1024;

bool blank(const char *p, int size)
{
    for (int i = 0; i < size; ++i) {
        if (p[i] != ' ' && p[i] != '\t' && p[i] != '\r')
            return false;
    }
    return true;
}

} // namespace

LineReader::LineReader(QIODevice *device, const ReadOptions &options)
    : FrameReader(device, options, Position::Line)
{
}

FrameReader::Result LineReader::readRecord(CanFrame &frame, QString *why)
{
    const char *line = nullptr;
    int size = 0;
    switch (takeLine(line, size)) {
    case Taken::End:
        return Result::End;
    case Taken::TooLong:
        *why = QStringLiteral("a line longer than %1 bytes").arg(MAX_LINE_BYTES);
        return Result::Bad;
    case Taken::Line:
        break;
    }
    return readLine(line, size, frame, why);
}

LineReader::Taken LineReader::takeLine(const char *&line, int &size)
{
    for (;;) {
        const char *start = buffer.constData() + head;
        const int available = buffer.size() - head;
        const char *feed = static_cast<const char *>(std::memchr(start, '\n', size_t(available)));
        if (skipping) {
            // The rest of a line that is too long: passed over, never kept.
            const int passed = feed ? int(feed - start) + 1 : available;
            head += passed;
            tookBytes(passed);
            if (feed) {
                skipping = false;
                continue;
            }
        } else if (feed) {
            const int length = int(feed - start);
            head += length + 1;
            tookRecord(linesRead() + 1, length + 1);
            if (length > MAX_LINE_BYTES)
                return Taken::TooLong;
            line = start;
            size = length;
            if (size > 0 && line[size - 1] == '\r')
                --size;
            return Taken::Line;
        } else if (available > MAX_LINE_BYTES) {
            // No line end within the limit: one bad line, whatever its length.
            head += available;
            tookRecord(linesRead() + 1, available);
            skipping = true;
            return Taken::TooLong;
        } else if (eof) {
            if (available > 0) {
                // A last line without its line end: the input was cut in it
                // (a recording still being written, a copy cut short). What
                // is left of it may read as a shorter frame, so it is left out.
                head += available;
                tookRecord(linesRead() + 1, available);
                if (!blank(start, available))
                    setCut(linesRead());
            }
            return Taken::End;
        }
        if (eof)
            return Taken::End; // in the rest of a line too long, cut by the end of the input
        if (!readMore())
            eof = true;
    }
}

bool LineReader::readMore()
{
    // Keep the unfinished line, read the next piece behind it.
    buffer.remove(0, head);
    head = 0;
    const int before = buffer.size();
    QIODevice *device = input();
    const int piece = int(qMax<qint64>(1, parts::bytesLeft(device, CHUNK_BYTES)));
    buffer.resize(before + piece);
    const qint64 got = device->read(buffer.data() + before, piece);
    buffer.resize(before + int(qMax<qint64>(got, 0)));
    // Files and buffers give 0 at their end; a pipe-like device that has
    // nothing yet is waited for.
    return got > 0 || (got == 0 && device->isSequential() && device->waitForReadyRead(-1));
}

} // namespace formats
