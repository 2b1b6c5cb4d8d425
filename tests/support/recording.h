#pragma once

// Recordings read back into frames through the formats library, for tests
// that compare what a program wrote with what it was sent (the readers
// themselves are checked by test_formats against literal lines and other
// tools); the real truck logs of tests/data/nmfta, unpacked; small file
// helpers.

#include "formats/frameio.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <vector>

struct Recording {
    std::vector<formats::CanFrame> frames;
    QString error, warning;   // the reader's, as it gives them
    qint64 errorLine = 0, badLines = 0, firstBadLine = 0, unsupported = 0;
    qint64 linesRead = 0, cutPosition = 0; // the reader's records, and where the input cut one short
    bool tornLastLine = false; // a text format whose input does not end with a line feed

    // Empty when every record was read and every line is whole; else what is wrong.
    QString problem() const;
    // "ID#DATA" per frame, as frameKey() gives it.
    QVector<QByteArray> keys() const;
};

Recording readRecording(const QByteArray &bytes, formats::Format format, const formats::ReadOptions &options = {});
// The format told by the file's name or, failing that, its content.
Recording readRecordingFile(const QString &path);

// A frame as candump writes it without its time: identifier in upper-case
// hexadecimal, 3 digits standard and 8 extended, '#', the data bytes.
QByteArray frameKey(quint32 id, bool extended, const QByteArray &data);

// A truck log of tests/data/nmfta by its name without ".candump.log.gz"
// ("sampletruck", "decodinggui"), unpacked; empty when it cannot be read.
QByteArray truckLog(const QString &name);
// The same, unpacked into dir as NAME.log; the path, empty on failure.
QString truckLogFile(const QString &name, const QString &dir);

// The whole file, empty when it cannot be read.
QByteArray readFile(const QString &path);
// Writes the file anew; the path, empty on failure.
QString writeFile(const QString &path, const QByteArray &bytes);

// A dump recording started 2026-12-07 23:59:58, as its file name says,
// running past midnight, with empty payloads, 3- and 4-digit standard
// identifiers and a long payload.
inline const QByteArray DUMP = "Timestamp;ID;Payload\n"
                               "23:59:59.900;18FEF100;01 A2 FF \n"
                               "23:59:59.950;123;\n"
                               "00:00:00.010;1ABC;11 22 \n"
                               "00:00:00.020;7FF;01 02 03 04 05 06 07 08 09 0A \n"
                               "00:00:01.900;00000123;AB \n";
inline const QString DUMP_NAME = QStringLiteral("dump_2026-12-07_23-59-58.csv");
