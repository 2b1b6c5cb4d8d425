#include "link/protocol.h"

#include "core/hex.h"
#include "core/littleendian.h"
#include "core/recordtext.h"

#include <algorithm>

namespace wire {

namespace {

inline quint8 byteAt(const char *frame, int offset)
{
    return static_cast<quint8>(frame[offset]);
}

// The payload text of the frameDataLength() bytes from the data field on,
// positions past the end of the frame reading as zero.
QString payloadText(const char *frame)
{
    const int length = frameDataLength(frame);
    if (length <= FRAME_DATA_IN_FRAME)
        return recordtext::payloadText(frame + FRAME_DATA, length);
    char bytes[128] = {};
    std::copy(frame + FRAME_DATA, frame + FRAME_SIZE, bytes);
    return recordtext::payloadText(bytes, length);
}

} // namespace

quint8 checksum(const char *bytes, int first, int last)
{
    unsigned sum = 0;
    for (int i = first; i <= last; ++i)
        sum += static_cast<quint8>(bytes[i]);
    return static_cast<quint8>(sum);
}

bool isValidFrame(const AdapterFrame &frame)
{
    const char *f = frame.bytes;
    if (byteAt(f, 0) != START_BYTE_0 && byteAt(f, 1) != START_BYTE_1)
        return false;
    return checksum(f, FRAME_SUM_FIRST, FRAME_SUM_LAST) == byteAt(f, FRAME_CHECKSUM);
}

CanMessage parseFrame(const AdapterFrame &frame)
{
    const char *f = frame.bytes;
    CanMessage message;
    message.id = frameId(f);
    message.record.reserve(3);
    message.record.append(frame.timestamp);
    message.record.append(recordtext::recordIdText(message.id, frameIsStandard(f)));
    message.record.append(payloadText(f));
    return message;
}

int frameStartOffset(const QByteArray &buffer)
{
    // A frame start is a byte 0xAA, or any byte whose next byte is 0x55. The last
    // byte of the buffer has no next byte, so it is a start only if it is 0xAA:
    // a frame beginning xx 55 whose first byte arrives alone is lost.
    const int size = buffer.size();
    const auto *bytes = reinterpret_cast<const quint8 *>(buffer.constData());
    for (int i = 0; i < size; ++i) {
        if (bytes[i] == START_BYTE_0 || (i + 1 < size && bytes[i + 1] == START_BYTE_1))
            return i;
    }
    return size;
}

const CanRate *findCanRate(QStringView name)
{
    for (const CanRate &rate : CAN_RATES) {
        if (name == QLatin1String(rate.name))
            return &rate;
    }
    return nullptr;
}

const CanRate *canRateOfCommand(quint8 command, quint8 code, const quint8 timing[3])
{
    for (const CanRate &rate : CAN_RATES) {
        if (rate.command == command && rate.code == code
            && std::equal(rate.timing, rate.timing + 3, timing))
            return &rate;
    }
    return nullptr;
}

QByteArray buildConfigurationCommand(const QString &canRateName, bool extendedId,
                                     quint32 filterId, quint32 maskId)
{
    const CanRate *rate = findCanRate(canRateName);
    if (!rate)
        return QByteArray();

    QByteArray command(CONFIG_SIZE, '\0');
    command[0] = char(START_BYTE_0);
    command[1] = char(START_BYTE_1);
    command[2] = char(rate->command);
    command[CONFIG_CODE] = char(rate->code);
    command[CONFIG_ID_KIND] = char(extendedId ? 0x02 : 0x01);
    core::putLittleEndian(command.data() + CONFIG_FILTER, filterId, 4);
    core::putLittleEndian(command.data() + CONFIG_MASK, maskId, 4);
    command[CONFIG_FIXED] = char(0x02);
    for (int i = 0; i < 3; ++i)
        command[CONFIG_TIMING + i] = char(rate->timing[i]);
    command[CONFIG_CHECKSUM] = char(checksum(command.constData(), CONFIG_SUM_FIRST, CONFIG_SUM_LAST));
    return command;
}

QByteArray buildFilterListCommand(bool exclude, bool switchOn, const QStringList &entries)
{
    QByteArray command;
    command.reserve(FILTER_IDS + 1 + (switchOn ? 4 * entries.size() : 0));
    command.append(char(START_BYTE_0));
    command.append(char(START_BYTE_1));
    command.append(char(exclude ? FILTER_EXCLUDE_LISTED : FILTER_SHOW_LISTED));
    command.append(char(switchOn ? (entries.size() & 0xFF) : 0));
    if (switchOn) {
        for (const QString &entry : entries) {
            quint64 value = 0;
            if (!core::parseHex(QStringView(entry).trimmed(), value) || value > 0x7FFFFFFF)
                value = 0; // not hexadecimal, or above 7FFFFFFF
            const quint32 bits = quint32(value);
            for (int i = 0; i < 4; ++i) {
                const char b = char((bits >> (8 * i)) & 0xFF);
                if (b == ESCAPED_BYTE)
                    command.append(CR_ESCAPE, CR_ESCAPE_SIZE);
                else
                    command.append(b);
            }
        }
    }
    const int last = std::min(FILTER_SUM_LAST, command.size() - 1);
    command.append(char(checksum(command.constData(), FILTER_SUM_FIRST, last)));
    return command;
}

} // namespace wire
