#pragma once

// One CAN frame of a recording, as every reader fills it and every writer
// takes it.

#include <QByteArray>
#include <QtGlobal>

namespace formats {

// Data bytes of a classic CAN frame and of a CAN FD frame.
constexpr int CLASSIC_DATA_BYTES = 8;
constexpr int FD_DATA_BYTES = 64;

struct CanFrame {
    qint64 timeUs = 0;        // absolute time, microseconds since 1970-01-01 UTC
    quint32 id = 0;
    bool extended = false;    // 29-bit identifier
    bool remote = false;      // remote request: no data, remoteLength bytes asked for
    bool fd = false;          // CAN FD frame
    quint8 fdFlags = 0;       // CAN FD flags as candump writes them (1 bit rate switch, 2 error state)
    quint8 remoteLength = 0;
    QByteArray data;          // data bytes (a dump file may hold more than 8)

    // Back to an empty classic data frame with identifier 0 at time 0. The data
    // buffer keeps its room: a reader fills one frame over and over, and taking
    // a new buffer for each would cost more than reading the line. A buffer
    // shared with a copy is left to the copy.
    void reset()
    {
        timeUs = 0;
        id = 0;
        extended = false;
        remote = false;
        fd = false;
        fdFlags = 0;
        remoteLength = 0;
        if (data.isDetached()) {
            // Reserving the room it has marks it as kept; an emptied buffer
            // is otherwise given back.
            data.reserve(data.capacity());
            data.resize(0);
        } else {
            // Left to the copy; the next buffer is taken at the size of the
            // next frame's data.
            data = QByteArray();
        }
    }
};

} // namespace formats
