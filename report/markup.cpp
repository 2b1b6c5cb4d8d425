#include "report/markup.h"

#include <cmath>

namespace report {

namespace {

// NARROW NO-BREAK SPACE: groups digits without letting a line break there.
const QChar GROUP_SEPARATOR(0x202F);

QString groupedDigits(const QString &digits)
{
    QString out;
    for (int i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += GROUP_SEPARATOR;
        out += digits.at(i);
    }
    return out;
}

} // namespace

QString escaped(const QString &text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const ushort u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out += c;
            out += text.at(++i);
            continue;
        }
        switch (u) {
        case '&': out += QLatin1String("&amp;"); continue;
        case '<': out += QLatin1String("&lt;"); continue;
        case '>': out += QLatin1String("&gt;"); continue;
        case '"': out += QLatin1String("&quot;"); continue;
        case '\'': out += QLatin1String("&#39;"); continue;
        default: break;
        }
        const bool allowed = (u >= 0x20 || u == '\t' || u == '\n' || u == '\r') && !c.isSurrogate() && u != 0xFFFE
                             && u != 0xFFFF;
        out += allowed ? c : QChar(QChar::ReplacementCharacter);
    }
    return out;
}

QString grouped(qint64 value)
{
    const QString digits = QString::number(value < 0 ? -value : value);
    return (value < 0 ? QString(QChar(0x2212)) : QString()) + groupedDigits(digits);
}

QString grouped(double value, int decimals)
{
    QString text = QString::number(std::fabs(value), 'f', decimals);
    const int point = text.indexOf(QLatin1Char('.'));
    const QString whole = point < 0 ? text : text.left(point);
    const QString fraction = point < 0 ? QString() : text.mid(point);
    bool nonZero = false;
    for (QChar c : text)
        nonZero = nonZero || (c >= QLatin1Char('1') && c <= QLatin1Char('9'));
    const bool negative = value < 0 && nonZero;
    return (negative ? QString(QChar(0x2212)) : QString()) + groupedDigits(whole) + fraction;
}

} // namespace report
