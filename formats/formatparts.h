#pragma once

// Inside the formats library: the small text, time and frame helpers the
// readers and writers of the formats share.

#include "core/canid.h"
#include "formats/canframe.h"

#include <QByteArray>
#include <QDate>
#include <QTime>

class QIODevice;

namespace formats::parts {

using core::MAX_EXTENDED_ID;
using core::MAX_STANDARD_ID;

// Data length of each CAN FD data length code.
constexpr int FD_LENGTHS[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 24, 32, 48, 64};
// The code of a CAN FD data length; -1 for a length no code gives.
int fdLengthCode(int length);

// English names, as logs write dates whatever the locale.
extern const char *const WEEKDAYS[7]; // Mon ... Sun
extern const char *const MONTHS[12];  // Jan ... Dec

// The first line of a text that is not blank, blanks around it removed (empty
// when there is none): the line detection looks at.
QByteArray firstTextLine(const QByteArray &head);

// The frame's identifier fits its kind.
inline bool validIdentifier(const CanFrame &frame)
{
    return core::isValidId(frame.id, frame.extended);
}

// Writers format a line into room made at the end of their buffer: `room`
// bytes from `at` on, then cut back to what was written.
// What a read of `device` may ask for: what a file has left, at most `most`;
// `most` from a pipe-like device, which does not know.
qint64 bytesLeft(QIODevice *device, qint64 most);

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

// The instant (milliseconds since 1970 UTC) of a local date and time. Where
// the local time names two instants (the hour that the change to winter time
// repeats) it is the first of them: the C library's choice there depends on
// the conversions made before it. Where it names none (the hour that the
// change to summer time skips) it is where Qt places it, an hour early.
qint64 localToEpochMs(const QDate &date, const QTime &time);

// The instant at or before ms, going back six hours at a time, with no change
// of the UTC offset within three hours of it: its local date and time name
// it alone, as the date in a file's header must.
qint64 unambiguousLocalMs(qint64 ms);

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
