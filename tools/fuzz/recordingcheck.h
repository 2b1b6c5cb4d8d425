#pragma once

// The checks a recording's bytes go through, whatever the format (the fuzz
// targets candump, asc and csv):
//
//  - detection by content tells the same format from the device as from the
//    bytes, and leaves every byte to be read;
//  - read to its end, told to stop at the first bad record and told to skip
//    bad records (each after local times were last converted in another
//    season): the frames up to the first bad record are the same, the
//    counters add up (every line of a text is taken once, every byte is read
//    unless damage ends the reading, frames, bad and unsupported records are
//    no more than the records);
//  - each frame is one its format can hold (an identifier of its kind, no
//    data in a remote request, at most 8 or 64 bytes);
//  - written by each format's writer (or by one, see fuzz::Share) and read
//    back by its reader, each frame comes back as that format holds it, and
//    the written file is detected as that format.

#include "formats/frameio.h"

#include <QByteArray>

#include <vector>

namespace fuzz {

// What one reading of a recording to its end gave.
struct ReadPass {
    std::vector<formats::CanFrame> frames;
    qint64 lines = 0;
    qint64 bad = 0;
    qint64 firstBadLine = 0;
    qint64 unsupported = 0;
    qint64 bytesRead = 0;
    bool error = false;
    QString errorText;
    qint64 errorLine = 0;
    qint64 errorPosition = 0;    // the line, or the byte offset
    qint64 firstBadPosition = 0; // of the first bad record skipped
    bool byLine = true;          // records are lines (else objects at byte offsets)
};

ReadPass readAll(formats::FrameReader &reader);

// nullptr when every check holds; *skipping, when given, gets the reading
// that skipped bad records.
const char *checkRecording(formats::Format format, const QByteArray &bytes, const formats::ReadOptions &options,
                           ReadPass *skipping = nullptr);

} // namespace fuzz
