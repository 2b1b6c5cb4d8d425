#include "monitor/tablelogic.h"

#include "core/hex.h"
#include "core/recordtext.h"

#include <algorithm>

namespace tablelogic {

int fieldViews(const MessageRecord &record, QStringView *out, int max)
{
    int count = 0;
    auto put = [&](QStringView field) {
        if (count < max)
            out[count] = field;
        ++count;
    };
    put(record.size() > 0 ? QStringView(record.at(0)) : QStringView());
    put(record.size() > 1 ? QStringView(record.at(1)) : QStringView());
    const QStringView payload = record.size() > 2 ? QStringView(record.at(2)).trimmed() : QStringView();
    int start = 0;
    for (int i = 0; i <= payload.size(); ++i) {
        if (i == payload.size() || payload[i] == QLatin1Char(' ')) {
            put(payload.mid(start, i - start));
            start = i + 1;
        }
    }
    return count;
}

QString cellText(QStringView field)
{
    QString text;
    text.reserve(int(field.size()) + 4);
    text += QLatin1String("  ");
    text.append(field.data(), int(field.size()));
    text += QLatin1String("  ");
    return text;
}

bool cellTextEquals(const QString &text, QStringView field)
{
    const int n = int(field.size());
    if (text.size() != n + 4)
        return false;
    const QChar *t = text.constData();
    const QChar blank(QLatin1Char(' '));
    return t[0] == blank && t[1] == blank && t[n + 2] == blank && t[n + 3] == blank
        && QStringView(t + 2, n) == field;
}

QString SharedCellTexts::cellFor(QStringView field)
{
    auto hexDigit = [](QChar c) {
        const ushort u = c.unicode();
        return u >= '0' && u <= '9' ? int(u - '0') : u >= 'A' && u <= 'F' ? int(u - 'A' + 10) : -1;
    };
    if (field.size() == 2) {
        const int high = hexDigit(field[0]), low = hexDigit(field[1]);
        if (high >= 0 && low >= 0) {
            QString &text = bytes[high * 16 + low];
            if (text.isNull())
                text = cellText(field);
            return text;
        }
    }
    const uint key = qHash(field);
    auto it = others.constFind(key);
    if (it != others.constEnd() && cellTextEquals(*it, field))
        return *it;
    const QString text = cellText(field);
    if (it == others.constEnd()) {
        // Timestamps keep coming; start afresh now and then.
        if (others.size() >= 8192)
            others.clear();
        others.insert(key, text);
    }
    return text;
}

bool payloadIsZero(const QString &payloadText)
{
    QString digits = payloadText.trimmed();
    digits.remove(QLatin1Char(' '));
    if (digits.isEmpty() || digits.size() > 16)
        return true;
    quint64 value = 0;
    return !core::parseHex(digits, value) || value == 0;
}

int rowAgeSeconds(QStringView timeText, const QTime &now)
{
    const QStringView text = timeText.trimmed();
    // The reader's exact form first; anything else through the general parser.
    int thenMs = recordtext::timestampMsecs(text);
    if (thenMs < 0) {
        const QTime parsed = QTime::fromString(text.toString(), QStringLiteral("HH:mm:ss.zzz"));
        if (!parsed.isValid())
            return 0;
        thenMs = parsed.msecsSinceStartOfDay();
    }
    return now.msecsSinceStartOfDay() / 1000 - thenMs / 1000;
}

int placeOrdered(QMap<quint32, int> &rowOfId, QList<quint32> &orderedIds, quint32 newId)
{
    // The map iterates in ascending identifier order, so its keys with the new
    // one inserted in place are already the sorted list.
    orderedIds = rowOfId.keys();
    const auto at = std::lower_bound(orderedIds.begin(), orderedIds.end(), newId);
    const int newPosition = int(at - orderedIds.begin());
    orderedIds.insert(at, newId);

    // The map iterates in the same ascending order as orderedIds: renumber it
    // in one pass.
    rowOfId.insert(newId, 0);
    int position = 0;
    for (auto it = rowOfId.begin(); it != rowOfId.end(); ++it)
        it.value() = position++;
    return newPosition;
}

QVector<int> placeOrderedAll(QMap<quint32, int> &rowOfId, QList<quint32> &orderedIds,
                             const QVector<quint32> &newIds)
{
    QVector<int> rows;
    if (newIds.isEmpty())
        return rows;
    // Each insertion lands at the new identifier's place among all
    // identifiers known so far; the later ones are larger and go below it, so
    // that place is its final one. Merge once and number the map once.
    rows.reserve(newIds.size());
    for (quint32 id : newIds)
        rowOfId.insert(id, 0);
    orderedIds = rowOfId.keys();
    int position = 0;
    auto next = newIds.cbegin();
    for (auto it = rowOfId.begin(); it != rowOfId.end(); ++it, ++position) {
        it.value() = position;
        if (next != newIds.cend() && *next == it.key()) {
            rows.append(position);
            ++next;
        }
    }
    return rows;
}

QString fontStyleSheet(int pointSize, int step)
{
    return QStringLiteral("QTableView { font-size: %1pt; font-family:SF Mono; background-color: #FFFFFF;}")
               .arg(pointSize)
        + QString(step > 0 ? 43 : 38, QLatin1Char(' '))
        + QStringLiteral("QTableWidget:disabled{background-color: #F1F2F3;}");
}

} // namespace tablelogic
