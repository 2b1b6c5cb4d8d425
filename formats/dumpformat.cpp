#include "formats/dumpformat.h"

#include "core/hex.h"
#include "core/recordtext.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace dump {

QString fileName(const QDateTime &start, int sequence)
{
    QString name = QStringLiteral("dump_") + start.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    if (sequence > 1)
        name += QLatin1Char('_') + QString::number(sequence);
    return name + QStringLiteral(".csv");
}

QDateTime startFromFileName(const QString &path)
{
    // dump_yyyy-MM-dd_HH-mm-ss.csv or dump_yyyy-MM-dd_HH-mm-ss_N.csv, N from 2 on.
    static const QRegularExpression pattern(
        QStringLiteral("^dump_(\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d)(_([2-9]|[1-9]\\d+))?\\.csv$"));
    const QRegularExpressionMatch match = pattern.match(QFileInfo(path).fileName());
    if (!match.hasMatch())
        return QDateTime();
    return QDateTime::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
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

namespace {

QByteArray withoutCarriageReturn(const QByteArray &line)
{
    return line.endsWith('\r') ? line.chopped(1) : line;
}

} // namespace

bool isHeader(const QByteArray &line)
{
    return withoutCarriageReturn(line) == QByteArray(HEADER_LINE, int(sizeof HEADER_LINE) - 2);
}

bool readLine(const QByteArray &rawLine, Line &out)
{
    const QByteArray line = withoutCarriageReturn(rawLine);
    const QList<QByteArray> fields = line.split(';');
    if (fields.size() < 2)
        return false;
    const QByteArray time = fields.at(0).trimmed();
    out.msecsOfDay = recordtext::timestampMsecs(time.constData(), time.size());
    const QByteArray idText = fields.at(1).trimmed();
    if (out.msecsOfDay < 0 || idText.isEmpty() || idText.size() > 8)
        return false;
    quint64 id = 0;
    if (!core::parseHex(idText.constData(), idText.size(), id))
        return false;
    out.id = quint32(id);
    out.standard = idText.size() < 8;
    out.data.resize(0); // keeps a buffer reserved by the caller
    if (fields.size() >= 3) {
        const QList<QByteArray> bytes = fields.at(2).simplified().split(' ');
        for (const QByteArray &b : bytes) {
            if (b.isEmpty())
                continue;
            quint64 value = 0;
            if (b.size() > 2 || !core::parseHex(b.constData(), b.size(), value))
                return false;
            out.data.append(char(value));
        }
    }
    return true;
}

} // namespace dump
