#!/usr/bin/env bash
# Runs each libFuzzer target of build-check (see check-build.sh) for SECONDS (default 30) over
# a copy of its committed corpus (fuzz/corpus/<name>), two at a time. Findings are written to
# build-check/findings/; the script fails if any target finds one.
#   scripts/fuzz-smoke.sh [SECONDS] [fuzz_<name>...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for src in fuzz/fuzz_*.cpp; do targets+=("$(basename "$src" .cpp)"); done
    # Built from fuzz_ogg.cpp with the browser's Ogg Vorbis reader (see fuzz/CMakeLists.txt).
    targets+=(fuzz_stb_vorbis)
fi
bash scripts/check-build.sh "${targets[@]}"

mkdir -p build-check/findings
# Leaks inside the system libraries listed there are theirs, not the readers'.
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp:print_suppressions=0}
run_one() {
    local target=$1 name=${1#fuzz_}
    local work=build-check/corpus/$name log=build-check/$1.log
    mkdir -p "$work"
    if [ -d "fuzz/corpus/$name" ]; then cp -n fuzz/corpus/"$name"/* "$work"/ 2>/dev/null || true; fi
    if ! "build-check/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -artifact_prefix=build-check/findings/"$target"- -print_final_stats=1 "$work" >"$log" 2>&1; then
        tail -40 "$log"
        echo "$target: finding, see build-check/findings/" >&2
        return 1
    fi
    echo "$target: ${seconds}s, $(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}') runs," \
         "peak $(grep -E '^stat::peak_rss_mb' "$log" | awk '{print $2}') MB"
}

failed=0
for ((i = 0; i < ${#targets[@]}; i += 2)); do
    pids=()
    for target in "${targets[@]:i:2}"; do
        run_one "$target" &
        pids+=($!)
    done
    for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
done
exit $failed
