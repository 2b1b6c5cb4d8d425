#pragma once

// Time stamps in seconds with a decimal fraction ("1496841006.123456"), as
// candump and ASC logs write them.

#include <QtGlobal>

namespace core {

// The most whole seconds of a time stamp (12 digits, some 31,700 years after
// 1970): the times of recordings are read and written within it.
constexpr qint64 MAX_WHOLE_SECONDS = 999999999999;

// Reads `size` characters as whole seconds (1 to 12 digits), optionally
// followed by a point and up to 9 digits of the fraction, into microseconds
// (digits after the sixth are dropped). *fractionDigits, when given, gets the
// number of digits after the point (-1 without a point). False for anything
// else.
bool parseSeconds(const char *text, int size, qint64 &micros, int *fractionDigits = nullptr);

} // namespace core
