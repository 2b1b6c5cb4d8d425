#include "formats/blfobjects.h"

#include "core/canid.h"
#include "core/littleendian.h"

#include <algorithm>
#include <cstring>

namespace formats::blf {

using core::littleEndian;

namespace {

// Time stamps beyond this many microseconds (about 3000 years) are damage.
constexpr quint64 MAX_OFFSET_US = 100000000000000000ull;

} // namespace

bool readCanObject(const char *object, int size, quint32 type, qint64 startUs, CanFrame &frame, int &channel,
                   QString *why)
{
    const int headerSize = int(littleEndian(object + 4, 2));
    const int version = int(littleEndian(object + 6, 2));
    if (version != 1 && version != 2) {
        *why = QStringLiteral("unknown object header version %1").arg(version);
        return false;
    }
    const int least = version == 1 ? HEADER_V1_BYTES : HEADER_V2_BYTES;
    if (headerSize < least || headerSize > size) {
        *why = QStringLiteral("an object header of %1 bytes").arg(headerSize);
        return false;
    }
    const quint32 flags = quint32(littleEndian(object + 16, 4));
    const quint64 stamp = littleEndian(object + 24, 8);
    quint64 offsetUs = 0;
    if (flags == TIME_TEN_MICS)
        offsetUs = stamp <= MAX_OFFSET_US / 10 ? stamp * 10 : MAX_OFFSET_US + 1;
    else
        offsetUs = stamp / 1000 + (stamp % 1000 >= 500 ? 1 : 0);
    if (offsetUs > MAX_OFFSET_US) {
        *why = QStringLiteral("a time stamp out of range");
        return false;
    }
    const char *body = object + headerSize;
    const int bodySize = size - headerSize;

    quint32 rawId = 0;
    int dataBytes = 0;
    int lengthCode = 0;
    const char *data = nullptr;
    bool fd = false;
    bool remote = false;
    quint8 fdFlags = 0;
    int objectChannel = 0;
    if (type == CAN_MESSAGE || type == CAN_MESSAGE2) {
        if (bodySize < CAN_MESSAGE_BYTES) {
            *why = QStringLiteral("a CAN message object too short for its fields");
            return false;
        }
        objectChannel = int(littleEndian(body, 2));
        remote = (quint8(body[2]) & CAN_MESSAGE_REMOTE) != 0;
        lengthCode = quint8(body[3]);
        rawId = quint32(littleEndian(body + 4, 4));
        dataBytes = std::min(lengthCode, CLASSIC_DATA_BYTES);
        data = body + 8;
    } else if (type == CAN_FD_MESSAGE) {
        if (bodySize < CAN_FD_MESSAGE_BYTES) {
            *why = QStringLiteral("a CAN FD message object too short for its fields");
            return false;
        }
        objectChannel = int(littleEndian(body, 2));
        remote = (quint8(body[2]) & CAN_MESSAGE_REMOTE) != 0;
        lengthCode = quint8(body[3]);
        rawId = quint32(littleEndian(body + 4, 4));
        const quint8 canFdFlags = quint8(body[13]);
        fd = (canFdFlags & FD_EDL) != 0;
        fdFlags = quint8(((canFdFlags & FD_BRS) ? 1 : 0) | ((canFdFlags & FD_ESI) ? 2 : 0));
        dataBytes = quint8(body[14]);
        data = body + 20;
    } else {
        if (bodySize < CAN_FD_MESSAGE_64_BYTES) {
            *why = QStringLiteral("a CAN FD message object too short for its fields");
            return false;
        }
        objectChannel = quint8(body[0]);
        lengthCode = quint8(body[1]);
        dataBytes = quint8(body[2]);
        rawId = quint32(littleEndian(body + 4, 4));
        const quint32 fdFields = quint32(littleEndian(body + 12, 4));
        fd = (fdFields & FD64_EDL) != 0;
        remote = !fd && (fdFields & FD64_REMOTE) != 0;
        fdFlags = quint8(((fdFields & FD64_BRS) ? 1 : 0) | ((fdFields & FD64_ESI) ? 2 : 0));
        data = body + CAN_FD_MESSAGE_64_BYTES;
        if (dataBytes <= FD_DATA_BYTES && bodySize < CAN_FD_MESSAGE_64_BYTES + dataBytes) {
            *why = QStringLiteral("a CAN FD message object too short for its %1 data bytes").arg(dataBytes);
            return false;
        }
    }
    if (dataBytes > (fd ? FD_DATA_BYTES : CLASSIC_DATA_BYTES)) {
        *why = QStringLiteral("%1 data bytes in a %2 frame").arg(dataBytes).arg(fd ? "CAN FD" : "CAN");
        return false;
    }
    const bool extended = (rawId & EXTENDED_ID_FLAG) != 0;
    const quint32 id = rawId & core::MAX_EXTENDED_ID;
    if (!core::isValidId(id, extended)) {
        *why = QStringLiteral("standard identifier above 7FF");
        return false;
    }
    frame.timeUs = startUs + qint64(offsetUs);
    frame.id = id;
    frame.extended = extended;
    frame.fd = fd;
    frame.fdFlags = fd ? fdFlags : 0;
    frame.remote = remote && !fd;
    frame.remoteLength = frame.remote ? quint8(std::min(lengthCode, CLASSIC_DATA_BYTES)) : 0;
    const int count = frame.remote ? 0 : dataBytes;
    frame.data.resize(count);
    if (count > 0)
        std::memcpy(frame.data.data(), data, size_t(count));
    channel = objectChannel;
    return true;
}

} // namespace formats::blf
