#!/usr/bin/env bash
# The game on a display without OpenGL (Xvfb without its GLX extension), started as a player
# starts it: the fixed fatal message shows in a box captioned "Error", stderr gives it and
# then the system's own reason, and the game ends with status 1 once the box is dismissed.
#   window_no_gl_test.sh GAME
# Exits 77 (skipped) when Xvfb, xdotool or xwininfo are missing.
set -uo pipefail
game=$(readlink -f "$1")
for tool in Xvfb xdotool xwininfo; do
    command -v "$tool" >/dev/null || { echo "no-GL window test: $tool is not installed, skipped"; exit 77; }
done

work=$(mktemp -d)
pids=()
cleanup() {
    # The game waiting in its message box takes SIGTERM as a quit request it cannot act on.
    [ -n "${game_pid:-}" ] && kill -KILL "$game_pid" 2>/dev/null
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "no-GL window test: $*" >&2
    [ -f "$work/game.err" ] && sed 's/^/  game: /' "$work/game.err" >&2
    exit 1
}

display=
for n in $(seq 141 190); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=:$n; break; }
done
[ -n "$display" ] || fail "no free X display"
# -noreset: the server would otherwise reset whenever its last client leaves, and a client
# connecting just then (SDL opens and closes the display while probing) would be refused.
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp -noreset -extension GLX >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
unset WAYLAND_DISPLAY SDL_VIDEODRIVER
started=
for _ in $(seq 300); do xdotool getmouselocation >/dev/null 2>&1 && { started=1; break; }; sleep 0.1; done
[ -n "$started" ] || fail "Xvfb did not start: $(tail -3 "$work/xvfb.log")"

cd "$work"
"$game" --config "$work/config" >"$work/game.out" 2>"$work/game.err" &
game_pid=$!
pids+=("$game_pid")

box=
for _ in $(seq 300); do
    box=$(xwininfo -root -tree | awk '/"Error": \(/ { print $1; exit }')
    [ -n "$box" ] && break
    kill -0 "$game_pid" 2>/dev/null || fail "the game ended without showing the message box"
    sleep 0.1
done
[ -n "$box" ] || fail "no message box captioned Error"
# Both lines are on stderr while the box waits.
[ "$(sed -n 1p "$work/game.err")" == "Error: There is not DX8.1 support in your videocard" ] \
    || fail "the first line is not the fatal message"
grep -q 'GLX' <(sed -n 2p "$work/game.err") || fail "the second line does not give the system's reason"

xdotool windowfocus --sync "$box"
xdotool key Return
for _ in $(seq 50); do kill -0 "$game_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$game_pid" 2>/dev/null && fail "the game did not end when the box was dismissed"
wait "$game_pid"
status=$?
[ "$status" -eq 1 ] || fail "the game exited with $status, not 1"
echo "no-GL window test: the fatal message showed, the reason followed: $(sed -n 2p "$work/game.err")"
