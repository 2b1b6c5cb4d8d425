#pragma once

// The CAN objects of a BLF file (see formats/blffile.h) as frames.

#include "formats/blffile.h"
#include "formats/canframe.h"

#include <QString>

namespace formats::blf {

// The frame of a CAN_MESSAGE, CAN_MESSAGE2, CAN_FD_MESSAGE or
// CAN_FD_MESSAGE_64 object, whose first `size` bytes (from its base header
// on) are at object: its time is startUs plus the object's time stamp
// (nanoseconds rounded to the nearest microsecond), its channel as the file
// numbers them. False, with *why, when the fields make no frame (an unknown
// header version, an identifier too large for its kind, more data bytes
// than the frame holds, an object too short for its fields).
bool readCanObject(const char *object, int size, quint32 type, qint64 startUs, CanFrame &frame, int &channel,
                   QString *why);

} // namespace formats::blf
