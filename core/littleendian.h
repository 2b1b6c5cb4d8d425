#pragma once

// Little-endian numbers in byte buffers: the adapter's link, the adapter
// simulator and the binary recording formats write and read them here.

#include <QtGlobal>

namespace core {

// Writes the low `bytes` bytes of value at p, least significant first.
inline void putLittleEndian(char *p, quint64 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        p[i] = char((value >> (8 * i)) & 0xFF);
}

// Reads `bytes` bytes at p, least significant first.
inline quint64 littleEndian(const char *p, int bytes)
{
    quint64 value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | quint64(quint8(p[i]));
    return value;
}

} // namespace core
