#!/usr/bin/env bash
# Configures and builds build-check: clang with AddressSanitizer and UndefinedBehaviorSanitizer
# and the libFuzzer targets. The sanitizer run and the fuzz smoke share this one build.
#   scripts/check-build.sh [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
CC=clang CXX=clang++ cmake -S . -B build-check -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DDV_SANITIZE=ON -DDV_FUZZ=ON -DDV_BENCH=OFF >/dev/null
if [ $# -gt 0 ]; then
    cmake --build build-check -j2 --target "$@"
else
    cmake --build build-check -j2
fi
