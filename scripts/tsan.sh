#!/usr/bin/env bash
# Builds the threaded tests with ThreadSanitizer in a build directory of their
# own and runs them. Qt's libraries are not instrumented; tests/tsan.supp
# silences reports that lie entirely inside them.
#
#   scripts/tsan.sh [test_name ...]        (default: test_link)
#   TSAN_BUILD_DIR=/path scripts/tsan.sh   (default: build-tsan below the repository)
#
# Prints the number of ThreadSanitizer reports per test; exits non-zero when a
# test fails or any report is printed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${TSAN_BUILD_DIR:-$root/build-tsan}
tests=("$@")
if [ ${#tests[@]} -eq 0 ]; then
    tests=(test_link)
fi

launcher=()
if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -DVORNIX_SANITIZE=thread -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "${launcher[@]}" >/dev/null
cmake --build "$build" -j2 --target "${tests[@]}"

export QT_QPA_PLATFORM=offscreen
export TSAN_OPTIONS="suppressions=$root/tests/tsan.supp halt_on_error=0 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"

# The sanitizer's shadow memory layout does not survive the full address space
# randomisation of recent kernels; run without it when possible.
runner=()
if command -v setarch >/dev/null 2>&1 && setarch "$(uname -m)" -R true 2>/dev/null; then
    runner=(setarch "$(uname -m)" -R)
fi

status=0
for t in "${tests[@]}"; do
    log="$build/$t.tsan.log"
    set +e
    (cd "$root" && "${runner[@]}" "$build/tests/$t") >"$log" 2>&1
    rc=$?
    set -e
    reports=$(grep -c '^WARNING: ThreadSanitizer' "$log" || true)
    summary=$(grep -E '^Totals:' "$log" || echo "no totals (see log)")
    echo "$t: exit $rc, $reports ThreadSanitizer report(s); $summary; log: $log"
    if [ "$rc" -ne 0 ] || [ "$reports" -ne 0 ]; then
        status=1
    fi
done
exit $status
