#pragma once

// Writes CAN frames as a BLF file (see formats/blffile.h): the objects go into
// containers of 128 KiB of content, each compressed with zlib and written as
// soon as it is full (an object may go on in the next container), so that
// memory stays bounded and, should the program die, the containers already
// written can be read. The file header carries the measurement start (the
// first frame's time, to the millisecond, local time) and is written before
// the first container; finish() writes the last container and then the
// header again with the statistics (object count, sizes, last time stamp)
// when the device can seek.
//
// Frames become CAN_MESSAGE objects (classic and remote frames) or
// CAN_FD_MESSAGE_64 objects (CAN FD), time-stamped in nanoseconds since the
// measurement start. A classic frame with more than 8 data bytes keeps its
// first 8 (truncated); a frame with an identifier too large for its kind, or
// earlier than the measurement start (the first frame's millisecond), has no
// form here (unsupported).

#include "formats/blffile.h"
#include "formats/frameio.h"

#include <QString>

#include <memory>

class QIODevice;
struct z_stream_s;

namespace formats {

class BlfEncoder
{
public:
    struct Options {
        int compressionLevel = 1;          // zlib's 1 (fastest) to 9 (smallest); 0 stores the content
        int containerBytes = 128 * 1024;   // content of a container
    };
    explicit BlfEncoder(QIODevice *device);
    BlfEncoder(QIODevice *device, const Options &options);
    ~BlfEncoder();
    BlfEncoder(const BlfEncoder &) = delete;
    BlfEncoder &operator=(const BlfEncoder &) = delete;

    enum class Outcome { Written, Truncated, Unsupported };
    // Adds the frame on the channel (1 to blf::MAX_CHANNEL, as BLF numbers them).
    Outcome write(const CanFrame &frame, int channel = 1);
    // Writes the objects so far as a container (the header first, if it has
    // not been written); false when the device failed (then ioError() says
    // why; nothing more is written).
    bool flush();
    // flush(), then the header with the statistics over the first one.
    bool finish();
    bool failed() const { return !ioErrorText.isEmpty(); }
    QString ioError() const { return ioErrorText; }

    qint64 framesWritten() const { return written; } // truncated ones included
    qint64 truncated() const { return truncatedFrames; }
    qint64 unsupported() const { return unsupportedFrames; }
    // Bytes handed to the device so far, and bytes of objects not yet in a container.
    qint64 bytesWritten() const { return deviceBytes; }
    qint64 bytesBuffered() const { return qint64(contentLen); }

private:
    bool writeHeader();
    bool writeContainer(size_t bytes);
    bool put(const char *p, qint64 size);
    blf::Statistics statistics() const;

    QIODevice *device;
    const Options options;
    std::unique_ptr<z_stream_s> zstream;
    // Not cleared: only what is written is touched.
    std::unique_ptr<char[]> content;
    size_t contentLen = 0;
    std::unique_ptr<char[]> out;
    size_t outBytes = 0;

    bool haveStart = false;
    qint64 startUs = 0;
    qint64 lastUs = 0;
    bool headerWritten = false;
    qint64 headerAt = 0;
    quint64 uncompressedBytes = blf::FILE_HEADER_BYTES;

    qint64 written = 0;
    qint64 truncatedFrames = 0;
    qint64 unsupportedFrames = 0;
    qint64 deviceBytes = 0;
    QString ioErrorText;
};

} // namespace formats
