#include "dumpformat.h"

namespace dump {

QString fileName(const QDateTime &start, int sequence)
{
    QString name = QStringLiteral("dump_") + start.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    if (sequence > 1)
        name += QLatin1Char('_') + QString::number(sequence);
    return name + QStringLiteral(".csv");
}

static void appendLatin1(LineBuffer &line, const QString &text)
{
    const int start = line.size();
    line.resize(start + text.size());
    char *out = line.data() + start;
    for (const QChar c : text)
        *out++ = c.toLatin1();
}

void formatLine(const MessageRecord &record, LineBuffer &line)
{
    line.clear();
    for (int i = 0; i < record.size(); ++i) {
        if (i > 0)
            line.append(';');
        appendLatin1(line, record.at(i));
    }
    line.append('\n');
}

} // namespace dump
