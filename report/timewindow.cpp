#include "report/timewindow.h"

#include "core/seconds.h"

#include <QDateTime>

#include <limits>

namespace report {

TimeWindow::TimeWindow(const QTimeZone &zone)
    : zone(zone)
{
}

bool TimeWindow::parse(const QString &text, Bound &bound, QString *error) const
{
    const QString t = text.trimmed();
    if (t.startsWith(QLatin1Char('+'))) {
        const QByteArray digits = t.mid(1).toLatin1();
        if (core::parseSeconds(digits.constData(), digits.size(), bound.us)) {
            bound.kind = Kind::Offset;
            return true;
        }
    } else if (t.contains(QLatin1Char('-'))) {
        QString iso = t;
        iso.replace(QLatin1Char(' '), QLatin1Char('T'));
        const QDateTime local = QDateTime::fromString(iso, Qt::ISODate);
        if (local.isValid()) {
            // Without a zone of its own the text is a clock time of the report's zone.
            bound.kind = Kind::Absolute;
            bound.us = (local.timeSpec() == Qt::LocalTime ? QDateTime(local.date(), local.time(), zone) : local)
                           .toMSecsSinceEpoch()
                       * 1000;
            return true;
        }
    } else {
        const QTime time = QTime::fromString(t, Qt::ISODate);
        if (time.isValid()) {
            bound.kind = Kind::ClockTime;
            bound.us = time.msecsSinceStartOfDay();
            return true;
        }
    }
    *error = QStringLiteral("\"%1\" is no time: give YYYY-MM-DD HH:MM[:SS], HH:MM[:SS] or +SECONDS").arg(text);
    return false;
}

bool TimeWindow::setFrom(const QString &text, QString *error)
{
    return parse(text, from, error);
}

bool TimeWindow::setTo(const QString &text, QString *error)
{
    return parse(text, to, error);
}

bool TimeWindow::isOrdered() const
{
    return from.kind != Kind::Absolute || to.kind != Kind::Absolute || from.us <= to.us;
}

qint64 TimeWindow::resolve(const Bound &bound, qint64 referenceUs) const
{
    switch (bound.kind) {
    case Kind::Open: return 0;
    case Kind::Absolute: return bound.us;
    case Kind::Offset: return referenceUs + bound.us;
    case Kind::ClockTime: break;
    }
    // The first moment with that clock time from an hour before the reference
    // on: "07:42" is the minute a recording started at 07:42:15 is in, "01:00"
    // the night after a start at 23:00.
    const qint64 earliestUs = referenceUs - 3600 * 1000000LL;
    const QDateTime reference = QDateTime::fromMSecsSinceEpoch(earliestUs / 1000, zone);
    for (int day = 0; day < 3; ++day) {
        const QDateTime candidate(reference.date().addDays(day), QTime::fromMSecsSinceStartOfDay(int(bound.us)), zone);
        if (candidate.toMSecsSinceEpoch() * 1000 >= earliestUs)
            return candidate.toMSecsSinceEpoch() * 1000;
    }
    return referenceUs;
}

bool TimeWindow::contains(qint64 timeUs)
{
    if (!started) {
        started = true;
        from.resolvedUs = from.kind == Kind::Open ? std::numeric_limits<qint64>::min() : resolve(from, timeUs);
        to.resolvedUs = to.kind == Kind::Open ? std::numeric_limits<qint64>::max()
                                              : resolve(to, from.kind == Kind::Open ? timeUs : from.resolvedUs);
    }
    return timeUs >= from.resolvedUs && timeUs <= to.resolvedUs;
}

QString TimeWindow::describe() const
{
    if (!started)
        return QString();
    const auto at = [this](qint64 us) {
        return QDateTime::fromMSecsSinceEpoch(us / 1000, zone).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    };
    const QString start = from.kind == Kind::Open ? QStringLiteral("the start") : at(from.resolvedUs);
    const QString end = to.kind == Kind::Open ? QStringLiteral("the end") : at(to.resolvedUs);
    return QStringLiteral("%1 to %2").arg(start, end);
}

} // namespace report
