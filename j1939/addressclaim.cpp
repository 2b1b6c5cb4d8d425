#include "j1939/addressclaim.h"

#include "core/littleendian.h"

namespace j1939 {

ControlUnitName controlUnitName(quint64 value)
{
    ControlUnitName name;
    name.value = value;
    name.identityNumber = quint32(value & 0x1FFFFF);
    name.manufacturerCode = quint16((value >> 21) & 0x7FF);
    name.ecuInstance = quint8((value >> 32) & 0x7);
    name.functionInstance = quint8((value >> 35) & 0x1F);
    name.function = quint8((value >> 40) & 0xFF);
    name.vehicleSystem = quint8((value >> 49) & 0x7F);
    name.vehicleSystemInstance = quint8((value >> 56) & 0xF);
    name.industryGroup = quint8((value >> 60) & 0x7);
    name.arbitraryAddressCapable = (value >> 63) != 0;
    return name;
}

bool controlUnitName(const quint8 *data, int size, ControlUnitName &name)
{
    if (size < 8)
        return false;
    name = controlUnitName(core::littleEndian(reinterpret_cast<const char *>(data), 8));
    return true;
}

} // namespace j1939
