#!/usr/bin/env bash
# Frame time of two game binaries on the profile run, measured alternately so that the load of
# a shared machine falls on both alike: A, B, A, B, ... Each run is headless at 800 x 600 (Mesa's
# software rasteriser) with the virtual clock, so both draw the same frames. Prints each run's
# mean frame time (wall, from --stats) and CPU time per frame (user + system of the whole
# process, rasteriser threads included), then the means and the ratios A / B.
#
# Usage: scripts/frame-time-ab.sh OLD_BINARY NEW_BINARY [ROUNDS] [QUIT_AFTER_MS]
#   e.g. scripts/frame-time-ab.sh /tmp/main/dedivirede build/dedivirede 3
# The data comes from the build folder (build/ or $DATA); the replay is bench/profile.replay.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
if [ $# -lt 2 ]; then
    sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
fi
old="$1"
new="$2"
rounds="${3:-3}"
quit="${4:-26000}"
data="${DATA:-$root/build}"
for bin in "$old" "$new"; do
    [ -x "$bin" ] || { echo "frame-time-ab: $bin is not an executable" >&2; exit 2; }
done
[ -f "$data/test.lev" ] || { echo "frame-time-ab: no demo content in $data" >&2; exit 2; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# One run: prints "frames meanFrameMs cpuMsPerFrame drawCalls".
run() {
    local bin="$1" tag="$2"
    /usr/bin/time -f '%U %S' -o "$work/$tag.time" "$bin" --headless --data "$data" --step-ms 16 \
        --replay "$root/bench/profile.replay" --quit-after "$quit" --stats "$work/$tag.json" --mute \
        > "$work/$tag.log" 2>&1 || { echo "frame-time-ab: $bin failed, see its output:" >&2; cat "$work/$tag.log" >&2; exit 1; }
    local json frames mean draws
    json="$(cat "$work/$tag.json")"
    frames="$(sed -n 's/.*"frames": *\([0-9.]*\).*/\1/p' <<<"$json")"
    mean="$(sed -n 's/.*"meanFrameMs": *\([0-9.]*\).*/\1/p' <<<"$json")"
    draws="$(sed -n 's/.*"meanDrawCalls": *\([0-9.]*\).*/\1/p' <<<"$json")"
    awk -v f="$frames" -v m="$mean" -v d="$draws" '{ printf "%d %.3f %.3f %.2f\n", f, m, ($1 + $2) * 1000 / f, d }' \
        "$work/$tag.time"
}

printf '%-5s %-4s %7s %12s %14s %11s\n' round bin frames "mean ms" "cpu ms/frame" "draw calls"
sumOld=0 sumNew=0 cpuOld=0 cpuNew=0
for ((r = 1; r <= rounds; ++r)); do
    for side in old new; do
        bin="$old"
        [ "$side" = new ] && bin="$new"
        read -r frames mean cpu draws < <(run "$bin" "$side$r")
        printf '%-5s %-4s %7s %12s %14s %11s\n' "$r" "$side" "$frames" "$mean" "$cpu" "$draws"
        if [ "$side" = old ]; then
            sumOld="$(awk -v a="$sumOld" -v b="$mean" 'BEGIN { print a + b }')"
            cpuOld="$(awk -v a="$cpuOld" -v b="$cpu" 'BEGIN { print a + b }')"
        else
            sumNew="$(awk -v a="$sumNew" -v b="$mean" 'BEGIN { print a + b }')"
            cpuNew="$(awk -v a="$cpuNew" -v b="$cpu" 'BEGIN { print a + b }')"
        fi
    done
done
awk -v so="$sumOld" -v sn="$sumNew" -v co="$cpuOld" -v cn="$cpuNew" -v n="$rounds" 'BEGIN {
    printf "mean frame time: old %.3f ms, new %.3f ms, ratio %.2f\n", so / n, sn / n, so / sn
    printf "cpu per frame:   old %.3f ms, new %.3f ms, ratio %.2f\n", co / n, cn / n, co / cn
}'
