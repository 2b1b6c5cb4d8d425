#include "monitor/filterlogic.h"

#include "core/canid.h"
#include "core/hex.h"

namespace filterlogic {

quint32 parseHex(const QString &text)
{
    quint64 value = 0;
    return core::parseHex(QStringView(text).trimmed(), value) && value <= 0xFFFFFFFFu ? quint32(value) : 0;
}

QString listEntryText(quint32 id, bool extended)
{
    return QStringLiteral("%1").arg(id, extended ? 8 : 3, 16, QLatin1Char('0'));
}

ListIdentifier normaliseListIdentifier(const QString &text, bool extended)
{
    const quint32 id = parseHex(text);
    const quint32 largest = core::maxId(extended);
    if (id > largest)
        return {listEntryText(0, extended), false};
    return {listEntryText(id, extended), true};
}

QString normaliseAcceptanceField(const QString &text, bool extended)
{
    quint32 value = parseHex(text);
    if (!core::isValidId(value, extended))
        value = 0;
    return listEntryText(value, extended);
}

QString identifierPattern(bool extended)
{
    return QStringLiteral("^[0-9a-fA-F]") + (extended ? QStringLiteral("{0,8}") : QStringLiteral("{0,3}"))
           + QStringLiteral("$");
}

QString searchPattern()
{
    return QStringLiteral("[0-9a-fA-F]{0,8}");
}

} // namespace filterlogic
