#pragma once

// What a recording of a J1939 bus holds, gathered a frame at a time: the
// control units (frames and parameter groups per source address), their
// address claims, the transport sessions and the multi-packet messages
// they carried, the vehicle, component and software identifications, and
// the fault codes of the DM1 messages. Standard (11-bit) frames are counted
// and otherwise left out: they are not J1939.
//
// Memory does not grow with the length of the input: the transport
// reassembler has a fixed size, and each table below keeps at most a fixed
// number of distinct entries (further ones are counted in dropped()).

#include "j1939/addressclaim.h"
#include "j1939/identification.h"
#include "j1939/transport.h"

#include <QHash>
#include <QMap>
#include <QStringList>
#include <QVector>

namespace j1939 {

struct SourceSummary {
    quint8 address = 0;
    qint64 frames = 0;
    QMap<quint32, qint64> pgnFrames; // PGN -> frames, transport PGNs included
};

struct AddressClaimSummary {
    quint8 address = 0;
    ControlUnitName name;
};

struct MessageSummary {
    quint8 address = 0;
    quint32 pgn = 0;
    qint64 count = 0;    // complete multi-packet messages
    int maxLength = 0;
};

struct FaultSummary {
    quint8 address = 0;
    quint32 spn = 0;
    quint8 fmi = 0;
    quint8 occurrences = 0; // the last seen
    qint64 firstUs = 0;     // absolute times of the first and last message with it
    qint64 lastUs = 0;
    qint64 messages = 0;    // DM1 messages that carried it
};

template <typename Value>
struct PerSource {
    quint8 address = 0;
    Value value;
};

class BusSummary
{
public:
    static constexpr int MAX_IDENTIFIERS = 65536;
    static constexpr int MAX_MESSAGE_KINDS = 4096;  // distinct sender and PGN pairs
    static constexpr int MAX_FAULTS = 4096;         // distinct sender, SPN and FMI
    static constexpr int MAX_VALUES_PER_SOURCE = 16; // distinct names and texts of one sender

    // One frame; data are the frame's bytes.
    void add(qint64 timeUs, quint32 id, bool extended, const quint8 *data, int size);
    // The end of the input (closes the open transport sessions).
    void finish();

    qint64 frames() const { return frameCount; }
    qint64 extendedFrames() const { return extendedCount; }
    qint64 firstUs() const { return first; }
    qint64 lastUs() const { return last; }
    qint64 dropped() const { return droppedCount; }
    // Distinct extended identifiers (at most MAX_IDENTIFIERS).
    int identifiers() const { return identifierFrames.size(); }

    QVector<SourceSummary> sources() const;               // by address
    QVector<AddressClaimSummary> addressClaims() const;   // by address, then first claimed
    const TransportCounts &transport() const { return reassembler.counts(); }
    QVector<MessageSummary> messages() const;             // by address, then PGN
    QVector<PerSource<QString>> vins() const;             // by address, then first seen
    QVector<PerSource<ComponentIdentification>> components() const;
    QVector<PerSource<QStringList>> software() const;
    QVector<FaultSummary> faults() const;                 // by address, SPN, FMI

private:
    void content(qint64 timeUs, quint8 source, quint32 pgn, const quint8 *data, int size);
    void diagnostics(qint64 timeUs, quint8 source, const quint8 *data, int size);
    template <typename Value>
    void keep(QMap<quint8, QVector<Value>> &table, quint8 source, const Value &value);

    qint64 frameCount = 0;
    qint64 extendedCount = 0;
    qint64 first = 0;
    qint64 last = 0;
    qint64 droppedCount = 0;
    qint64 sourceFrames[256] = {};
    QHash<quint32, qint64> identifierFrames;
    TransportReassembler reassembler;
    struct MessageCount {
        qint64 count = 0;
        int maxLength = 0;
    };
    QMap<quint64, MessageCount> messageCounts;  // source << 32 | PGN
    QMap<quint64, FaultSummary> faultTable;     // source << 32 | SPN << 5 | FMI
    QMap<quint8, QVector<quint64>> claims;
    QMap<quint8, QVector<QString>> vinTable;
    QMap<quint8, QVector<ComponentIdentification>> componentTable;
    QMap<quint8, QVector<QStringList>> softwareTable;
};

} // namespace j1939
