#include "report/axis.h"

#include <QDateTime>

#include <cmath>

namespace report {

ValueAxis valueAxis(double low, double high, int target)
{
    if (!(high > low)) {
        const double around = std::fabs(low) > 1 ? std::fabs(low) * 0.1 : 1;
        low -= around;
        high += around;
    }
    // The smallest round step that needs at most `target` + 1 intervals.
    const int most = qMax(1, target) + 1;
    double power = std::pow(10.0, std::floor(std::log10(high - low)) - 2);
    double step = power;
    for (bool found = false; !found; power *= 10) {
        for (double m : {1.0, 2.0, 2.5, 5.0}) {
            step = m * power;
            if (std::ceil(high / step - 1e-9) - std::floor(low / step + 1e-9) <= most) {
                found = true;
                break;
            }
        }
    }
    ValueAxis axis;
    axis.step = step;
    axis.low = std::floor(low / step + 1e-9) * step;
    axis.high = std::ceil(high / step - 1e-9) * step;
    // Decimals enough for the step: 0.25 needs two, 5 none.
    axis.decimals = 0;
    while (axis.decimals < 6 && std::fabs(step * std::pow(10.0, axis.decimals) - std::round(step * std::pow(10.0, axis.decimals))) > 1e-6)
        ++axis.decimals;
    const int count = int(std::llround((axis.high - axis.low) / step));
    for (int i = 0; i <= count; ++i)
        axis.ticks.append(axis.low + i * step);
    return axis;
}

QString tickLabel(double value, int decimals)
{
    if (std::fabs(value) < 0.5 * std::pow(10.0, -decimals))
        value = 0; // no "-0"
    QString text = QString::number(value, 'f', decimals);
    if (text.startsWith(QLatin1Char('-')))
        text.replace(0, 1, QChar(0x2212));
    return text;
}

QVector<TimeTick> timeTicks(qint64 startUs, qint64 endUs, const QTimeZone &zone, int target)
{
    static const qint64 STEPS_S[] = {1,    2,    5,     10,    15,    30,    60,    120,   300,
                                     600,  900,  1800,  3600,  7200,  10800, 21600, 43200, 86400,
                                     2 * 86400, 7 * 86400, 14 * 86400, 28 * 86400};
    const qint64 span = qMax<qint64>(1, endUs - startUs);
    qint64 step = STEPS_S[sizeof(STEPS_S) / sizeof(STEPS_S[0]) - 1];
    for (qint64 s : STEPS_S) {
        if (span / (s * 1000000) <= target) {
            step = s;
            break;
        }
    }
    // Round in local time: the zone's offset at the start is added, ticks
    // are put on multiples of the step, and the offset taken away again.
    const QDateTime startTime = QDateTime::fromMSecsSinceEpoch(startUs / 1000, zone);
    const qint64 offsetUs = qint64(startTime.offsetFromUtc()) * 1000000;
    const qint64 stepUs = step * 1000000;
    const qint64 localStart = startUs + offsetUs;
    qint64 local = (localStart / stepUs) * stepUs;
    if (local < localStart)
        local += stepUs;
    const QDateTime endTime = QDateTime::fromMSecsSinceEpoch(endUs / 1000, zone);
    const bool days = startTime.date() != endTime.date();
    const QString format = step >= 86400 ? QStringLiteral("yyyy-MM-dd")
                           : days       ? QStringLiteral("MM-dd HH:mm")
                           : step < 60  ? QStringLiteral("HH:mm:ss")
                                        : QStringLiteral("HH:mm");
    QVector<TimeTick> ticks;
    for (; local - offsetUs <= endUs; local += stepUs) {
        const qint64 us = local - offsetUs;
        ticks.append({us, QDateTime::fromMSecsSinceEpoch(us / 1000, zone).toString(format)});
    }
    return ticks;
}

QString zoneLabel(const QTimeZone &zone, qint64 timeUs)
{
    const int offset = QDateTime::fromMSecsSinceEpoch(timeUs / 1000, zone).offsetFromUtc();
    if (offset == 0)
        return QStringLiteral("UTC");
    const int minutes = std::abs(offset) / 60;
    return QStringLiteral("UTC%1%2:%3")
        .arg(offset < 0 ? QChar(0x2212) : QLatin1Char('+'))
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

} // namespace report
