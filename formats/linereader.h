#pragma once

// The reader of a text format: the input cut into lines, each handed to the
// format's readLine(). Records are placed by their line numbers.

#include "formats/framereader.h"

#include <QByteArray>

namespace formats {

class LineReader : public FrameReader
{
protected:
    LineReader(QIODevice *device, const ReadOptions &options);

    using LineResult = Result; // Frame, Skip, Bad or Unsupported; never End
    // Reads one line (without its line feed; a carriage return before it is
    // removed). On Bad, *why says what is wrong.
    virtual LineResult readLine(const char *line, int size, CanFrame &frame, QString *why) = 0;

private:
    Result readRecord(CanFrame &frame, QString *why) final;
    bool takeLine(const char *&line, int &size);

    QByteArray buffer;
    int head = 0;
    bool eof = false;
};

} // namespace formats
