// The libFuzzer entry of one target; VORNIX_FUZZ_TARGET names it (the
// program fuzz_NAME is built once a target, see CMakeLists.txt).

#include "tools/fuzz/fuzzcheck.h"

#include <cstdio>
#include <cstdlib>

namespace {

fuzz::Check check = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    check = fuzz::findCheck(VORNIX_FUZZ_TARGET);
    if (!check) {
        std::fprintf(stderr, "fuzz: no target %s\n", VORNIX_FUZZ_TARGET);
        std::abort();
    }
    fuzz::prepare(fuzz::Share::Quarter);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (const char *failure = check(data, size)) {
        std::fprintf(stderr, "fuzz_%s: %s\n", VORNIX_FUZZ_TARGET, failure);
        std::abort();
    }
    return 0;
}
