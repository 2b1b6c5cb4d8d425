#pragma once

// Input rules of the window's identifier entry fields, free of widgets: how
// a typed identifier is range-checked and written back, and which texts the
// fields accept. How an entry is read and written (core/identry.h) is shared
// with the tools.

#include <QString>

namespace filterlogic {

// Normalisation of the identifier field of the filter list. When the number
// is above the width's largest identifier, inRange is false and text is the
// reset text ("000" or "00000000"): the caller shows it and stops there.
struct ListIdentifier {
    QString text;
    bool inRange = true;
};
ListIdentifier normaliseListIdentifier(const QString &text, bool extended);

// Normalisation of the adapter's acceptance filter and mask fields: a number
// beyond the width (0x800 or more standard, 0x20000000 or more extended)
// becomes 0; the result is always the padded identifier text.
QString normaliseAcceptanceField(const QString &text, bool extended);

// Pattern of the validator shared by the three identifier fields: empty text
// or up to 3 (standard) or 8 (extended) hexadecimal digits of either case.
QString identifierPattern(bool extended);

// Pattern of the table's identifier search field, whatever the width.
QString searchPattern();

} // namespace filterlogic
