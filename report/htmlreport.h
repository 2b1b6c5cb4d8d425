#pragma once

// The trip report as one self-contained HTML file: the vehicle, the
// recording and the trip's counters at the top, a chart of each FMS value
// over time, the fault codes' timeline and table, and the control units.
// The markup is also well-formed XML (inline SVG, no external resource: no
// script, style sheet, font or picture from elsewhere), reads on a phone's
// width and a desktop's, and prints.

#include "report/triprecorder.h"

#include <QByteArray>
#include <QString>
#include <QTimeZone>

namespace report {

struct ReportOptions {
    QString title;           // empty: "Trip report"
    QString inputName;       // the recording as the user named it
    QString inputFormat;     // "candump"
    QString window;          // how the time window was given, empty for the whole recording
    QTimeZone zone = QTimeZone::systemTimeZone(); // of the clock times shown
    // A line breaks where a value did not come for longer than this.
    qint64 silenceUs = 10 * 1000000LL;
};

QByteArray htmlReport(const TripRecorder &trip, const ReportOptions &options);

} // namespace report
