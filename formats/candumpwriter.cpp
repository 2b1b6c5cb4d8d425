// The writer of can-utils' candump -L log lines:
//   (1496841006.123456) can0 18FEF100#1122334455667788
// with the interface name of the write options, "#R" and the asked length for
// a remote request, "##" and the flags digit for CAN FD.

#include "formats/candump.h"
#include "formats/formatparts.h"
#include "core/hex.h"
#include "core/seconds.h"

#include <cstring>

namespace formats::parts {

namespace {

class CandumpWriter : public FrameWriter
{
public:
    CandumpWriter(QIODevice *device, const WriteOptions &options)
        : FrameWriter(device, options)
        , interfaceName(options.channel.toLatin1())
    {
    }

protected:
    Outcome format(const CanFrame &frame, QByteArray &out) override
    {
        if (!validIdentifier(frame) || frame.timeUs < 0 || frame.timeUs / 1000000 > core::MAX_WHOLE_SECONDS)
            return Outcome::Unsupported;
        Outcome outcome = Outcome::Written;
        char *p = makeRoom(out, 64 + interfaceName.size() + 2 * FD_DATA_BYTES);
        *p++ = '(';
        p = putDecimal(p, frame.timeUs / 1000000, 10, '0');
        *p++ = '.';
        p = putDecimal(p, frame.timeUs % 1000000, 6, '0');
        *p++ = ')';
        *p++ = ' ';
        std::memcpy(p, interfaceName.constData(), size_t(interfaceName.size()));
        p += interfaceName.size();
        *p++ = ' ';
        p = putHex(p, frame.id, frame.extended ? 8 : 3);
        *p++ = '#';
        if (frame.remote) {
            *p++ = 'R';
            if (frame.remoteLength > 0 && frame.remoteLength <= CLASSIC_DATA_BYTES)
                *p++ = core::UPPER_HEX_DIGITS[frame.remoteLength];
        } else {
            int count = frame.data.size();
            if (frame.fd) {
                *p++ = '#';
                *p++ = core::UPPER_HEX_DIGITS[frame.fdFlags & 0xF];
                if (count > FD_DATA_BYTES) {
                    count = FD_DATA_BYTES;
                    outcome = Outcome::Truncated;
                }
            } else if (count > CLASSIC_DATA_BYTES) {
                count = CLASSIC_DATA_BYTES;
                outcome = Outcome::Truncated;
            }
            const char *data = frame.data.constData();
            for (int i = 0; i < count; ++i)
                p = putHexByte(p, quint8(data[i]));
        }
        *p++ = '\n';
        keepUpTo(out, p);
        return outcome;
    }

private:
    QByteArray interfaceName;
};

} // namespace

std::unique_ptr<FrameWriter> makeCandumpWriter(QIODevice *device, const WriteOptions &options)
{
    return std::make_unique<CandumpWriter>(device, options);
}

} // namespace formats::parts
