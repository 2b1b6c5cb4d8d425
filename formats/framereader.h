#pragma once

// The reader of a recording, whatever its format: frames in file order, one
// at a time, with what it met on the way. A record it cannot read (a line of a
// text format, a damaged block of a binary one) is an error, with where it was
// found and what is wrong; told to skip bad records, the reader counts it and
// goes on. Frames a format can describe but CanFrame cannot (CAN error frames)
// are counted as unsupported and passed over.
//
// A format's reader derives from this class and reads one record per call of
// readRecord(); text formats derive from LineReader (formats/linereader.h),
// which hands them a line at a time.

#include "formats/canframe.h"

#include <QDate>
#include <QString>

class QIODevice;

namespace formats {

struct ReadOptions {
    bool skipBad = false;   // count bad records and go on instead of stopping
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

    // The next frame; false at the end of the input or at the first bad record
    // (then hasError()). A frame is only valid until the next call.
    bool next(CanFrame &frame);

    // Where a reader finds its records: on a line (1-based) of a text format,
    // at a byte offset (from 0) of a binary one.
    enum class Position { Line, ByteOffset };
    Position positionKind() const { return kind; }
    // "line 12" or "byte offset 4096".
    QString describePosition(qint64 position) const;

    bool hasError() const { return !errorText.isEmpty(); }
    // "what is wrong" and where it was found.
    QString error() const { return errorText; }
    qint64 errorPosition() const { return errorAt; }
    // The error's line (0 for a reader of byte offsets), or its byte offset
    // (-1 for a reader of lines).
    qint64 errorLine() const { return kind == Position::Line ? errorAt : 0; }
    qint64 errorOffset() const { return kind == Position::ByteOffset ? errorAt : -1; }
    // Said once, not an error (the date of a dump file taken from elsewhere).
    QString warning() const { return warningText; }
    // Where a last record begins that the input cut short (a last line
    // without its line end): it is left out, the records before it stand.
    // 0 when there is none.
    qint64 cutPosition() const { return cutAt; }

    // Records read so far: the lines of a text format, the objects of a binary one.
    qint64 linesRead() const { return records; }
    qint64 framesRead() const { return frames; }
    qint64 badLines() const { return badRecords; } // skipped with skipBad
    // Where the first of them was found (with none, 0).
    qint64 firstBadPosition() const { return firstBad; }
    qint64 firstBadLine() const { return kind == Position::Line ? firstBad : 0; }
    QString firstBadReason() const { return firstBadText; }
    qint64 unsupported() const { return unsupportedFrames; } // frames CanFrame cannot hold
    // Bytes consumed from the device so far (for progress).
    qint64 bytesRead() const { return consumed; }

protected:
    FrameReader(QIODevice *device, const ReadOptions &options, Position kind);

    enum class Result { Frame, Skip, Bad, Unsupported, End };
    // Reads the next record into frame, first telling tookRecord() where it
    // begins. On Bad, *why says what is wrong; End when the input has no
    // record left.
    virtual Result readRecord(CanFrame &frame, QString *why) = 0;
    // Called once at the end of the input; false with *why for a last problem
    // (found at the position of the record taken last).
    virtual bool atEnd(QString *why);

    // A record was taken from the device: where it begins, and its size.
    void tookRecord(qint64 position, qint64 bytes)
    {
        ++records;
        at = position;
        consumed += bytes;
    }
    // Bytes consumed from the device that belong to no record.
    void tookBytes(qint64 bytes) { consumed += bytes; }
    // Where a problem found outside any record lies (a damaged block, an
    // input cut short), before Bad or at the end.
    void setPosition(qint64 position) { at = position; }
    void setWarning(const QString &text)
    {
        if (warningText.isEmpty())
            warningText = text;
    }
    // The record taken last is one the input cut short.
    void setCut(qint64 position) { cutAt = position; }
    QIODevice *input() const { return device; }
    const ReadOptions options;

private:
    void skipBad(const QString &why);

    QIODevice *device;
    const Position kind;
    qint64 records = 0;
    qint64 at = 0; // where the record taken last begins
    qint64 frames = 0;
    qint64 badRecords = 0;
    qint64 firstBad = 0;
    QString firstBadText;
    qint64 unsupportedFrames = 0;
    qint64 consumed = 0;
    qint64 cutAt = 0;
    qint64 errorAt = 0;
    QString errorText;
    QString warningText;
    bool finished = false;
};

} // namespace formats
