#pragma once

// A plain model of an SLCAN client's session (slcan/session.h) for the fuzz
// target "slcan": the commands as the session's header lists them, taken
// whole (the session gets the client's bytes split anywhere), with the reply
// each one should get and the configuration an open should send.

#include "link/protocol.h"

#include <QByteArray>
#include <QVector>

namespace fuzz {

class SlcanModel
{
public:
    explicit SlcanModel(const wire::CanRate *fixedRate);

    // The client's bytes; appends the replies the commands they complete
    // should get, and to *opens the rate of each open that should write a
    // configuration; writeFails says whether writing it fails.
    void receive(const QByteArray &bytes, bool writeFails, QByteArray &reply, QVector<const wire::CanRate *> *opens);
    // The line a frame from the adapter should give (empty for none).
    QByteArray frameLine(qint64 timeUs, quint32 id, bool standard, int length, const char *data);
    void addDropped(quint64 frames) { overruns += frames; }
    void reset();

    quint64 commands = 0, refused = 0, transmitRefused = 0;
    quint64 forwarded = 0, filtered = 0, cut = 0, outOfRange = 0;
    bool open() const { return channelOpen; }

private:
    // The reply without its CR; false for BELL.
    bool run(const QByteArray &command, bool writeFails, QByteArray &reply, QVector<const wire::CanRate *> *opens);
    bool hex(const QByteArray &digits, int count, quint32 &value) const;

    const wire::CanRate *const fixedRate;
    const wire::CanRate *chosenRate = nullptr;
    bool channelOpen = false;
    bool stamps = false;
    quint32 code = 0;
    quint32 mask = 0xFFFFFFFF;
    quint64 overruns = 0;
    QByteArray pending;
};

} // namespace fuzz
