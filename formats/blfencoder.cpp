#include "formats/blfencoder.h"

#include "core/canid.h"
#include "core/littleendian.h"

#include <QIODevice>

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace formats {

using core::putLittleEndian;

namespace {

constexpr int CAN_OBJECT_BYTES = blf::HEADER_V1_BYTES + blf::CAN_MESSAGE_BYTES;
constexpr int FD_OBJECT_BYTES = blf::HEADER_V1_BYTES + blf::CAN_FD_MESSAGE_64_BYTES; // before the data
// The longest time after the start that a time stamp in nanoseconds holds.
constexpr qint64 MAX_SPAN_US = 18446744073709551LL;
// Room for the largest object and its padding.
constexpr int MAX_OBJECT_BYTES = FD_OBJECT_BYTES + 64 + 4;

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

// The program's version "major.minor.build" as three numbers.
void versionNumbers(quint8 out[3])
{
    const QList<QByteArray> parts = QByteArray(VORNIX_VERSION).split('.');
    for (int i = 0; i < 3; ++i)
        out[i] = quint8(i < parts.size() ? parts[i].toUInt() : 0);
}

} // namespace

BlfEncoder::BlfEncoder(QIODevice *target)
    : BlfEncoder(target, Options())
{
}

BlfEncoder::BlfEncoder(QIODevice *target, const Options &encoderOptions)
    : device(target)
    , options(encoderOptions)
{
    const int containerBytes = std::max(options.containerBytes, 1);
    content.reset(new char[size_t(containerBytes) + MAX_OBJECT_BYTES]);
    if (options.compressionLevel != 0) {
        zstream = std::make_unique<z_stream_s>();
        std::memset(zstream.get(), 0, sizeof(z_stream_s));
        if (deflateInit(zstream.get(), std::clamp(options.compressionLevel, 1, 9)) != Z_OK)
            ioErrorText = QStringLiteral("zlib could not be set up");
        outBytes = blf::CONTAINER_HEADER_BYTES + deflateBound(zstream.get(), uLong(containerBytes)) + 4;
    } else {
        outBytes = size_t(blf::CONTAINER_HEADER_BYTES) + size_t(containerBytes) + 4;
    }
    out.reset(new char[outBytes]);
}

BlfEncoder::~BlfEncoder()
{
    if (zstream)
        deflateEnd(zstream.get());
}

BlfEncoder::Outcome BlfEncoder::write(const CanFrame &frame, int channel)
{
    // A time stamp holds nanoseconds from the start on (up to about 584
    // years), and the start a date up to the year 30827.
    const bool inTime = frame.timeUs >= 0
        && (haveStart ? frame.timeUs >= startUs && frame.timeUs - startUs <= MAX_SPAN_US
                      : blf::systemTime(frame.timeUs).year != 0);
    if (!core::isValidId(frame.id, frame.extended) || !inTime) {
        ++unsupportedFrames;
        return Outcome::Unsupported;
    }
    if (!haveStart) {
        haveStart = true;
        startUs = frame.timeUs / 1000 * 1000;
    }
    lastUs = std::max(lastUs, frame.timeUs);
    const quint64 ns = quint64(frame.timeUs - startUs) * 1000;
    const quint32 id = frame.id | (frame.extended ? blf::EXTENDED_ID_FLAG : 0);
    channel = std::clamp(channel, 1, blf::MAX_CHANNEL);
    Outcome outcome = Outcome::Written;
    char *p = content.get() + contentLen;
    if (frame.fd && !frame.remote) {
        int count = frame.data.size();
        if (count > 64) {
            count = 64;
            outcome = Outcome::Truncated;
        }
        const int objectSize = FD_OBJECT_BYTES + count;
        const int padding = objectSize % 4;
        putObjectHeader(p, objectSize, blf::CAN_FD_MESSAGE_64, ns);
        char *body = p + blf::HEADER_V1_BYTES;
        std::memset(body, 0, blf::CAN_FD_MESSAGE_64_BYTES);
        body[0] = char(channel);
        body[1] = char(blf::lengthCode(count));
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
        if (count > 8) {
            count = 8;
            outcome = Outcome::Truncated;
        }
        putObjectHeader(p, CAN_OBJECT_BYTES, blf::CAN_MESSAGE, ns);
        char *body = p + blf::HEADER_V1_BYTES;
        putLittleEndian(body, quint64(channel), 2);
        body[2] = char(frame.remote ? blf::CAN_MESSAGE_REMOTE : 0);
        body[3] = char(frame.remote ? std::min<int>(frame.remoteLength, 8) : count);
        putLittleEndian(body + 4, id, 4);
        std::memset(body + 8, 0, 8);
        std::memcpy(body + 8, frame.data.constData(), size_t(count));
        contentLen += CAN_OBJECT_BYTES;
    }
    ++written;
    if (outcome == Outcome::Truncated)
        ++truncatedFrames;

    // A full container goes out; the rest of the object opens the next.
    const size_t containerBytes = size_t(std::max(options.containerBytes, 1));
    if (contentLen >= containerBytes) {
        writeContainer(containerBytes);
        const size_t rest = contentLen - containerBytes;
        std::memmove(content.get(), content.get() + containerBytes, rest);
        contentLen = rest;
    }
    return outcome;
}

bool BlfEncoder::flush()
{
    if (contentLen > 0) {
        writeContainer(contentLen);
        contentLen = 0;
    }
    return !failed();
}

bool BlfEncoder::finish()
{
    if (!flush())
        return false;
    if (!headerWritten)
        return writeHeader();
    if (device->isSequential())
        return true; // the header written at the start stays
    const qint64 end = device->pos();
    char header[blf::FILE_HEADER_BYTES];
    blf::putStatistics(header, statistics());
    if (!device->seek(headerAt) || device->write(header, blf::FILE_HEADER_BYTES) != blf::FILE_HEADER_BYTES
        || !device->seek(end)) {
        ioErrorText = device->errorString().isEmpty() ? QStringLiteral("the file header could not be written")
                                                      : device->errorString();
        return false;
    }
    return true;
}

blf::Statistics BlfEncoder::statistics() const
{
    blf::Statistics s;
    versionNumbers(s.applicationVersion);
    std::copy(std::begin(FORMAT_VERSION), std::end(FORMAT_VERSION), s.formatVersion);
    s.fileBytes = quint64(deviceBytes);
    s.uncompressedBytes = uncompressedBytes;
    s.objectCount = quint32(std::min<qint64>(written, 0xFFFFFFFF));
    if (haveStart) {
        s.start = blf::systemTime(startUs);
        s.last = blf::systemTime(lastUs);
    }
    return s;
}

bool BlfEncoder::writeHeader()
{
    headerWritten = true;
    headerAt = device->isSequential() ? 0 : device->pos();
    char header[blf::FILE_HEADER_BYTES];
    blf::putStatistics(header, statistics());
    return put(header, blf::FILE_HEADER_BYTES);
}

bool BlfEncoder::writeContainer(size_t bytes)
{
    if (failed())
        return false;
    if (!headerWritten && !writeHeader())
        return false;
    size_t payload = bytes;
    quint16 method = blf::NO_COMPRESSION;
    if (zstream) {
        z_stream_s &z = *zstream;
        deflateReset(&z);
        z.next_in = reinterpret_cast<Bytef *>(content.get());
        z.avail_in = uInt(bytes);
        z.next_out = reinterpret_cast<Bytef *>(out.get() + blf::CONTAINER_HEADER_BYTES);
        z.avail_out = uInt(outBytes - blf::CONTAINER_HEADER_BYTES - 4);
        if (deflate(&z, Z_FINISH) != Z_STREAM_END) {
            ioErrorText = QStringLiteral("zlib could not compress a container");
            return false;
        }
        payload = size_t(z.total_out);
        method = blf::ZLIB_DEFLATE;
    } else {
        std::memcpy(out.get() + blf::CONTAINER_HEADER_BYTES, content.get(), bytes);
    }
    const size_t objectSize = blf::CONTAINER_HEADER_BYTES + payload;
    char *p = out.get();
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
    uncompressedBytes += blf::CONTAINER_HEADER_BYTES + bytes;
    return put(p, qint64(objectSize + padding));
}

bool BlfEncoder::put(const char *p, qint64 size)
{
    if (failed())
        return false;
    while (size > 0) {
        const qint64 n = device->write(p, size);
        if (n <= 0) {
            ioErrorText = device->errorString();
            if (ioErrorText.isEmpty())
                ioErrorText = QStringLiteral("write failed");
            return false;
        }
        p += n;
        size -= n;
        deviceBytes += n;
    }
    return true;
}

} // namespace formats
