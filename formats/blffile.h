#pragma once

// Vector's binary logging format, BLF: the layout its decoder and encoder
// share. All numbers are little-endian.
//
// A file is a header ("LOGG", the statistics below) followed by objects. Each
// object starts with a base header: "LOBJ", header size (u16), header version
// (u16), object size (u32, header included, padding not), object type (u32),
// and is followed by objectSize % 4 padding bytes.
//
// At the top level the objects are LOG_CONTAINERs: after the base header a
// compression method (u16: 0 stored, 2 zlib), 6 reserved bytes, the size of the
// content (u32), 4 reserved bytes, then the content. The contents of all
// containers, one after the other, form a single stream of objects: an object
// may begin in one container and end in the next.
//
// Inside, an object's header goes on after the base header with
//   version 1: flags (u32), client index (u16), object version (u16), time stamp (u64)
//   version 2: flags (u32), time stamp status (u8), reserved (u8), object version (u16),
//              time stamp (u64), original time stamp (u64)
// where flags say the time stamp's unit (1: 10 microseconds, 2: 1 nanosecond)
// and the time stamp counts from the measurement start in the file header.
// The object's own fields follow at the header size.

#include <QtGlobal>

namespace formats::blf {

// Object types read or written here; the others are passed over.
constexpr quint32 CAN_MESSAGE = 1;
constexpr quint32 CAN_ERROR = 2;
constexpr quint32 LOG_CONTAINER = 10;
constexpr quint32 CAN_ERROR_EXT = 73;
constexpr quint32 CAN_MESSAGE2 = 86;
constexpr quint32 CAN_FD_MESSAGE = 100;
constexpr quint32 CAN_FD_MESSAGE_64 = 101;
constexpr quint32 CAN_FD_ERROR_64 = 104;

constexpr int FILE_HEADER_BYTES = 144;     // as written
constexpr int FILE_STATISTICS_BYTES = 72;  // the part of it with meaning
constexpr int BASE_HEADER_BYTES = 16;
constexpr int HEADER_V1_BYTES = 32;        // base header included
constexpr int HEADER_V2_BYTES = 40;
constexpr int CONTAINER_HEADER_BYTES = 32; // base header and container fields

constexpr quint16 NO_COMPRESSION = 0;
constexpr quint16 ZLIB_DEFLATE = 2;

constexpr quint32 TIME_TEN_MICS = 1;
constexpr quint32 TIME_ONE_NANS = 2;

// CAN_MESSAGE, CAN_MESSAGE2: channel (u16), flags (u8: 0x01 sent, 0x80 remote
// request), length code (u8), identifier (u32, bit 31 extended), 8 data bytes.
constexpr int CAN_MESSAGE_BYTES = 16;
constexpr quint8 CAN_MESSAGE_REMOTE = 0x80;
constexpr quint32 EXTENDED_ID_FLAG = 0x80000000u;
// CAN_FD_MESSAGE: channel (u16), flags (u8, as above), length code (u8),
// identifier (u32), frame length (u32), bit count (u8), FD flags (u8: 0x01 FD
// frame, 0x02 bit rate switch, 0x04 error state), valid data bytes (u8),
// 5 reserved, 64 data bytes.
constexpr int CAN_FD_MESSAGE_BYTES = 84;
constexpr quint8 FD_EDL = 0x01;
constexpr quint8 FD_BRS = 0x02;
constexpr quint8 FD_ESI = 0x04;
// CAN_FD_MESSAGE_64: channel (u8), length code (u8), valid data bytes (u8),
// send count (u8), identifier (u32), frame length (u32), flags (u32: 0x0010
// remote request, 0x1000 FD frame, 0x2000 bit rate switch, 0x4000 error
// state), two bit timings, two time offsets (u32 each), bit count (u16),
// direction (u8), offset of extra data (u8), CRC (u32); then the data bytes.
constexpr int CAN_FD_MESSAGE_64_BYTES = 40;
constexpr quint32 FD64_REMOTE = 0x0010;
constexpr quint32 FD64_EDL = 0x1000;
constexpr quint32 FD64_BRS = 0x2000;
constexpr quint32 FD64_ESI = 0x4000;

// What a stranger's file may not exceed: a file header this long, a
// container holding this much content (writers use 128 KiB), and the channel
// numbers the writer puts in its objects.
constexpr int MAX_FILE_HEADER_BYTES = 64 * 1024;
constexpr int MAX_CONTAINER_CONTENT_BYTES = 16 * 1024 * 1024;
constexpr int MAX_CHANNEL = 255;

// Windows' SYSTEMTIME: local date and time to the millisecond.
struct SystemTime {
    quint16 year = 0, month = 0, dayOfWeek = 0, day = 0;
    quint16 hour = 0, minute = 0, second = 0, milliseconds = 0;
};

// The local time of an instant (microseconds since 1970 UTC, cut to the millisecond).
SystemTime systemTime(qint64 epochUs);
// The instant of a local time; false when it is no valid date and time
// (a file that has none writes zeros).
bool epochUs(const SystemTime &time, qint64 &us);

// The file header's statistics.
struct Statistics {
    quint32 headerBytes = FILE_HEADER_BYTES;
    quint8 application = 0;           // the writing program (0 unknown, 1 CANalyzer, 2 CANoe, ...)
    quint8 applicationVersion[3] = {}; // major, minor, build
    quint8 formatVersion[4] = {};     // of the writing library: major, minor, build, patch
    quint64 fileBytes = 0;
    quint64 uncompressedBytes = 0;    // the file were its containers stored uncompressed
    quint32 objectCount = 0;          // objects inside the containers
    quint32 objectsRead = 0;
    SystemTime start;                 // measurement start: time stamps count from it
    SystemTime last;                  // the last object's time
};

// Reads the statistics from the first FILE_STATISTICS_BYTES of a file; false
// when there is no "LOGG" signature.
bool readStatistics(const char *p, Statistics &out);
// Writes the FILE_HEADER_BYTES of a header.
void putStatistics(char *p, const Statistics &statistics);

} // namespace formats::blf
