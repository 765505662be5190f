#!/usr/bin/env bash
# Sets up, checks the formatting, builds and runs every test: the unit and end-to-end tests,
# then the same tests under AddressSanitizer and UndefinedBehaviorSanitizer and a 30-second run
# of every fuzzer.
# DV_QUICK=1 stops after the first part.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/check-format.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
ctest --test-dir build --output-on-failure -j2
if [ "${DV_QUICK:-0}" = 1 ]; then exit 0; fi
bash scripts/sanitize.sh
bash scripts/fuzz-smoke.sh 30
