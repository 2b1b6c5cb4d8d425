#pragma once

// The checks of the libFuzzer targets, one a reader of untrusted bytes: each
// takes arbitrary bytes, feeds them through the product's own code path and
// checks what can be checked there. The fuzzers (fuzzmain.cpp, one program a
// target) and the suite's replay of the kept inputs (tests/test_fuzzcorpus.cpp)
// call the same functions.

#include <QByteArray>
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

// How much of the costly parts of a check an input gets (the round trip
// through each of the four writers, the J1939 summary's renderings): all of
// them (the suite's replay of the kept inputs), or a quarter, chosen by the
// input's bytes (the fuzzers: a quarter of the work an execution, and
// coverage still leads them to every part).
enum class Share { Whole, Quarter };

// The same conditions for every run, called once before the first check: a
// local time zone with daylight saving time (Europe/Berlin), so that the date
// rules of the recordings meet its changes.
void prepare(Share share = Share::Whole);
// Whether the input gets the part numbered `quarter` (0 to 3) of a costly check.
bool takesQuarter(const QByteArray &input, uint quarter);

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
