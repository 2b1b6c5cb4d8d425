#pragma once

// What vornix-candump says at the end of a capture, on standard error:
//   vornix-candump: stopped by SIGINT
//   frames:          123456 (1234.5 frames/s)
//   not written:     3780 of 125236 received (the output failed)
//   invalid frames:  0 (header or checksum test)
//   ...
//   output:          trip_0001.log trip_0002.log

#include <QString>
#include <QStringList>

namespace candump {

struct Summary {
    int status = 0;          // the exit status (tools/support/exitstatus.h)
    QString stopReason;
    double seconds = 0;      // from the start of reading to the port's closing
    quint64 frames = 0;      // received; once the output failed, those it holds
    quint64 notWritten = 0;  // received, but not in the output that failed
    quint64 invalid = 0;     // failed the header or checksum test
    quint64 lost = 0;        // the output fell too far behind
    quint64 unsupported = 0; // left out by the output format
    quint64 truncated = 0;   // cut to 8 bytes by the output format
    quint64 heldBack = 0;    // sent before the adapter took the filter list
    int identifiers = 0;
    bool toStandardOutput = true;
    QStringList files;
};

// Prints the summary, with the process's CPU time so far.
void printSummary(const Summary &summary);

} // namespace candump
