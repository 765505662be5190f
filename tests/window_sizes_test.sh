#!/usr/bin/env bash
# The game at any window size under Xvfb with a window manager: resized to 640 x 480,
# 1280 x 720 and 1920 x 1080 during the title, each F12 screenshot has the window's size and
# the title picture keeps its 4:3 proportions (letterboxed, not stretched); F11 makes the
# window fill the screen and F11 again brings the window size back; Alt+Enter does the same.
#   window_sizes_test.sh GAME DATA_DIR
# Exits 77 (skipped) when Xvfb, xdotool, openbox or python3 are missing.
set -uo pipefail
game=$1
data=$2
for tool in Xvfb xdotool openbox python3; do
    command -v "$tool" >/dev/null || { echo "window sizes test: $tool is not installed, skipped"; exit 77; }
done

work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "window sizes test: $*" >&2
    [ -f "$work/game.err" ] && sed 's/^/  game: /' "$work/game.err" >&2
    exit 1
}

display=
for n in $(seq 141 190); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=:$n; break; }
done
[ -n "$display" ] || fail "no free X display"
Xvfb "$display" -screen 0 2560x1440x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
started=
for _ in $(seq 100); do xdotool getmouselocation >/dev/null 2>&1 && { started=1; break; }; sleep 0.1; done
[ -n "$started" ] || fail "Xvfb did not start: $(tail -3 "$work/xvfb.log")"
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
sleep 1

# F12 screenshots land in the folder the game is started from.
cd "$work" || fail "no work folder"
"$game" --data "$data" --config "$work/config" >"$work/game.out" 2>"$work/game.err" &
game_pid=$!
pids+=("$game_pid")
alive() { kill -0 "$game_pid" 2>/dev/null || fail "the game died ($1)"; }

win=$(xdotool search --sync --name "Dedivirede Alpha 1" | head -1)
[ -n "$win" ] || fail "no game window"
xdotool windowactivate --sync "$win"
# The window appears before start-up has loaded the level and set its 800 x 600; a resize
# before that would be undone by it (a slow build, such as the sanitizers', shows this).
for _ in $(seq 300); do
    xdotool getwindowgeometry "$win" 2>/dev/null | grep -q 'Geometry: 800x600' && break
    alive "start-up"
    sleep 0.1
done

# Takes a screenshot with F12 and prints its path.
shoot() {
    local before after
    before=$(ls "$work"/dedivirede-*.png 2>/dev/null | wc -l)
    xdotool key F12
    for _ in $(seq 100); do
        after=$(ls "$work"/dedivirede-*.png 2>/dev/null | wc -l)
        [ "$after" -gt "$before" ] && break
        sleep 0.1
    done
    [ "$after" -gt "$before" ] || fail "F12 wrote no screenshot ($1)"
    ls -t "$work"/dedivirede-*.png | head -1
}

# Prints "WIDTH HEIGHT" of a screenshot, from its header.
size_of() {
    od -An -tu1 -j16 -N8 "$1" | awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4, $5 * 16777216 + $6 * 65536 + $7 * 256 + $8 }'
}

# Takes screenshots until one is WIDTH x HEIGHT (a loaded machine may present a frame or two
# at the old size after a change), at most ten; prints the last one's path.
shoot_sized() {
    local shot
    for _ in $(seq 10); do
        shot=$(shoot "$3")
        [ "$(size_of "$shot")" = "$1 $2" ] && break
        sleep 0.5
    done
    echo "$shot"
}

# Prints "WIDTH HEIGHT LEFT RIGHT TOP BOTTOM" of a screenshot: its size and the extent of
# the pixels that are not black (sampled every eighth row and column).
measure() {
    python3 - "$1" <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
w, h, depth, ctype = struct.unpack(">IIBB", data[16:26])
chunks, i = b"", 8
while i < len(data):
    n, kind = struct.unpack(">I4s", data[i:i + 8])
    if kind == b"IDAT":
        chunks += data[i + 8:i + 8 + n]
    i += 12 + n
raw = zlib.decompress(chunks)
bpp = {2: 3, 6: 4}[ctype]
stride = w * bpp
rows, prev, at = [], bytearray(stride), 0
for _ in range(h):
    f, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
    at += 1 + stride
    for x in range(stride):
        a = line[x - bpp] if x >= bpp else 0
        b = prev[x]
        c = prev[x - bpp] if x >= bpp else 0
        if f == 1: line[x] = (line[x] + a) & 255
        elif f == 2: line[x] = (line[x] + b) & 255
        elif f == 3: line[x] = (line[x] + (a + b) // 2) & 255
        elif f == 4:
            p = a + b - c
            pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
    rows.append(line)
    prev = line
lit = lambda y, x: max(rows[y][x * bpp:x * bpp + 3]) > 4
cols = [x for x in range(w) if any(lit(y, x) for y in range(0, h, 8))]
ys = [y for y in range(h) if any(lit(y, x) for x in range(0, w, 8))]
print(w, h, min(cols), max(cols), min(ys), max(ys))
PY
}

# The title shows for seven seconds: the three shots are taken first and measured after.
sizes=(640x480 1280x720 1920x1080)
shots=()
for size in "${sizes[@]}"; do
    xdotool windowsize --sync "$win" "${size%x*}" "${size#*x}"
    sleep 0.6
    alive "resize to $size"
    shots+=("$(shoot_sized "${size%x*}" "${size#*x}" "$size")")
done
for i in "${!sizes[@]}"; do
    size=${sizes[$i]}
    w=${size%x*}
    h=${size#*x}
    read -r sw sh left right top bottom <<<"$(measure "${shots[$i]}")"
    [ "$sw" = "$w" ] && [ "$sh" = "$h" ] || fail "the screenshot at $size is ${sw}x${sh}"
    # The title picture fills the height (or the width) at 4:3.
    pw=$((right - left + 1))
    ph=$((bottom - top + 1))
    [ $((pw * 3 - ph * 4)) -le 12 ] && [ $((ph * 4 - pw * 3)) -le 12 ] ||
        fail "the title picture at $size is ${pw}x${ph}, not 4:3"
    echo "window sizes test: $size shot ${sw}x${sh}, picture ${pw}x${ph}"
done

windowed="1920 1080"
xdotool key F11
sleep 1.5
alive "full screen"
read -r sw sh <<<"$(size_of "$(shoot_sized 2560 1440 "full screen")")"
[ "$sw $sh" = "2560 1440" ] || fail "full screen shot is ${sw}x${sh}, the screen is 2560x1440"
xdotool key F11
sleep 1.5
read -r sw sh <<<"$(size_of "$(shoot_sized $windowed "windowed again")")"
[ "$sw $sh" = "$windowed" ] || fail "back from full screen the shot is ${sw}x${sh}, not $windowed"
xdotool key alt+Return
sleep 1.5
read -r sw sh <<<"$(size_of "$(shoot_sized 2560 1440 "Alt+Enter")")"
[ "$sw $sh" = "2560 1440" ] || fail "Alt+Enter gave ${sw}x${sh}, not the full screen"
xdotool key alt+Return
for _ in $(seq 50); do grep -q "full_screen = no" "$work/config/settings.ini" 2>/dev/null && break; sleep 0.1; done
grep -q "full_screen = no" "$work/config/settings.ini" || fail "the settings do not say windowed after toggling back"

xdotool key Escape
for _ in $(seq 100); do kill -0 "$game_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$game_pid" 2>/dev/null && fail "Escape did not end the game"
wait "$game_pid"
status=$?
[ "$status" -eq 0 ] || fail "the game exited with $status"
echo "window sizes test: three sizes, F11 and Alt+Enter there and back"
