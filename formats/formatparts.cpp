#include "formats/formatparts.h"

#include "core/hex.h"

#include <QIODevice>

namespace formats::parts {

qint64 bytesLeft(QIODevice *device, qint64 most)
{
    return device->isSequential() ? most : qMin(device->size() - device->pos(), most);
}

const char *const WEEKDAYS[7] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
const char *const MONTHS[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

int fdLengthCode(int length)
{
    for (int code = 0; code < 16; ++code) {
        if (FD_LENGTHS[code] == length)
            return code;
    }
    return -1;
}

QByteArray firstTextLine(const QByteArray &head)
{
    for (int start = 0; start < head.size();) {
        int end = head.indexOf('\n', start);
        if (end < 0)
            end = head.size();
        const QByteArray line = head.mid(start, end - start).trimmed();
        if (!line.isEmpty())
            return line;
        start = end + 1;
    }
    return QByteArray();
}

char *makeRoom(QByteArray &out, int room)
{
    const int at = out.size();
    out.resize(at + room);
    return out.data() + at;
}

void keepUpTo(QByteArray &out, const char *end)
{
    out.resize(int(end - out.constData()));
}

char *putHexByte(char *p, quint8 byte)
{
    *p++ = core::UPPER_HEX_DIGITS[byte >> 4];
    *p++ = core::UPPER_HEX_DIGITS[byte & 0xF];
    return p;
}

char *putHex(char *p, quint32 value, int width)
{
    char digits[8];
    int n = 0;
    do {
        digits[n++] = core::UPPER_HEX_DIGITS[value & 0xF];
        value >>= 4;
    } while (value != 0);
    for (int i = n; i < width; ++i)
        *p++ = '0';
    while (n > 0)
        *p++ = digits[--n];
    return p;
}

char *putDecimal(char *p, qint64 value, int width, char pad)
{
    char digits[24];
    int n = 0;
    const bool negative = value < 0;
    quint64 v = negative ? quint64(-(value + 1)) + 1 : quint64(value);
    do {
        digits[n++] = char('0' + v % 10);
        v /= 10;
    } while (v != 0);
    if (negative)
        digits[n++] = '-';
    for (int i = n; i < width; ++i)
        *p++ = pad;
    while (n > 0)
        *p++ = digits[--n];
    return p;
}

char *putText(char *p, const char *text)
{
    while (*text)
        *p++ = *text++;
    return p;
}

char *putBlanks(char *p, int count)
{
    for (int i = 0; i < count; ++i)
        *p++ = ' ';
    return p;
}

qint64 localToEpochMs(const QDate &date, const QTime &time)
{
    const qint64 ms = QDateTime(date, time).toMSecsSinceEpoch();
    // The same local time half an hour or an hour earlier makes this the
    // second of the two.
    for (const qint64 step : {qint64(3600000), qint64(1800000)}) {
        const QDateTime earlier = QDateTime::fromMSecsSinceEpoch(ms - step);
        if (earlier.date() == date && earlier.time() == time)
            return ms - step;
    }
    return ms;
}

qint64 unambiguousLocalMs(qint64 ms)
{
    constexpr qint64 HOUR_MS = 3600000;
    const auto offset = [](qint64 at) { return QDateTime::fromMSecsSinceEpoch(at).offsetFromUtc(); };
    for (int tries = 0; tries < 4; ++tries, ms -= 6 * HOUR_MS) {
        const int here = offset(ms);
        if (offset(ms - 3 * HOUR_MS) == here && offset(ms + 3 * HOUR_MS) == here)
            break;
    }
    return ms;
}

qint64 LocalClock::toEpochMs(const QDate &date, int msecsOfDay)
{
    // Changes of the UTC offset fall on whole hours, so the start of the hour
    // in local time is enough to place every millisecond of it.
    const int hour = msecsOfDay / 3600000;
    if (date != cachedDate || hour != cachedHour) {
        cachedDate = date;
        cachedHour = hour;
        cachedHourStartMs = localToEpochMs(date, QTime(hour, 0));
    }
    return cachedHourStartMs + msecsOfDay % 3600000;
}

} // namespace formats::parts
