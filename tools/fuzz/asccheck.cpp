// The fuzz target "asc": arbitrary bytes read as a Vector ASC log (see
// tools/fuzz/recordingcheck.h for what is checked).

#include "tools/fuzz/fuzzcheck.h"
#include "tools/fuzz/recordingcheck.h"

namespace fuzz {

const char *checkAsc(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    return checkRecording(formats::Format::Asc, bytes, formats::ReadOptions());
}

} // namespace fuzz
