#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan, runs
# the unit tests (the soak for SOAK_MINUTES, default 1) and one headless replay of the game
# on the demo level. Any sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export DV_SOAK_MINUTES=${SOAK_MINUTES:-1}

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDV_SANITIZE=ON -DDV_BENCH=OFF >/dev/null
cmake --build build-asan -j2
ctest --test-dir build-asan --output-on-failure -j2

out=build-asan/replay-check
mkdir -p "$out"
./build-asan/dedivirede --headless --data build-asan --step-ms 16 \
    --replay tests/data/replays/demo_walk.rep --trace "$out/trace.csv" \
    --screenshot 17000:"$out/game.png" --quit-after 18000 2>"$out/stderr.txt" || {
    cat "$out/stderr.txt"
    echo "sanitize: the replay run failed" >&2
    exit 1
}
if [ -s "$out/stderr.txt" ]; then
    cat "$out/stderr.txt"
    echo "sanitize: the replay run reported problems" >&2
    exit 1
fi
echo "sanitize: unit tests and the demo replay ran clean ($(($(wc -l <"$out/trace.csv") - 1)) ticks)"
