// The reader of can-utils' candump -L log lines:
//   (1496841006.123456) can0 18FEF100#1122334455667788
// identifier of 3 (standard) or 8 (extended) hexadecimal digits, then '#' and
// the data bytes (optionally separated by '.'), "#R" with an optional length
// digit for a remote request, "##" with a flags digit for CAN FD. Some tools
// add the direction (R or T) at the end of the line.

#include "formats/candump.h"
#include "formats/formatparts.h"
#include "formats/linereader.h"
#include "core/hex.h"
#include "core/seconds.h"

#include <cstring>

namespace formats::parts {

namespace {

inline int hexAt(const char *p)
{
    return core::hexDigitValue(char16_t(quint8(*p)));
}

inline bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

class CandumpReader : public LineReader
{
public:
    CandumpReader(QIODevice *device, const ReadOptions &options)
        : LineReader(device, options)
    {
    }

protected:
    LineResult readLine(const char *p, int size, CanFrame &frame, QString *why) override
    {
        const char *end = p + size;
        while (p < end && isBlank(*p))
            ++p;
        if (p == end)
            return LineResult::Skip;
        if (*p != '(') {
            *why = QStringLiteral("not a candump line \"(SECONDS.MICROSECONDS) INTERFACE ID#DATA\"");
            return LineResult::Bad;
        }
        ++p;
        frame.reset();

        // Time: seconds, a point and 1 to 9 digits of the fraction.
        const char *close = static_cast<const char *>(std::memchr(p, ')', size_t(end - p)));
        int fractionDigits = 0;
        if (!close || !core::parseSeconds(p, int(close - p), frame.timeUs, &fractionDigits)
            || fractionDigits < 1) {
            *why = QStringLiteral("bad time stamp");
            return LineResult::Bad;
        }
        p = close + 1;

        // Interface name.
        if (p == end || !isBlank(*p)) {
            *why = QStringLiteral("no interface name after the time stamp");
            return LineResult::Bad;
        }
        while (p < end && isBlank(*p))
            ++p;
        const char *name = p;
        while (p < end && !isBlank(*p))
            ++p;
        if (p == name || p == end) {
            *why = QStringLiteral("no frame after the interface name");
            return LineResult::Bad;
        }
        while (p < end && isBlank(*p))
            ++p;

        // The frame, up to the next blank.
        const char *frameEnd = p;
        while (frameEnd < end && !isBlank(*frameEnd))
            ++frameEnd;
        const LineResult result = readFrame(p, frameEnd, frame, why);
        if (result != LineResult::Frame)
            return result;

        // Nothing but a direction may follow.
        p = frameEnd;
        while (p < end && isBlank(*p))
            ++p;
        if (p < end) {
            const char *word = p;
            while (p < end && !isBlank(*p))
                ++p;
            const bool direction = p - word == 1 && (*word == 'R' || *word == 'T');
            while (p < end && isBlank(*p))
                ++p;
            if (!direction || p < end) {
                *why = QStringLiteral("unexpected text after the frame");
                return LineResult::Bad;
            }
        }
        return LineResult::Frame;
    }

private:
    static LineResult readFrame(const char *p, const char *end, CanFrame &frame, QString *why)
    {
        const char *hash = static_cast<const char *>(std::memchr(p, '#', size_t(end - p)));
        if (!hash)
            hash = end;
        const int idDigits = int(hash - p);
        quint64 id = 0;
        if (idDigits > 8 || (idDigits > 0 && !core::parseHex(p, idDigits, id))) {
            *why = QStringLiteral("bad identifier");
            return LineResult::Bad;
        }
        if (hash == end || (idDigits != 3 && idDigits != 8)) {
            *why = QStringLiteral("an identifier has 3 or 8 hexadecimal digits followed by '#'");
            return LineResult::Bad;
        }
        frame.extended = idDigits == 8;
        frame.id = quint32(id);
        if (!frame.extended && id > MAX_STANDARD_ID) {
            *why = QStringLiteral("standard identifier above 7FF");
            return LineResult::Bad;
        }
        p = hash + 1;

        int maxBytes = CLASSIC_DATA_BYTES;
        if (p < end && *p == '#') {
            // CAN FD: one digit of flags, then up to 64 bytes.
            ++p;
            const int flags = p < end ? hexAt(p) : -1;
            if (flags < 0) {
                *why = QStringLiteral("CAN FD frame without its flags digit");
                return LineResult::Bad;
            }
            frame.fd = true;
            frame.fdFlags = quint8(flags);
            maxBytes = FD_DATA_BYTES;
            ++p;
        } else if (p < end && (*p == 'R' || *p == 'r')) {
            ++p;
            frame.remote = true;
            if (p < end) {
                const int length = hexAt(p);
                if (length < 0 || length > CLASSIC_DATA_BYTES || p + 1 != end) {
                    *why = QStringLiteral("bad length of a remote request");
                    return LineResult::Bad;
                }
                frame.remoteLength = quint8(length);
            }
            return frame.id > MAX_EXTENDED_ID ? LineResult::Unsupported : LineResult::Frame;
        }

        char bytes[FD_DATA_BYTES];
        int count = 0;
        while (p < end) {
            if (*p == '.') {
                ++p;
                continue;
            }
            if (*p == '_' && count == CLASSIC_DATA_BYTES && !frame.fd) {
                // A length code above 8 for eight data bytes: no frame type here has it.
                return LineResult::Unsupported;
            }
            quint64 value = 0;
            if (end - p < 2 || !core::parseHex(p, 2, value)) {
                *why = QStringLiteral("data bytes are pairs of hexadecimal digits");
                return LineResult::Bad;
            }
            if (count == maxBytes) {
                *why = QStringLiteral("more than %1 data bytes").arg(maxBytes);
                return LineResult::Bad;
            }
            bytes[count++] = char(value);
            p += 2;
        }
        frame.data.resize(count);
        std::memcpy(frame.data.data(), bytes, size_t(count));
        // Error frames carry flags above the 29 identifier bits (the error
        // class in the data): not frames of the bus.
        return frame.id > MAX_EXTENDED_ID ? LineResult::Unsupported : LineResult::Frame;
    }
};

} // namespace

bool looksLikeCandump(const QByteArray &head)
{
    return firstTextLine(head).startsWith('(');
}

std::unique_ptr<FrameReader> makeCandumpReader(QIODevice *device, const ReadOptions &options)
{
    return std::make_unique<CandumpReader>(device, options);
}

} // namespace formats::parts
