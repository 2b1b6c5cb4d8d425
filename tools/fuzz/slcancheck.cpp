// The fuzz target "slcan": an SLCAN client's bytes, and the adapter's frames
// between them, through the bridge's session (slcan/session.h). Byte 0 picks
// the fixed rate (0 none, 1..7 the adapter's rates in their table's order);
// then each byte starts a step:
//
//   0x00-0x7F  (n & 0x3F) client bytes follow; with bit 6 the adapter refuses
//              the configurations written meanwhile
//   0x80-0xFD  a frame from the adapter follows in 15 bytes: identifier (4,
//              least significant first), kind and length (bit 7 standard,
//              bits 6..0 the length 0..127), time (2, signed, in units of
//              7 ms), 8 data bytes; with bit 6, (n & 0x3F) + 1 frames were
//              dropped before it
//   0xFE, 0xFF the client went away
//
// Each step is checked against the plain model (tools/fuzz/slcanmodel.h):
// the same replies byte for byte, the same frame lines and counters, and
// nothing ever goes to the adapter but a well-formed configuration command
// of the rate in force (standard identifiers, filter and mask 0), one for
// each open the model expects.

#include "tools/fuzz/fuzzcheck.h"
#include "tools/fuzz/slcanmodel.h"

#include "core/littleendian.h"
#include "slcan/session.h"

#include <cstring>
#include <iterator>

namespace fuzz {

namespace {

// Whether a command for the adapter is the configuration of that rate for
// standard identifiers with filter and mask 0, by the command's byte layout.
bool wellFormed(const QByteArray &command, const wire::CanRate *rate)
{
    if (command.size() != wire::CONFIG_SIZE || !rate)
        return false;
    const auto *b = reinterpret_cast<const quint8 *>(command.constData());
    return b[0] == wire::START_BYTE_0 && b[1] == wire::START_BYTE_1
           && wire::canRateOfCommand(b[2], b[3], b + wire::CONFIG_TIMING) == rate && b[wire::CONFIG_ID_KIND] == 0x01
           && core::littleEndian(command.constData() + wire::CONFIG_FILTER, 4) == 0
           && core::littleEndian(command.constData() + wire::CONFIG_MASK, 4) == 0 && b[wire::CONFIG_FIXED] == 0x02
           && b[wire::CONFIG_CHECKSUM]
                  == wire::checksum(command.constData(), wire::CONFIG_SUM_FIRST, wire::CONFIG_SUM_LAST);
}

bool sameCounters(const slcan::Session::Counters &c, const SlcanModel &m)
{
    return c.commands == m.commands && c.refused == m.refused && c.transmitRefused == m.transmitRefused
           && c.forwarded == m.forwarded && c.filtered == m.filtered && c.cut == m.cut && c.outOfRange == m.outOfRange;
}

} // namespace

const char *checkSlcan(const uint8_t *data, size_t size)
{
    if (size == 0)
        return nullptr;
    const int rates = int(std::size(wire::CAN_RATES));
    const int fixedChoice = data[0] & 7;
    const wire::CanRate *fixedRate = fixedChoice >= 1 && fixedChoice <= rates ? &wire::CAN_RATES[fixedChoice - 1] : nullptr;

    QList<QByteArray> written;
    bool refuseWrites = false;
    slcan::Session session(
        [&](const QByteArray &command) {
            written.append(command);
            return !refuseWrites;
        },
        fixedRate);
    SlcanModel model(fixedRate);

    size_t at = 1;
    while (at < size) {
        const quint8 step = data[at++];
        if (step < 0x80) {
            const size_t n = std::min<size_t>(step & 0x3F, size - at);
            const QByteArray bytes(reinterpret_cast<const char *>(data + at), int(n));
            at += n;
            refuseWrites = (step & 0x40) != 0;
            written.clear();
            QByteArray reply, expected;
            QVector<const wire::CanRate *> opens;
            session.receive(bytes.constData(), bytes.size(), reply);
            model.receive(bytes, refuseWrites, expected, &opens);
            if (reply != expected)
                return failure(QStringLiteral("client bytes %1 got the reply %2, not %3")
                                   .arg(QString::fromLatin1(bytes.toHex()), QString::fromLatin1(reply.toHex()),
                                        QString::fromLatin1(expected.toHex())));
            if (written.size() != opens.size())
                return failure(QStringLiteral("%1 commands went to the adapter for %2 opens")
                                   .arg(written.size())
                                   .arg(opens.size()));
            for (int i = 0; i < written.size(); ++i) {
                if (!wellFormed(written.at(i), opens.at(i)))
                    return failure(QStringLiteral("the adapter was sent %1").arg(QString::fromLatin1(written.at(i).toHex())));
            }
        } else if (step < 0xFE) {
            if (size - at < 15)
                break;
            const uint8_t *f = data + at;
            at += 15;
            if (step & 0x40) {
                session.addDropped((step & 0x3F) + 1);
                model.addDropped((step & 0x3F) + 1);
            }
            char bytes[wire::FRAME_DATA_IN_FRAME] = {};
            std::memcpy(bytes, f + 7, 8);
            ReceivedFrame frame;
            frame.id = quint32(core::littleEndian(reinterpret_cast<const char *>(f), 4));
            frame.standard = (f[4] & 0x80) != 0;
            frame.length = f[4] & 0x7F;
            frame.timeUs = qint64(qint16(f[5] | (f[6] << 8))) * 7000;
            frame.data = bytes;
            QByteArray out;
            const bool appended = session.appendFrame(frame, out);
            const QByteArray expected = model.frameLine(frame.timeUs, frame.id, frame.standard, frame.length, bytes);
            if (out != expected || appended == expected.isEmpty())
                return failure(QStringLiteral("a frame gave the line %1, not %2")
                                   .arg(QString::fromLatin1(out), QString::fromLatin1(expected)));
        } else {
            session.reset();
            model.reset();
        }
        if (!sameCounters(session.counters(), model))
            return "the session's counters differ from the model's";
        if ((session.channel() != slcan::Channel::Closed) != model.open())
            return "the session's channel differs from the model's";
    }
    return nullptr;
}

} // namespace fuzz
