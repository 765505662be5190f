#!/usr/bin/env bash
# The long monkey: Soak.AdventureMonkey for MINUTES virtual minutes (default 30) with each
# SEED (default 1 2 3 4), one after the other, under AddressSanitizer and
# UndefinedBehaviorSanitizer (build-check, see check-build.sh; DV_MONKEY_TESTS names another
# dv_tests); prints each run's figures and the wall time it took.
#   scripts/monkey.sh [MINUTES] [SEED...]
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-30}
shift || true
seeds=("$@")
[ ${#seeds[@]} -gt 0 ] || seeds=(1 2 3 4)
tests=${DV_MONKEY_TESTS:-build-check/tests/dv_tests}
# The same sanitizer settings as scripts/sanitize.sh, for the same reasons.
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=0:alloc_dealloc_mismatch=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
failed=0
for seed in "${seeds[@]}"; do
    start=$(date +%s)
    if ! DV_MONKEY_MINUTES=$minutes DV_SOAK_SEED=$seed "$tests" --gtest_filter=Soak.AdventureMonkey >"${TMPDIR:-/tmp}/monkey_$seed.log" 2>&1; then
        failed=1
    fi
    grep -E '^monkey:|FAIL|Failure|at [0-9]+ ms|ERROR|runtime error' "${TMPDIR:-/tmp}/monkey_$seed.log" || true
    echo "seed $seed: $(($(date +%s) - start)) s wall"
done
exit $failed
