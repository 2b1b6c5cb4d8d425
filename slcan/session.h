#pragma once

// One SLCAN (Lawicel) client's session with the adapter: the commands the
// client sends, each ended by CR, with their replies (CR done, BELL refused),
// and the lines of the frames it receives. No threads and no I/O: the caller
// hands in the client's bytes and the adapter's frames and sends on what comes
// out. The adapter is reached only through the writer given at construction,
// and only ever with a configuration command of wire::buildConfigurationCommand
// (the rate the client chose, standard identifiers, filter and mask 0).
//
// Commands:
//   Sn     bit rate n = 0..8 (10k 20k 50k 100k 125k 250k 500k 800k 1M); the
//          adapter's rates are taken, the others refused; with a fixed rate
//          (33.333k and 83.333k have no n) every Sn is accepted and ignored.
//          Only while the channel is closed.
//   sXXYY  bit-timing registers: refused unless the rate is fixed, then
//          accepted and ignored. Only while closed.
//   O, L   open (L listen-only; the adapter only listens either way): sends
//          the configuration with the rate and starts the frames. Refused
//          without a rate, while open, or when the adapter cannot be written.
//   C      closes: no more frames; the adapter keeps its configuration.
//          Accepted when already closed.
//   V, v   the version, "V0101" / "v0101";  N  the serial number, "NVX01".
//   F      status flags, "Fxx"; bit 3 (data overrun) when frames were dropped
//          since the last F, which clears it.
//   Z0, Z1 without / with the 4-digit millisecond time stamp after each frame.
//   Mxxxxxxxx, mxxxxxxxx  acceptance code and mask (slcan/acceptancefilter.h
//          says which masks are refused). Only while closed.
//   t, T, r, R  transmit: always refused, the adapter's link has no command
//          to send a frame.
// An empty command is answered with CR. Any other command, a command with
// characters beyond its form, and one longer than MAX_COMMAND bytes are
// refused; the next command starts after the next CR.

#include "link/protocol.h"
#include "link/serialmanager.h"
#include "slcan/acceptancefilter.h"

#include <QByteArray>

#include <functional>

namespace slcan {

enum class Channel { Closed, Open, ListenOnly };
// "closed", "open", "listen".
const char *channelName(Channel channel);

constexpr char DONE = '\r';
constexpr char REFUSED = '\a';
// Longest command taken, CR not counted; the longest SLCAN command (an
// extended transmit with 8 bytes and a time stamp) has 30.
constexpr int MAX_COMMAND = 32;
// Bit 3 of the status flags.
constexpr quint8 STATUS_DATA_OVERRUN = 0x08;

class Session
{
public:
    // Writes a configuration command to the adapter; true when all of it went out.
    using AdapterWriter = std::function<bool(const QByteArray &configuration)>;

    // fixedRate: the rate taken for every O and L whatever Sn says (nullptr: chosen by Sn).
    explicit Session(AdapterWriter writeToAdapter, const wire::CanRate *fixedRate = nullptr);

    // Takes the client's bytes, split anywhere; the reply of every command
    // they complete is appended to reply.
    void receive(const char *bytes, qsizetype size, QByteArray &reply);

    // Appends the line of a frame from the adapter to out, unless the channel
    // is closed, the filter holds it back or its identifier does not fit its
    // kind (standard above 7FF, extended above 1FFFFFFF). Lengths above 8 are
    // cut to 8. Returns whether a line was appended.
    bool appendFrame(const ReceivedFrame &frame, QByteArray &out);

    // Frames the caller could not deliver; the next F reports an overrun.
    void addDropped(quint64 frames);

    // The client went away: closed, no rate chosen, no time stamps, the filter
    // open, no command begun, as after power-on.
    void reset();

    Channel channel() const { return channel_; }
    // The rate O and L use: the fixed one, else the one Sn chose (nullptr: none yet).
    const wire::CanRate *rate() const { return fixedRate ? fixedRate : chosenRate; }
    bool timeStamps() const { return stamps; }
    const AcceptanceFilter &filter() const { return acceptance; }

    struct Counters {
        quint64 commands = 0;         // commands carried out or refused
        quint64 refused = 0;          // answered with BELL
        quint64 transmitRefused = 0;  // of those, t T r R
        quint64 forwarded = 0;        // frame lines made
        quint64 filtered = 0;         // held back by the acceptance filter
        quint64 cut = 0;              // lengths above 8 cut to 8
        quint64 outOfRange = 0;       // identifiers that do not fit their kind
    };
    const Counters &counters() const { return count; }

private:
    // Carries out one command (without its CR) and appends its reply.
    void execute(const char *command, int size, QByteArray &reply);
    // The reply bytes without the final CR: true for CR, false for BELL.
    bool run(const char *command, int size, QByteArray &reply);
    bool open(Channel mode);

    AdapterWriter writer;
    const wire::CanRate *const fixedRate;
    const wire::CanRate *chosenRate = nullptr;
    Channel channel_ = Channel::Closed;
    bool stamps = false;
    AcceptanceFilter acceptance;
    quint64 overruns = 0; // frames dropped since the last F

    char pending[MAX_COMMAND];
    int pendingSize = 0;
    bool overlong = false; // the command being received passed MAX_COMMAND

    Counters count;
};

} // namespace slcan
