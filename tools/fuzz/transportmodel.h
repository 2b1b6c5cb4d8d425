#pragma once

// A plain model of the transport reassembler (j1939/transport.h) for the
// fuzz target "j1939": the same rules over a map of the open sessions, with
// the room made for a new session by looking at every open one, so that the
// reassembler's fixed slots, key table and ordered lists can be checked
// against it frame by frame.

#include "j1939/transport.h"

#include <QtGlobal>

#include <map>
#include <vector>

namespace fuzz {

// What the reassembler hands out, copied.
struct ModelMessage {
    qint64 timeUs = 0;
    quint32 pgn = 0;
    quint8 source = 0;
    quint8 destination = 0;
    std::vector<quint8> data;
};

class TransportModel
{
public:
    explicit TransportModel(int maxOpenSessions);

    // True with *message when the frame completes one.
    bool add(qint64 timeUs, quint32 id, const quint8 *data, int size, ModelMessage *message);
    void finish();

    const j1939::TransportCounts &counts() const { return totals; }
    int openSessions() const { return int(sessions.size()); }

private:
    struct Session {
        bool broadcast = false;
        bool timerRunning = false;
        quint32 pgn = 0;
        int size = 0;
        int packets = 0;
        int nextSequence = 1;
        int granted = 0;
        qint64 lastUs = 0;
        quint32 lastId = 0;
        quint8 lastData[8] = {};
        std::vector<quint8> bytes;
        quint64 touched = 0; // when it last moved to the newest end of its kind
        bool runningWhenTouched = false;
    };

    Session *live(quint16 key, qint64 timeUs);
    void announce(qint64 timeUs, quint32 id, const quint8 *data, bool broadcast);
    void makeRoom(qint64 timeUs);
    void remember(Session &s, qint64 timeUs, quint32 id, const quint8 *data);
    void touch(Session &s);
    // The open session of that kind touched longest ago, or none.
    std::map<quint16, Session>::iterator oldest(bool running);

    const int maxOpen;
    std::map<quint16, Session> sessions; // by sender << 8 | receiver
    quint64 clock = 0;
    j1939::TransportCounts totals;
};

} // namespace fuzz
