#include "tools/fuzz/transportmodel.h"

#include <algorithm>
#include <cstring>

namespace fuzz {

namespace {

constexpr quint16 keyOf(quint8 sender, quint8 receiver)
{
    return quint16((sender << 8) | receiver);
}

} // namespace

TransportModel::TransportModel(int maxOpenSessions)
    : maxOpen(std::clamp(maxOpenSessions, 1, 32767))
{
}

TransportModel::Session *TransportModel::live(quint16 key, qint64 timeUs)
{
    const auto it = sessions.find(key);
    if (it == sessions.end())
        return nullptr;
    if (it->second.timerRunning && timeUs - it->second.lastUs > j1939::TransportReassembler::TIMEOUT_US) {
        ++totals.incomplete;
        ++totals.timedOut;
        sessions.erase(it);
        return nullptr;
    }
    return &it->second;
}

void TransportModel::remember(Session &s, qint64 timeUs, quint32 id, const quint8 *data)
{
    s.lastUs = timeUs;
    s.lastId = id;
    std::memcpy(s.lastData, data, 8);
}

void TransportModel::touch(Session &s)
{
    s.touched = ++clock;
    s.runningWhenTouched = s.timerRunning;
}

std::map<quint16, TransportModel::Session>::iterator TransportModel::oldest(bool running)
{
    auto found = sessions.end();
    for (auto it = sessions.begin(); it != sessions.end(); ++it) {
        if (it->second.runningWhenTouched == running
            && (found == sessions.end() || it->second.touched < found->second.touched))
            found = it;
    }
    return found;
}

void TransportModel::makeRoom(qint64 timeUs)
{
    if (int(sessions.size()) < maxOpen)
        return;
    // Sessions whose time ran out, from the one touched longest ago, up to
    // the first one whose time has not.
    for (auto it = oldest(true); it != sessions.end(); it = oldest(true)) {
        if (timeUs - it->second.lastUs <= j1939::TransportReassembler::TIMEOUT_US)
            break;
        ++totals.incomplete;
        ++totals.timedOut;
        sessions.erase(it);
    }
    if (int(sessions.size()) < maxOpen)
        return;
    auto victim = oldest(false);
    if (victim == sessions.end())
        victim = oldest(true);
    ++totals.incomplete;
    ++totals.evicted;
    sessions.erase(victim);
}

void TransportModel::announce(qint64 timeUs, quint32 id, const quint8 *data, bool broadcast)
{
    const quint16 key = keyOf(quint8(id), quint8(id >> 8));
    if (Session *running = live(key, timeUs)) {
        if (running->lastId == id && std::memcmp(running->lastData, data, 8) == 0) {
            ++totals.duplicates;
            return;
        }
        ++totals.incomplete;
        sessions.erase(key);
    }
    ++(broadcast ? totals.bam : totals.rts);
    const int size = data[1] | (data[2] << 8);
    const int packets = data[3];
    if (size == 0 || size > j1939::TransportReassembler::MAX_MESSAGE_SIZE || size > packets * 7) {
        ++totals.incomplete;
        return;
    }
    makeRoom(timeUs);
    Session &s = sessions[key];
    s.broadcast = broadcast;
    s.timerRunning = broadcast;
    s.pgn = quint32(data[5]) | (quint32(data[6]) << 8) | (quint32(data[7]) << 16);
    s.size = size;
    s.packets = packets;
    remember(s, timeUs, id, data);
    touch(s);
}

bool TransportModel::add(qint64 timeUs, quint32 id, const quint8 *data, int size, ModelMessage *message)
{
    const quint32 group = (id >> 16) & 0x3FF;
    if (size != 8 || (group != 0xEC && group != 0xEB))
        return false;
    const quint8 from = quint8(id);
    const quint8 to = quint8(id >> 8);
    const bool global = to == 255;
    if (group == 0xEC) {
        switch (data[0]) {
        case 32: // BAM
            if (global)
                announce(timeUs, id, data, true);
            return false;
        case 16: // RTS
            if (!global)
                announce(timeUs, id, data, false);
            return false;
        case 17: { // CTS, from the receiver
            Session *s = global ? nullptr : live(keyOf(to, from), timeUs);
            if (!s || s->broadcast) {
                ++totals.stray;
                return false;
            }
            if (s->lastId == id && std::memcmp(s->lastData, data, 8) == 0) {
                ++totals.duplicates;
                return false;
            }
            const int count = data[1];
            const int next = data[2];
            remember(*s, timeUs, id, data);
            if (count == 0) {
                s->granted = 0;
                s->timerRunning = false;
                touch(*s);
                return false;
            }
            if (next < 1 || next > s->nextSequence || next > s->packets) {
                ++totals.incomplete;
                sessions.erase(keyOf(to, from));
                return false;
            }
            s->nextSequence = next;
            s->bytes.resize(size_t(std::min(s->size, (next - 1) * 7)));
            s->granted = std::min(count, s->packets - next + 1);
            s->timerRunning = true;
            touch(*s);
            return false;
        }
        case 255: { // abort, from either side
            if (global) {
                ++totals.stray;
                return false;
            }
            quint16 key = keyOf(from, to);
            Session *s = live(key, timeUs);
            if (!s) {
                key = keyOf(to, from);
                s = live(key, timeUs);
            }
            if (!s || s->broadcast) {
                ++totals.stray;
                return false;
            }
            ++totals.aborted;
            sessions.erase(key);
            return false;
        }
        default:
            return false;
        }
    }

    // A data packet.
    const quint16 key = keyOf(from, to);
    Session *s = live(key, timeUs);
    if (!s) {
        ++totals.stray;
        return false;
    }
    if (s->lastId == id && std::memcmp(s->lastData, data, 8) == 0) {
        ++totals.duplicates;
        return false;
    }
    if (!s->broadcast && s->granted == 0) {
        ++totals.stray;
        return false;
    }
    if (data[0] != s->nextSequence) {
        ++totals.incomplete;
        sessions.erase(key);
        return false;
    }
    remember(*s, timeUs, id, data);
    const int take = std::min(7, s->size - int(s->bytes.size()));
    if (take > 0)
        s->bytes.insert(s->bytes.end(), data + 1, data + 1 + take);
    if (s->nextSequence++ == s->packets) {
        message->timeUs = timeUs;
        message->pgn = s->pgn;
        message->source = from;
        message->destination = to;
        message->data = s->bytes;
        ++totals.complete;
        sessions.erase(key);
        return true;
    }
    if (!s->broadcast && --s->granted == 0)
        s->timerRunning = false;
    touch(*s);
    return false;
}

void TransportModel::finish()
{
    totals.incomplete += qint64(sessions.size());
    sessions.clear();
}

} // namespace fuzz
