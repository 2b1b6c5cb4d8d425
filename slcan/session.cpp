#include "slcan/session.h"

#include "core/canid.h"
#include "core/hex.h"
#include "slcan/frameline.h"
#include "slcan/setuprates.h"

namespace slcan {

namespace {

// The bridge's own SLCAN version and serial number (the adapter has neither).
constexpr char VERSION_DIGITS[] = "0101";
constexpr char SERIAL_NUMBER[] = "VX01";

bool hexNumber(const char *text, int size, quint32 &value)
{
    quint64 v = 0;
    if (!core::parseHex(text, size, v))
        return false;
    value = quint32(v);
    return true;
}

} // namespace

const char *channelName(Channel channel)
{
    switch (channel) {
    case Channel::Open:
        return "open";
    case Channel::ListenOnly:
        return "listen";
    case Channel::Closed:
        break;
    }
    return "closed";
}

Session::Session(AdapterWriter writeToAdapter, const wire::CanRate *fixed)
    : writer(std::move(writeToAdapter)), fixedRate(fixed)
{
}

void Session::receive(const char *bytes, qsizetype size, QByteArray &reply)
{
    for (qsizetype i = 0; i < size; ++i) {
        const char c = bytes[i];
        if (c == DONE) {
            if (overlong) {
                ++count.commands;
                ++count.refused;
                reply.append(REFUSED);
            } else {
                execute(pending, pendingSize, reply);
            }
            pendingSize = 0;
            overlong = false;
        } else if (pendingSize < MAX_COMMAND) {
            pending[pendingSize++] = c;
        } else {
            overlong = true;
        }
    }
}

void Session::execute(const char *command, int size, QByteArray &reply)
{
    ++count.commands;
    if (run(command, size, reply)) {
        reply.append(DONE);
        return;
    }
    ++count.refused;
    reply.append(REFUSED);
}

bool Session::run(const char *command, int size, QByteArray &reply)
{
    if (size == 0)
        return true;
    const char letter = command[0];
    const bool closed = channel_ == Channel::Closed;
    switch (letter) {
    case 'S': {
        if (size != 2 || command[1] < '0' || command[1] >= char('0' + SETUP_CODES) || !closed)
            return false;
        if (fixedRate)
            return true;
        const wire::CanRate *named = adapterRateOfSetup(command[1] - '0');
        if (!named)
            return false;
        chosenRate = named;
        return true;
    }
    case 's': {
        quint32 registers = 0;
        return size == 5 && hexNumber(command + 1, 4, registers) && closed && fixedRate;
    }
    case 'O':
        return size == 1 && open(Channel::Open);
    case 'L':
        return size == 1 && open(Channel::ListenOnly);
    case 'C':
        if (size != 1)
            return false;
        channel_ = Channel::Closed;
        return true;
    case 'V':
    case 'v':
        if (size != 1)
            return false;
        reply.append(letter);
        reply.append(VERSION_DIGITS);
        return true;
    case 'N':
        if (size != 1)
            return false;
        reply.append('N');
        reply.append(SERIAL_NUMBER);
        return true;
    case 'F': {
        if (size != 1)
            return false;
        const quint8 flags = overruns > 0 ? STATUS_DATA_OVERRUN : 0;
        overruns = 0;
        reply.append('F');
        reply.append(core::UPPER_HEX_DIGITS[flags >> 4]);
        reply.append(core::UPPER_HEX_DIGITS[flags & 0xF]);
        return true;
    }
    case 'Z':
        if (size != 2 || (command[1] != '0' && command[1] != '1'))
            return false;
        stamps = command[1] == '1';
        return true;
    case 'M':
    case 'm': {
        quint32 value = 0;
        if (size != 9 || !hexNumber(command + 1, 8, value) || !closed)
            return false;
        if (letter == 'm')
            return acceptance.setMask(value);
        acceptance.setCode(value);
        return true;
    }
    case 't':
    case 'T':
    case 'r':
    case 'R':
        ++count.transmitRefused;
        return false;
    default:
        return false;
    }
}

bool Session::open(Channel mode)
{
    const wire::CanRate *useRate = rate();
    if (channel_ != Channel::Closed || !useRate)
        return false;
    const QByteArray configuration =
        wire::buildConfigurationCommand(QString::fromLatin1(useRate->name), false, 0, 0);
    if (configuration.size() != wire::CONFIG_SIZE || !writer || !writer(configuration))
        return false;
    channel_ = mode;
    return true;
}

bool Session::appendFrame(const ReceivedFrame &frame, QByteArray &out)
{
    if (channel_ == Channel::Closed)
        return false;
    const bool extended = !frame.standard;
    if (!core::isValidId(frame.id, extended)) {
        ++count.outOfRange;
        return false;
    }
    if (!acceptance.accepts(frame.id, extended)) {
        ++count.filtered;
        return false;
    }
    int length = frame.length;
    if (length > MAX_DATA_BYTES) {
        ++count.cut;
        length = MAX_DATA_BYTES;
    }
    char line[MAX_FRAME_LINE];
    const int size = writeFrameLine(line, frame.id, extended, length, frame.data,
                                    stamps ? timeStampMs(frame.timeUs) : -1);
    out.append(line, size);
    ++count.forwarded;
    return true;
}

void Session::addDropped(quint64 frames)
{
    overruns += frames;
}

void Session::reset()
{
    chosenRate = nullptr;
    channel_ = Channel::Closed;
    stamps = false;
    acceptance.reset();
    overruns = 0;
    pendingSize = 0;
    overlong = false;
}

} // namespace slcan
