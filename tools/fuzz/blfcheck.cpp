// The fuzz target "blf": arbitrary bytes read as a Vector BLF file, headers,
// containers stored and compressed, objects inside and outside them (see
// tools/fuzz/recordingcheck.h for what is checked).

#include "tools/fuzz/fuzzcheck.h"
#include "tools/fuzz/recordingcheck.h"

namespace fuzz {

const char *checkBlf(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    return checkRecording(formats::Format::Blf, bytes, formats::ReadOptions());
}

} // namespace fuzz
