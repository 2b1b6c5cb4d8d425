#pragma once

// The part of a recording a report covers, given as a start and an end
// (either may be left open). Each is a date and clock time
// ("2016-10-31 07:43", "2016-10-31T07:43:10"), a clock time alone ("07:43",
// "07:43:10": the first such moment from an hour before the recording's start
// on, for the end from an hour before the window's start on), or seconds
// ("+90", "+1.5") after the recording's first frame, for the end after the
// window's start. Clock times are those of the given time zone unless the
// text names its own ("...Z", "...+02:00").

#include <QString>
#include <QTimeZone>

namespace report {

class TimeWindow
{
public:
    explicit TimeWindow(const QTimeZone &zone = QTimeZone::systemTimeZone());

    // False, with *error saying what is wrong, for a text of none of the forms.
    bool setFrom(const QString &text, QString *error);
    bool setTo(const QString &text, QString *error);
    // False when both ends are dates and clock times and the end comes first.
    bool isOrdered() const;

    bool isSet() const { return from.kind != Kind::Open || to.kind != Kind::Open; }
    // Whether a frame at this time lies in the window. The first call takes
    // its time for the recording's start.
    bool contains(qint64 timeUs);
    // "2016-10-31 07:43:00 to 07:45:00", once contains() was called.
    QString describe() const;

private:
    enum class Kind { Open, Absolute, ClockTime, Offset };
    struct Bound {
        Kind kind = Kind::Open;
        qint64 us = 0;        // Absolute: the moment; Offset: microseconds; ClockTime: milliseconds of the day
        qint64 resolvedUs = 0;
    };
    bool parse(const QString &text, Bound &bound, QString *error) const;
    qint64 resolve(const Bound &bound, qint64 referenceUs) const;

    QTimeZone zone;
    Bound from, to;
    bool started = false;
};

} // namespace report
