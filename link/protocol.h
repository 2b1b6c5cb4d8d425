#pragma once

// Byte formats of the serial link to the CAN adapter, both directions.
// Every unit starts with 0xAA 0x55 and ends with an 8-bit additive checksum;
// multi-byte numbers are little-endian.

#include "messagerecord.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace wire {

constexpr int FRAME_SIZE = 20;

// One 20-byte slice of the received stream and the local time it was taken.
struct AdapterFrame {
    QByteArray bytes;
    QString timestamp; // "HH:mm:ss.zzz"
};

// A parsed, valid frame.
struct CanMessage {
    quint32 id = 0;
    MessageRecord record; // [timestamp, idText, payloadText]
};

// Header (byte 0 == 0xAA or byte 1 == 0x55) and checksum (sum of bytes 2..17 == byte 19).
bool isValidFrame(const AdapterFrame &frame);

// Identifier, identifier text and payload text of a frame that passed isValidFrame.
CanMessage parseFrame(const AdapterFrame &frame);

// Current local time as "HH:mm:ss.zzz".
QString currentTimestamp();

// The same two operations on a raw slice of FRAME_SIZE bytes, as handed over by
// cutFrames; they spare the reader a byte-array copy per frame.
bool isValidFrame(const char *frame);
CanMessage parseFrame(const char *frame, const QString &timestamp);
// Byte-array forms (a QByteArray would otherwise convert to const char * silently):
// a slice of any other size than FRAME_SIZE is invalid and parses as if zero-filled.
bool isValidFrame(const QByteArray &bytes);
CanMessage parseFrame(const QByteArray &bytes, const QString &timestamp);

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

// 20-byte configuration command for a CAN bit-rate text of the combo box
// ("33.333 kbps" ... "500 kbps"). Returns an empty array for any other text.
QByteArray buildConfigurationCommand(const QString &canRateText, bool extendedId,
                                     quint32 filterId, quint32 maskId);

// Identifier filter-list command. switchOn false sends a count of 0 and no identifiers.
// Each entry is read as a signed 32-bit hexadecimal number (above 7FFFFFFF gives 0);
// identifier bytes equal to 0x0D are sent escaped as 0D 0D 0A 'E' 'R' 'R' 'O' 'R' 0D 0A.
QByteArray buildFilterListCommand(bool exclude, bool switchOn, const QStringList &entries);

// Adapter side (used by the emulator and the tests' fake adapter): a valid
// 20-byte received frame. standardId selects identifier kind 1, else 2.
// data holds up to 8 bytes; lengthByte < 0 means "use data.size()".
QByteArray buildAdapterFrame(quint32 id, bool standardId, const QByteArray &data,
                             int lengthByte = -1);

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
