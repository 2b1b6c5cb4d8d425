#include "report/svgchart.h"

#include "report/markup.h"

namespace report {

namespace {

const QString SVG_OPEN = QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"picture\" height=\"%1\" "
                                        "role=\"img\" aria-label=\"%2\">\n");

constexpr int PLOT_TOP = 24;
constexpr int PLOT_HEIGHT = 150;
// The nested view box of a line: x from 0 to VIEW_WIDTH over the trip, y in pixels.
constexpr double VIEW_WIDTH = 1000;

QString number(double value)
{
    QString text = QString::number(value, 'f', 1);
    if (text.endsWith(QLatin1String(".0")))
        text.chop(2);
    return text;
}

double fraction(const TimeAxis &time, qint64 us)
{
    return double(us - time.startUs) / double(qMax<qint64>(1, time.endUs - time.startUs));
}

QString percent(double f)
{
    return QString::number(f * 100, 'f', 2) + QLatin1Char('%');
}

// The vertical grid lines of the time ticks from top to bottom, and their
// labels below at labelY with the axis' title under them.
QString timeGrid(const TimeAxis &time, int top, int bottom)
{
    QString out;
    for (const TimeTick &tick : time.ticks)
        out += QStringLiteral("<line class=\"grid\" x1=\"%1\" x2=\"%1\" y1=\"%2\" y2=\"%3\"/>\n")
                   .arg(percent(fraction(time, tick.timeUs)))
                   .arg(top)
                   .arg(bottom);
    out += QStringLiteral("<line class=\"axis\" x1=\"0\" x2=\"100%\" y1=\"%1\" y2=\"%1\"/>\n").arg(bottom);
    for (const TimeTick &tick : time.ticks) {
        const double f = fraction(time, tick.timeUs);
        // Labels close to the ends stay within the picture's padding.
        const char *anchor = f < 0.02 ? "start" : f > 0.98 ? "end" : "middle";
        out += QStringLiteral("<text class=\"tick\" x=\"%1\" y=\"%2\" text-anchor=\"%3\">%4</text>\n")
                   .arg(percent(f))
                   .arg(bottom + 16)
                   .arg(QLatin1String(anchor), escaped(tick.label));
    }
    out += QStringLiteral("<text class=\"title\" x=\"50%\" y=\"%1\" text-anchor=\"middle\">%2</text>\n")
               .arg(bottom + 34)
               .arg(escaped(time.title));
    return out;
}

} // namespace

QString lineChartSvg(const LineChart &chart, const TimeAxis &time)
{
    const int bottom = PLOT_TOP + PLOT_HEIGHT;
    const ValueAxis &axis = chart.axis;
    const double range = axis.high - axis.low;
    const auto y = [&](double value) { return PLOT_TOP + PLOT_HEIGHT * (axis.high - value) / range; };

    QString out = SVG_OPEN.arg(bottom + 42).arg(escaped(chart.label));
    out += QStringLiteral("<rect class=\"plot\" x=\"0\" y=\"%1\" width=\"100%\" height=\"%2\"/>\n")
               .arg(PLOT_TOP)
               .arg(PLOT_HEIGHT);
    for (double tick : axis.ticks) {
        const QString at = number(y(tick));
        out += QStringLiteral("<line class=\"grid\" x1=\"0\" x2=\"100%\" y1=\"%1\" y2=\"%1\"/>\n").arg(at);
        out += QStringLiteral("<text class=\"tick\" x=\"-8\" y=\"%1\" dy=\"0.35em\" text-anchor=\"end\">%2</text>\n")
                   .arg(at, tickLabel(tick, axis.decimals));
    }
    // The unit heads the tick labels.
    out += QStringLiteral("<text class=\"title\" x=\"-8\" y=\"%1\" text-anchor=\"end\">%2</text>\n")
               .arg(PLOT_TOP - 12)
               .arg(escaped(chart.unit));
    out += timeGrid(time, PLOT_TOP, bottom);

    // The line in a view box stretched over the plot: x over the trip, y in pixels.
    out += QStringLiteral("<svg x=\"0\" y=\"%1\" width=\"100%\" height=\"%2\" viewBox=\"0 0 %3 %2\" "
                          "preserveAspectRatio=\"none\" overflow=\"visible\">\n")
               .arg(PLOT_TOP)
               .arg(PLOT_HEIGHT)
               .arg(VIEW_WIDTH);
    const auto x = [&](qint64 us) { return number(VIEW_WIDTH * fraction(time, us)); };
    for (const auto &span : chart.gapSpans)
        out += QStringLiteral("<rect class=\"gap\" x=\"%1\" y=\"0\" width=\"%2\" height=\"%3\"/>\n")
                   .arg(x(span.first))
                   .arg(number(qMax(0.0, VIEW_WIDTH * (fraction(time, span.second) - fraction(time, span.first)))))
                   .arg(PLOT_HEIGHT);
    // Pieces of one or two points are drawn as dots as well (lines of no
    // length with round ends, wider than the line): a line that short would
    // hardly show.
    QString path, dots;
    path.reserve(chart.line.size() * 12);
    for (int i = 0; i < chart.line.size(); ++i) {
        const LinePoint &p = chart.line.at(i);
        const QString point = x(p.timeUs) + QLatin1Char(' ') + number(y(p.value) - PLOT_TOP);
        path += (p.breakBefore ? QStringLiteral("M") : QStringLiteral(" ")) + point;
        const auto startsPiece = [&chart](int j) { return j >= chart.line.size() || chart.line.at(j).breakBefore; };
        const bool shortPiece = p.breakBefore ? startsPiece(i + 1) || startsPiece(i + 2)
                                              : chart.line.at(i - 1).breakBefore && startsPiece(i + 1);
        if (shortPiece)
            dots += QLatin1Char('M') + point + QLatin1String("h0");
    }
    if (!path.isEmpty())
        out += QStringLiteral("<path class=\"line\" stroke=\"%1\" d=\"%2\"/>\n").arg(chart.colour, path);
    if (!dots.isEmpty())
        out += QStringLiteral("<path class=\"dots\" stroke=\"%1\" d=\"%2\"/>\n").arg(chart.colour, dots);
    out += QLatin1String("</svg>\n</svg>\n");
    return out;
}

QString timelineSvg(const QVector<TimelineRow> &rows, const TimeAxis &time)
{
    constexpr int HEADING = 26;
    constexpr int BAR = 34;
    int bottom = 4;
    for (const TimelineRow &row : rows)
        bottom += row.heading ? HEADING : BAR;
    QString out = SVG_OPEN.arg(bottom + 42).arg(QStringLiteral("Fault codes over time"));
    out += timeGrid(time, 0, bottom);
    int top = 4;
    for (const TimelineRow &row : rows) {
        if (row.heading) {
            out += QStringLiteral("<circle cx=\"5\" cy=\"%1\" r=\"4.5\" fill=\"%2\"/>\n"
                                  "<text class=\"heading\" x=\"16\" y=\"%3\">%4</text>\n")
                       .arg(top + 13)
                       .arg(row.colour)
                       .arg(top + 17)
                       .arg(escaped(row.label));
            top += HEADING;
            continue;
        }
        out += QStringLiteral("<g>\n<title>%1</title>\n").arg(escaped(row.tooltip));
        out += QStringLiteral("<text class=\"bar-label\" x=\"0\" y=\"%1\">%2</text>\n").arg(top + 12).arg(escaped(row.label));
        out += QStringLiteral("<line class=\"bar\" stroke=\"%1\" x1=\"%2\" x2=\"%3\" y1=\"%4\" y2=\"%4\"/>\n</g>\n")
                   .arg(row.colour, percent(fraction(time, row.firstUs)), percent(fraction(time, row.lastUs)))
                   .arg(top + 24);
        top += BAR;
    }
    out += QLatin1String("</svg>\n");
    return out;
}

} // namespace report
