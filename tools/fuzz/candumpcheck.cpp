// The fuzz target "candump": arbitrary bytes read as a candump -L log (see
// tools/fuzz/recordingcheck.h for what is checked).

#include "tools/fuzz/fuzzcheck.h"
#include "tools/fuzz/recordingcheck.h"

namespace fuzz {

const char *checkCandump(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    return checkRecording(formats::Format::Candump, bytes, formats::ReadOptions());
}

} // namespace fuzz
