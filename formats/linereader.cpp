#include "formats/linereader.h"

#include <QIODevice>

#include <cstring>

namespace formats {

namespace {

// The device is read in pieces of about this size.
constexpr int CHUNK_BYTES = 256 * 1024;
// A line longer than this is not believed to be a recording's line.
constexpr int MAX_LINE_BYTES = 64 * 1024;

} // namespace

LineReader::LineReader(QIODevice *device, const ReadOptions &options)
    : FrameReader(device, options, Position::Line)
{
}

FrameReader::Result LineReader::readRecord(CanFrame &frame, QString *why)
{
    const char *line = nullptr;
    int size = 0;
    if (!takeLine(line, size))
        return Result::End;
    return readLine(line, size, frame, why);
}

bool LineReader::takeLine(const char *&line, int &size)
{
    for (;;) {
        const char *start = buffer.constData() + head;
        const int available = buffer.size() - head;
        const void *feed = std::memchr(start, '\n', size_t(available));
        if (feed || (eof && available > 0)) {
            const int length = feed ? int(static_cast<const char *>(feed) - start) : available;
            const int taken = feed ? length + 1 : length;
            head += taken;
            tookRecord(linesRead() + 1, taken);
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
            head = size;
            tookRecord(linesRead() + 1, size);
            return true;
        }
        const int before = buffer.size();
        QIODevice *device = input();
        // A device that knows what it has left (a file) is read no further.
        const int piece = device->isSequential()
                              ? CHUNK_BYTES
                              : int(qBound<qint64>(1, device->size() - device->pos(), CHUNK_BYTES));
        buffer.resize(before + piece);
        const qint64 got = device->read(buffer.data() + before, piece);
        buffer.resize(before + int(qMax<qint64>(got, 0)));
        // Files and buffers give 0 at their end; a pipe-like device that has
        // nothing yet is waited for.
        if (got < 0 || (got == 0 && !(device->isSequential() && device->waitForReadyRead(-1))))
            eof = true;
    }
}

} // namespace formats
