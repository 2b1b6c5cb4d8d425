#pragma once

// Makes the bytes of a BLF file (see formats/blffile.h) from CAN frames: the
// objects go into containers of 128 KiB of content, each compressed with zlib
// and handed out as soon as it is full (an object may go on in the next
// container), so that memory stays bounded and, should the program die, the
// containers already written can be read. The file header comes out before
// the first container and carries the measurement start (the first frame's
// time, to the millisecond, local time; earlier near a change of the UTC
// offset, where a local time may name two instants); header() gives it again with the
// statistics (object count, sizes, last time stamp) for writing over the
// first one at the end.
//
// Frames become CAN_MESSAGE objects (classic and remote frames) or
// CAN_FD_MESSAGE_64 objects (CAN FD), time-stamped in nanoseconds since the
// measurement start. A frame with more data bytes than its kind carries
// keeps the first 8 (64 for CAN FD; truncated); a frame with an identifier
// too large for its kind, or earlier than the measurement start, has no form
// here (unsupported).

#include "formats/blffile.h"
#include "formats/canframe.h"

#include <QByteArray>

#include <memory>
#include <vector>

struct z_stream_s;

namespace formats {

class BlfEncoder
{
public:
    struct Options {
        int compressionLevel = 1;          // zlib's 1 (fastest) to 9 (smallest); 0 stores the content
        int containerBytes = 128 * 1024;   // content of a container
    };
    BlfEncoder();
    explicit BlfEncoder(const Options &options);
    ~BlfEncoder();
    BlfEncoder(const BlfEncoder &) = delete;
    BlfEncoder &operator=(const BlfEncoder &) = delete;

    enum class Outcome { Written, Truncated, Unsupported };
    // Adds the frame on the channel (1 to blf::MAX_CHANNEL, as BLF numbers
    // them); a container it fills goes to out (the file header first).
    Outcome add(const CanFrame &frame, int channel, QByteArray &out);
    // The objects added since the last container, as a container, to out
    // (the file header first, should it not be out yet).
    void close(QByteArray &out);
    // Bytes of objects not yet in a container, and what they will take in
    // the file as far as the containers so far tell (a quarter of them
    // before the first; at least 1 when there are any).
    qint64 pendingFileBytes() const;

    // The file header for what has been handed out so far, with its statistics.
    QByteArray header() const;

private:
    QByteArray headerBytes(bool complete) const;
    void putHeader(QByteArray &out);
    void putContainer(size_t bytes, QByteArray &out);

    const Options options;
    const size_t containerBytes;
    std::unique_ptr<z_stream_s> zstream; // made with the first container
    bool zstreamTried = false;
    // Grows as objects come, up to a container and an object: a short
    // recording does not pay for a whole container.
    std::vector<char> content;
    size_t contentLen = 0;

    bool haveStart = false;
    qint64 startUs = 0;
    qint64 lastUs = 0;
    bool headerOut = false;
    quint64 handedOut = 0;        // bytes of the file so far
    quint64 uncompressedBytes = blf::FILE_HEADER_BYTES;
    quint64 objects = 0;
    quint64 contentIn = 0;     // content of the containers so far
    quint64 containersOut = 0; // and their bytes in the file
};

} // namespace formats
