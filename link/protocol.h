#pragma once

// Byte formats of the serial link to the CAN adapter, both directions: the
// one place that knows the frame layout, the checksum, the 0x0D escape, the
// configuration and filter-list commands and the CAN bit-rate table. The
// program's reader and command builders below use them, and so does the
// adapter simulator (sim/), which builds frames and reads commands.
// Every unit starts with 0xAA 0x55 and ends with an 8-bit additive checksum;
// multi-byte numbers are little-endian.

#include "core/littleendian.h"
#include "core/messagerecord.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace wire {

// ---- common to every unit ----
constexpr quint8 START_BYTE_0 = 0xAA;
constexpr quint8 START_BYTE_1 = 0x55;

// Low 8 bits of the sum of bytes first..last (both inclusive).
quint8 checksum(const char *bytes, int first, int last);

// ---- received frame (adapter to host) ----
constexpr int FRAME_SIZE = 20;
constexpr int FRAME_KIND = 3;       // identifier kind: 1 standard, anything else extended
constexpr int FRAME_ID = 5;         // 4 bytes, little-endian
constexpr int FRAME_LENGTH = 9;     // number of payload bytes, signed 8-bit
constexpr int FRAME_DATA = 10;      // 8 data bytes
constexpr int FRAME_DATA_BYTES = 8;
constexpr int FRAME_SUM_FIRST = 2;  // checksum covers bytes 2..17; byte 18 is left out
constexpr int FRAME_SUM_LAST = 17;
constexpr int FRAME_CHECKSUM = 19;
constexpr quint8 STANDARD_KIND = 1;
constexpr quint8 EXTENDED_KIND = 2; // what an adapter sends for an extended identifier

// One 20-byte slice of the received stream (a view into the receive buffer,
// FRAME_SIZE bytes) and the local time at which the reader took it.
struct AdapterFrame {
    const char *bytes = nullptr;
    QString timestamp; // "HH:mm:ss.zzz"
};

// A parsed, valid frame.
struct CanMessage {
    quint32 id = 0;
    MessageRecord record; // [timestamp, idText, payloadText]
};

// Header (byte 0 == 0xAA or byte 1 == 0x55) and checksum (sum of bytes 2..17 == byte 19).
bool isValidFrame(const AdapterFrame &frame);

// Fields of a 20-byte frame, read the way parseFrame reads them.
// The identifier: bytes 5..8, little-endian, no bits masked off.
inline quint32 frameId(const char *frame)
{
    return quint32(core::littleEndian(frame + FRAME_ID, 4));
}
// Identifier kind 1 is a standard identifier, any other kind an extended one.
inline bool frameIsStandard(const char *frame)
{
    return static_cast<unsigned char>(frame[FRAME_KIND]) == STANDARD_KIND;
}
// Number of payload bytes: the length byte read as signed 8 bits, a negative
// length (which describes no data) as 0; so 0..127. The payload is the bytes
// from FRAME_DATA on, FRAME_DATA_IN_FRAME of them inside the frame; positions
// past the end of the frame read as zero.
inline int frameDataLength(const char *frame)
{
    const int length = static_cast<signed char>(frame[FRAME_LENGTH]);
    return length < 0 ? 0 : length;
}
constexpr int FRAME_DATA_IN_FRAME = FRAME_SIZE - FRAME_DATA;

// Identifier, identifier text and payload text of a frame that passed isValidFrame.
CanMessage parseFrame(const AdapterFrame &frame);

// Frame cutter of the reader loop, applied to the receive buffer after each read:
// drops bytes until the buffer begins at a frame start (0xAA, or a byte followed
// by 0x55), hands every complete 20-byte slice (fixed steps from that start) to
// onSlice, then removes the consumed bytes in one operation. A remainder shorter
// than a frame stays at the head of the buffer for the next read.
// Returns the number of slices handed over.
template <typename OnSlice>
int cutFrames(QByteArray &buffer, OnSlice &&onSlice);

// Offset of the first frame start in buffer, or buffer.size() when there is none.
int frameStartOffset(const QByteArray &buffer);

// ---- serial line ----
// The COM bit rates the adapter is driven at, in the order the window lists
// them (1,228,800, not 1,152,000).
inline constexpr quint32 COM_RATES[] = {9600, 19200, 38400, 115200, 1228800, 2000000};

// ---- CAN bit rates of the configuration command ----
struct CanRate {
    const char *name;     // as the window's rate list shows it, "500 kbps"
    quint8 command;       // byte 2: 0x02, or 0x03 for the rates set by explicit timing
    quint8 code;          // byte 3: bit-rate code, 0x00 for explicit timing
    quint8 timing[3];     // bytes 14, 15, 16: explicit timing, else zeros
};
inline constexpr CanRate CAN_RATES[] = {
    {"33.333 kbps", 0x03, 0x00, {0x05, 0x04, 0x5A}},
    {"50 kbps", 0x02, 0x09, {0x00, 0x00, 0x00}},
    {"83.333 kbps", 0x03, 0x00, {0x05, 0x04, 0x24}},
    {"100 kbps", 0x02, 0x08, {0x00, 0x00, 0x00}},
    {"125 kbps", 0x02, 0x07, {0x00, 0x00, 0x00}},
    {"250 kbps", 0x02, 0x05, {0x00, 0x00, 0x00}},
    {"500 kbps", 0x02, 0x03, {0x00, 0x00, 0x00}},
};
// The entry of that exact (case-sensitive) name, or nullptr.
const CanRate *findCanRate(QStringView name);
// The entry whose command, code and timing bytes a configuration carries, or nullptr.
const CanRate *canRateOfCommand(quint8 command, quint8 code, const quint8 timing[3]);

// ---- configuration command (host to adapter), always 20 bytes ----
constexpr int CONFIG_SIZE = 20;
constexpr quint8 CONFIG_COMMAND = 0x02;          // byte 2 for rates with a code
constexpr quint8 CONFIG_TIMING_COMMAND = 0x03;   // byte 2 for explicit timing
constexpr int CONFIG_CODE = 3;
constexpr int CONFIG_ID_KIND = 4;                // 0x02 extended, 0x01 standard
constexpr int CONFIG_FILTER = 5;                 // 4 bytes
constexpr int CONFIG_MASK = 9;                   // 4 bytes
constexpr int CONFIG_FIXED = 13;                 // always 0x02
constexpr int CONFIG_TIMING = 14;                // 3 bytes
constexpr int CONFIG_SUM_FIRST = 2;              // checksum covers bytes 2..18
constexpr int CONFIG_SUM_LAST = 18;
constexpr int CONFIG_CHECKSUM = 19;

// The command for a CAN bit-rate name of the rate list; an empty array for any
// other text.
QByteArray buildConfigurationCommand(const QString &canRateName, bool extendedId,
                                     quint32 filterId, quint32 maskId);

// ---- identifier filter-list command (host to adapter), variable length ----
constexpr quint8 FILTER_SHOW_LISTED = 0x10;
constexpr quint8 FILTER_EXCLUDE_LISTED = 0x11;
constexpr int FILTER_COUNT = 3;     // number of identifiers modulo 256, 0 to switch off
constexpr int FILTER_IDS = 4;       // 4 bytes per identifier, escaped
constexpr int FILTER_SUM_FIRST = 2; // checksum: bytes 2..18 as sent, those that exist
constexpr int FILTER_SUM_LAST = 18;
// Every identifier byte 0x0D is sent as these ten bytes (CR CR LF "ERROR" CR LF).
constexpr char ESCAPED_BYTE = 0x0D;
inline constexpr char CR_ESCAPE[] = {0x0D, 0x0D, 0x0A, 'E', 'R', 'R', 'O', 'R', 0x0D, 0x0A};
constexpr int CR_ESCAPE_SIZE = int(sizeof CR_ESCAPE);

// switchOn false sends a count of 0 and no identifiers. Each entry is read as a
// signed 32-bit hexadecimal number (above 7FFFFFFF gives 0).
QByteArray buildFilterListCommand(bool exclude, bool switchOn, const QStringList &entries);

// ---- implementation of the template ----
template <typename OnSlice>
int cutFrames(QByteArray &buffer, OnSlice &&onSlice)
{
    const int start = frameStartOffset(buffer);
    if (start >= buffer.size()) {
        buffer.clear();
        return 0;
    }
    const int slices = (buffer.size() - start) / FRAME_SIZE;
    const char *base = buffer.constData() + start;
    for (int k = 0; k < slices; ++k)
        onSlice(base + k * FRAME_SIZE);
    buffer.remove(0, start + slices * FRAME_SIZE);
    return slices;
}

} // namespace wire
