#pragma once

// The ticks of a chart's axes: round values for the value axis, round clock
// times (in a given time zone) for the time axis.

#include <QString>
#include <QTimeZone>
#include <QVector>

namespace report {

struct ValueAxis {
    double low = 0, high = 1; // the axis' ends, on ticks
    double step = 1;
    int decimals = 0;         // for the tick labels
    QVector<double> ticks;    // from low to high
};

// The smallest step of 1, 2, 2.5 or 5 times a power of ten that covers
// [low, high] in at most target + 1 steps; a single value gets a range
// around it.
ValueAxis valueAxis(double low, double high, int target = 5);

// "1250", "12.5", "-40": a tick's label, with a minus sign.
QString tickLabel(double value, int decimals);

struct TimeTick {
    qint64 timeUs;
    QString label; // "14:20", "14:20:30", or "10-31 14:20" when the span crosses midnight
};

// Clock times at a round interval (1 s to days) inside [startUs, endUs],
// at most about `target` of them.
QVector<TimeTick> timeTicks(qint64 startUs, qint64 endUs, const QTimeZone &zone, int target = 6);

// "UTC", "UTC+02:00": the zone's offset at a moment, as the time axis is titled.
QString zoneLabel(const QTimeZone &zone, qint64 timeUs);

} // namespace report
