#!/usr/bin/env bash
# One short game run under valgrind memcheck: the title and the first game frames of the
# demo level, headless. Fails (status 3) on any memory error or definite leak outside the
# suppressions of scripts/valgrind.supp (the dynamic loader and the GL driver). About four
# minutes: the driver's shader compiler runs under the emulator too.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
valgrind --error-exitcode=3 --leak-check=full --errors-for-leak-kinds=definite \
    --suppressions=scripts/valgrind.supp --num-callers=40 \
    "$build/dedivirede" --headless --data "$build" --step-ms 100 --quit-after 9000
echo "memcheck: no memory error and no definite leak"
