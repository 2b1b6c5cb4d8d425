#include "formats/blfencoder.h"

#include "core/littleendian.h"
#include "formats/formatparts.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace formats {

using core::putLittleEndian;

namespace {

constexpr int CAN_OBJECT_BYTES = blf::HEADER_V1_BYTES + blf::CAN_MESSAGE_BYTES;
constexpr int FD_OBJECT_BYTES = blf::HEADER_V1_BYTES + blf::CAN_FD_MESSAGE_64_BYTES; // before the data
// Room for the largest object and its padding.
constexpr int MAX_OBJECT_BYTES = FD_OBJECT_BYTES + FD_DATA_BYTES + 4;
// The longest time after the start that a time stamp in nanoseconds holds
// (about 584 years).
constexpr qint64 MAX_SPAN_US = 18446744073709551LL;

// The version of the library that writes the files, as python-can gives it too.
constexpr quint8 FORMAT_VERSION[4] = {2, 6, 8, 1};

// The header of an object inside a container, time-stamped in nanoseconds.
void putObjectHeader(char *p, int objectSize, quint32 type, quint64 ns)
{
    std::memcpy(p, "LOBJ", 4);
    putLittleEndian(p + 4, blf::HEADER_V1_BYTES, 2);
    putLittleEndian(p + 6, 1, 2);
    putLittleEndian(p + 8, quint64(objectSize), 4);
    putLittleEndian(p + 12, type, 4);
    putLittleEndian(p + 16, blf::TIME_ONE_NANS, 4);
    putLittleEndian(p + 20, 0, 4); // client index, object version
    putLittleEndian(p + 24, ns, 8);
}

// The smallest CAN FD length code for this many data bytes (at most 64).
int lengthCodeFor(int bytes)
{
    int code = 0;
    while (code < 15 && parts::FD_LENGTHS[code] < bytes)
        ++code;
    return code;
}

// The program's version "major.minor.build" as three numbers.
void versionNumbers(quint8 out[3])
{
    const QList<QByteArray> parts = QByteArray(VORNIX_VERSION).split('.');
    for (int i = 0; i < 3; ++i)
        out[i] = quint8(i < parts.size() ? parts[i].toUInt() : 0);
}

} // namespace

BlfEncoder::BlfEncoder()
    : BlfEncoder(Options())
{
}

BlfEncoder::BlfEncoder(const Options &encoderOptions)
    : options(encoderOptions)
    , containerBytes(size_t(std::clamp(encoderOptions.containerBytes, 1, blf::MAX_CONTAINER_CONTENT_BYTES)))
{
}

BlfEncoder::~BlfEncoder()
{
    if (zstream)
        deflateEnd(zstream.get());
}

BlfEncoder::Outcome BlfEncoder::add(const CanFrame &frame, int channel, QByteArray &out)
{
    // A time stamp holds nanoseconds from the start on, and the start a date
    // up to the year 30827: the first frame's millisecond, or earlier near a
    // change of the UTC offset, where its local time may name two instants.
    const qint64 start =
        haveStart || frame.timeUs < 0 ? startUs : parts::unambiguousLocalMs(frame.timeUs / 1000) * 1000;
    qint64 startBack = 0;
    const bool inTime = frame.timeUs >= 0
        && (haveStart ? frame.timeUs >= startUs && frame.timeUs - startUs <= MAX_SPAN_US
                      : blf::epochUs(blf::systemTime(start), startBack) && startBack == start);
    if (!parts::validIdentifier(frame) || !inTime)
        return Outcome::Unsupported;
    if (!haveStart) {
        haveStart = true;
        startUs = start;
    }
    lastUs = std::max(lastUs, frame.timeUs);
    const quint64 ns = quint64(frame.timeUs - startUs) * 1000;
    const quint32 id = frame.id | (frame.extended ? blf::EXTENDED_ID_FLAG : 0);
    channel = std::clamp(channel, 1, blf::MAX_CHANNEL);
    Outcome outcome = Outcome::Written;
    if (content.size() < contentLen + MAX_OBJECT_BYTES)
        content.resize(std::min(containerBytes, std::max<size_t>(content.size() * 2, 4096)) + MAX_OBJECT_BYTES);
    char *p = content.data() + contentLen;
    if (frame.fd && !frame.remote) {
        int count = frame.data.size();
        if (count > FD_DATA_BYTES) {
            count = FD_DATA_BYTES;
            outcome = Outcome::Truncated;
        }
        const int objectSize = FD_OBJECT_BYTES + count;
        const int padding = objectSize % 4;
        putObjectHeader(p, objectSize, blf::CAN_FD_MESSAGE_64, ns);
        char *body = p + blf::HEADER_V1_BYTES;
        std::memset(body, 0, blf::CAN_FD_MESSAGE_64_BYTES);
        body[0] = char(channel);
        body[1] = char(lengthCodeFor(count));
        body[2] = char(count);
        putLittleEndian(body + 4, id, 4);
        quint32 flags = blf::FD64_EDL;
        if (frame.fdFlags & 1)
            flags |= blf::FD64_BRS;
        if (frame.fdFlags & 2)
            flags |= blf::FD64_ESI;
        putLittleEndian(body + 12, flags, 4);
        std::memcpy(body + blf::CAN_FD_MESSAGE_64_BYTES, frame.data.constData(), size_t(count));
        std::memset(p + objectSize, 0, size_t(padding));
        contentLen += size_t(objectSize + padding);
    } else {
        int count = frame.remote ? 0 : frame.data.size();
        if (count > CLASSIC_DATA_BYTES) {
            count = CLASSIC_DATA_BYTES;
            outcome = Outcome::Truncated;
        }
        putObjectHeader(p, CAN_OBJECT_BYTES, blf::CAN_MESSAGE, ns);
        char *body = p + blf::HEADER_V1_BYTES;
        putLittleEndian(body, quint64(channel), 2);
        body[2] = char(frame.remote ? blf::CAN_MESSAGE_REMOTE : 0);
        body[3] = char(frame.remote ? std::min<int>(frame.remoteLength, CLASSIC_DATA_BYTES) : count);
        putLittleEndian(body + 4, id, 4);
        std::memset(body + 8, 0, CLASSIC_DATA_BYTES);
        std::memcpy(body + 8, frame.data.constData(), size_t(count));
        contentLen += CAN_OBJECT_BYTES;
    }
    ++objects;

    // A full container goes out; the rest of the object opens the next.
    if (contentLen >= containerBytes) {
        putContainer(containerBytes, out);
        const size_t rest = contentLen - containerBytes;
        std::memmove(content.data(), content.data() + containerBytes, rest);
        contentLen = rest;
    }
    return outcome;
}

void BlfEncoder::close(QByteArray &out)
{
    if (!headerOut)
        putHeader(out);
    if (contentLen > 0) {
        putContainer(contentLen, out);
        contentLen = 0;
    }
}

qint64 BlfEncoder::pendingFileBytes() const
{
    if (contentLen == 0)
        return 0;
    const double ratio = contentIn > 0 ? double(containersOut) / double(contentIn) : 0.25;
    return std::max<qint64>(1, qint64(double(contentLen) * ratio));
}

QByteArray BlfEncoder::header() const
{
    return headerBytes(true);
}

QByteArray BlfEncoder::headerBytes(bool complete) const
{
    blf::Statistics s;
    versionNumbers(s.applicationVersion);
    std::copy(std::begin(FORMAT_VERSION), std::end(FORMAT_VERSION), s.formatVersion);
    if (complete) {
        s.fileBytes = handedOut;
        s.uncompressedBytes = uncompressedBytes;
        s.objectCount = quint32(std::min<quint64>(objects, 0xFFFFFFFFu));
    }
    if (haveStart) {
        s.start = blf::systemTime(startUs);
        s.last = blf::systemTime(complete ? lastUs : startUs);
    }
    QByteArray bytes(blf::FILE_HEADER_BYTES, Qt::Uninitialized);
    blf::putStatistics(bytes.data(), s);
    return bytes;
}

void BlfEncoder::putHeader(QByteArray &out)
{
    // The sizes and counts are not known yet: zeros say so to a reader
    // should the file never be finished.
    headerOut = true;
    handedOut += blf::FILE_HEADER_BYTES;
    out += headerBytes(false);
}

void BlfEncoder::putContainer(size_t bytes, QByteArray &out)
{
    if (!headerOut)
        putHeader(out);
    if (options.compressionLevel != 0 && !zstreamTried) {
        zstreamTried = true;
        zstream = std::make_unique<z_stream_s>();
        std::memset(zstream.get(), 0, sizeof(z_stream_s));
        if (deflateInit(zstream.get(), std::clamp(options.compressionLevel, 1, 9)) != Z_OK)
            zstream.reset(); // then the containers are stored
    }
    const size_t bound = zstream ? size_t(deflateBound(zstream.get(), uLong(bytes))) : bytes;
    char *p = parts::makeRoom(out, int(blf::CONTAINER_HEADER_BYTES + bound + 4));
    size_t payload = bytes;
    quint16 method = blf::NO_COMPRESSION;
    bool compressed = false;
    if (zstream) {
        z_stream_s &z = *zstream;
        deflateReset(&z);
        z.next_in = reinterpret_cast<Bytef *>(content.data());
        z.avail_in = uInt(bytes);
        z.next_out = reinterpret_cast<Bytef *>(p + blf::CONTAINER_HEADER_BYTES);
        z.avail_out = uInt(bound);
        compressed = deflate(&z, Z_FINISH) == Z_STREAM_END;
        if (compressed) {
            payload = size_t(z.total_out);
            method = blf::ZLIB_DEFLATE;
        }
    }
    if (!compressed)
        std::memcpy(p + blf::CONTAINER_HEADER_BYTES, content.data(), bytes);
    const size_t objectSize = blf::CONTAINER_HEADER_BYTES + payload;
    std::memset(p, 0, blf::CONTAINER_HEADER_BYTES);
    std::memcpy(p, "LOBJ", 4);
    putLittleEndian(p + 4, blf::BASE_HEADER_BYTES, 2);
    putLittleEndian(p + 6, 1, 2);
    putLittleEndian(p + 8, objectSize, 4);
    putLittleEndian(p + 12, blf::LOG_CONTAINER, 4);
    putLittleEndian(p + 16, method, 2);
    putLittleEndian(p + 24, bytes, 4);
    const size_t padding = objectSize % 4;
    std::memset(p + objectSize, 0, padding);
    parts::keepUpTo(out, p + objectSize + padding);
    handedOut += objectSize + padding;
    uncompressedBytes += blf::CONTAINER_HEADER_BYTES + bytes;
    contentIn += bytes;
    containersOut += objectSize + padding;
}

} // namespace formats
