#pragma once

// The checks of the libFuzzer targets, one a reader of untrusted bytes: each
// takes arbitrary bytes, feeds them through the product's own code path and
// checks what can be checked there. The fuzzers (fuzzmain.cpp, one program a
// target) and the suite's replay of the kept inputs (tests/test_fuzzcorpus.cpp)
// call the same functions.

#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fuzz {

// nullptr when every check holds, else what went wrong (valid until the next check).
using Check = const char *(*)(const uint8_t *data, size_t size);

struct Target {
    const char *name; // "candump": the program is fuzz_candump, its inputs tests/data/fuzz/candump/
    Check check;
};

// Every target, in the order scripts/fuzz.sh lists them.
const std::vector<Target> &targets();
// The check of a target's name; nullptr for an unknown name.
Check findCheck(const char *name);

// Which of the four writers a recording's frames are written with and read
// back by: every one (the suite's replay of the kept inputs), or one an input
// chosen by its bytes (the fuzzers: a quarter of the work an execution, and
// coverage still leads them to every writer).
enum class Writers { Every, OneAnInput };

// The same conditions for every run, called once before the first check: a
// local time zone with daylight saving time (Europe/Berlin), so that the date
// rules of the recordings meet its changes.
void prepare(Writers writers = Writers::Every);
Writers writers();

// A failure text made at run time, kept until the next one.
const char *failure(const QString &text);

const char *checkFrames(const uint8_t *data, size_t size);
const char *checkCandump(const uint8_t *data, size_t size);
const char *checkAsc(const uint8_t *data, size_t size);
const char *checkCsv(const uint8_t *data, size_t size);
const char *checkBlf(const uint8_t *data, size_t size);
const char *checkJ1939(const uint8_t *data, size_t size);
const char *checkReplay(const uint8_t *data, size_t size);
const char *checkSlcan(const uint8_t *data, size_t size);

} // namespace fuzz
