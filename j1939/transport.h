#pragma once

// Reassembly of the transport protocol's multi-packet messages (up to 1785
// bytes) from the frames of a bus, in the order they were seen: broadcasts
// announced by a BAM (TP.CM control 32, to the global address only) and
// connections opened by an RTS (control 16, to one address only) whose
// receiver grants packets with CTS (17), acknowledges with EoMA (19) or
// either side aborts (255). The data packets (TP.DT) carry a sequence number
// and seven bytes each. A session is keyed by sender and receiver (255 for a
// broadcast); every announcement ends as complete, aborted or incomplete:
//
//  - a data packet must carry the next sequence number, otherwise the
//    session ends as incomplete; a frame identical to the session's previous
//    frame (same identifier and bytes: loggers and gateways repeat frames)
//    is skipped;
//  - while packets are expected (a broadcast from its announcement, a
//    connection after a CTS that grants packets) a frame of the session more
//    than 750 ms after its previous frame finds it ended as incomplete;
//    a connection waiting for a CTS has no timeout;
//  - a new announcement from the same sender to the same receiver ends the
//    running session as incomplete, and finish() those still open;
//  - a connection is complete when its last packet arrives (the
//    acknowledgement is not needed and is not looked at); an abort from
//    either side ends it as aborted;
//  - an announcement of 0 bytes, more than 1785, or more than its packets
//    hold ends as incomplete at once.
//
// Data packets of no session, or of a connection that has no packets
// granted, are counted as stray and otherwise ignored, as are CTS and aborts
// of no session.
//
// Memory is bounded: at most maxOpenSessions sessions are open at a time,
// each holding at most 1785 bytes, plus a table of 256 slot numbers for each
// sender that announced a session (at most 256 of them, 128 KiB). An
// announcement that finds every slot taken makes room: the sessions whose
// timeout has run out end first (as incomplete, as they would anyway); if
// none had, the connection that has waited longest for a CTS, or else the
// idlest session, ends as incomplete (counted in evicted too); "longest" and
// "idlest" in the order the sessions' previous frames arrived, so that
// making room takes constant time. So a flood of
// requests that are never answered pushes out its own kind, not the
// sessions in progress; broadcasts (at most 256 at a time, one a sender)
// time out on their own. The default leaves room for every sender's
// broadcast and as many connections.

#include <QtGlobal>

#include <array>
#include <memory>
#include <vector>

namespace j1939 {

struct TransportCounts {
    qint64 bam = 0;        // broadcast announcements
    qint64 rts = 0;        // connection requests
    qint64 complete = 0;
    qint64 aborted = 0;
    qint64 incomplete = 0; // timed out, out of sequence, replaced, evicted, invalid or open at the end
    // Parts of the above or frames passed over, for the curious:
    qint64 timedOut = 0;   // of incomplete
    qint64 evicted = 0;    // of incomplete
    qint64 duplicates = 0; // repeated frames skipped
    qint64 stray = 0;      // data packets, CTS and aborts of no session
};

// A complete multi-packet message.
struct TransportMessage {
    qint64 timeUs = 0;     // time of its last packet
    quint32 pgn = 0;
    quint8 source = 0;
    quint8 destination = 0; // 255 for a broadcast
    const quint8 *data = nullptr;
    int size = 0;
};

class TransportReassembler
{
public:
    static constexpr int MAX_MESSAGE_SIZE = 1785;   // 255 packets of 7 bytes
    static constexpr qint64 TIMEOUT_US = 750000;
    static constexpr int DEFAULT_MAX_OPEN_SESSIONS = 512;

    explicit TransportReassembler(int maxOpenSessions = DEFAULT_MAX_OPEN_SESSIONS);

    // Takes one frame (only extended frames of PGN 60416 and 60160 with 8
    // data bytes are looked at). Returns the message this frame completes,
    // valid until the next call, or nullptr.
    const TransportMessage *add(qint64 timeUs, quint32 id, const quint8 *data, int size);

    // The end of the input: the sessions still open end as incomplete.
    void finish();

    const TransportCounts &counts() const { return totals; }
    int openSessions() const { return open; }

private:
    struct Session {
        bool inUse = false;
        bool broadcast = false;
        bool timerRunning = false;
        quint16 key = 0;       // sender << 8 | receiver
        quint32 pgn = 0;
        int size = 0;
        int packets = 0;
        int nextSequence = 1;
        int granted = 0;       // packets the last CTS still allows
        qint64 lastUs = 0;     // the session's previous frame
        quint32 lastId = 0;
        quint8 lastData[8] = {};
        std::vector<quint8> bytes;
        // Place in the list of its kind (running or waiting for a CTS),
        // ordered by the arrival of each session's previous frame.
        int older = -1;
        int newer = -1;
        int list = -1;
    };

    const TransportMessage *connectionManagement(qint64 timeUs, quint32 id, const quint8 *data);
    const TransportMessage *dataTransfer(qint64 timeUs, quint32 id, const quint8 *data);
    void announce(qint64 timeUs, quint32 id, const quint8 *data, bool broadcast);
    // The open session of the key, or nullptr; ends it first (incomplete) if
    // its timeout ran out by timeUs.
    Session *live(quint16 key, qint64 timeUs);
    static bool repeats(const Session &s, quint32 id, const quint8 *data);
    static void remember(Session &s, qint64 timeUs, quint32 id, const quint8 *data);
    void end(Session &s);
    // A slot for a new session, making room when all are taken.
    int freeSlot(qint64 timeUs);
    // Moves the session to the newest end of its list.
    void touch(Session &s);
    void unlink(Session &s);
    // The slot of a key's open session, -1 for none.
    int slotOf(quint16 key) const;
    void setSlot(quint16 key, int slot);

    const size_t maxSessions;
    std::vector<Session> sessions; // never beyond maxSessions, never moved
    // By sender, then receiver; a sender's table is made at its first announcement.
    std::vector<std::unique_ptr<std::array<qint16, 256>>> slotOfKey;
    std::vector<int> freeSlots;
    enum { RUNNING, WAITING };
    int oldest[2] = {-1, -1};
    int newest[2] = {-1, -1};
    int open = 0;
    TransportCounts totals;
    TransportMessage message;
};

} // namespace j1939
