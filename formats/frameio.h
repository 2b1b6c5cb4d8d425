#pragma once

// Recordings of CAN traffic in the file formats other CAN tools exchange, read
// and written one frame at a time (memory stays bounded whatever the file
// size):
//
//   DumpCsv  the program's own dump files, "Timestamp;ID;Payload" with the
//            local time of day in milliseconds; the date comes from the file
//            name "dump_yyyy-MM-dd_HH-mm-ss[_N].csv"
//   Candump  can-utils' candump -L log lines, "(1496841006.123456) can0 18FEF100#11223344"
//   Asc      Vector ASC, the subset log2asc and python-can write and read
//
// A reader hands out frames in file order; a line it cannot read is an error
// (its line number and what is wrong), or, when told to skip bad lines, is
// counted and passed over. Frames a format can describe but the frame type
// cannot (CAN error frames) are counted as unsupported and passed over.
// A writer counts what it cannot hold: frames with more than 8 data bytes go
// out as their first 8 bytes (truncated), frames it has no form for at all
// (remote requests in a dump file, say) are left out (unsupported).

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <memory>

class QIODevice;

namespace formats {

// One CAN frame of a recording.
struct CanFrame {
    qint64 timeUs = 0;        // absolute time, microseconds since 1970-01-01 UTC
    quint32 id = 0;
    bool extended = false;    // 29-bit identifier
    bool remote = false;      // remote request: no data, remoteLength bytes asked for
    bool fd = false;          // CAN FD frame
    quint8 fdFlags = 0;       // CAN FD flags as candump writes them (1 bit rate switch, 2 error state)
    quint8 remoteLength = 0;
    QByteArray data;          // data bytes (a dump file may hold more than 8)
};

enum class Format { DumpCsv, Candump, Asc };

// "csv", "candump", "asc".
QString formatName(Format format);
// From a name as formatName gives it ("log" is taken for candump as well);
// false for an unknown name.
bool formatFromName(const QString &name, Format &format);
// From the file name's extension: .csv, .log, .asc (case ignored); false otherwise.
bool formatFromPath(const QString &path, Format &format);
// From the first bytes of a file; false when they look like none of the three.
bool formatFromContent(const QByteArray &head, Format &format);

// ---- reading ----

struct ReadOptions {
    bool skipBad = false;   // count bad lines and go on instead of stopping
    // Dump files: the file name the date is read from (empty for standard
    // input), and the date to use when the name carries none (the file's
    // modification date, or today for standard input).
    QString fileName;
    QDate fallbackDate;
};

class FrameReader
{
public:
    virtual ~FrameReader();
    FrameReader(const FrameReader &) = delete;
    FrameReader &operator=(const FrameReader &) = delete;

    // The next frame; false at the end of the input or at the first bad line
    // (then hasError()). A frame is only valid until the next call.
    bool next(CanFrame &frame);

    bool hasError() const { return !errorText.isEmpty(); }
    // "what is wrong" and the line it was found on (1-based).
    QString error() const { return errorText; }
    qint64 errorLine() const { return errorLineNumber; }
    // Said once, not an error (the date of a dump file taken from elsewhere).
    QString warning() const { return warningText; }

    qint64 linesRead() const { return lineNumber; }
    qint64 framesRead() const { return frames; }
    qint64 badLines() const { return bad; }        // skipped with skipBad
    qint64 firstBadLine() const { return firstBad; } // 0 when none
    QString firstBadReason() const { return firstBadText; }
    qint64 unsupported() const { return unsupportedFrames; } // frames the frame type cannot hold
    // Bytes consumed from the device so far (for progress).
    qint64 bytesRead() const { return consumed; }

protected:
    FrameReader(QIODevice *device, const ReadOptions &options);
    enum class LineResult { Frame, Skip, Bad, Unsupported };
    // Reads one line (without its line feed; a carriage return before it is
    // removed). On Bad, *why says what is wrong.
    virtual LineResult readLine(const char *line, int size, CanFrame &frame, QString *why) = 0;
    // Called at the end of the input; may report a last problem.
    virtual bool atEnd(QString *why);
    void setWarning(const QString &text)
    {
        if (warningText.isEmpty())
            warningText = text;
    }
    const ReadOptions options;

private:
    bool takeLine(const char *&line, int &size);
    QIODevice *device;
    QByteArray buffer;
    int head = 0;
    bool eof = false;
    qint64 lineNumber = 0;
    qint64 frames = 0;
    qint64 bad = 0;
    qint64 firstBad = 0;
    QString firstBadText;
    qint64 unsupportedFrames = 0;
    qint64 consumed = 0;
    qint64 errorLineNumber = 0;
    QString errorText;
    QString warningText;
    bool finished = false;
};

// A reader of the format for an open device.
std::unique_ptr<FrameReader> openReader(Format format, QIODevice *device, const ReadOptions &options = {});

// ---- writing ----

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
    // Hands everything buffered to the device; false when the device failed
    // (then ioError() says why; nothing more is written).
    bool flush();
    // The end of the output: what the format needs there, then flush().
    bool finish();
    bool failed() const { return !ioErrorText.isEmpty(); }
    QString ioError() const { return ioErrorText; }

    qint64 framesWritten() const { return written; } // truncated ones included
    qint64 truncated() const { return truncatedFrames; }
    qint64 unsupported() const { return unsupportedFrames; }
    // Bytes handed to the device so far, and bytes formatted but still in the
    // writer's buffer.
    qint64 bytesWritten() const { return deviceBytes; }
    qint64 bytesBuffered() const { return buffer.size(); }

protected:
    FrameWriter(QIODevice *device, const WriteOptions &options);
    // Appends the frame's text to out; returns its outcome (nothing appended
    // for Unsupported).
    virtual Outcome format(const CanFrame &frame, QByteArray &out) = 0;
    // Appends what the format needs at the end of the output (nothing by default).
    virtual void ending(QByteArray &out);
    QByteArray &pending() { return buffer; }
    const WriteOptions options;

private:
    QIODevice *device;
    QByteArray buffer;
    qint64 written = 0;
    qint64 truncatedFrames = 0;
    qint64 unsupportedFrames = 0;
    qint64 deviceBytes = 0;
    QString ioErrorText;
};

// A writer of the format for an open device. A dump file writer starts with
// the header line; an ASC writer writes its header before the first frame (it
// carries that frame's date) or, without any frame, at finish().
std::unique_ptr<FrameWriter> openWriter(Format format, QIODevice *device, const WriteOptions &options = {});

} // namespace formats
