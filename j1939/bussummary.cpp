#include "j1939/bussummary.h"

#include "j1939/diagnostics.h"
#include "j1939/identifier.h"

#include <QVarLengthArray>

namespace j1939 {

void BusSummary::add(qint64 timeUs, quint32 id, bool extended, const quint8 *data, int size)
{
    if (frameCount++ == 0)
        first = timeUs;
    last = timeUs;
    if (!extended)
        return;
    ++extendedCount;
    const quint8 source = sourceAddress(id);
    ++sourceFrames[source];
    auto counted = identifierFrames.find(id);
    if (counted != identifierFrames.end())
        ++counted.value();
    else if (identifierFrames.size() < MAX_IDENTIFIERS)
        identifierFrames.insert(id, 1);
    else
        ++droppedCount;

    const quint32 group = pgn(id);
    if (group == PGN_TP_CONNECTION || group == PGN_TP_DATA) {
        if (const TransportMessage *message = reassembler.add(timeUs, id, data, size)) {
            const quint64 key = (quint64(message->source) << 32) | message->pgn;
            auto it = messageCounts.find(key);
            if (it == messageCounts.end()) {
                if (messageCounts.size() >= MAX_MESSAGE_KINDS) {
                    ++droppedCount;
                    return;
                }
                it = messageCounts.insert(key, {});
            }
            ++it->count;
            it->maxLength = qMax(it->maxLength, message->size);
            content(message->timeUs, message->source, message->pgn, message->data, message->size);
        }
        return;
    }
    if (group == PGN_ADDRESS_CLAIMED) {
        ControlUnitName name;
        if (controlUnitName(data, size, name))
            keep(claims, source, name.value);
        return;
    }
    content(timeUs, source, group, data, size);
}

void BusSummary::finish()
{
    reassembler.finish();
}

void BusSummary::content(qint64 timeUs, quint8 source, quint32 pgn, const quint8 *data, int size)
{
    switch (pgn) {
    case PGN_DM1:
        diagnostics(timeUs, source, data, size);
        break;
    case PGN_VEHICLE_ID: {
        const QString vin = vehicleIdentification(data, size);
        if (!vin.isEmpty())
            keep(vinTable, source, vin);
        break;
    }
    case PGN_COMPONENT_ID: {
        const ComponentIdentification component = componentIdentification(data, size);
        if (!(component == ComponentIdentification()))
            keep(componentTable, source, component);
        break;
    }
    case PGN_SOFTWARE_ID: {
        const QStringList ids = softwareIdentification(data, size);
        if (!ids.isEmpty())
            keep(softwareTable, source, ids);
        break;
    }
    default:
        break;
    }
}

void BusSummary::diagnostics(qint64 timeUs, quint8 source, const quint8 *data, int size)
{
    const int slots = troubleCodeSlots(size);
    QVarLengthArray<quint64, 16> seen; // a code twice in one message counts one message
    TroubleCode code;
    for (int i = 0; i < slots; ++i) {
        if (!troubleCode(data, i, code))
            continue;
        const quint64 key = (quint64(source) << 32) | (quint64(code.spn) << 5) | code.fmi;
        const bool again = seen.contains(key);
        if (!again)
            seen.append(key);
        auto it = faultTable.find(key);
        if (it == faultTable.end()) {
            if (faultTable.size() >= MAX_FAULTS) {
                ++droppedCount;
                continue;
            }
            FaultSummary fault;
            fault.address = source;
            fault.spn = code.spn;
            fault.fmi = code.fmi;
            fault.firstUs = timeUs;
            it = faultTable.insert(key, fault);
        }
        it->occurrences = code.occurrences;
        it->lastUs = timeUs;
        if (!again)
            ++it->messages;
    }
}

template <typename Value>
void BusSummary::keep(QMap<quint8, QVector<Value>> &table, quint8 source, const Value &value)
{
    QVector<Value> &values = table[source];
    if (values.contains(value))
        return;
    if (values.size() >= MAX_VALUES_PER_SOURCE) {
        ++droppedCount;
        return;
    }
    values.append(value);
}

QVector<SourceSummary> BusSummary::sources() const
{
    QVector<SourceSummary> out;
    QMap<quint8, int> index;
    for (int address = 0; address < 256; ++address) {
        if (sourceFrames[address] == 0)
            continue;
        index.insert(quint8(address), out.size());
        SourceSummary source;
        source.address = quint8(address);
        source.frames = sourceFrames[address];
        out.append(source);
    }
    for (auto it = identifierFrames.cbegin(); it != identifierFrames.cend(); ++it)
        out[index.value(sourceAddress(it.key()))].pgnFrames[pgn(it.key())] += it.value();
    return out;
}

QVector<AddressClaimSummary> BusSummary::addressClaims() const
{
    QVector<AddressClaimSummary> out;
    for (auto it = claims.cbegin(); it != claims.cend(); ++it) {
        for (quint64 value : it.value())
            out.append({it.key(), controlUnitName(value)});
    }
    return out;
}

QVector<MessageSummary> BusSummary::messages() const
{
    QVector<MessageSummary> out;
    for (auto it = messageCounts.cbegin(); it != messageCounts.cend(); ++it)
        out.append({quint8(it.key() >> 32), quint32(it.key()), it->count, it->maxLength});
    return out;
}

namespace {

template <typename Value>
QVector<PerSource<Value>> flatten(const QMap<quint8, QVector<Value>> &table)
{
    QVector<PerSource<Value>> out;
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        for (const Value &value : it.value())
            out.append({it.key(), value});
    }
    return out;
}

} // namespace

QVector<PerSource<QString>> BusSummary::vins() const
{
    return flatten(vinTable);
}

QVector<PerSource<ComponentIdentification>> BusSummary::components() const
{
    return flatten(componentTable);
}

QVector<PerSource<QStringList>> BusSummary::software() const
{
    return flatten(softwareTable);
}

QVector<FaultSummary> BusSummary::faults() const
{
    return faultTable.values().toVector();
}

} // namespace j1939
