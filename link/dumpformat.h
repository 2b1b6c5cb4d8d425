#pragma once

// Text of the CSV dump files: file names and lines.

#include "messagerecord.h"

#include <QDateTime>
#include <QString>
#include <QVarLengthArray>

namespace dump {

// First line of every dump file, line feed included.
constexpr char headerLine[] = "Timestamp;ID;Payload\n";

// A line long enough for any frame (a 127-byte length gives a 381-character
// payload) still fits; longer records move to the heap.
using LineBuffer = QVarLengthArray<char, 512>;

// Name of the dump file of a recording started at `start` (local time):
// "dump_yyyy-MM-dd_HH-mm-ss.csv". A recording that finds that name taken
// (an earlier one started within the same second) tries sequence 2, 3, ...
// which gives "dump_yyyy-MM-dd_HH-mm-ss_2.csv" and so on.
QString fileName(const QDateTime &start, int sequence = 1);

// Replaces the contents of `line` with the record's entries joined by ';'
// and ended by a single line feed. Entries are written as Latin-1 (the
// texts of a record are plain ASCII).
void formatLine(const MessageRecord &record, LineBuffer &line);

} // namespace dump
