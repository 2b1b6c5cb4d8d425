#pragma once

// Hexadecimal digits, read and written in this one place: every reader of a
// number in hexadecimal (recordings, the table, the filter list, the FMS
// panel) goes through parseHex.

#include <QtGlobal>

#include <QStringView>

#include <type_traits>

namespace core {

// Value of one hexadecimal digit of either case, -1 for any other character.
constexpr int hexDigitValue(char16_t c)
{
    return c >= '0' && c <= '9' ? c - '0'
         : c >= 'A' && c <= 'F' ? c - 'A' + 10
         : c >= 'a' && c <= 'f' ? c - 'a' + 10
         : -1;
}

// The upper-case digits numbers are written with.
inline constexpr char UPPER_HEX_DIGITS[] = "0123456789ABCDEF";

// Reads `size` characters that are all hexadecimal digits (leading zeros
// allowed) as one unsigned number. False for no characters, any other
// character, or a value beyond 64 bits; `value` is then unspecified.
template <typename Char>
constexpr bool parseHex(const Char *text, qsizetype size, quint64 &value)
{
    if (size <= 0)
        return false;
    quint64 v = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const int digit = hexDigitValue(char16_t(std::make_unsigned_t<Char>(text[i])));
        if (digit < 0 || (v >> 60) != 0)
            return false;
        v = (v << 4) | quint64(digit);
    }
    value = v;
    return true;
}

inline bool parseHex(QStringView text, quint64 &value)
{
    return parseHex(text.utf16(), text.size(), value);
}

} // namespace core
