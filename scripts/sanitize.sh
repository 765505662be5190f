#!/usr/bin/env bash
# Runs every test of build-check (AddressSanitizer + UndefinedBehaviorSanitizer, see
# check-build.sh): the unit tests, the end-to-end replays of the game, the window test and a
# soak of SOAK_MINUTES (default 1). Any sanitizer report aborts the process that made it and
# fails its test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/check-build.sh
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1:fast_unwind_on_malloc=0}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# The soak's memory budget does not apply here: the sanitizer keeps freed memory in quarantine.
export DV_SOAK_MINUTES=${SOAK_MINUTES:-1}
ctest --test-dir build-check --output-on-failure -j2 --timeout 900
echo "sanitize: every test ran clean under AddressSanitizer and UndefinedBehaviorSanitizer"
