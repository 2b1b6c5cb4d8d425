#pragma once

// Identifiers as they are typed and listed: hexadecimal digits of either
// case, at most 3 for a standard (11-bit) and 8 for an extended (29-bit)
// identifier. The window's filter list and acceptance fields and the tools'
// identifier options read and write them here.

#include <QString>
#include <QStringView>

namespace core {

// The digits an entry of the kind holds at most.
constexpr int idDigits(bool extended)
{
    return extended ? 8 : 3;
}

// The entry read as an unsigned hexadecimal number, blanks around it
// allowed; 0 for text that is no such number (empty, another character, more
// than 32 bits).
quint32 idEntryValue(QStringView text);

// The entry text of an identifier: lower-case hexadecimal, zero-padded to 3
// digits (standard) or 8 (extended); a larger number keeps all its digits.
QString idEntryText(quint32 id, bool extended);

// An identifier given by its digits alone, the kind told by their count: 1
// to 3 hexadecimal digits a standard identifier, 4 to 8 an extended one
// (leading zeros count: "0001" is extended).
struct TypedId {
    quint32 id = 0;
    bool extended = false;
};
enum class TypedIdError {
    None,
    NotAnIdentifier, // no digits, another character or more than 8 digits
    OutOfRange,      // above the largest identifier of its kind
};
TypedIdError readTypedId(QStringView digits, TypedId &result);

} // namespace core
