#pragma once

// Names of J1939 source addresses and parameter groups, one table each.

#include <QString>

namespace j1939 {

// The preferred address's control unit ("Engine #1"); empty for an address
// without a preferred function (128 to 247 depend on the industry group).
QString sourceAddressName(quint8 address);

struct ParameterGroupName {
    quint32 pgn;
    const char *acronym; // "EEC1"
    const char *name;    // "Electronic Engine Controller 1"
};

// The group of a PGN, proprietary ranges included; nullptr for one the
// table does not hold.
const ParameterGroupName *parameterGroupName(quint32 pgn);

// "EEC1 Electronic Engine Controller 1", or empty.
QString pgnName(quint32 pgn);

} // namespace j1939
