#!/bin/sh
# Builds the libFuzzer target tools/fuzz_frames.cpp (with address and undefined
# behaviour sanitizers) and runs it for a number of executions.
#   scripts/fuzz.sh [RUNS] [extra libFuzzer options...]     RUNS defaults to 10000000
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
RUNS=${1:-10000000}
[ $# -gt 0 ] && shift
OUT=${FUZZ_OUT:-$ROOT/build-fuzz}
CXX=${CXX_FUZZ:-clang++}

if ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
    echo "libFuzzer runtime missing, installing libclang-rt-14-dev"
    apt-get install -y libclang-rt-14-dev
fi

mkdir -p "$OUT/corpus"
echo "building $OUT/fuzz_frames"
$CXX -std=c++17 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$ROOT/link" \
    "$ROOT/tools/fuzz_frames.cpp" "$ROOT/link/protocol.cpp" \
    $(pkg-config --cflags --libs Qt5Core) \
    -o "$OUT/fuzz_frames"

# A few seeds: valid frames in both header forms, split over reads.
seed() { printf "$2" > "$OUT/corpus/$1"; }
seed frames '\001\024\252\125\000\002\000\000\361\376\030\010\021\042\063\104\125\146\167\210\000\165\007\252\125\000\001'
seed split '\001\015\252\125\000\001\000\043\001\000\000\003\001\242\377\007\000\000\000\000\000\000\000'
seed filter '\002\377123\n18fef100\nfffffff0d\n7fffffff\n0d0d0d0d'

start=$(date +%s)
set +e
# Progress lines (NEW, REDUCE, pulse) only go to the log.
"$OUT/fuzz_frames" -runs="$RUNS" -max_len=4096 -print_final_stats=1 "$@" "$OUT/corpus" \
    >"$OUT/last_run.log" 2>&1
status=$?
set -e
end=$(date +%s)
grep -v '^#[0-9]' "$OUT/last_run.log" | grep -v '^"' | tail -n 25
executed=$(sed -n 's/^stat::number_of_executed_units:[[:space:]]*//p' "$OUT/last_run.log")
echo "executions: ${executed:-unknown}  seconds: $((end - start))  exit status: $status"
exit "$status"
