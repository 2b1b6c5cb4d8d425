#!/bin/sh
# Builds the libFuzzer target fuzz_frames (tools/fuzz_frames.cpp, clang with the
# address and undefined behaviour sanitizers; the CMake target of a clang build)
# and runs it for a number of executions.
#   scripts/fuzz.sh [RUNS] [extra libFuzzer options...]     RUNS defaults to 10000000
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
RUNS=${1:-10000000}
[ $# -gt 0 ] && shift
OUT=${FUZZ_OUT:-$ROOT/build-fuzz}
CXX_FUZZ=${CXX_FUZZ:-clang++}

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

cmake -S "$ROOT" -B "$OUT" -DCMAKE_CXX_COMPILER="$CXX_FUZZ" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBUILD_TESTING=OFF -DVORNIX_BUILD_TOOLS=OFF -DVORNIX_BUILD_FUZZ=ON >/dev/null
cmake --build "$OUT" --target fuzz_frames -j"$(nproc)"
FUZZER="$OUT/tools/fuzz_frames"

mkdir -p "$OUT/corpus"
# A few seeds: valid frames in both header forms, split over reads.
seed() { printf "$2" > "$OUT/corpus/$1"; }
seed frames '\001\024\252\125\000\002\000\000\361\376\030\010\021\042\063\104\125\146\167\210\000\165\007\252\125\000\001'
seed split '\001\015\252\125\000\001\000\043\001\000\000\003\001\242\377\007\000\000\000\000\000\000\000'
seed filter '\002\377123\n18fef100\nfffffff0d\n7fffffff\n0d0d0d0d'

start=$(date +%s)
set +e
# Progress lines (NEW, REDUCE, pulse) only go to the log.
"$FUZZER" -runs="$RUNS" -max_len=4096 -print_final_stats=1 "$@" "$OUT/corpus" \
    >"$OUT/last_run.log" 2>&1
status=$?
set -e
end=$(date +%s)
grep -v '^#[0-9]' "$OUT/last_run.log" | grep -v '^"' | tail -n 25
executed=$(sed -n 's/^stat::number_of_executed_units:[[:space:]]*//p' "$OUT/last_run.log")
echo "executions: ${executed:-unknown}  seconds: $((end - start))  exit status: $status"
exit "$status"
