#pragma once

// A time series reduced to a bounded number of columns as it arrives: each
// column keeps the smallest and the largest value that fell in it (with their
// times), so that a spike of a single sample stays in the line however long
// the series. Values that were sent but are no measurement ("not available",
// "error") are kept as gaps: the line is broken there, they are never drawn.
//
// The columns start at a fixed origin and share one width, a power of two
// microseconds. When a value falls beyond the last column, neighbouring
// columns are merged in pairs and the width doubles, so that between half of
// and all the columns are in use once the series spans more than their count
// in microseconds. Memory and the work per value do not grow with the length
// of the series.

#include <QPair>
#include <QVector>

namespace report {

struct Column {
    int values = 0;           // measurements in the column
    double min = 0, max = 0;
    qint64 minUs = 0, maxUs = 0;
    qint64 firstUs = 0, lastUs = 0; // of the measurements
    int gaps = 0;             // values that are no measurement
    qint64 firstGapUs = 0, lastGapUs = 0;
};

// A point of the drawn line; breakBefore starts a new piece of it.
struct LinePoint {
    qint64 timeUs;
    double value;
    bool breakBefore;
};

class ColumnReducer
{
public:
    static constexpr int DEFAULT_COLUMNS = 1000;

    explicit ColumnReducer(qint64 originUs = 0, int maxColumns = DEFAULT_COLUMNS);

    // A measurement, and a value that was sent but is none. Times before the
    // origin count as the origin.
    void add(qint64 timeUs, double value);
    void addGap(qint64 timeUs);

    qint64 originUs() const { return origin; }
    qint64 columnWidthUs() const { return width; }
    // From the origin to the last column with anything in it.
    const QVector<Column> &columns() const { return table; }

    qint64 measurements() const { return measured; }
    qint64 gaps() const { return gapCount; }
    double min() const { return low; }  // of all measurements; 0 without any
    double max() const { return high; }

    // The line: one or two points per column with measurements (the smaller
    // and the larger value in the order they came, one point when they are
    // equal and only once seen), at most twice the number of columns. A new
    // piece starts after a gap, and where no measurement came for more than
    // silenceUs. *gapSpans, when given, gets the spans without a line
    // because of gaps: from the measurement before them (or the first gap)
    // to the measurement after them (or the last gap).
    QVector<LinePoint> line(qint64 silenceUs, QVector<QPair<qint64, qint64>> *gapSpans = nullptr) const;

private:
    Column &columnAt(qint64 timeUs);
    void halve();

    qint64 origin;
    int capacity;
    qint64 width = 1;
    QVector<Column> table;
    qint64 measured = 0;
    qint64 gapCount = 0;
    double low = 0, high = 0;
};

} // namespace report
