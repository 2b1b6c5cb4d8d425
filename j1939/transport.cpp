#include "j1939/transport.h"

#include "core/littleendian.h"
#include "j1939/identifier.h"

#include <algorithm>
#include <cstring>

namespace j1939 {

namespace {

// TP.CM control bytes.
constexpr quint8 RTS = 16;
constexpr quint8 CTS = 17;
constexpr quint8 END_OF_MESSAGE_ACK = 19;
constexpr quint8 BAM = 32;
constexpr quint8 ABORT = 255;

constexpr quint8 TP_CM_PF = quint8(PGN_TP_CONNECTION >> 8);
constexpr quint8 TP_DT_PF = quint8(PGN_TP_DATA >> 8);

constexpr quint16 keyOf(quint8 sender, quint8 receiver)
{
    return quint16((sender << 8) | receiver);
}

quint32 pgnField(const quint8 *data)
{
    return quint32(core::littleEndian(reinterpret_cast<const char *>(data + 5), 3));
}

} // namespace

TransportReassembler::TransportReassembler(int maxOpenSessions)
    : maxSessions(size_t(std::clamp(maxOpenSessions, 1, 32767)))
    , slotOfKey(256)
{
    // The slots are made as sessions need them, in room reserved once, so
    // that a session's place never moves.
    sessions.reserve(maxSessions);
    freeSlots.reserve(maxSessions);
}

const TransportMessage *TransportReassembler::add(qint64 timeUs, quint32 id, const quint8 *data, int size)
{
    // Data page, extended data page and PF in one comparison each.
    const quint32 group = (id >> 16) & 0x3FF;
    if (size != 8 || (group != TP_CM_PF && group != TP_DT_PF))
        return nullptr;
    if (group == TP_DT_PF)
        return dataTransfer(timeUs, id, data);
    return connectionManagement(timeUs, id, data);
}

const TransportMessage *TransportReassembler::connectionManagement(qint64 timeUs, quint32 id, const quint8 *data)
{
    const quint8 from = sourceAddress(id);
    const quint8 to = pduSpecific(id);
    const bool global = to == GLOBAL_ADDRESS;
    switch (data[0]) {
    case BAM:
        if (global)
            announce(timeUs, id, data, true);
        return nullptr;
    case RTS:
        if (!global)
            announce(timeUs, id, data, false);
        return nullptr;
    case CTS: {
        // Sent by the receiver: the session is the one from `to` to `from`.
        Session *s = global ? nullptr : live(keyOf(to, from), timeUs);
        if (!s || s->broadcast) {
            ++totals.stray;
            return nullptr;
        }
        if (repeats(*s, id, data)) {
            ++totals.duplicates;
            return nullptr;
        }
        const int count = data[1];
        const int next = data[2];
        remember(*s, timeUs, id, data);
        if (count == 0) {
            // "Hold the connection open": nothing granted, no timeout.
            s->granted = 0;
            s->timerRunning = false;
            touch(*s);
            return nullptr;
        }
        // An earlier packet asks for a retransmission from there on; a
        // later one than the next cannot be sent.
        if (next < 1 || next > s->nextSequence || next > s->packets) {
            ++totals.incomplete;
            end(*s);
            return nullptr;
        }
        s->nextSequence = next;
        s->bytes.resize(size_t(std::min(s->size, (next - 1) * 7)));
        s->granted = std::min(count, s->packets - next + 1);
        s->timerRunning = true;
        touch(*s);
        return nullptr;
    }
    case ABORT: {
        if (global) {
            ++totals.stray;
            return nullptr;
        }
        // From either side: the sender's own connection first.
        Session *s = live(keyOf(from, to), timeUs);
        if (!s)
            s = live(keyOf(to, from), timeUs);
        if (!s || s->broadcast) {
            ++totals.stray;
            return nullptr;
        }
        ++totals.aborted;
        end(*s);
        return nullptr;
    }
    case END_OF_MESSAGE_ACK:
    default:
        return nullptr;
    }
}

void TransportReassembler::announce(qint64 timeUs, quint32 id, const quint8 *data, bool broadcast)
{
    const quint16 key = keyOf(sourceAddress(id), pduSpecific(id));
    if (Session *running = live(key, timeUs)) {
        if (repeats(*running, id, data)) {
            ++totals.duplicates;
            return;
        }
        ++totals.incomplete;
        end(*running);
    }
    ++(broadcast ? totals.bam : totals.rts);
    const int size = int(core::littleEndian(reinterpret_cast<const char *>(data + 1), 2));
    const int packets = data[3];
    if (size == 0 || size > MAX_MESSAGE_SIZE || size > packets * 7) {
        ++totals.incomplete;
        return;
    }
    const int slot = freeSlot(timeUs);
    Session &s = sessions[size_t(slot)];
    s.inUse = true;
    s.broadcast = broadcast;
    s.timerRunning = broadcast;
    s.key = key;
    s.pgn = pgnField(data);
    s.size = size;
    s.packets = packets;
    s.nextSequence = 1;
    s.granted = 0;
    s.bytes.clear();
    s.bytes.reserve(MAX_MESSAGE_SIZE); // once per slot: later sessions reuse it
    remember(s, timeUs, id, data);
    setSlot(key, slot);
    ++open;
    touch(s);
}

const TransportMessage *TransportReassembler::dataTransfer(qint64 timeUs, quint32 id, const quint8 *data)
{
    Session *s = live(keyOf(sourceAddress(id), pduSpecific(id)), timeUs);
    if (!s) {
        ++totals.stray;
        return nullptr;
    }
    if (repeats(*s, id, data)) {
        ++totals.duplicates;
        return nullptr;
    }
    if (!s->broadcast && s->granted == 0) {
        ++totals.stray;
        return nullptr;
    }
    if (data[0] != s->nextSequence) {
        ++totals.incomplete;
        end(*s);
        return nullptr;
    }
    remember(*s, timeUs, id, data);
    const int take = std::min(7, s->size - int(s->bytes.size()));
    if (take > 0)
        s->bytes.insert(s->bytes.end(), data + 1, data + 1 + take);
    if (s->nextSequence++ == s->packets) {
        message.timeUs = timeUs;
        message.pgn = s->pgn;
        message.source = quint8(s->key >> 8);
        message.destination = quint8(s->key);
        message.data = s->bytes.data(); // the slot is reused at the next announcement only
        message.size = int(s->bytes.size());
        ++totals.complete;
        end(*s);
        return &message;
    }
    if (!s->broadcast && --s->granted == 0)
        s->timerRunning = false; // waits for the next CTS
    touch(*s);
    return nullptr;
}

TransportReassembler::Session *TransportReassembler::live(quint16 key, qint64 timeUs)
{
    const int slot = slotOf(key);
    if (slot < 0)
        return nullptr;
    Session &s = sessions[size_t(slot)];
    if (s.timerRunning && timeUs - s.lastUs > TIMEOUT_US) {
        ++totals.incomplete;
        ++totals.timedOut;
        end(s);
        return nullptr;
    }
    return &s;
}

int TransportReassembler::slotOf(quint16 key) const
{
    const auto &table = slotOfKey[key >> 8];
    return table ? (*table)[key & 0xFF] : -1;
}

void TransportReassembler::setSlot(quint16 key, int slot)
{
    auto &table = slotOfKey[key >> 8];
    if (!table) {
        table = std::make_unique<std::array<qint16, 256>>();
        table->fill(-1);
    }
    (*table)[key & 0xFF] = qint16(slot);
}

bool TransportReassembler::repeats(const Session &s, quint32 id, const quint8 *data)
{
    return s.lastId == id && std::memcmp(s.lastData, data, 8) == 0;
}

void TransportReassembler::remember(Session &s, qint64 timeUs, quint32 id, const quint8 *data)
{
    s.lastUs = timeUs;
    s.lastId = id;
    std::memcpy(s.lastData, data, 8);
}

void TransportReassembler::end(Session &s)
{
    setSlot(s.key, -1);
    s.inUse = false;
    unlink(s);
    freeSlots.push_back(int(&s - sessions.data()));
    --open;
}

void TransportReassembler::unlink(Session &s)
{
    if (s.list < 0)
        return;
    (s.older >= 0 ? sessions[size_t(s.older)].newer : oldest[s.list]) = s.newer;
    (s.newer >= 0 ? sessions[size_t(s.newer)].older : newest[s.list]) = s.older;
    s.older = s.newer = s.list = -1;
}

void TransportReassembler::touch(Session &s)
{
    unlink(s);
    const int self = int(&s - sessions.data());
    s.list = s.timerRunning ? RUNNING : WAITING;
    s.older = newest[s.list];
    if (s.older >= 0)
        sessions[size_t(s.older)].newer = self;
    else
        oldest[s.list] = self;
    newest[s.list] = self;
}

int TransportReassembler::freeSlot(qint64 timeUs)
{
    if (freeSlots.empty() && sessions.size() < maxSessions) {
        sessions.emplace_back();
        return int(sessions.size()) - 1;
    }
    if (freeSlots.empty()) {
        // Every slot taken: the sessions whose timeout ran out end first,
        // else the connection that has waited longest for a CTS (no timeout
        // ends those), else the idlest session.
        while (oldest[RUNNING] >= 0) {
            Session &s = sessions[size_t(oldest[RUNNING])];
            if (timeUs - s.lastUs <= TIMEOUT_US)
                break;
            ++totals.incomplete;
            ++totals.timedOut;
            end(s);
        }
        if (freeSlots.empty()) {
            ++totals.incomplete;
            ++totals.evicted;
            end(sessions[size_t(oldest[oldest[WAITING] >= 0 ? WAITING : RUNNING])]);
        }
    }
    const int slot = freeSlots.back();
    freeSlots.pop_back();
    return slot;
}

void TransportReassembler::finish()
{
    for (Session &s : sessions) {
        if (s.inUse) {
            ++totals.incomplete;
            end(s);
        }
    }
}

} // namespace j1939
