#pragma once

// One round of the frame-cutter and parser checks: the check of the fuzz
// target "frames" (tools/fuzz/fuzzcheck.h), also run on pseudo-random inputs
// by the suite's fuzz test.
//
// Input layout:
//   byte 0      mode bits: 1 = make the checksum of every 20-byte run that starts
//               with 0xAA right (so that parsing is reached often),
//               2 = also build a filter-list command from the input
//   then        chunks: one length byte c, then the next c bytes (fewer at the end)
//               form one read; c == 255 takes the rest of the input
//
// The reads go through wire::cutFrames as the reader loop does; the result is
// compared with a plain model of the reader that drops one byte at a time, and
// every slice is checked and parsed both by the wire functions and by the model.

#include "core/hex.h"
#include "link/protocol.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace fuzzframes {

#define FUZZFRAMES_REQUIRE(condition, message)                                                   \
    do {                                                                                         \
        if (!(condition))                                                                        \
            return message;                                                                      \
    } while (0)

// Whether the buffer that begins at head and holds available (> 0) bytes begins
// at a frame start.
inline bool modelIsStart(const char *head, int available)
{
    return quint8(head[0]) == 0xAA || (available > 1 && quint8(head[1]) == 0x55);
}

// Header test as the byte layout states it; the checksum over its range.
inline bool modelIsValid(const char *f)
{
    const auto *b = reinterpret_cast<const quint8 *>(f);
    if (b[0] != wire::START_BYTE_0 && b[1] != wire::START_BYTE_1)
        return false;
    return wire::checksum(f, wire::FRAME_SUM_FIRST, wire::FRAME_SUM_LAST) == b[wire::FRAME_CHECKSUM];
}

// Checks the record the parser made from a valid slice against the byte layout.
inline const char *checkRecord(const char *f, const wire::CanMessage &m, const QString &stamp)
{
    const auto *b = reinterpret_cast<const quint8 *>(f);
    const quint32 id = b[5] + 256u * b[6] + 65536u * b[7] + 16777216u * b[8];
    FUZZFRAMES_REQUIRE(m.id == id, "identifier differs from bytes 5..8");
    FUZZFRAMES_REQUIRE(m.record.size() == 3, "record does not hold three texts");
    FUZZFRAMES_REQUIRE(m.record[0] == stamp, "timestamp not carried over");

    char idExpected[16];
    std::snprintf(idExpected, sizeof idExpected, "%0*X", b[3] == 1 ? 3 : 8, unsigned(id));
    FUZZFRAMES_REQUIRE(m.record[1] == QLatin1String(idExpected), "identifier text wrong");

    const int length = static_cast<qint8>(b[9]) < 0 ? 0 : static_cast<qint8>(b[9]);
    const QString &payload = m.record[2];
    FUZZFRAMES_REQUIRE(payload.size() == 3 * length, "payload text length breaks the length rule");
    for (int k = 0; k < length; ++k) {
        const int pos = 10 + k;
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X ", pos < wire::FRAME_SIZE ? b[pos] : 0u);
        FUZZFRAMES_REQUIRE(payload.midRef(3 * k, 3) == QLatin1String(pair), "payload byte text wrong");
    }
    return nullptr;
}

// Builds and checks a filter-list command from text entries taken from the input.
inline const char *checkFilterList(const QByteArray &stream, bool exclude)
{
    QStringList entries;
    for (const QByteArray &part : stream.split('\n'))
        entries << QString::fromLatin1(part.left(12));
    for (const bool on : {false, true}) {
        const QByteArray c = wire::buildFilterListCommand(exclude, on, entries);
        int expectedSize = 5;
        if (on) {
            for (const QString &e : entries) {
                // Entries that are not hexadecimal, or above 7FFFFFFF, go out as 0.
                quint64 parsed = 0;
                const quint32 v = core::parseHex(QStringView(e).trimmed(), parsed) && parsed <= 0x7FFFFFFF
                                      ? quint32(parsed) : 0;
                for (int i = 0; i < 4; ++i)
                    expectedSize += ((v >> (8 * i)) & 0xFF) == 0x0D ? 10 : 1;
            }
        }
        FUZZFRAMES_REQUIRE(c.size() == expectedSize, "filter-list command has the wrong size");
        FUZZFRAMES_REQUIRE(quint8(c[0]) == 0xAA && quint8(c[1]) == 0x55, "filter-list header");
        FUZZFRAMES_REQUIRE(quint8(c[2]) == (exclude ? 0x11 : 0x10), "filter-list mode byte");
        FUZZFRAMES_REQUIRE(quint8(c[3]) == (on ? entries.size() % 256 : 0), "filter-list count byte");
        const int last = std::min(wire::FILTER_SUM_LAST, int(c.size()) - 2);
        FUZZFRAMES_REQUIRE(quint8(c[c.size() - 1]) == wire::checksum(c.constData(), wire::FILTER_SUM_FIRST, last),
                           "filter-list checksum");
    }
    return nullptr;
}

// What one input exercised (for the smoke test's own sanity checks).
struct Stats {
    long slices = 0;
    long validFrames = 0;
    long filterCommands = 0;
};

// Returns nullptr when every check holds, else what went wrong.
inline const char *checkInput(const uint8_t *data, size_t size, Stats *stats = nullptr)
{
    if (size == 0)
        return nullptr;
    const uint8_t mode = data[0];

    // Split the rest into reads.
    QVector<int> readSizes;
    QByteArray stream;
    size_t pos = 1;
    while (pos < size) {
        const size_t c = data[pos++];
        const size_t n = (c == 255 || pos + c > size) ? size - pos : c;
        stream.append(reinterpret_cast<const char *>(data + pos), int(n));
        readSizes.append(int(n));
        pos += n;
    }
    if (mode & 1) {
        char *s = stream.data();
        for (int p = 0; p + wire::FRAME_SIZE <= stream.size(); ++p) {
            if (quint8(s[p]) != wire::START_BYTE_0)
                continue;
            s[p + wire::FRAME_CHECKSUM] =
                char(wire::checksum(s + p, wire::FRAME_SUM_FIRST, wire::FRAME_SUM_LAST));
        }
    }

    const QString stamp = QStringLiteral("12:34:56.789");
    QByteArray buffer;
    // Model of the reader over the whole stream: bytes before modelHead are gone,
    // bytes from modelHead up to the end of the current read are the buffer.
    int modelHead = 0;
    int streamEnd = 0;
    for (const int readSize : readSizes) {
        buffer.append(stream.constData() + streamEnd, readSize);
        streamEnd += readSize;

        // Drop one byte at a time until a frame start, then cut fixed 20-byte
        // slices; whatever is shorter than a frame stays.
        while (modelHead < streamEnd
               && !modelIsStart(stream.constData() + modelHead, streamEnd - modelHead))
            ++modelHead;
        const int modelSlices = (streamEnd - modelHead) / wire::FRAME_SIZE;

        const int before = buffer.size();
        FUZZFRAMES_REQUIRE(before <= wire::FRAME_SIZE - 1 + readSize, "buffer grew beyond remainder + read");
        const char *const lo = buffer.constData();
        const char *const hi = lo + before;
        const char *failure = nullptr;
        int seen = 0;
        const int handed = wire::cutFrames(buffer, [&](const char *slice) {
            const int k = seen++;
            if (failure)
                return;
            if (slice < lo || slice + wire::FRAME_SIZE > hi) {
                failure = "slice outside the buffer";
                return;
            }
            if (k >= modelSlices
                || std::memcmp(slice, stream.constData() + modelHead + k * wire::FRAME_SIZE,
                               wire::FRAME_SIZE) != 0) {
                failure = "slices differ from the byte-by-byte model";
                return;
            }
            const wire::AdapterFrame frame{slice, stamp};
            const bool valid = wire::isValidFrame(frame);
            if (valid != modelIsValid(slice)) {
                failure = "frame check differs from model";
                return;
            }
            if (stats)
                ++stats->slices;
            if (!valid)
                return;
            if (stats)
                ++stats->validFrames;
            const wire::CanMessage m = wire::parseFrame(frame);
            failure = checkRecord(slice, m, stamp);
        });
        if (failure)
            return failure;
        FUZZFRAMES_REQUIRE(handed == seen, "returned count differs from slices handed over");
        FUZZFRAMES_REQUIRE(handed == modelSlices, "slice count differs from the byte-by-byte model");
        modelHead += modelSlices * wire::FRAME_SIZE;
        FUZZFRAMES_REQUIRE(buffer.size() < wire::FRAME_SIZE, "remainder of a whole frame or more kept");
        FUZZFRAMES_REQUIRE(buffer.size() == streamEnd - modelHead
                               && std::memcmp(buffer.constData(), stream.constData() + modelHead,
                                              size_t(buffer.size())) == 0,
                           "remainder differs from the byte-by-byte model");
    }

    if (mode & 2) {
        if (const char *failure = checkFilterList(stream, mode & 4))
            return failure;
        if (stats)
            stats->filterCommands += 2;
    }
    return nullptr;
}

#undef FUZZFRAMES_REQUIRE

} // namespace fuzzframes
