#pragma once

// The NAME a control unit claims its address with (Address Claimed, PGN
// 60928): eight bytes, least significant first, of one 64-bit number:
//
//   bits  0-20 identity number      bits 21-31 manufacturer code
//   bits 32-34 ECU instance         bits 35-39 function instance
//   bits 40-47 function             bit  48    reserved
//   bits 49-55 vehicle system       bits 56-59 vehicle system instance
//   bits 60-62 industry group       bit  63    arbitrary address capable

#include <QtGlobal>

namespace j1939 {

struct ControlUnitName {
    quint64 value = 0;
    quint32 identityNumber = 0;
    quint16 manufacturerCode = 0;
    quint8 ecuInstance = 0;
    quint8 functionInstance = 0;
    quint8 function = 0;
    quint8 vehicleSystem = 0;
    quint8 vehicleSystemInstance = 0;
    quint8 industryGroup = 0;
    bool arbitraryAddressCapable = false;
};

ControlUnitName controlUnitName(quint64 value);
// From the eight data bytes of an address claim; false for fewer bytes.
bool controlUnitName(const quint8 *data, int size, ControlUnitName &name);

} // namespace j1939
