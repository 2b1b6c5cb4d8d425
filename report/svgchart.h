#pragma once

// The report's pictures as inline SVG: a line chart of one value over the
// trip, and the timeline of the fault codes. Both span the width of the page
// (x positions in percent, the line in a nested view box stretched to it), so
// that their text keeps its size on a phone's screen and on a desktop's; the
// tick labels of the value axis lie left of the picture, in the padding of
// the element around it.

#include "report/axis.h"
#include "report/columnreducer.h"

#include <QString>
#include <QVector>

namespace report {

// The time axis every picture of a report shares.
struct TimeAxis {
    qint64 startUs = 0;
    qint64 endUs = 1;
    QVector<TimeTick> ticks;
    QString title; // "Time (UTC)"
};

struct LineChart {
    QString label;      // for screen readers: "Engine speed in rpm"
    QString unit;       // the value axis' title
    QString colour;     // of the line, "#4e79a7"
    ValueAxis axis;
    QVector<LinePoint> line;
    QVector<QPair<qint64, qint64>> gapSpans;
};

QString lineChartSvg(const LineChart &chart, const TimeAxis &time);

// A row of the timeline: a heading (a label in its colour, no bar) or a bar
// from first to last with its label above it.
struct TimelineRow {
    bool heading = false;
    QString label;
    QString tooltip; // the bar's title
    QString colour;
    qint64 firstUs = 0;
    qint64 lastUs = 0;
};

QString timelineSvg(const QVector<TimelineRow> &rows, const TimeAxis &time);

} // namespace report
