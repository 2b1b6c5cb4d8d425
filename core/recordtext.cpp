#include "core/recordtext.h"

#include "core/hex.h"

#include <QDateTime>

#include <algorithm>
#include <climits>
#include <ctime>

namespace recordtext {

namespace {

template <typename Char>
int parseTimestamp(const Char *t, int size)
{
    if (size != 12 || t[2] != ':' || t[5] != ':' || t[8] != '.')
        return -1;
    int fields[4] = {};
    const int starts[4] = {0, 3, 6, 9};
    const int widths[4] = {2, 2, 2, 3};
    for (int f = 0; f < 4; ++f) {
        for (int i = starts[f]; i < starts[f] + widths[f]; ++i) {
            if (t[i] < '0' || t[i] > '9')
                return -1;
            fields[f] = fields[f] * 10 + int(t[i] - '0');
        }
    }
    if (fields[0] > 23 || fields[1] > 59 || fields[2] > 59)
        return -1;
    return ((fields[0] * 60 + fields[1]) * 60 + fields[2]) * 1000 + fields[3];
}

} // namespace

int timestampMsecs(QStringView text)
{
    return parseTimestamp(reinterpret_cast<const char16_t *>(text.data()), int(text.size()));
}

int timestampMsecs(const char *text, int size)
{
    return parseTimestamp(text, size);
}

namespace {

// Builds "HH:mm:ss.zzz" texts. The local time of day is recomputed once per
// second (UTC offsets change only at whole seconds), and a text already made
// for the same millisecond is handed out again as a shared copy.
class TimestampMaker
{
public:
    QString text(qint64 msecsSinceEpoch)
    {
        if (msecsSinceEpoch == msec && !last.isNull())
            return last;
        qint64 secondNow = msecsSinceEpoch / 1000;
        int millis = int(msecsSinceEpoch % 1000);
        if (millis < 0) {
            millis += 1000;
            --secondNow;
        }
        if (secondNow != second) {
            tzset();
            const time_t t = static_cast<time_t>(secondNow);
            struct tm local = {};
            localtime_r(&t, &local);
            const int fields[3] = {local.tm_hour, local.tm_min, local.tm_sec};
            for (int i = 0; i < 3; ++i) {
                prefix[3 * i] = char('0' + fields[i] / 10);
                prefix[3 * i + 1] = char('0' + fields[i] % 10);
                prefix[3 * i + 2] = i < 2 ? ':' : '.';
            }
            second = secondNow;
        }
        QString made(12, Qt::Uninitialized);
        QChar *out = made.data();
        for (int i = 0; i < 9; ++i)
            out[i] = QLatin1Char(prefix[i]);
        out[9] = QLatin1Char(char('0' + millis / 100));
        out[10] = QLatin1Char(char('0' + millis / 10 % 10));
        out[11] = QLatin1Char(char('0' + millis % 10));
        msec = msecsSinceEpoch;
        last = made;
        return made;
    }

private:
    qint64 second = LLONG_MIN;
    qint64 msec = LLONG_MIN;
    char prefix[9] = {}; // "HH:mm:ss."
    QString last;
};

} // namespace

// Same text as QTime::currentTime().toString("HH:mm:ss.zzz"), built without
// the format parser.
QString currentTimestamp()
{
    thread_local TimestampMaker maker;
    return maker.text(QDateTime::currentMSecsSinceEpoch());
}

QString timestampText(qint64 msecsSinceEpoch)
{
    thread_local TimestampMaker maker;
    return maker.text(msecsSinceEpoch);
}

QString payloadText(const char *bytes, int count)
{
    if (count <= 0)
        return QString();
    QString text(count * 3, Qt::Uninitialized);
    QChar *out = text.data();
    for (int k = 0; k < count; ++k) {
        const quint8 b = quint8(bytes[k]);
        out[0] = QLatin1Char(core::UPPER_HEX_DIGITS[b >> 4]);
        out[1] = QLatin1Char(core::UPPER_HEX_DIGITS[b & 0xF]);
        out[2] = QLatin1Char(' ');
        out += 3;
    }
    return text;
}

QString recordIdText(quint32 id, bool standard)
{
    int digits = 1;
    for (quint32 v = id >> 4; v != 0; v >>= 4)
        ++digits;
    const int width = std::max(digits, standard ? 3 : 8);
    QString text(width, Qt::Uninitialized);
    QChar *out = text.data() + width;
    quint32 v = id;
    for (int i = 0; i < width; ++i) {
        *--out = QLatin1Char(core::UPPER_HEX_DIGITS[v & 0xF]);
        v >>= 4;
    }
    return text;
}

} // namespace recordtext
