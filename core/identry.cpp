#include "core/identry.h"

#include "core/canid.h"
#include "core/hex.h"

namespace core {

quint32 idEntryValue(QStringView text)
{
    quint64 value = 0;
    return parseHex(text.trimmed(), value) && value <= 0xFFFFFFFFu ? quint32(value) : 0;
}

QString idEntryText(quint32 id, bool extended)
{
    return QStringLiteral("%1").arg(id, idDigits(extended), 16, QLatin1Char('0'));
}

TypedIdError readTypedId(QStringView digits, TypedId &result)
{
    quint64 value = 0;
    if (digits.size() > idDigits(true) || !parseHex(digits, value))
        return TypedIdError::NotAnIdentifier;
    result.extended = digits.size() > idDigits(false);
    result.id = quint32(value);
    return isValidId(result.id, result.extended) ? TypedIdError::None : TypedIdError::OutOfRange;
}

} // namespace core
