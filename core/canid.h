#pragma once

// CAN identifiers: the two kinds and their ranges.

#include <QtGlobal>

namespace core {

// Largest identifier of each kind: 11-bit standard, 29-bit extended.
constexpr quint32 MAX_STANDARD_ID = 0x7FF;
constexpr quint32 MAX_EXTENDED_ID = 0x1FFFFFFF;

constexpr quint32 maxId(bool extended)
{
    return extended ? MAX_EXTENDED_ID : MAX_STANDARD_ID;
}

// The identifier fits its kind.
constexpr bool isValidId(quint32 id, bool extended)
{
    return id <= maxId(extended);
}

} // namespace core
