#!/usr/bin/env bash
# Checks that every C and C++ file git tracks is formatted as .clang-format says, and names the
# files that are not; `scripts/check-format.sh --fix` formats them in place.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c')
if [ "${1:-}" = --fix ]; then
    clang-format-14 -i "${files[@]}"
    exit 0
fi
report=$(clang-format-14 --dry-run "${files[@]}" 2>&1 | grep -o '^[^:]*:[0-9]*:[0-9]*: warning' | cut -d: -f1 | sort -u || true)
if [ -n "$report" ]; then
    sed 's/$/: not formatted as .clang-format says (scripts\/check-format.sh --fix)/' <<<"$report" >&2
    exit 1
fi
