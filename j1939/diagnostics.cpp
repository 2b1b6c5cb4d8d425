#include "j1939/diagnostics.h"

#include <cstring>

namespace j1939 {

LampStatus lampStatus(const quint8 *data, int size)
{
    LampStatus lamps;
    if (size >= 1) {
        lamps.malfunction = (data[0] >> 6) & 3;
        lamps.redStop = (data[0] >> 4) & 3;
        lamps.amberWarning = (data[0] >> 2) & 3;
        lamps.protect = data[0] & 3;
    }
    if (size >= 2) {
        lamps.flashMalfunction = (data[1] >> 6) & 3;
        lamps.flashRedStop = (data[1] >> 4) & 3;
        lamps.flashAmberWarning = (data[1] >> 2) & 3;
        lamps.flashProtect = data[1] & 3;
    }
    return lamps;
}

bool troubleCode(const quint8 *data, int index, TroubleCode &code)
{
    const quint8 *p = data + 2 + 4 * index;
    quint32 raw;
    std::memcpy(&raw, p, 4);
    if (raw == 0 || raw == 0xFFFFFFFF)
        return false;
    code.spn = quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2] >> 5) << 16);
    code.fmi = p[2] & 0x1F;
    code.conversionMethod = (p[3] & 0x80) != 0;
    code.occurrences = p[3] & 0x7F;
    return true;
}

DiagnosticMessage decodeDiagnosticMessage(const quint8 *data, int size)
{
    DiagnosticMessage message;
    message.lamps = lampStatus(data, size);
    const int slots = troubleCodeSlots(size);
    TroubleCode code;
    for (int i = 0; i < slots; ++i) {
        if (troubleCode(data, i, code))
            message.codes.append(code);
    }
    return message;
}

} // namespace j1939
