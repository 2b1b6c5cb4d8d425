#!/bin/sh
# Builds and runs the libFuzzer targets of tools/fuzz/, one a reader of
# untrusted bytes (clang, the address and undefined behaviour sanitizers, every
# library instrumented: a build of its own, build-fuzz/ or $FUZZ_OUT).
#
#   scripts/fuzz.sh --list                          the targets' names, one a line
#   scripts/fuzz.sh NAME [RUNS] [libFuzzer options] one target for RUNS executions
#   scripts/fuzz.sh all [RUNS] [libFuzzer options]  every target in turn
#   scripts/fuzz.sh [RUNS] [libFuzzer options]      the frame target, as this script
#                                                   ran before there were others
# RUNS defaults to 10000000.
#
# A target starts from its seeds (tests/data/fuzz-seeds/NAME, slices of the truck
# logs in tests/data/nmfta for the candump and replay targets) and the inputs kept
# for it (tests/data/fuzz/NAME), with a dictionary where there is one
# (tools/fuzz/NAME.dict); its corpus grows in build-fuzz/corpus/NAME from run to
# run. A finding (a failed check, a crash, a hang, memory beyond the limit) leaves
# its input in build-fuzz/findings/NAME/. Exit status 0 when no target found anything.
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=${FUZZ_OUT:-$ROOT/build-fuzz}
CXX_FUZZ=${CXX_FUZZ:-clang++}
TARGETS=$(sed -n 's/^set(VORNIX_FUZZ_TARGETS \(.*\))$/\1/p' "$ROOT/tools/fuzz/CMakeLists.txt")

if [ "${1:-}" = "--list" ]; then
    for name in $TARGETS; do echo "$name"; done
    exit 0
fi

case "${1:-}" in
    ''|[0-9]*) WHICH=frames ;;
    all) WHICH=$TARGETS; shift ;;
    *)
        WHICH=$1
        shift
        case " $TARGETS " in
            *" $WHICH "*) ;;
            *) echo "fuzz.sh: no target $WHICH (scripts/fuzz.sh --list names them)" >&2; exit 2 ;;
        esac
        ;;
esac
RUNS=10000000
case "${1:-}" in
    [0-9]*) RUNS=$1; shift ;;
esac

as_root=""
[ "$(id -u)" -eq 0 ] || as_root=sudo
if ! command -v "$CXX_FUZZ" >/dev/null 2>&1; then
    echo "clang missing, installing clang"
    $as_root apt-get install -y clang
fi
if ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
    echo "libFuzzer runtime missing, installing libclang-rt-14-dev"
    $as_root apt-get install -y libclang-rt-14-dev
fi

launcher=""
command -v ccache >/dev/null 2>&1 && launcher=-DCMAKE_CXX_COMPILER_LAUNCHER=ccache
cmake -S "$ROOT" -B "$OUT" -DCMAKE_CXX_COMPILER="$CXX_FUZZ" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBUILD_TESTING=OFF -DVORNIX_BUILD_TOOLS=OFF -DVORNIX_BUILD_FUZZ=ON $launcher >/dev/null
programs=""
for name in $WHICH; do programs="$programs fuzz_$name"; done
echo "building$programs in $OUT"
# shellcheck disable=SC2086
if ! cmake --build "$OUT" -j"$(nproc)" --target $programs >"$OUT/build.log" 2>&1; then
    tail -n 40 "$OUT/build.log"
    exit 1
fi

# The longest input a target is given: some twenty lines of a recording, a
# few hundred frames or commands; the adapter's byte stream a little longer.
max_len() {
    case "$1" in
        frames) echo 4096 ;;
        *) echo 1024 ;;
    esac
}

# A shorter quarantine and shorter allocation stacks than the sanitizer's
# defaults: the checks allocate much and often, and at the defaults most of an
# execution's time goes to the allocator. A use after free is still caught
# while the freed block is among the last 16 MiB.
export ASAN_OPTIONS="${ASAN_OPTIONS:-quarantine_size_mb=16:malloc_context_size=4}"

# Slices of the truck logs, sixty lines each, from three places.
truck_slices() {
    dest=$1
    prefix=$2
    for log in "$ROOT"/tests/data/nmfta/*.candump.log.gz; do
        base=$(basename "$log" .candump.log.gz)
        for start in 1 40000 120000; do
            { printf "$prefix"; gzip -dc "$log" | sed -n "${start},$((start + 59))p"; } >"$dest/$base-$start"
        done
    done
}

status=0
for name in $WHICH; do
    corpus="$OUT/corpus/$name"
    findings="$OUT/findings/$name"
    mkdir -p "$corpus" "$findings"
    for kept in "$ROOT/tests/data/fuzz-seeds/$name" "$ROOT/tests/data/fuzz/$name"; do
        [ -d "$kept" ] && find "$kept" -type f -exec cp {} "$corpus/" \;
    done
    case "$name" in
        candump) truck_slices "$corpus" "" ;;
        replay) truck_slices "$corpus" '\000' ;;
    esac
    dict=""
    [ -f "$ROOT/tools/fuzz/$name.dict" ] && dict="-dict=$ROOT/tools/fuzz/$name.dict"
    log="$OUT/$name.log"
    start=$(date +%s)
    set +e
    # Progress lines (NEW, REDUCE, pulse) go to the log only. An input of a
    # few KiB that makes the code take more than 128 MiB at once, or 2 GiB
    # in all, or 20 s, is a finding.
    # shellcheck disable=SC2086
    "$OUT/tools/fuzz/fuzz_$name" -runs="$RUNS" -max_len="$(max_len "$name")" -timeout=20 -rss_limit_mb=2048 -malloc_limit_mb=128 \
        -print_final_stats=1 -artifact_prefix="$findings/" $dict "$@" "$corpus" >"$log" 2>&1
    result=$?
    set -e
    end=$(date +%s)
    grep -v '^#[0-9]' "$log" | grep -v '^"' | grep -v '^INFO:' | tail -n 20
    executed=$(sed -n 's/^stat::number_of_executed_units:[[:space:]]*//p' "$log")
    coverage=$(grep -E '^#[0-9]+' "$log" | tail -n 1 | sed -n 's/.* cov: \([0-9]*\) ft: \([0-9]*\).*/cov: \1 ft: \2/p')
    echo "$name: executions: ${executed:-unknown}  ${coverage:-cov: unknown}  seconds: $((end - start))  exit status: $result"
    [ "$result" -eq 0 ] || status=1
done
exit "$status"
