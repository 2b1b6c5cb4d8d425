#pragma once

// The fields of a J1939 identifier (29 bits):
//
//   28..26 priority | 25 extended data page | 24 data page | 23..16 PDU format (PF)
//   | 15..8 PDU specific (PS) | 7..0 source address
//
// PF below 240 is a PDU1 message sent to the address in PS, which is then not
// part of the parameter group number (PGN); PF 240 and above is a PDU2
// broadcast whose PS is the low byte of the PGN ("group extension").

#include <QtGlobal>

namespace j1939 {

// The address of every node: broadcasts go to it.
constexpr quint8 GLOBAL_ADDRESS = 255;
// The address of a node that has not claimed one.
constexpr quint8 NULL_ADDRESS = 254;

constexpr quint8 priority(quint32 id) { return quint8((id >> 26) & 0x7); }
constexpr quint8 extendedDataPage(quint32 id) { return quint8((id >> 25) & 0x1); }
constexpr quint8 dataPage(quint32 id) { return quint8((id >> 24) & 0x1); }
constexpr quint8 pduFormat(quint32 id) { return quint8((id >> 16) & 0xFF); }
constexpr quint8 pduSpecific(quint32 id) { return quint8((id >> 8) & 0xFF); }
constexpr quint8 sourceAddress(quint32 id) { return quint8(id & 0xFF); }

constexpr bool isPdu1(quint32 id) { return pduFormat(id) < 240; }

// 18 bits: extended data page, data page, PF and, for PDU2 only, PS.
constexpr quint32 pgn(quint32 id)
{
    return (quint32(extendedDataPage(id)) << 17) | (quint32(dataPage(id)) << 16) | (quint32(pduFormat(id)) << 8)
           | (isPdu1(id) ? 0u : quint32(pduSpecific(id)));
}

// PS of a PDU1 message; a PDU2 message goes to every node.
constexpr quint8 destinationAddress(quint32 id)
{
    return isPdu1(id) ? pduSpecific(id) : GLOBAL_ADDRESS;
}

// The identifier of a message: the inverse of the functions above (a PDU2
// PGN carries its own PS, destination is then ignored).
constexpr quint32 identifier(quint8 priority, quint32 pgn, quint8 source, quint8 destination = GLOBAL_ADDRESS)
{
    const bool pdu1 = ((pgn >> 8) & 0xFF) < 240;
    return (quint32(priority & 0x7) << 26) | ((pgn & 0x3FF00) << 8)
           | (quint32(pdu1 ? destination : (pgn & 0xFF)) << 8) | source;
}

// Parameter groups the library itself reads.
constexpr quint32 PGN_REQUEST = 59904;               // 0xEA00
constexpr quint32 PGN_TP_DATA = 60160;               // 0xEB00 TP.DT
constexpr quint32 PGN_TP_CONNECTION = 60416;         // 0xEC00 TP.CM
constexpr quint32 PGN_ADDRESS_CLAIMED = 60928;       // 0xEE00
constexpr quint32 PGN_DM1 = 65226;                   // 0xFECA active trouble codes
constexpr quint32 PGN_DM2 = 65227;                   // 0xFECB previously active trouble codes
constexpr quint32 PGN_SOFTWARE_ID = 65242;           // 0xFEDA
constexpr quint32 PGN_ENGINE_CONFIGURATION = 65251;  // 0xFEE3
constexpr quint32 PGN_COMPONENT_ID = 65259;          // 0xFEEB
constexpr quint32 PGN_VEHICLE_ID = 65260;            // 0xFEEC

} // namespace j1939
