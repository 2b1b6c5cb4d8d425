#include "formats/blfdecoder.h"

#include "core/littleendian.h"
#include "formats/blfobjects.h"
#include "formats/formatparts.h"

#include <QIODevice>

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace formats {

using core::littleEndian;

namespace {

// The file is read in pieces of this size.
constexpr int FILE_CHUNK_BYTES = 256 * 1024;
// Padding bytes passed over between objects (writers pad to objectSize % 4).
constexpr int MAX_PADDING_BYTES = 7;
// The most of a CAN object that its fields need: the largest header, the
// CAN_FD_MESSAGE_64 fields and 64 data bytes, with room to spare.
constexpr int MAX_DECODED_BYTES = 256;

bool isSignature(const char *p)
{
    return std::memcmp(p, "LOBJ", 4) == 0;
}

bool allZero(const char *p, int n)
{
    return std::all_of(p, p + n, [](char c) { return c == 0; });
}

} // namespace

BlfDecoder::BlfDecoder(QIODevice *source)
    : device(source)
{
}

BlfDecoder::~BlfDecoder()
{
    if (zstream)
        inflateEnd(zstream.get());
}

bool BlfDecoder::fail(qint64 at, const QString &text)
{
    if (errorText.isEmpty()) {
        errorText = text;
        errorAt = at;
    }
    finished = true;
    contentEnd = true;
    return false;
}

// ---------------------------------------------------------------- the file

int BlfDecoder::fileFill(int want)
{
    while (fileLen - filePos < want && !fileEof) {
        if (filePos > 0) {
            std::memmove(fileBuffer.data(), fileBuffer.data() + filePos, size_t(fileLen - filePos));
            fileLen -= filePos;
            filePos = 0;
        }
        if (fileLen >= FILE_CHUNK_BYTES)
            break; // a want beyond a chunk is never made
        const qint64 left = parts::bytesLeft(device, FILE_CHUNK_BYTES);
        // What is missing of `want` at least (the buffer starts at its first
        // unread byte here), what the file has left at most, within a chunk.
        const int room = int(qBound<qint64>(qMax(want - fileLen, 1), left, FILE_CHUNK_BYTES - fileLen));
        if (fileBuffer.size() < size_t(fileLen + room))
            fileBuffer.resize(std::min<size_t>(FILE_CHUNK_BYTES, std::max(fileBuffer.size() * 2, size_t(fileLen + room))));
        const qint64 got = device->read(fileBuffer.data() + fileLen, room);
        if (got > 0)
            fileLen += int(got);
        else if (got < 0 || !(device->isSequential() && device->waitForReadyRead(-1)))
            fileEof = true; // a pipe-like device that has nothing yet is waited for
    }
    return fileLen - filePos;
}

bool BlfDecoder::fileSkip(qint64 bytes)
{
    while (bytes > 0) {
        const int available = fileFill(1);
        if (available == 0)
            return false;
        const int take = int(std::min<qint64>(available, bytes));
        filePos += take;
        fileConsumed += take;
        bytes -= take;
    }
    return true;
}

bool BlfDecoder::readHeader()
{
    const int available = fileFill(blf::FILE_STATISTICS_BYTES);
    if (available == 0)
        return fail(0, QStringLiteral("empty file: no BLF header"));
    const char *p = fileBuffer.data() + filePos;
    if (available < 4 || !blf::readStatistics(p, stats))
        return fail(0, QStringLiteral("not a BLF file: no \"LOGG\" signature"));
    if (available < blf::FILE_STATISTICS_BYTES)
        return fail(0, QStringLiteral("the file ends inside its header"));
    if (stats.headerBytes < quint32(blf::FILE_STATISTICS_BYTES) || stats.headerBytes > quint32(blf::MAX_FILE_HEADER_BYTES))
        return fail(0, QStringLiteral("a file header of %1 bytes; BLF headers have %2 to %3")
                           .arg(stats.headerBytes)
                           .arg(blf::FILE_STATISTICS_BYTES)
                           .arg(blf::MAX_FILE_HEADER_BYTES));
    if (!fileSkip(stats.headerBytes))
        return fail(0, QStringLiteral("the file ends inside its header"));
    haveHeader = true;
    haveStart = blf::epochUs(stats.start, baseUs);
    if (!haveStart)
        baseUs = 0;
    return true;
}

bool BlfDecoder::nextSegment()
{
    if (contentEnd)
        return false;
    // Keep what is left of this segment: an object that goes on in the next.
    const size_t tail = contentLen - contentPos;
    if (tail > 0) {
        if (contentPos < carried) {
            carriedFromContent += qint64(contentPos);
        } else {
            carriedFromAt = segmentAt;
            carriedFromContainer = segmentContainer;
            carriedFromContent = qint64(contentPos - carried);
        }
        std::memmove(content.data(), content.data() + contentPos, tail);
    }
    contentPos = 0;
    contentLen = tail;
    carried = tail;

    // The next object of the file, after the padding of the one before.
    int available = fileFill(blf::BASE_HEADER_BYTES);
    const char *p = fileBuffer.data() + filePos;
    int passed = 0;
    bool onlyZeros = true;
    while (available < 4 || !isSignature(p)) {
        if (available < 4) {
            // The end of the file: after padding that is fine, anything else
            // is the start of an object cut off.
            if (onlyZeros && allZero(p, available)) {
                fileSkip(available);
                contentEnd = true;
                return false;
            }
            return fail(fileConsumed, QStringLiteral("the file ends with %1 byte(s) that are no whole object").arg(available));
        }
        if (passed == MAX_PADDING_BYTES)
            return fail(fileConsumed - passed, QStringLiteral("no object here (no \"LOBJ\" signature)"));
        onlyZeros = onlyZeros && *p == 0;
        ++filePos;
        ++fileConsumed;
        ++passed;
        available = fileFill(blf::BASE_HEADER_BYTES);
        p = fileBuffer.data() + filePos;
    }
    const qint64 at = fileConsumed;
    if (available < blf::BASE_HEADER_BYTES)
        return fail(at, QStringLiteral("the file ends inside an object's header"));
    const quint32 objectSize = quint32(littleEndian(p + 8, 4));
    const quint32 type = quint32(littleEndian(p + 12, 4));

    if (type == blf::LOG_CONTAINER) {
        if (objectSize < quint32(blf::CONTAINER_HEADER_BYTES))
            return fail(at, QStringLiteral("a container of %1 bytes, too small for its header").arg(objectSize));
        if (fileFill(blf::CONTAINER_HEADER_BYTES) < blf::CONTAINER_HEADER_BYTES)
            return fail(at, QStringLiteral("the file ends inside a container's header"));
        p = fileBuffer.data() + filePos;
        const quint16 method = quint16(littleEndian(p + 16, 2));
        const quint32 declared = quint32(littleEndian(p + 24, 4));
        const qint64 payload = qint64(objectSize) - blf::CONTAINER_HEADER_BYTES;
        filePos += blf::CONTAINER_HEADER_BYTES;
        fileConsumed += blf::CONTAINER_HEADER_BYTES;
        const qint64 size = method == blf::NO_COMPRESSION ? payload : qint64(declared);
        if (size > blf::MAX_CONTAINER_CONTENT_BYTES)
            return fail(at, QStringLiteral("a container holding %1 bytes, more than the %2 MiB a container may hold")
                                .arg(size)
                                .arg(blf::MAX_CONTAINER_CONTENT_BYTES / (1024 * 1024)));
        segmentAt = at;
        segmentContainer = true;
        if (method == blf::NO_COMPRESSION)
            return readStored(at, size, QStringLiteral("a container"));
        if (method != blf::ZLIB_DEFLATE)
            return fail(at, QStringLiteral("a container compressed by an unknown method (%1)").arg(method));
        return inflateContainer(at, payload, int(size));
    }

    // An object outside any container: its bytes are the segment.
    if (objectSize < quint32(blf::BASE_HEADER_BYTES))
        return fail(at, QStringLiteral("an object of %1 bytes, too small for its header").arg(objectSize));
    if (objectSize > quint32(blf::MAX_CONTAINER_CONTENT_BYTES))
        return fail(at, QStringLiteral("an object of %1 bytes outside any container, more than the %2 MiB one may have")
                            .arg(objectSize)
                            .arg(blf::MAX_CONTAINER_CONTENT_BYTES / (1024 * 1024)));
    segmentAt = at;
    segmentContainer = false;
    return readStored(at, objectSize, QStringLiteral("an object"));
}

bool BlfDecoder::readStored(qint64 at, qint64 size, const QString &what)
{
    // The buffer grows with what the file holds, not with what it claims.
    qint64 done = 0;
    while (done < size) {
        const int got = fileFill(1);
        if (got == 0)
            return fail(at, QStringLiteral("the file ends inside %1 (%2 of its %3 bytes are there)")
                                .arg(what)
                                .arg(done)
                                .arg(size));
        const int take = int(std::min<qint64>(got, size - done));
        if (content.size() < contentLen + size_t(take))
            content.resize(contentLen + size_t(take));
        std::memcpy(content.data() + contentLen, fileBuffer.data() + filePos, size_t(take));
        contentLen += size_t(take);
        filePos += take;
        fileConsumed += take;
        done += take;
    }
    return true;
}

bool BlfDecoder::inflateContainer(qint64 at, qint64 payload, int size)
{
    if (!zstream) {
        zstream = std::make_unique<z_stream_s>();
        std::memset(zstream.get(), 0, sizeof(z_stream_s));
        if (inflateInit(zstream.get()) != Z_OK) {
            zstream.reset();
            return fail(at, QStringLiteral("zlib could not be set up"));
        }
    } else {
        inflateReset(zstream.get());
    }
    z_stream_s &z = *zstream;
    // The buffer grows with the output, up to the size the container states.
    const size_t end = contentLen + size_t(size);
    size_t produced = contentLen;
    qint64 left = payload;
    for (;;) {
        if (produced == content.size() && content.size() < end)
            content.resize(std::min(end, std::max(content.size() * 2, produced + FILE_CHUNK_BYTES)));
        z.next_out = reinterpret_cast<Bytef *>(content.data() + produced);
        z.avail_out = uInt(std::min(content.size(), end) - produced);
        const int available = left > 0 ? fileFill(1) : 0;
        if (left > 0 && available == 0)
            return fail(at, QStringLiteral("the file ends inside a container"));
        const int take = int(std::min<qint64>(available, left));
        z.next_in = reinterpret_cast<Bytef *>(fileBuffer.data() + filePos);
        z.avail_in = uInt(take);
        const uInt room = z.avail_out;
        const int status = inflate(&z, Z_NO_FLUSH);
        produced += room - z.avail_out;
        const int used = take - int(z.avail_in);
        filePos += used;
        fileConsumed += used;
        left -= used;
        if (status == Z_STREAM_END)
            break;
        if (status == Z_NEED_DICT || status == Z_DATA_ERROR || status == Z_MEM_ERROR)
            return fail(at, QStringLiteral("a damaged container: %1").arg(QString::fromLatin1(z.msg ? z.msg : "zlib error")));
        if (produced == end && z.avail_in > 0) // stopped for want of room
            return fail(at, QStringLiteral("a container holding more than the %1 bytes it states").arg(size));
        if (left == 0 && z.avail_in == 0 && status == Z_BUF_ERROR)
            return fail(at, QStringLiteral("a container whose compressed content is cut short"));
    }
    if (produced != end)
        return fail(at, QStringLiteral("a container holding %1 bytes, not the %2 it states")
                            .arg(produced - contentLen)
                            .arg(size));
    // Whatever follows the compressed stream inside the container is not content.
    if (!fileSkip(left))
        return fail(at, QStringLiteral("the file ends inside a container"));
    contentLen = end;
    return true;
}

// ---------------------------------------------------------------- the content

int BlfDecoder::contentPeek(const char *&p, int want)
{
    while (contentLen - contentPos < size_t(want) && nextSegment()) {
    }
    p = content.data() + contentPos;
    return int(std::min(contentLen - contentPos, size_t(want)));
}

bool BlfDecoder::contentSkip(qint64 bytes)
{
    while (bytes > 0) {
        if (contentPos == contentLen && !nextSegment())
            return false;
        const size_t take = size_t(std::min<qint64>(qint64(contentLen - contentPos), bytes));
        contentPos += take;
        bytes -= qint64(take);
    }
    return true;
}

BlfDecoder::Place BlfDecoder::contentPlace() const
{
    if (contentPos < carried)
        return {carriedFromAt, carriedFromContent + qint64(contentPos), carriedFromContainer};
    return {segmentAt, qint64(contentPos - carried), segmentContainer};
}

QString BlfDecoder::Place::text() const
{
    // Outside any container the object is the one at the reported offset.
    return container ? QStringLiteral(" at byte %1 of the container's content").arg(offset) : QString();
}

// ---------------------------------------------------------------- objects

BlfDecoder::Object BlfDecoder::read(CanFrame &frame, QString *why)
{
    if (finished || (!haveHeader && !readHeader()))
        return Object::End;
    const char *p = nullptr;
    int available = contentPeek(p, blf::BASE_HEADER_BYTES);
    int passed = 0;
    bool onlyZeros = true;
    while (available < 4 || !isSignature(p)) {
        if (hasError())
            return Object::End;
        if (available < 4) {
            // The end of the content: fine after padding, unless the header
            // says that the file goes on.
            if (onlyZeros && allZero(p, available)) {
                finished = true;
                if (stats.fileBytes > quint64(fileConsumed)) {
                    fail(fileConsumed, QStringLiteral("the file ends here; its header gives it %1 bytes").arg(stats.fileBytes));
                } else if (stats.fileBytes == 0 && warningText.isEmpty()) {
                    warningText = QStringLiteral("the file header has no statistics (written to a pipe, or never "
                                                 "finished); what its containers hold is read");
                }
                return Object::End;
            }
            fail(contentPlace().at, QStringLiteral("the file ends inside an object%1").arg(contentPlace().text()));
            return Object::End;
        }
        if (passed == MAX_PADDING_BYTES) {
            fail(contentPlace().at, QStringLiteral("no object%1 (no \"LOBJ\" signature)").arg(contentPlace().text()));
            return Object::End;
        }
        onlyZeros = onlyZeros && *p == 0;
        contentConsume(1);
        ++passed;
        available = contentPeek(p, blf::BASE_HEADER_BYTES);
    }
    const Place place = contentPlace();
    objectStart = place.at;
    const auto cutShort = [&] {
        if (!hasError())
            fail(objectStart, QStringLiteral("the file ends inside the object%1").arg(place.text()));
        return Object::End;
    };
    if (available < blf::BASE_HEADER_BYTES)
        return cutShort();
    const quint32 objectSize = quint32(littleEndian(p + 8, 4));
    const quint32 type = quint32(littleEndian(p + 12, 4));
    if (objectSize < quint32(blf::BASE_HEADER_BYTES)) {
        fail(objectStart, QStringLiteral("the object%1 has a size of %2 bytes, too small for its header")
                              .arg(place.text())
                              .arg(objectSize));
        return Object::End;
    }

    Object result = Object::Skip;
    qint64 rest = objectSize;
    if (type == blf::CAN_MESSAGE || type == blf::CAN_MESSAGE2 || type == blf::CAN_FD_MESSAGE
        || type == blf::CAN_FD_MESSAGE_64) {
        const int want = int(std::min<quint32>(objectSize, MAX_DECODED_BYTES));
        if (contentPeek(p, want) < want)
            return cutShort();
        if (blf::readCanObject(p, want, type, baseUs, frame, frameChannel, why)) {
            result = Object::Frame;
            if (!haveStart && warningText.isEmpty())
                warningText = QStringLiteral("no measurement start in the file header; times count from 1970-01-01");
        } else {
            result = Object::Bad;
            if (place.container)
                *why = QStringLiteral("%1 (the object%2)").arg(*why, place.text());
        }
        contentConsume(want);
        rest -= want;
    } else if (type == blf::CAN_ERROR || type == blf::CAN_ERROR_EXT || type == blf::CAN_FD_ERROR_64) {
        result = Object::Unsupported;
    } else {
        ++otherObjects;
    }
    if (!contentSkip(rest))
        return cutShort();
    ++objectCount;
    return result;
}

} // namespace formats
