#include "tools/fuzz/slcanmodel.h"

#include "core/hex.h"

namespace fuzz {

namespace {

constexpr int LONGEST_COMMAND = 32;

// The adapter's rate that S0..S8 (10k 20k 50k 100k 125k 250k 500k 800k 1M) names.
const wire::CanRate *setupRate(int n)
{
    static const char *const names[9] = {nullptr,    nullptr,    "50 kbps", "100 kbps", "125 kbps",
                                          "250 kbps", "500 kbps", nullptr,   nullptr};
    return names[n] ? wire::findCanRate(QString::fromLatin1(names[n])) : nullptr;
}

} // namespace

SlcanModel::SlcanModel(const wire::CanRate *fixed)
    : fixedRate(fixed)
{
}

void SlcanModel::reset()
{
    chosenRate = nullptr;
    channelOpen = false;
    stamps = false;
    code = 0;
    mask = 0xFFFFFFFF;
    overruns = 0;
    pending.clear();
}

bool SlcanModel::hex(const QByteArray &digits, int count, quint32 &value) const
{
    quint64 v = 0;
    if (digits.size() != count || !core::parseHex(digits.constData(), count, v))
        return false;
    value = quint32(v);
    return true;
}

void SlcanModel::receive(const QByteArray &bytes, bool writeFails, QByteArray &reply,
                         QVector<const wire::CanRate *> *opens)
{
    for (const char c : bytes) {
        if (c != '\r') {
            pending.append(c);
            continue;
        }
        ++commands;
        const bool done = pending.size() <= LONGEST_COMMAND && run(pending, writeFails, reply, opens);
        reply.append(done ? '\r' : '\a');
        if (!done)
            ++refused;
        pending.clear();
    }
    if (pending.size() > LONGEST_COMMAND + 1)
        pending.truncate(LONGEST_COMMAND + 1); // refused whatever follows
}

bool SlcanModel::run(const QByteArray &command, bool writeFails, QByteArray &reply,
                     QVector<const wire::CanRate *> *opens)
{
    if (command.isEmpty())
        return true;
    const char letter = command.at(0);
    const QByteArray rest = command.mid(1);
    quint32 value = 0;
    switch (letter) {
    case 'S':
        if (rest.size() != 1 || rest.at(0) < '0' || rest.at(0) > '8' || channelOpen)
            return false;
        if (fixedRate)
            return true;
        if (!setupRate(rest.at(0) - '0'))
            return false;
        chosenRate = setupRate(rest.at(0) - '0');
        return true;
    case 's':
        return hex(rest, 4, value) && !channelOpen && fixedRate;
    case 'O':
    case 'L': {
        const wire::CanRate *use = fixedRate ? fixedRate : chosenRate;
        if (!rest.isEmpty() || channelOpen || !use)
            return false;
        opens->append(use);
        if (writeFails)
            return false;
        channelOpen = true;
        return true;
    }
    case 'C':
        if (!rest.isEmpty())
            return false;
        channelOpen = false;
        return true;
    case 'V':
    case 'v':
    case 'N':
        if (!rest.isEmpty())
            return false;
        reply.append(letter);
        reply.append(letter == 'N' ? "VX01" : "0101");
        return true;
    case 'F':
        if (!rest.isEmpty())
            return false;
        reply.append(overruns > 0 ? "F08" : "F00");
        overruns = 0;
        return true;
    case 'Z':
        if (rest != "0" && rest != "1")
            return false;
        stamps = rest == "1";
        return true;
    case 'M':
        if (!hex(rest, 8, value) || channelOpen)
            return false;
        code = value;
        return true;
    case 'm':
        // The remote bit of a standard frame and the data bytes must be "don't care".
        if (!hex(rest, 8, value) || channelOpen || (value & 0x0010FFFF) != 0x0010FFFF)
            return false;
        mask = value;
        return true;
    case 't':
    case 'T':
    case 'r':
    case 'R':
        ++transmitRefused;
        return false;
    default:
        return false;
    }
}

QByteArray SlcanModel::frameLine(qint64 timeUs, quint32 id, bool standard, int length, const char *data)
{
    if (!channelOpen)
        return QByteArray();
    if (id > (standard ? 0x7FFu : 0x1FFFFFFFu)) {
        ++outOfRange;
        return QByteArray();
    }
    // Standard frames are compared on register bits 31..21, extended ones on
    // 31..3; the mask's 1 bits are "don't care".
    const quint32 frameBits = standard ? id << 21 : id << 3;
    const quint32 compared = ~mask & (standard ? 0xFFE00000u : 0xFFFFFFF8u);
    if (((frameBits ^ code) & compared) != 0) {
        ++filtered;
        return QByteArray();
    }
    if (length > 8) {
        ++cut;
        length = 8;
    }
    QByteArray line(1, standard ? 't' : 'T');
    line += QByteArray::number(id, 16).toUpper().rightJustified(standard ? 3 : 8, '0');
    line += QByteArray::number(length);
    line += QByteArray(data, length).toHex().toUpper();
    if (stamps) {
        qint64 ms = (timeUs / 1000) % 60000;
        if (ms < 0)
            ms += 60000;
        line += QByteArray::number(ms, 16).toUpper().rightJustified(4, '0');
    }
    ++forwarded;
    return line + '\r';
}

} // namespace fuzz
