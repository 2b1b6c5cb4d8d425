// The reader of Vector ASC logs, the subset that can-utils' log2asc and
// python-can write and read:
//   date Wed Jun  7 13:10:06 2017
//   base hex  timestamps absolute
//   no internal events logged
//      0.123456 1  18FEF100x       Rx   d 8 11 22 33 44 55 66 77 88
//      0.223456 CANFD   1 Rx   12345678x     1 0 9 12 11 22 ... (CAN FD)
// Times count from the date (or from a "Begin Triggerblock" date, as
// python-can writes), or from the line before with "timestamps relative";
// identifiers and bytes are hexadecimal, or decimal with "base dec".

#include "formats/asc.h"
#include "formats/formatparts.h"
#include "formats/linereader.h"
#include "core/hex.h"
#include "core/seconds.h"

#include <QDateTime>

#include <array>
#include <cstring>

namespace formats::parts {

namespace {

struct Token {
    const char *p = nullptr;
    int n = 0;
    bool is(const char *word) const { return int(std::strlen(word)) == n && std::memcmp(p, word, size_t(n)) == 0; }
    bool isIgnoringCase(const char *word) const { return int(std::strlen(word)) == n && qstrnicmp(p, word, uint(n)) == 0; }
};

// Splits a line at blanks; at most `max` tokens (the rest is dropped).
template <std::size_t N>
int tokenize(const char *p, int size, std::array<Token, N> &tokens)
{
    const char *end = p + size;
    int count = 0;
    while (p < end && count < int(N)) {
        while (p < end && (*p == ' ' || *p == '\t'))
            ++p;
        if (p == end)
            break;
        const char *start = p;
        while (p < end && *p != ' ' && *p != '\t')
            ++p;
        tokens[count++] = Token{start, int(p - start)};
    }
    return count;
}

// A whole number in the base (16, 10 or 2); false for anything else.
bool number(const Token &t, int base, quint64 &value, int maxDigits = 16)
{
    if (t.n == 0 || t.n > maxDigits)
        return false;
    if (base == 16)
        return core::parseHex(t.p, t.n, value);
    value = 0;
    for (int i = 0; i < t.n; ++i) {
        const int v = t.p[i] - '0';
        if (v < 0 || v >= base)
            return false;
        value = value * quint64(base) + quint64(v);
    }
    return true;
}

// Seconds with up to 9 decimals, as microseconds.
bool seconds(const Token &t, qint64 &micros)
{
    return core::parseSeconds(t.p, t.n, micros);
}

// An identifier, "18FEF100x" for an extended one.
bool identifier(const Token &t, int base, quint32 &id, bool &extended)
{
    Token digits = t;
    extended = digits.n > 0 && (digits.p[digits.n - 1] == 'x' || digits.p[digits.n - 1] == 'X');
    if (extended)
        --digits.n;
    quint64 value = 0;
    if (!number(digits, base, value, base == 16 ? 8 : 10) || value > 0xFFFFFFFFu)
        return false;
    id = quint32(value);
    return true;
}

// The local time of "date ..." and "Begin Triggerblock ..." lines: an optional
// weekday, month name, day, time H:MM:SS[.fff], optional AM/PM, year.
bool dateTime(const Token *t, int count, QDateTime &out)
{
    int i = 0;
    if (i < count && t[i].n == 3) {
        for (const char *day : WEEKDAYS) {
            if (t[i].isIgnoringCase(day)) {
                ++i;
                break;
            }
        }
    }
    if (i + 3 > count)
        return false;
    int month = 0;
    for (int m = 0; m < 12; ++m) {
        if (t[i].isIgnoringCase(MONTHS[m]))
            month = m + 1;
    }
    quint64 day = 0;
    if (month == 0 || !number(t[i + 1], 10, day, 2))
        return false;
    const QString timeText = QString::fromLatin1(t[i + 2].p, t[i + 2].n);
    QTime time = QTime::fromString(timeText, QStringLiteral("H:mm:ss.zzz"));
    if (!time.isValid())
        time = QTime::fromString(timeText, QStringLiteral("H:mm:ss"));
    if (!time.isValid())
        return false;
    i += 3;
    if (i < count && (t[i].isIgnoringCase("am") || t[i].isIgnoringCase("pm"))) {
        const bool pm = t[i].isIgnoringCase("pm");
        int hour = time.hour() % 12;
        if (pm)
            hour += 12;
        time = QTime(hour, time.minute(), time.second(), time.msec());
        ++i;
    }
    quint64 year = 0;
    if (i >= count || !number(t[i], 10, year, 4))
        return false;
    const QDate date(int(year), month, int(day));
    if (!date.isValid())
        return false;
    out = QDateTime(date, time);
    return true;
}

class AscReader : public LineReader
{
public:
    AscReader(QIODevice *device, const ReadOptions &options)
        : LineReader(device, options)
    {
    }

protected:
    LineResult readLine(const char *text, int size, CanFrame &frame, QString *why) override
    {
        std::array<Token, 96> t;
        const int count = tokenize(text, size, t);
        if (count == 0)
            return LineResult::Skip;
        const Token &first = t[0];
        if (first.p[0] < '0' || first.p[0] > '9') {
            if (!inBody && ++headerLines > MAX_HEADER_LINES) {
                headerEndless = true;
                return LineResult::End;
            }
            return readHeader(t.data(), count, why);
        }
        inBody = true;

        qint64 micros = 0;
        if (!seconds(first, micros)) {
            *why = QStringLiteral("bad time stamp");
            return LineResult::Bad;
        }
        // Relative times count from the line before, whatever it was.
        const qint64 timeUs = relative ? previousUs + micros : baseUs + micros;
        if (timeUs / 1000000 > core::MAX_WHOLE_SECONDS) {
            *why = QStringLiteral("time beyond %1 s after 1970").arg(core::MAX_WHOLE_SECONDS);
            return LineResult::Bad;
        }
        previousUs = timeUs;
        const bool fd = count > 1 && t[1].is("CANFD");
        if ((count > 2 && t[2].is("ErrorFrame")) || (fd && count > 4 && t[4].is("ErrorFrame")))
            return LineResult::Unsupported;
        // A frame line by its shape: a direction and a frame type where a
        // frame has them, or a channel and an identifier after the time.
        // Any other line after a time is an event of the measurement.
        quint64 channel = 0;
        const bool classic = !fd
                             && ((count > 4 && (t[3].is("Rx") || t[3].is("Tx")) && isFrameType(t[4]))
                                 || (count > 2 && number(t[1], 10, channel, 3) && looksLikeIdentifier(t[2])));
        if (!classic && !fd)
            return LineResult::Skip;

        if (!haveBase) {
            // Without it neither numbers nor times can be read with certainty.
            haveBase = true;
            *why = QStringLiteral("no \"base hex|dec timestamps absolute|relative\" line before the first frame");
            return LineResult::Bad;
        }
        const LineResult result = fd ? readFd(t.data(), count, frame, why) : readClassic(t.data(), count, frame, why);
        if (result != LineResult::Frame)
            return result;
        frame.timeUs = timeUs;
        return LineResult::Frame;
    }

private:
    static bool isFrameType(const Token &t) { return t.is("d") || t.is("r") || t.is("D") || t.is("R"); }

    bool looksLikeIdentifier(const Token &t) const
    {
        quint32 id = 0;
        bool extended = false;
        return identifier(t, base, id, extended);
    }

    LineResult readHeader(const Token *t, int count, QString *why)
    {
        if (t[0].is("date")) {
            QDateTime when;
            if (dateTime(t + 1, count - 1, when)) {
                if (!triggerDate)
                    setBase(when);
            } else {
                setWarning(QStringLiteral("unreadable date line; times count from 1970-01-01"));
            }
            haveDate = true;
            return LineResult::Skip;
        }
        if (t[0].is("base")) {
            if (count < 4 || !(t[1].is("hex") || t[1].is("dec")) || !t[2].is("timestamps")
                || !(t[3].is("absolute") || t[3].is("relative"))) {
                *why = QStringLiteral("the base line reads \"base hex|dec timestamps absolute|relative\"");
                return LineResult::Bad;
            }
            base = t[1].is("hex") ? 16 : 10;
            relative = t[3].is("relative");
            haveBase = true;
            return LineResult::Skip;
        }
        if (t[0].is("Begin") && count > 1 && t[1].isIgnoringCase("Triggerblock")) {
            QDateTime when;
            if (count > 2 && dateTime(t + 2, count - 2, when)) {
                setBase(when);
                triggerDate = true;
            }
            return LineResult::Skip;
        }
        if (t[0].is("End") || t[0].is("internal") || t[0].is("no") || (t[0].n >= 2 && t[0].p[0] == '/'
                                                                         && t[0].p[1] == '/'))
            return LineResult::Skip;
        *why = QStringLiteral("not a line of an ASC log");
        return LineResult::Bad;
    }

    void setBase(const QDateTime &when)
    {
        baseUs = localToEpochMs(when.date(), when.time()) * 1000;
        previousUs = baseUs;
    }

    bool byte(const Token &t, quint8 &value) const
    {
        quint64 v = 0;
        if (!number(t, base, v, base == 16 ? 2 : 3) || v > 255)
            return false;
        value = quint8(v);
        return true;
    }

    // time channel id Rx|Tx d|r dlc bytes... [further fields]
    LineResult readClassic(const Token *t, int count, CanFrame &frame, QString *why)
    {
        frame.reset();
        if (count < 6 || !(t[3].is("Rx") || t[3].is("Tx")) || !isFrameType(t[4])) {
            *why = QStringLiteral("a frame line reads TIME CHANNEL ID Rx|Tx d|r DLC BYTES");
            return LineResult::Bad;
        }
        quint64 channel = 0;
        if (!number(t[1], 10, channel, 3)) {
            *why = QStringLiteral("bad channel \"%1\"").arg(QString::fromLatin1(t[1].p, t[1].n));
            return LineResult::Bad;
        }
        if (!identifier(t[2], base, frame.id, frame.extended)) {
            *why = badIdentifier(t[2]);
            return LineResult::Bad;
        }
        quint64 dlc = 0;
        if (!number(t[5], 16, dlc, 1)) {
            *why = QStringLiteral("bad data length code");
            return LineResult::Bad;
        }
        if (!checkIdentifier(frame, why))
            return LineResult::Bad;
        frame.remote = t[4].is("r") || t[4].is("R");
        frame.remoteLength = frame.remote ? quint8(qMin<quint64>(dlc, CLASSIC_DATA_BYTES)) : 0;
        const int bytes = frame.remote ? 0 : int(qMin<quint64>(dlc, CLASSIC_DATA_BYTES));
        return readBytes(t, count, 6, bytes, frame, why);
    }

    // time CANFD channel Rx|Tx id [name] brs esi dlc length bytes... [further fields]
    LineResult readFd(const Token *t, int count, CanFrame &frame, QString *why)
    {
        frame.reset();
        quint64 channel = 0;
        if (count < 9 || !number(t[2], 10, channel, 3) || !(t[3].is("Rx") || t[3].is("Tx"))
            || !identifier(t[4], base, frame.id, frame.extended)) {
            *why = QStringLiteral("a CAN FD line reads TIME CANFD CHANNEL Rx|Tx ID BRS ESI DLC LENGTH BYTES");
            return LineResult::Bad;
        }
        int at = 5;
        quint64 flag = 0;
        if (!number(t[at], 2, flag, 1))
            ++at; // a symbolic name of the message
        quint64 brs = 0, esi = 0, dlc = 0, length = 0;
        if (at + 4 > count || !number(t[at], 2, brs, 1) || !number(t[at + 1], 2, esi, 1)
            || !number(t[at + 2], 16, dlc, 1) || !number(t[at + 3], 10, length, 2)
            || int(length) != FD_LENGTHS[dlc]) {
            *why = QStringLiteral("bad CAN FD flags, length code or length");
            return LineResult::Bad;
        }
        if (!checkIdentifier(frame, why))
            return LineResult::Bad;
        frame.fd = true;
        frame.fdFlags = quint8((brs ? 1 : 0) | (esi ? 2 : 0));
        return readBytes(t, count, at + 4, int(length), frame, why);
    }

    QString badIdentifier(const Token &t) const
    {
        QString text = QStringLiteral("bad identifier \"%1\"").arg(QString::fromLatin1(t.p, t.n));
        quint32 id = 0;
        bool extended = false;
        if (base == 10 && identifier(t, 16, id, extended))
            text += QStringLiteral(" (the base line says dec; this one is hexadecimal)");
        return text;
    }

    bool checkIdentifier(const CanFrame &frame, QString *why) const
    {
        if (validIdentifier(frame))
            return true;
        *why = frame.extended ? QStringLiteral("extended identifier above 1FFFFFFF")
                              : QStringLiteral("standard identifier above 7FF");
        return false;
    }

    // `bytes` data bytes from token `at` on; whatever follows them must not be
    // one more byte (that would be a length code that disagrees with the data).
    LineResult readBytes(const Token *t, int count, int at, int bytes, CanFrame &frame, QString *why) const
    {
        if (at + bytes > count) {
            *why = QStringLiteral("the data length code says %1 bytes, the line has %2").arg(bytes).arg(count - at);
            return LineResult::Bad;
        }
        for (int i = 0; i < bytes; ++i) {
            quint8 value = 0;
            if (!byte(t[at + i], value)) {
                *why = QStringLiteral("bad data byte \"%1\"").arg(QString::fromLatin1(t[at + i].p, t[at + i].n));
                return LineResult::Bad;
            }
            frame.data.append(char(value));
        }
        quint8 extra = 0;
        if (!frame.fd && at + bytes < count && byte(t[at + bytes], extra)) {
            *why = QStringLiteral("the data length code says %1 bytes, the line has more").arg(bytes);
            return LineResult::Bad;
        }
        return LineResult::Frame;
    }

    bool atEnd(QString *why) override
    {
        if (headerEndless) {
            *why = QStringLiteral("no line with a time stamp in the first %1 lines: the header does not end")
                       .arg(MAX_HEADER_LINES);
            return false;
        }
        if (!haveDate && framesRead() > 0)
            setWarning(QStringLiteral("no date line; times count from 1970-01-01"));
        return true;
    }

    // Lines before the first one with a time stamp (date, base, comments,
    // the trigger block's start): a handful in any log, far fewer than this.
    static constexpr int MAX_HEADER_LINES = 1000;

    int headerLines = 0;
    bool inBody = false;
    bool headerEndless = false;
    int base = 16;
    bool relative = false;
    bool haveBase = false;
    bool haveDate = false;
    bool triggerDate = false;
    qint64 baseUs = 0;
    qint64 previousUs = 0;
};

} // namespace

bool looksLikeAsc(const QByteArray &head)
{
    const QByteArray line = firstTextLine(head);
    return line.startsWith("date ") || line.startsWith("base ") || line.startsWith("//")
           || line.startsWith("Begin Triggerblock");
}

std::unique_ptr<FrameReader> makeAscReader(QIODevice *device, const ReadOptions &options)
{
    return std::make_unique<AscReader>(device, options);
}

} // namespace formats::parts
