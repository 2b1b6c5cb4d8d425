#pragma once

// The diagnostic messages DM1 (active trouble codes, PGN 65226) and DM2
// (previously active, PGN 65227): two bytes of lamp status, then one
// trouble code per four bytes:
//
//   byte 0  bits 8-7 malfunction indicator, 6-5 red stop, 4-3 amber warning, 2-1 protect lamp
//   byte 1  the same lamps' flash states
//   code    SPN bits 0-7, SPN bits 8-15, (SPN bits 16-18 << 5 | FMI), (CM << 7 | occurrence count)
//
// The codes 00000000 (sent when there is no fault) and FFFFFFFF (not
// available) are not faults.

#include <QtGlobal>
#include <QVector>

namespace j1939 {

// Two bits a lamp: 0 off, 1 on, 2 error, 3 not available (on and off for the
// flash states: 0 slow flash, 1 fast flash, 3 no flash).
struct LampStatus {
    quint8 malfunction = 3;
    quint8 redStop = 3;
    quint8 amberWarning = 3;
    quint8 protect = 3;
    quint8 flashMalfunction = 3;
    quint8 flashRedStop = 3;
    quint8 flashAmberWarning = 3;
    quint8 flashProtect = 3;
};

struct TroubleCode {
    quint32 spn = 0;          // suspect parameter number, 19 bits
    quint8 fmi = 0;           // failure mode identifier, 5 bits
    quint8 occurrences = 0;   // 7 bits (127: not available)
    bool conversionMethod = false;
};

struct DiagnosticMessage {
    LampStatus lamps;
    QVector<TroubleCode> codes; // faults only, in message order
};

LampStatus lampStatus(const quint8 *data, int size);

// The number of four-byte codes from byte 2 on.
constexpr int troubleCodeSlots(int size)
{
    return size >= 6 ? (size - 2) / 4 : 0;
}

// Code `index` (below troubleCodeSlots(size)); false for a code that is no fault.
bool troubleCode(const quint8 *data, int index, TroubleCode &code);

// Lamps and faults of a DM1 or DM2 message.
DiagnosticMessage decodeDiagnosticMessage(const quint8 *data, int size);

} // namespace j1939
