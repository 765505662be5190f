#!/usr/bin/env bash
# The long monkey: Soak.AdventureMonkey for MINUTES virtual minutes (default 30) with each
# SEED (default 1 2 3 4), one after the other; prints each run's figures.
#   scripts/monkey.sh [MINUTES] [SEED...]
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-30}
shift || true
seeds=("$@")
[ ${#seeds[@]} -gt 0 ] || seeds=(1 2 3 4)
tests=${DV_MONKEY_TESTS:-build/tests/dv_tests}
for seed in "${seeds[@]}"; do
    DV_MONKEY_MINUTES=$minutes DV_SOAK_SEED=$seed "$tests" --gtest_filter=Soak.AdventureMonkey | grep -E '^monkey:|FAIL|Failure|at [0-9]+ ms'
done
