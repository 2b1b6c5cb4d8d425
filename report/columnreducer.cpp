#include "report/columnreducer.h"

namespace report {

namespace {

// b, the later column, into a.
void merge(Column &a, const Column &b)
{
    if (b.values > 0) {
        if (a.values == 0) {
            a.min = b.min;
            a.max = b.max;
            a.minUs = b.minUs;
            a.maxUs = b.maxUs;
            a.firstUs = b.firstUs;
        } else {
            if (b.min < a.min) {
                a.min = b.min;
                a.minUs = b.minUs;
            }
            if (b.max > a.max) {
                a.max = b.max;
                a.maxUs = b.maxUs;
            }
        }
        a.lastUs = b.lastUs;
        a.values += b.values;
    }
    if (b.gaps > 0) {
        if (a.gaps == 0)
            a.firstGapUs = b.firstGapUs;
        a.lastGapUs = b.lastGapUs;
        a.gaps += b.gaps;
    }
}

} // namespace

ColumnReducer::ColumnReducer(qint64 originUs, int maxColumns)
    : origin(originUs)
    , capacity(qMax(2, maxColumns))
{
}

void ColumnReducer::halve()
{
    const int count = (table.size() + 1) / 2;
    for (int i = 0; i < count; ++i) {
        Column column = table.at(2 * i);
        if (2 * i + 1 < table.size())
            merge(column, table.at(2 * i + 1));
        table[i] = column;
    }
    table.resize(count);
    width *= 2;
}

Column &ColumnReducer::columnAt(qint64 timeUs)
{
    const qint64 offset = qMax<qint64>(0, timeUs - origin);
    while (offset / width >= capacity)
        halve();
    const int index = int(offset / width);
    if (index >= table.size())
        table.resize(index + 1);
    return table[index];
}

void ColumnReducer::add(qint64 timeUs, double value)
{
    Column &c = columnAt(timeUs);
    if (c.values == 0) {
        c.min = c.max = value;
        c.minUs = c.maxUs = c.firstUs = c.lastUs = timeUs;
    } else {
        if (value < c.min) {
            c.min = value;
            c.minUs = timeUs;
        }
        if (value > c.max) {
            c.max = value;
            c.maxUs = timeUs;
        }
        c.firstUs = qMin(c.firstUs, timeUs);
        c.lastUs = qMax(c.lastUs, timeUs);
    }
    ++c.values;
    if (measured++ == 0) {
        low = high = value;
    } else {
        low = qMin(low, value);
        high = qMax(high, value);
    }
}

void ColumnReducer::addGap(qint64 timeUs)
{
    Column &c = columnAt(timeUs);
    if (c.gaps == 0) {
        c.firstGapUs = c.lastGapUs = timeUs;
    } else {
        c.firstGapUs = qMin(c.firstGapUs, timeUs);
        c.lastGapUs = qMax(c.lastGapUs, timeUs);
    }
    ++c.gaps;
    ++gapCount;
}

QVector<LinePoint> ColumnReducer::line(qint64 silenceUs, QVector<QPair<qint64, qint64>> *gapSpans) const
{
    QVector<LinePoint> out;
    const Column *previous = nullptr;
    // Gaps since the previous column's last measurement: from when, up to when.
    bool pending = false;
    qint64 pendingFrom = 0, pendingTo = 0;
    const auto gapFrom = [&](qint64 firstGapUs) {
        if (!pending) {
            pending = true;
            pendingFrom = previous ? previous->lastUs : firstGapUs;
        }
    };
    for (const Column &c : table) {
        if (c.values == 0) {
            if (c.gaps > 0) {
                gapFrom(c.firstGapUs);
                pendingTo = c.lastGapUs;
            }
            continue;
        }
        if (c.gaps > 0 && c.firstGapUs < c.firstUs)
            gapFrom(c.firstGapUs);
        const bool broken = !previous || pending || c.firstUs - previous->lastUs > silenceUs;
        if (pending && gapSpans)
            gapSpans->append({pendingFrom, c.firstUs});
        pending = false;
        if (c.min == c.max) {
            out.append({c.firstUs, c.min, broken});
            if (c.lastUs != c.firstUs)
                out.append({c.lastUs, c.max, false});
        } else if (c.minUs <= c.maxUs) {
            out.append({c.minUs, c.min, broken});
            out.append({c.maxUs, c.max, false});
        } else {
            out.append({c.maxUs, c.max, broken});
            out.append({c.minUs, c.min, false});
        }
        previous = &c;
        if (c.gaps > 0 && c.lastGapUs > c.lastUs) {
            gapFrom(c.lastGapUs);
            pendingTo = c.lastGapUs;
        }
    }
    if (pending && gapSpans)
        gapSpans->append({pendingFrom, pendingTo});
    return out;
}

} // namespace report
