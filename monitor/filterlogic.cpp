#include "monitor/filterlogic.h"

#include "core/canid.h"
#include "core/identry.h"

namespace filterlogic {

ListIdentifier normaliseListIdentifier(const QString &text, bool extended)
{
    const quint32 id = core::idEntryValue(text);
    if (!core::isValidId(id, extended))
        return {core::idEntryText(0, extended), false};
    return {core::idEntryText(id, extended), true};
}

QString normaliseAcceptanceField(const QString &text, bool extended)
{
    quint32 value = core::idEntryValue(text);
    if (!core::isValidId(value, extended))
        value = 0;
    return core::idEntryText(value, extended);
}

QString identifierPattern(bool extended)
{
    return QStringLiteral("^[0-9a-fA-F]{0,%1}$").arg(core::idDigits(extended));
}

QString searchPattern()
{
    return QStringLiteral("[0-9a-fA-F]{0,%1}").arg(core::idDigits(true));
}

} // namespace filterlogic
