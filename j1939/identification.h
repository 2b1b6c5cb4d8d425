#pragma once

// The identification texts: vehicle identification (VIN, PGN 65260),
// component identification (PGN 65259) and software identification
// (PGN 65242). Each is one byte per character; the text loses its trailing
// '*', 0xFF, 0x00 and spaces, is split at '*', and each field loses its
// trailing 0xFF, 0x00 and spaces (leading spaces stay).

#include <QString>
#include <QStringList>

namespace j1939 {

// The fields of a text; none for an empty one.
QStringList textFields(const quint8 *data, int size);

// The first field.
QString vehicleIdentification(const quint8 *data, int size);

struct ComponentIdentification {
    QString make, model, serial, unit; // missing fields empty

    bool operator==(const ComponentIdentification &other) const
    {
        return make == other.make && model == other.model && serial == other.serial && unit == other.unit;
    }
};

// The first four fields.
ComponentIdentification componentIdentification(const quint8 *data, int size);

// Byte 0 is the number of identifications, the fields after it are them;
// at most that many, fewer when the text has fewer.
QStringList softwareIdentification(const quint8 *data, int size);

} // namespace j1939
