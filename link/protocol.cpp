#include "protocol.h"

#include <QDateTime>

#include <algorithm>
#include <climits>
#include <ctime>

namespace wire {

namespace {

const char HEX_DIGITS[] = "0123456789ABCDEF";

// Sent in place of every identifier byte 0x0D of the filter-list command.
const char CR_ESCAPE[] = {0x0D, 0x0D, 0x0A, 'E', 'R', 'R', 'O', 'R', 0x0D, 0x0A};

inline quint8 byteAt(const char *frame, int offset)
{
    return static_cast<quint8>(frame[offset]);
}

// Low 8 bits of the sum of bytes [first, last] of data (last inclusive).
quint8 additiveChecksum(const char *data, int first, int last)
{
    unsigned sum = 0;
    for (int i = first; i <= last; ++i)
        sum += static_cast<quint8>(data[i]);
    return static_cast<quint8>(sum);
}

void putLittleEndian(QByteArray &bytes, int offset, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

QString identifierText(quint32 id, bool standard)
{
    int digits = 1;
    for (quint32 v = id >> 4; v != 0; v >>= 4)
        ++digits;
    const int width = std::max(digits, standard ? 3 : 8);
    QString text(width, Qt::Uninitialized);
    QChar *out = text.data() + width;
    quint32 v = id;
    for (int i = 0; i < width; ++i) {
        *--out = QLatin1Char(HEX_DIGITS[v & 0xF]);
        v >>= 4;
    }
    return text;
}

// Data length byte read as signed 8 bits. A negative length cannot describe any
// data and is treated as an empty payload; 1..127 is taken as it is, positions
// past the end of the frame reading as zero.
QString payloadText(const char *frame)
{
    int length = static_cast<qint8>(byteAt(frame, 9));
    if (length <= 0)
        return QString();
    QString text(length * 3, Qt::Uninitialized);
    QChar *out = text.data();
    for (int k = 0; k < length; ++k) {
        const int pos = 10 + k;
        const quint8 b = pos < FRAME_SIZE ? byteAt(frame, pos) : 0;
        out[0] = QLatin1Char(HEX_DIGITS[b >> 4]);
        out[1] = QLatin1Char(HEX_DIGITS[b & 0xF]);
        out[2] = QLatin1Char(' ');
        out += 3;
    }
    return text;
}

struct CanRate {
    const char *text;
    quint8 command;
    quint8 rateCode;
    quint8 timing14, timing15, timing16;
};

const CanRate CAN_RATES[] = {
    {"33.333 kbps", 0x03, 0x00, 0x05, 0x04, 0x5A},
    {"50 kbps", 0x02, 0x09, 0x00, 0x00, 0x00},
    {"83.333 kbps", 0x03, 0x00, 0x05, 0x04, 0x24},
    {"100 kbps", 0x02, 0x08, 0x00, 0x00, 0x00},
    {"125 kbps", 0x02, 0x07, 0x00, 0x00, 0x00},
    {"250 kbps", 0x02, 0x05, 0x00, 0x00, 0x00},
    {"500 kbps", 0x02, 0x03, 0x00, 0x00, 0x00},
};

} // namespace

bool isValidFrame(const char *frame)
{
    if (byteAt(frame, 0) != 0xAA && byteAt(frame, 1) != 0x55)
        return false;
    return additiveChecksum(frame, 2, 17) == byteAt(frame, 19);
}

bool isValidFrame(const QByteArray &bytes)
{
    return bytes.size() == FRAME_SIZE && isValidFrame(bytes.constData());
}

bool isValidFrame(const AdapterFrame &frame)
{
    return isValidFrame(frame.bytes);
}

CanMessage parseFrame(const char *frame, const QString &timestamp)
{
    CanMessage message;
    message.id = quint32(byteAt(frame, 5)) | (quint32(byteAt(frame, 6)) << 8)
                 | (quint32(byteAt(frame, 7)) << 16) | (quint32(byteAt(frame, 8)) << 24);
    message.record.reserve(3);
    message.record.append(timestamp);
    message.record.append(identifierText(message.id, byteAt(frame, 3) == 1));
    message.record.append(payloadText(frame));
    return message;
}

CanMessage parseFrame(const QByteArray &bytes, const QString &timestamp)
{
    if (bytes.size() >= FRAME_SIZE)
        return parseFrame(bytes.constData(), timestamp);
    // A short slice never passes isValidFrame; parse it as if zero-filled.
    char padded[FRAME_SIZE] = {};
    std::copy(bytes.constBegin(), bytes.constEnd(), padded);
    return parseFrame(padded, timestamp);
}

CanMessage parseFrame(const AdapterFrame &frame)
{
    return parseFrame(frame.bytes, frame.timestamp);
}

QString currentTimestamp()
{
    // Same text as QTime::currentTime().toString("HH:mm:ss.zzz"), built without
    // the format parser. The local time of day is recomputed once per second
    // (UTC offsets change only at whole seconds), and a text already made in the
    // same millisecond is handed out again as a shared copy.
    struct Cache {
        qint64 second = LLONG_MIN;
        qint64 msec = LLONG_MIN;
        char prefix[9] = {}; // "HH:mm:ss."
        QString text;
    };
    thread_local Cache cache;

    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now == cache.msec)
        return cache.text;

    qint64 second = now / 1000;
    int millis = int(now % 1000);
    if (millis < 0) {
        millis += 1000;
        --second;
    }
    if (second != cache.second) {
        tzset();
        const time_t t = static_cast<time_t>(second);
        struct tm local = {};
        localtime_r(&t, &local);
        const int fields[3] = {local.tm_hour, local.tm_min, local.tm_sec};
        for (int i = 0; i < 3; ++i) {
            cache.prefix[3 * i] = char('0' + fields[i] / 10);
            cache.prefix[3 * i + 1] = char('0' + fields[i] % 10);
            cache.prefix[3 * i + 2] = i < 2 ? ':' : '.';
        }
        cache.second = second;
    }

    QString text(12, Qt::Uninitialized);
    QChar *out = text.data();
    for (int i = 0; i < 9; ++i)
        out[i] = QLatin1Char(cache.prefix[i]);
    out[9] = QLatin1Char(char('0' + millis / 100));
    out[10] = QLatin1Char(char('0' + millis / 10 % 10));
    out[11] = QLatin1Char(char('0' + millis % 10));
    cache.msec = now;
    cache.text = text;
    return text;
}

int frameStartOffset(const QByteArray &buffer)
{
    // A frame start is a byte 0xAA, or any byte whose next byte is 0x55. The last
    // byte of the buffer has no next byte, so it is a start only if it is 0xAA:
    // a frame beginning xx 55 whose first byte arrives alone is lost.
    const int size = buffer.size();
    const auto *bytes = reinterpret_cast<const quint8 *>(buffer.constData());
    for (int i = 0; i < size; ++i) {
        if (bytes[i] == 0xAA || (i + 1 < size && bytes[i + 1] == 0x55))
            return i;
    }
    return size;
}

QByteArray buildConfigurationCommand(const QString &canRateText, bool extendedId,
                                     quint32 filterId, quint32 maskId)
{
    const CanRate *rate = nullptr;
    for (const CanRate &candidate : CAN_RATES) {
        if (canRateText == QLatin1String(candidate.text)) {
            rate = &candidate;
            break;
        }
    }
    if (!rate)
        return QByteArray();

    QByteArray command(FRAME_SIZE, '\0');
    command[0] = char(0xAA);
    command[1] = char(0x55);
    command[2] = char(rate->command);
    command[3] = char(rate->rateCode);
    command[4] = char(extendedId ? 0x02 : 0x01);
    putLittleEndian(command, 5, filterId);
    putLittleEndian(command, 9, maskId);
    command[13] = char(0x02);
    command[14] = char(rate->timing14);
    command[15] = char(rate->timing15);
    command[16] = char(rate->timing16);
    command[19] = char(additiveChecksum(command.constData(), 2, 18));
    return command;
}

QByteArray buildFilterListCommand(bool exclude, bool switchOn, const QStringList &entries)
{
    QByteArray command;
    command.reserve(5 + (switchOn ? 4 * entries.size() : 0));
    command.append(char(0xAA));
    command.append(char(0x55));
    command.append(char(exclude ? 0x11 : 0x10));
    command.append(char(switchOn ? (entries.size() & 0xFF) : 0));
    if (switchOn) {
        for (const QString &entry : entries) {
            bool ok = false;
            int value = entry.toInt(&ok, 16); // above 7FFFFFFF or not hex: 0
            if (!ok)
                value = 0;
            const quint32 bits = static_cast<quint32>(value);
            for (int i = 0; i < 4; ++i) {
                const char b = char((bits >> (8 * i)) & 0xFF);
                if (b == 0x0D)
                    command.append(CR_ESCAPE, int(sizeof(CR_ESCAPE)));
                else
                    command.append(b);
            }
        }
    }
    const int last = std::min(18, command.size() - 1);
    command.append(char(additiveChecksum(command.constData(), 2, last)));
    return command;
}

QByteArray buildAdapterFrame(quint32 id, bool standardId, const QByteArray &data, int lengthByte)
{
    QByteArray frame(FRAME_SIZE, '\0');
    frame[0] = char(0xAA);
    frame[1] = char(0x55);
    frame[3] = char(standardId ? 1 : 2);
    putLittleEndian(frame, 5, id);
    frame[9] = char((lengthByte >= 0 ? lengthByte : data.size()) & 0xFF);
    const int count = std::min(data.size(), 8);
    for (int i = 0; i < count; ++i)
        frame[10 + i] = data[i];
    frame[19] = char(additiveChecksum(frame.constData(), 2, 17));
    return frame;
}

} // namespace wire
