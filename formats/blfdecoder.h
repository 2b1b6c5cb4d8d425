#pragma once

// Reads the objects of a BLF file (see formats/blffile.h) one at a time, with
// bounded memory whatever the file's size: the file is read in pieces, one
// container's content is held at a time (at most
// blf::MAX_CONTAINER_CONTENT_BYTES, and no more than the container really
// holds), and objects are passed over without being held.
//
// Frames come from CAN_MESSAGE, CAN_MESSAGE2, CAN_FD_MESSAGE and
// CAN_FD_MESSAGE_64 objects, at the measurement start of the file header plus
// their time stamps (nanoseconds rounded to the nearest microsecond). CAN
// error frames are told apart; objects of other types are passed over and
// counted.
//
// Damage ends the reading with an error that names the byte of the file where
// it was found (a container that does not inflate to what it states, an
// object without its signature, the file ending inside an object or before
// the size its header gives); the frames before it have been handed out. A
// CAN object whose fields make no frame (an identifier too large for its
// kind, more data bytes than the frame holds) is reported and passed over.

#include "formats/blffile.h"
#include "formats/canframe.h"

#include <QString>

#include <memory>
#include <vector>

class QIODevice;
struct z_stream_s;

namespace formats {

class BlfDecoder
{
public:
    explicit BlfDecoder(QIODevice *device);
    ~BlfDecoder();
    BlfDecoder(const BlfDecoder &) = delete;
    BlfDecoder &operator=(const BlfDecoder &) = delete;

    // The next object: a Frame (its channel, as the file numbers them from 1,
    // is channel()), an object of another type (Skip), a CAN error frame
    // (Unsupported), a CAN object whose fields make no frame (Bad, *why says
    // what is wrong), or End: the end of the file, or damage that ends the
    // reading (then hasError()). objectOffset() is where the object lies: the
    // start of its container, or its own outside any.
    enum class Object { Frame, Skip, Unsupported, Bad, End };
    Object read(CanFrame &frame, QString *why);
    int channel() const { return frameChannel; }
    qint64 objectOffset() const { return objectStart; }

    bool hasError() const { return !errorText.isEmpty(); }
    QString error() const { return errorText; }
    // The byte of the file the error was found at: the start of the container
    // (or of the object outside a container) that holds the damage.
    qint64 errorOffset() const { return errorAt; }
    // Said once, not an error (a header without a measurement start).
    QString warning() const { return warningText; }

    // The header's statistics, once the first call of read() has read it.
    const blf::Statistics &statistics() const { return stats; }

    qint64 objectsRead() const { return objectCount; }
    qint64 skipped() const { return otherObjects; } // objects of other types
    // Bytes of the file consumed so far (for progress).
    qint64 bytesRead() const { return fileConsumed; }

private:
    // The file, read in pieces.
    int fileFill(int want);
    bool fileSkip(qint64 bytes);
    bool readHeader();
    // The next top-level object's content appended to `content` behind what
    // is kept; false at the end of the file or an error.
    bool nextSegment();
    bool readStored(qint64 at, qint64 size, const QString &what);
    bool inflateContainer(qint64 at, qint64 payload, int size);
    // The content stream: contiguous bytes at the read position (fewer only
    // at its end), consumed, passed over.
    int contentPeek(const char *&p, int want);
    void contentConsume(int bytes) { contentPos += size_t(bytes); }
    bool contentSkip(qint64 bytes);
    // Where the content byte at the read position came from, for messages:
    // the file offset of its container (or of the object outside any) and
    // the offset in that container's content.
    struct Place {
        qint64 at;
        qint64 offset;
        bool container;
        QString text() const;
    };
    Place contentPlace() const;

    bool fail(qint64 at, const QString &text);

    QIODevice *device;

    // Grows to a chunk as the file needs it: a short file does not pay for a
    // whole chunk.
    std::vector<char> fileBuffer;
    int filePos = 0;
    int fileLen = 0;
    bool fileEof = false;
    qint64 fileConsumed = 0; // file offset of fileBuffer[filePos]

    std::vector<char> content;
    size_t contentPos = 0;
    size_t contentLen = 0;
    // The first `carried` bytes of content were left over from the segment
    // before (an object that goes on in this one).
    size_t carried = 0;
    qint64 segmentAt = -1;          // file offset of the current segment's object
    bool segmentContainer = true;   // a container's content, or an object outside any
    qint64 carriedFromAt = -1;      // ... and of the one before
    bool carriedFromContainer = true;
    qint64 carriedFromContent = 0;  // content offset of the carried bytes there
    bool contentEnd = false;
    std::unique_ptr<z_stream_s> zstream;

    blf::Statistics stats;
    bool haveHeader = false;
    bool haveStart = false;
    qint64 baseUs = 0;
    int frameChannel = 0;
    bool finished = false;

    qint64 objectStart = 0;
    qint64 objectCount = 0;
    qint64 otherObjects = 0;
    QString errorText;
    qint64 errorAt = -1;
    QString warningText;
};

} // namespace formats
