#pragma once

// Text for the report's markup, which must read as XML as well as HTML.

#include <QString>

namespace report {

// The text with &, <, >, " and ' as character references, and the
// characters XML does not allow (control characters other than tab, line
// feed and carriage return; unpaired surrogates; U+FFFE, U+FFFF) replaced by
// U+FFFD: fit for element content and attribute values.
QString escaped(const QString &text);

// A number with a thin space between groups of three digits ("145 278").
QString grouped(qint64 value);

// A number with `decimals` decimals, grouped like grouped(), with a minus sign.
QString grouped(double value, int decimals);

} // namespace report
