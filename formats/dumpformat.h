#pragma once

// The CSV dump files of a recording, written and read in this one place:
// their names, the header and the data lines "HH:mm:ss.zzz;ID;PAYLOAD" (the
// three texts of a message record joined by ';', each line ended by a single
// line feed).

#include "core/messagerecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVarLengthArray>

namespace dump {

// First line of every dump file, line feed included.
inline constexpr char HEADER_LINE[] = "Timestamp;ID;Payload\n";

// A line long enough for any frame (a 127-byte length gives a 381-character
// payload) still fits; longer records move to the heap.
using LineBuffer = QVarLengthArray<char, 512>;

// Name of the dump file of a recording started at `start` (local time):
// "dump_yyyy-MM-dd_HH-mm-ss.csv". A recording that finds that name taken
// (an earlier one started within the same second) tries sequence 2, 3, ...
// which gives "dump_yyyy-MM-dd_HH-mm-ss_2.csv" and so on.
QString fileName(const QDateTime &start, int sequence = 1);

// The start of a recording as its file name says (the name may have a path
// before it); invalid for any name that fileName() does not make.
QDateTime startFromFileName(const QString &path);

// Replaces the contents of `line` with the record's entries joined by ';'
// and ended by a single line feed. Entries are written as Latin-1 (the
// texts of a record are plain ASCII).
void formatLine(const MessageRecord &record, LineBuffer &line);

// One data line read back.
struct Line {
    int msecsOfDay = 0;    // the time of day of the timestamp
    quint32 id = 0;
    bool standard = false; // an identifier text of fewer than 8 digits (standard
                           // identifiers have at least 3, and all of a longer number)
    QByteArray data;       // every payload byte of the line
};

// Whether `line` (without its line feed; a carriage return before it is
// ignored) is the header line.
bool isHeader(const QByteArray &line);

// Reads a data line: a time "HH:mm:ss.zzz", an identifier of 1 to 8
// hexadecimal digits and, optionally, payload bytes of one or two
// hexadecimal digits separated by blanks. False for anything else.
bool readLine(const QByteArray &line, Line &out);

} // namespace dump
