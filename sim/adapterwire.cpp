#include "sim/adapterwire.h"

#include "core/littleendian.h"
#include "link/protocol.h"

#include <algorithm>

namespace sim {

namespace {

// A filter list longer than this is not believed (and its bytes not kept).
constexpr int MAX_FILTER_IDS = 1 << 20;
constexpr int MAX_PENDING_BYTES = 4 * MAX_FILTER_IDS * 2;

inline quint8 at(const QByteArray &b, int i)
{
    return quint8(b.at(i));
}

quint32 littleEndianAt(const QByteArray &bytes, int offset)
{
    return quint32(core::littleEndian(bytes.constData() + offset, 4));
}

} // namespace

QByteArray buildAdapterFrame(quint32 id, bool standardId, const QByteArray &data, int lengthByte)
{
    QByteArray frame(wire::FRAME_SIZE, '\0');
    frame[0] = char(wire::START_BYTE_0);
    frame[1] = char(wire::START_BYTE_1);
    frame[wire::FRAME_KIND] = char(standardId ? wire::STANDARD_KIND : wire::EXTENDED_KIND);
    core::putLittleEndian(frame.data() + wire::FRAME_ID, id, 4);
    frame[wire::FRAME_LENGTH] = char((lengthByte >= 0 ? lengthByte : data.size()) & 0xFF);
    const int count = std::min(int(data.size()), wire::FRAME_DATA_BYTES);
    for (int i = 0; i < count; ++i)
        frame[wire::FRAME_DATA + i] = data[i];
    frame[wire::FRAME_CHECKSUM] =
        char(wire::checksum(frame.constData(), wire::FRAME_SUM_FIRST, wire::FRAME_SUM_LAST));
    return frame;
}

QString AdapterCommand::canRateText() const
{
    if (const wire::CanRate *rate = wire::canRateOfCommand(command, rateCode, timing))
        return QString::fromLatin1(rate->name);
    if (command == wire::CONFIG_TIMING_COMMAND)
        return QStringLiteral("timing 0x%1").arg(timing[2], 2, 16, QLatin1Char('0'));
    return QStringLiteral("code 0x%1").arg(rateCode, 2, 16, QLatin1Char('0'));
}

void AdapterCommandParser::dropHead(int count)
{
    count = std::min(count, buffer.size());
    buffer.remove(0, count);
    ignored += quint64(count);
}

std::vector<AdapterCommand> AdapterCommandParser::feed(const QByteArray &bytes)
{
    std::vector<AdapterCommand> out;
    buffer.append(bytes);
    const bool tooMuch = buffer.size() > MAX_PENDING_BYTES;
    while (!buffer.isEmpty()) {
        if (parseHead(out, tooMuch) == Step::NeedMore)
            break;
    }
    return out;
}

std::vector<AdapterCommand> AdapterCommandParser::flush()
{
    std::vector<AdapterCommand> out;
    while (!buffer.isEmpty())
        parseHead(out, true);
    return out;
}

AdapterCommandParser::Step AdapterCommandParser::parseHead(std::vector<AdapterCommand> &out,
                                                           bool final)
{
    const int size = buffer.size();

    // Resynchronise on the next AA 55.
    int start = -1;
    for (int i = 0; i + 1 < size; ++i) {
        if (at(buffer, i) == wire::START_BYTE_0 && at(buffer, i + 1) == wire::START_BYTE_1) {
            start = i;
            break;
        }
    }
    if (start < 0) {
        // A last AA may be the first half of a start.
        const bool keepLast = !final && at(buffer, size - 1) == wire::START_BYTE_0;
        dropHead(keepLast ? size - 1 : size);
        return keepLast ? Step::NeedMore : Step::Done;
    }
    if (start > 0) {
        dropHead(start);
        return Step::Done;
    }

    if (size < 3) {
        if (!final)
            return Step::NeedMore;
        dropHead(1);
        return Step::Done;
    }
    const quint8 kind = at(buffer, 2);
    if (kind == wire::FILTER_SHOW_LISTED || kind == wire::FILTER_EXCLUDE_LISTED)
        return parseFilterList(out, final);
    if (kind != wire::CONFIG_COMMAND && kind != wire::CONFIG_TIMING_COMMAND) {
        dropHead(1);
        return Step::Done;
    }

    if (size < wire::CONFIG_SIZE) {
        if (!final)
            return Step::NeedMore;
        dropHead(1);
        return Step::Done;
    }
    if (wire::checksum(buffer.constData(), wire::CONFIG_SUM_FIRST, wire::CONFIG_SUM_LAST)
        != at(buffer, wire::CONFIG_CHECKSUM)) {
        dropHead(1); // not a command: look for the next start
        return Step::Done;
    }
    AdapterCommand c;
    c.kind = AdapterCommand::Configuration;
    c.command = kind;
    c.rateCode = at(buffer, wire::CONFIG_CODE);
    c.idKind = at(buffer, wire::CONFIG_ID_KIND);
    c.filterId = littleEndianAt(buffer, wire::CONFIG_FILTER);
    c.maskId = littleEndianAt(buffer, wire::CONFIG_MASK);
    for (int i = 0; i < 3; ++i)
        c.timing[i] = at(buffer, wire::CONFIG_TIMING + i);
    out.push_back(c);
    buffer.remove(0, wire::CONFIG_SIZE);
    return Step::Done;
}

AdapterCommandParser::Step AdapterCommandParser::parseFilterList(std::vector<AdapterCommand> &out,
                                                                 bool final)
{
    // The count byte only gives the number of identifiers modulo 256, so every
    // length N, N + 256, ... whose checksum matches is a candidate; the walk goes
    // over the identifier bytes (undoing the 0x0D escape) for as long as the
    // bytes can belong to the command.
    const int size = buffer.size();
    if (size <= wire::FILTER_COUNT) {
        if (!final)
            return Step::NeedMore;
        dropHead(1);
        return Step::Done;
    }
    const int countByte = at(buffer, wire::FILTER_COUNT);
    QVector<quint32> ids;
    quint32 current = 0;
    int logical = 0;           // identifier bytes read
    int pos = wire::FILTER_IDS; // physical position of the next byte
    int bestEnd = -1;
    int bestCount = -1;
    auto checkCandidate = [&]() {
        const int count = logical / 4;
        if (count % 256 != countByte || pos >= size)
            return;
        const int last = std::min(wire::FILTER_SUM_LAST, pos - 1);
        if (wire::checksum(buffer.constData(), wire::FILTER_SUM_FIRST, last) == at(buffer, pos)) {
            bestEnd = pos + 1;
            bestCount = count;
        }
    };
    checkCandidate();
    bool ranOut = false;
    for (;;) {
        if (pos >= size) {
            ranOut = true;
            break;
        }
        const quint8 b = at(buffer, pos);
        if (b == quint8(wire::ESCAPED_BYTE)) {
            // Must be followed by the rest of the escape.
            const int available = std::min(wire::CR_ESCAPE_SIZE, size - pos);
            bool matches = true;
            for (int i = 1; i < available; ++i) {
                if (buffer.at(pos + i) != wire::CR_ESCAPE[i]) {
                    matches = false;
                    break;
                }
            }
            if (!matches)
                break;
            if (available < wire::CR_ESCAPE_SIZE) {
                ranOut = true;
                break;
            }
            pos += wire::CR_ESCAPE_SIZE;
        } else {
            pos += 1;
        }
        current |= quint32(b) << (8 * (logical % 4));
        ++logical;
        if (logical % 4 == 0) {
            ids.append(current);
            current = 0;
            checkCandidate();
            if (ids.size() >= MAX_FILTER_IDS)
                break;
        }
    }

    bool accept = false;
    if (bestEnd > 0) {
        if (!ranOut || final || bestEnd == size)
            accept = true;
        else if (size >= bestEnd + 2 && at(buffer, bestEnd) == wire::START_BYTE_0
                 && at(buffer, bestEnd + 1) == wire::START_BYTE_1)
            accept = true; // the next command follows
    }
    if (accept) {
        AdapterCommand c;
        c.kind = AdapterCommand::FilterList;
        c.exclude = at(buffer, 2) == wire::FILTER_EXCLUDE_LISTED;
        c.countByte = quint8(countByte);
        ids.resize(bestCount);
        c.ids = ids;
        out.push_back(c);
        buffer.remove(0, bestEnd);
        return Step::Done;
    }
    if (ranOut && !final)
        return Step::NeedMore;
    dropHead(1);
    return Step::Done;
}

} // namespace sim
