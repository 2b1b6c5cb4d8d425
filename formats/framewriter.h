#pragma once

// The writer of a recording, whatever its format. It counts what it cannot
// hold: frames with more data bytes than the format carries go out as their
// first 8 (64 for CAN FD) bytes (truncated), frames it has no form for at all
// (remote requests in a dump file, say) are left out (unsupported).
//
// A format's writer derives from this class: format() appends a frame's bytes
// (a line of text, a binary object) to the writer's buffer, which goes to the
// device in large writes; ending() adds what the format needs at the end, and
// a format whose start holds what is known only at the end (a binary header
// with counts and times) rewrites it in completed(), once everything is on
// the device, where the device can seek. A format that gathers frames into
// blocks (BLF's compressed containers) holds them back from the buffer
// (heldBytes()) and hands out the open block at each flush() (flushing()), so
// that what has been flushed can be read should the program die.

#include "formats/canframe.h"

#include <QByteArray>
#include <QString>

class QIODevice;

namespace formats {

struct WriteOptions {
    QString channel = QStringLiteral("can0"); // interface name of candump lines
};

class FrameWriter
{
public:
    virtual ~FrameWriter();
    FrameWriter(const FrameWriter &) = delete;
    FrameWriter &operator=(const FrameWriter &) = delete;

    enum class Outcome { Written, Truncated, Unsupported };
    // Formats the frame into the writer's buffer, which goes to the device in
    // large writes (and at flush()). A frame is written whole or not at all.
    Outcome write(const CanFrame &frame);
    // Hands everything buffered (and what the format holds back) to the
    // device; false when the device failed (then ioError() says why; nothing
    // more is written).
    bool flush();
    // The end of the output: what the format needs there, then flush().
    bool finish();
    bool failed() const { return !ioErrorText.isEmpty(); }
    QString ioError() const { return ioErrorText; }

    qint64 framesWritten() const { return written; } // truncated ones included
    qint64 truncated() const { return truncatedFrames; }
    qint64 unsupported() const { return unsupportedFrames; }
    // Bytes handed to the device so far, and bytes formatted but not yet
    // handed to it (in the writer's buffer or held back by the format).
    qint64 bytesWritten() const { return deviceBytes; }
    qint64 bytesBuffered() const { return buffer.size() + heldBytes(); }

protected:
    FrameWriter(QIODevice *device, const WriteOptions &options);
    // Appends the frame's bytes to out; returns its outcome (nothing appended
    // for Unsupported).
    virtual Outcome format(const CanFrame &frame, QByteArray &out) = 0;
    // Appends what the format needs at the end of the output (nothing by default).
    virtual void ending(QByteArray &out);
    // Called by flush() before the buffer goes out: what the format holds
    // back goes into out (nothing by default).
    virtual void flushing(QByteArray &out);
    // Bytes the format holds back from the buffer until flushing(), as they
    // will take on the device (0 by default).
    virtual qint64 heldBytes() const;
    // Called by finish() once everything is on the device; false after fail()
    // when what it does there went wrong (true by default).
    virtual bool completed(QIODevice *device);
    // The output cannot go on: nothing more is written, and ioError() is why.
    void fail(const QString &why);
    QByteArray &pending() { return buffer; }
    const WriteOptions options;

private:
    bool writeBuffer();

    QIODevice *device;
    QByteArray buffer;
    qint64 written = 0;
    qint64 truncatedFrames = 0;
    qint64 unsupportedFrames = 0;
    qint64 deviceBytes = 0;
    QString ioErrorText;
};

} // namespace formats
