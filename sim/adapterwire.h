#pragma once

// The adapter's side of the serial link, for the simulator and the tests'
// fake adapter: building the 20-byte frames an adapter sends, and cutting the
// byte stream the program writes into configuration and filter-list commands.
// The byte formats themselves are those of link/protocol.h.

#include <QByteArray>
#include <QString>
#include <QVector>

#include <vector>

namespace sim {

// A valid 20-byte received frame: identifier kind 1 for a standard identifier,
// else 2; up to 8 data bytes (more are cut off); lengthByte < 0 means "use
// data.size()", any other value is sent as the length byte as it is.
QByteArray buildAdapterFrame(quint32 id, bool standardId, const QByteArray &data, int lengthByte = -1);

// One command from the program, as the adapter understood it.
struct AdapterCommand {
    enum Kind { Configuration, FilterList } kind = Configuration;

    // Configuration: the command byte (0x02, or 0x03 for explicit timing), the
    // bit-rate code, the identifier kind byte, acceptance filter and mask, and
    // the explicit-timing bytes 14 to 16.
    quint8 command = 0;
    quint8 rateCode = 0;
    quint8 idKind = 0;
    quint32 filterId = 0;
    quint32 maskId = 0;
    quint8 timing[3] = {};

    // Filter list: exclude (mode 0x11) or show listed (0x10), the count byte as
    // sent, and the identifiers (their number is what the command's length says;
    // none switches filtering off).
    bool exclude = false;
    quint8 countByte = 0;
    QVector<quint32> ids;

    // The CAN bit rate of a configuration as the window's rate list names it
    // ("500 kbps"), or "code 0xNN" / "timing 0xNN" for bytes no rate has.
    QString canRateText() const;
};

// Cuts the byte stream from the program into commands. Keeps the bytes of an
// unfinished command between feeds.
class AdapterCommandParser
{
public:
    // Appends bytes and returns every command completed by them, in order.
    std::vector<AdapterCommand> feed(const QByteArray &bytes);
    // True when the head of the buffer may be the start of an unfinished command.
    bool hasPending() const { return !buffer.isEmpty(); }
    // No more bytes are coming for now: a filter-list command whose checksum
    // matched is taken as it stands, anything else pending is dropped.
    std::vector<AdapterCommand> flush();
    // Bytes thrown away because they formed no valid command.
    quint64 ignoredBytes() const { return ignored; }

private:
    enum class Step { Done, NeedMore };
    Step parseHead(std::vector<AdapterCommand> &out, bool final);
    Step parseFilterList(std::vector<AdapterCommand> &out, bool final);
    void dropHead(int count);

    QByteArray buffer;
    quint64 ignored = 0;
};

} // namespace sim
