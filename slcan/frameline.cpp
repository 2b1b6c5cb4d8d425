#include "slcan/frameline.h"

#include "core/hex.h"

namespace slcan {

namespace {

// The low `digits` hexadecimal digits of value, most significant first.
char *putHex(char *p, quint32 value, int digits)
{
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        *p++ = core::UPPER_HEX_DIGITS[(value >> shift) & 0xF];
    return p;
}

} // namespace

int writeFrameLine(char *out, quint32 id, bool extended, int length, const char *data, int stampMs)
{
    char *p = out;
    *p++ = extended ? 'T' : 't';
    p = putHex(p, id, extended ? 8 : 3);
    *p++ = char('0' + length);
    for (int i = 0; i < length; ++i)
        p = putHex(p, quint8(data[i]), 2);
    if (stampMs >= 0)
        p = putHex(p, quint32(stampMs), 4);
    *p++ = '\r';
    return int(p - out);
}

int timeStampMs(qint64 timeUs)
{
    const qint64 ms = (timeUs / 1000) % TIME_STAMP_PERIOD_MS;
    return int(ms < 0 ? ms + TIME_STAMP_PERIOD_MS : ms);
}

} // namespace slcan
