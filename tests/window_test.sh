#!/usr/bin/env bash
# The game in a real X11 window under Xvfb with a window manager, driven by real input events
# (xdotool, XTEST): keys move the character; 100 resizes; focus lost and regained with a key
# held across the loss; minimised and restored. The game must survive all of it, pause while
# unfocused, resume its frame loop, show a recovered frame rate, and quit on Escape with 0.
#   window_test.sh GAME DATA_DIR
# Exits 77 (skipped) when Xvfb, xdotool or openbox are missing.
set -uo pipefail
game=$1
data=$2
for tool in Xvfb xdotool openbox xmessage; do
    command -v "$tool" >/dev/null || { echo "window test: $tool is not installed, skipped"; exit 77; }
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
    echo "window test: $*" >&2
    [ -f "$work/game.err" ] && sed 's/^/  game: /' "$work/game.err" >&2
    exit 1
}

# A free display number.
display=
for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=:$n; break; }
done
[ -n "$display" ] || fail "no free X display"
# -noreset: the server would otherwise reset whenever its last client leaves, and a client
# connecting just then (the readiness probe below, SDL probing the display) would be refused.
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
started=
for _ in $(seq 100); do xdotool getmouselocation >/dev/null 2>&1 && { started=1; break; }; sleep 0.1; done
[ -n "$started" ] || fail "Xvfb did not start: $(tail -3 "$work/xvfb.log")"
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
sleep 1

trace=$work/trace.csv
stats=$work/stats.json
"$game" --data "$data" --config "$work/config" --trace "$trace" --stats "$stats" >"$work/game.out" 2>"$work/game.err" &
game_pid=$!
pids+=("$game_pid")

lines() { [ -f "$trace" ] && wc -l <"$trace" || echo 0; }
alive() { kill -0 "$game_pid" 2>/dev/null || fail "the game died ($1)"; }
# The last traced position as "x z angle".
where() { tail -1 "$trace" | awk -F, '{ printf "%s %s %s\n", $6, $8, $9 }'; }
# Holds a key for 1.5 s, then lets the game settle for $2 seconds.
hold() { xdotool keydown "$1"; sleep 1.5; xdotool keyup "$1"; sleep "$2"; }
wait_lines() {
    for _ in $(seq 300); do [ "$(lines)" -ge "$1" ] && return 0; alive "$2"; sleep 0.1; done
    fail "the frame loop did not run ($2: $(lines) trace lines, wanted $1)"
}

win=$(xdotool search --sync --name "Dedivirede Alpha 1" | head -1)
[ -n "$win" ] || fail "no game window"
xdotool windowactivate --sync "$win"

# The title runs for seven seconds; then every update tick writes a trace line.
wait_lines 20 "start"
alive "start"

start=$(where)
hold Up 2.5
moved=$(where)
[ "$start" != "$moved" ] || fail "Up in the real window did not move the character ($start)"
hold Left 0.5
turned=$(where)
[ "${turned##* }" != "${moved##* }" ] || fail "Left in the real window did not turn the character"

for i in $(seq 100); do
    xdotool windowsize "$win" $((320 + (i * 37) % 600)) $((240 + (i * 53) % 400))
    [ $((i % 10)) -eq 0 ] && alive "resize $i"
done
xdotool windowsize "$win" 800 600
before=$(lines)
wait_lines $((before + 25)) "after the resizes"

# Focus goes to another window while Up is held; Up is let go while the game cannot see it.
xmessage -name other "other window" >/dev/null 2>&1 &
pids+=($!)
other=$(xdotool search --sync --name other | head -1)
xdotool keydown Up
sleep 0.5
xdotool windowactivate --sync "$other"
xdotool keyup Up
sleep 1
paused=$(lines)
sleep 1.5
alive "focus lost"
[ "$(lines)" -le $((paused + 2)) ] || fail "the game kept updating without focus ($paused -> $(lines) lines)"
xdotool windowactivate --sync "$win"
wait_lines $((paused + 25)) "focus regained"
sleep 1
still=$(where)
sleep 1.5
[ "$(where)" == "$still" ] || fail "the character ran on after Up was released without focus"

xdotool windowminimize --sync "$win"
sleep 1.5
alive "minimised"
hidden=$(lines)
xdotool windowactivate --sync "$win"
wait_lines $((hidden + 25)) "restored"
sleep 3
here=$(where)
hold Right 0.5
[ "$(where)" != "$here" ] || fail "keys did not move the character after the restore"

xdotool key Escape
for _ in $(seq 100); do kill -0 "$game_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$game_pid" 2>/dev/null && fail "Escape did not end the game"
wait "$game_pid"
status=$?
[ "$status" -eq 0 ] || fail "the game exited with $status"
fps=$(sed -n 's/.*"fpsShown": \([0-9]*\).*/\1/p' "$stats")
[ -n "$fps" ] && [ "$fps" -ge 3 ] || fail "the frame rate shown did not recover (fpsShown ${fps:-missing})"
echo "window test: moved, 100 resizes, focus and minimise survived; $(lines) ticks, FPS shown at the end $fps"
