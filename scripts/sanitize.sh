#!/usr/bin/env bash
# Runs the tests of build-check (AddressSanitizer + UndefinedBehaviorSanitizer, see
# check-build.sh): the unit tests, the end-to-end replays of the game, the window test and a
# soak of SOAK_MINUTES (default 1). The whole-level replays are left to the ordinary build: they
# take minutes, and the moves they make are run under the sanitizers by the action tests.
# Any sanitizer report aborts the process that made it and fails its test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/check-build.sh
# The GL driver's compiler frees with free() some buffers it allocated with new; that mismatch
# check is off. The leak checker is off too: its stop-the-world tracer crashes now and then
# while the driver's threads exit (run it by hand with detect_leaks=1; the soak's memory
# budget and the memcheck run catch leaks of ours). fast_unwind_on_malloc=0 deadlocks in the
# driver's compiler.
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=0:alloc_dealloc_mismatch=0}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# The soak's memory budget does not apply here: the sanitizer keeps freed memory in quarantine.
export DV_SOAK_MINUTES=${SOAK_MINUTES:-1}
ctest --test-dir build-check --output-on-failure -j2 -E 'GameEndToEnd.Whole'
echo "sanitize: every test ran clean under AddressSanitizer and UndefinedBehaviorSanitizer"
