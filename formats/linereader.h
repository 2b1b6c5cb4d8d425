#pragma once

// The reader of a text format: the input cut into lines, each handed to the
// format's readLine(). Records are placed by their line numbers.
//
// Limits a stranger's file cannot get past: a line longer than
// MAX_LINE_BYTES is a bad line of its own (at its own number, however long
// it is), and the rest of it is passed over without being kept; a last line
// without its line end is a record the input cut short (cutPosition()), left
// out.

#include "formats/framereader.h"

#include <QByteArray>

namespace formats {

class LineReader : public FrameReader
{
public:
    // The longest line read, without its line end.
    static constexpr int MAX_LINE_BYTES = 64 * 1024;

protected:
    LineReader(QIODevice *device, const ReadOptions &options);

    using LineResult = Result;
    // Reads one line (without its line feed; a carriage return before it is
    // removed). On Bad, *why says what is wrong; End stops the reading at
    // this line (atEnd() then says why).
    virtual LineResult readLine(const char *line, int size, CanFrame &frame, QString *why) = 0;

private:
    enum class Taken { Line, TooLong, End };
    Result readRecord(CanFrame &frame, QString *why) final;
    Taken takeLine(const char *&line, int &size);
    // Reads the next piece of the device behind what is left of the buffer;
    // false at the end of the input.
    bool readMore();

    QByteArray buffer;
    int head = 0;
    bool eof = false;
    bool skipping = false; // in the rest of a line that is too long
};

} // namespace formats
