#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz and runs each one for SECONDS
# (default 30) over a copy of its committed corpus (fuzz/corpus/<name>). Findings are written
# to build-fuzz/findings/; the script fails on the first target that finds one.
#   scripts/fuzz-smoke.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DDV_FUZZ=ON -DDV_TESTS=OFF -DDV_BENCH=OFF >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for src in fuzz/fuzz_*.cpp; do targets+=("$(basename "$src" .cpp)"); done
fi
cmake --build build-fuzz -j2 --target "${targets[@]}"

mkdir -p build-fuzz/findings
for target in "${targets[@]}"; do
    name=${target#fuzz_}
    work=build-fuzz/corpus/$name
    mkdir -p "$work"
    if [ -d "fuzz/corpus/$name" ]; then cp -n fuzz/corpus/"$name"/* "$work"/ 2>/dev/null || true; fi
    log=build-fuzz/$target.log
    echo "== $target: ${seconds}s"
    if ! "build-fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -artifact_prefix=build-fuzz/findings/"$target"- -print_final_stats=1 "$work" >"$log" 2>&1; then
        tail -40 "$log"
        echo "$target: finding, see build-fuzz/findings/" >&2
        exit 1
    fi
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$log" | tr '\n' ' '
    echo
done
