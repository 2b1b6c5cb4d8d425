// libFuzzer target for the frame cutter, frame check and parser and the
// filter-list command builder. Built and run by scripts/fuzz.sh.

#include "tools/fuzz_frames.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (const char *failure = fuzzframes::checkInput(data, size)) {
        std::fprintf(stderr, "fuzz_frames: %s\n", failure);
        std::abort();
    }
    return 0;
}
