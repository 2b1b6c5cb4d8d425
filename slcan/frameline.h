#pragma once

// The line SLCAN gives a received data frame:
//   tIIIL<data>[SSSS]CR        standard identifier, 3 hexadecimal digits
//   TIIIIIIIIL<data>[SSSS]CR   extended identifier, 8 hexadecimal digits
// L the number of data bytes (0..8), each byte two digits, SSSS the optional
// time stamp, milliseconds 0..59999 as 4 digits (EA5F the largest); all
// hexadecimal digits upper-case.

#include <QtGlobal>

namespace slcan {

// 'T', 8 identifier digits, the length, 16 data digits, 4 time-stamp digits, CR.
constexpr int MAX_FRAME_LINE = 31;
constexpr int MAX_DATA_BYTES = 8;
// Time stamps count milliseconds and start again at 0 every minute.
constexpr int TIME_STAMP_PERIOD_MS = 60000;

// Writes the line of a frame at out, which has room for MAX_FRAME_LINE bytes,
// and returns its size. The identifier must fit its kind (core/canid.h),
// length be 0..8; stampMs < 0 writes no time stamp, else it must be below
// TIME_STAMP_PERIOD_MS.
int writeFrameLine(char *out, quint32 id, bool extended, int length, const char *data, int stampMs);

// The time stamp of an instant in microseconds: the millisecond within its minute.
int timeStampMs(qint64 timeUs);

} // namespace slcan
