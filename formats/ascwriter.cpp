// The writer of Vector ASC logs in the layout can-utils' log2asc writes:
//   date Wed Jun  7 13:10:06 2017
//   base hex  timestamps absolute
//   no internal events logged
//      0.123456 1  18FEF100x       Rx   d 8 11 22 33 44 55 66 77 88
// The date line holds the whole seconds of the first frame's time (earlier
// near a change of the UTC offset), the time stamps the rest, so that every
// frame keeps its microseconds.

#include "formats/asc.h"
#include "formats/formatparts.h"
#include "core/hex.h"
#include "core/seconds.h"

#include <QDateTime>

#include <algorithm>

namespace formats::parts {

namespace {

class AscWriter : public FrameWriter
{
public:
    AscWriter(QIODevice *device, const WriteOptions &options)
        : FrameWriter(device, options)
    {
    }

protected:
    Outcome format(const CanFrame &frame, QByteArray &out) override
    {
        if (!validIdentifier(frame) || frame.timeUs < 0)
            return Outcome::Unsupported;
        if (frame.fd && frame.data.size() > FD_DATA_BYTES)
            return Outcome::Unsupported;
        const int fdCode = frame.fd ? fdLengthCode(frame.data.size()) : -1;
        if (frame.fd && fdCode < 0)
            return Outcome::Unsupported; // no length code gives this length
        if (!headerWritten) {
            // Whole seconds in the date line, the rest in the time stamps, so
            // that every frame keeps its microseconds. The date line is local
            // time: near a change of the UTC offset, where it may name two
            // instants, it is taken earlier; a frame after the year 9999 has
            // no date line.
            const qint64 base = unambiguousLocalMs(frame.timeUs / 1000000 * 1000) * 1000;
            if (!readsBack(base))
                return Outcome::Unsupported;
            baseUs = base;
            header(QDateTime::fromMSecsSinceEpoch(baseUs / 1000), out);
        }
        const qint64 offset = frame.timeUs - baseUs;
        if (offset < 0 || offset / 1000000 > core::MAX_WHOLE_SECONDS)
            return Outcome::Unsupported; // before the date of the header, or too long after it
        char *p = makeRoom(out, 200 + 3 * FD_DATA_BYTES);
        p = putDecimal(p, offset / 1000000, 4);
        *p++ = '.';
        p = putDecimal(p, offset % 1000000, 6, '0');

        char id[10];
        char *idEnd = putHex(id, frame.id, 1);
        if (frame.extended)
            *idEnd++ = 'x';
        const int idSize = int(idEnd - id);
        Outcome outcome = Outcome::Written;
        if (frame.fd) {
            // The layout log2asc writes.
            p = putText(p, " CANFD   1 Rx ");
            p = putBlanks(p, 11 - idSize);
            p = std::copy(id, idEnd, p);
            p = putBlanks(p, 34);
            *p++ = frame.fdFlags & 1 ? '1' : '0';
            *p++ = ' ';
            *p++ = frame.fdFlags & 2 ? '1' : '0';
            *p++ = ' ';
            *p++ = core::UPPER_HEX_DIGITS[fdCode];
            *p++ = ' ';
            p = putDecimal(p, frame.data.size(), 2);
            for (const char b : frame.data) {
                *p++ = ' ';
                p = putHexByte(p, quint8(b));
            }
            // Message duration and length (unknown), then the flags: 0x1000 a
            // CAN FD frame, 0x2000 bit rate switch, 0x4000 error state indicator.
            p = putText(p, "        0    0 ");
            const quint32 flags = 0x1000 | (frame.fdFlags & 1 ? 0x2000 : 0) | (frame.fdFlags & 2 ? 0x4000 : 0);
            p = putBlanks(p, 4);
            p = putHex(p, flags, 4);
            p = putText(p, "        0        0        0        0        0");
        } else {
            p = putText(p, " 1  ");
            p = std::copy(id, idEnd, p);
            p = putBlanks(p, 15 - idSize);
            p = putText(p, " Rx   ");
            if (frame.remote) {
                *p++ = 'r';
                *p++ = ' ';
                *p++ = core::UPPER_HEX_DIGITS[qMin<int>(frame.remoteLength, CLASSIC_DATA_BYTES)];
            } else {
                int count = frame.data.size();
                if (count > CLASSIC_DATA_BYTES) {
                    count = CLASSIC_DATA_BYTES;
                    outcome = Outcome::Truncated;
                }
                *p++ = 'd';
                *p++ = ' ';
                *p++ = core::UPPER_HEX_DIGITS[count];
                const char *data = frame.data.constData();
                for (int i = 0; i < count; ++i) {
                    *p++ = ' ';
                    p = putHexByte(p, quint8(data[i]));
                }
            }
        }
        *p++ = '\n';
        keepUpTo(out, p);
        return outcome;
    }

    void ending(QByteArray &out) override
    {
        if (!headerWritten)
            header(QDateTime::currentDateTime(), out);
    }

private:
    // Whether the local date and time of an instant (whole seconds), as the
    // date line writes them, give that instant back.
    static bool readsBack(qint64 us)
    {
        const QDateTime local = QDateTime::fromMSecsSinceEpoch(us / 1000);
        return local.isValid() && local.date().year() <= 9999
               && localToEpochMs(local.date(), local.time()) == us / 1000;
    }

    void header(const QDateTime &when, QByteArray &out)
    {
        // "date Wed Jun  7 13:10:06 2017", in English whatever the locale.
        const QDate d = when.date();
        const QTime t = when.time();
        char *p = makeRoom(out, 128);
        p = putText(p, "date ");
        p = putText(p, WEEKDAYS[d.dayOfWeek() - 1]);
        *p++ = ' ';
        p = putText(p, MONTHS[d.month() - 1]);
        *p++ = ' ';
        p = putDecimal(p, d.day(), 2);
        *p++ = ' ';
        p = putDecimal(p, t.hour(), 2, '0');
        *p++ = ':';
        p = putDecimal(p, t.minute(), 2, '0');
        *p++ = ':';
        p = putDecimal(p, t.second(), 2, '0');
        *p++ = ' ';
        p = putDecimal(p, d.year(), 4, '0');
        p = putText(p, "\nbase hex  timestamps absolute\nno internal events logged\n");
        keepUpTo(out, p);
        headerWritten = true;
    }

    bool headerWritten = false;
    qint64 baseUs = 0;
};

} // namespace

std::unique_ptr<FrameWriter> makeAscWriter(QIODevice *device, const WriteOptions &options)
{
    return std::make_unique<AscWriter>(device, options);
}

} // namespace formats::parts
