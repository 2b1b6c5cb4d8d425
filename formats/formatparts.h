#pragma once

// Inside the formats library: the reader and writer of each format, and the
// small text and time helpers they share.

#include "core/canid.h"
#include "formats/frameio.h"

#include <QDate>

#include <memory>

namespace formats::parts {

std::unique_ptr<FrameReader> makeDumpReader(QIODevice *device, const ReadOptions &options);
std::unique_ptr<FrameWriter> makeDumpWriter(QIODevice *device, const WriteOptions &options);
std::unique_ptr<FrameReader> makeCandumpReader(QIODevice *device, const ReadOptions &options);
std::unique_ptr<FrameWriter> makeCandumpWriter(QIODevice *device, const WriteOptions &options);
std::unique_ptr<FrameReader> makeAscReader(QIODevice *device, const ReadOptions &options);
std::unique_ptr<FrameWriter> makeAscWriter(QIODevice *device, const WriteOptions &options);

using core::MAX_EXTENDED_ID;
using core::MAX_STANDARD_ID;
constexpr int CLASSIC_DATA_BYTES = 8;
constexpr int FD_DATA_BYTES = 64;

// The frame's identifier fits its kind.
inline bool validIdentifier(const CanFrame &frame)
{
    return core::isValidId(frame.id, frame.extended);
}

// Writers format a line into room made at the end of their buffer: `room`
// bytes from `at` on, then cut back to what was written.
char *makeRoom(QByteArray &out, int room);
void keepUpTo(QByteArray &out, const char *end);

// Each writes at p and returns the position after what it wrote.
// The byte as two upper-case hexadecimal digits.
char *putHexByte(char *p, quint8 byte);
// Upper-case hexadecimal, at least `width` digits (zero-padded).
char *putHex(char *p, quint32 value, int width);
// Decimal, left-padded with `pad` to at least `width` characters.
char *putDecimal(char *p, qint64 value, int width = 0, char pad = ' ');
char *putText(char *p, const char *text);
char *putBlanks(char *p, int count);

// The instant of a local date and time of day. It remembers the last hour it
// converted, so that a recording's frames cost no time-zone lookup each.
class LocalClock
{
public:
    qint64 toEpochMs(const QDate &date, int msecsOfDay);

private:
    QDate cachedDate;
    int cachedHour = -1;
    qint64 cachedHourStartMs = 0;
};

} // namespace formats::parts
