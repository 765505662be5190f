#!/usr/bin/env bash
# Runs docs/authoring.md as written: every fenced block after a `<!-- file: NAME -->` line is
# written as NAME, then every block after a `<!-- run -->` line runs in order, in an empty
# folder with the build folder's game and dvtool on PATH and the player folders in it.
# usage: authoring_guide_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
doc=$1/docs/authoring.md
export BUILD=$(cd "$2" && pwd)
export PATH="$BUILD:$PATH"
tmp=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$tmp"' EXIT
export XDG_CONFIG_HOME=$tmp/home/config XDG_DATA_HOME=$tmp/home/data XDG_CACHE_HOME=$tmp/home/cache

mkdir "$tmp/level"
awk -v dir="$tmp/level" -v run="$tmp/run.sh" '
    /^<!-- file: [^ ]+ -->$/ { out = dir "/" $3; next }
    /^<!-- run -->$/ { out = run; next }
    out != "" && /^```/ { if (inside) { inside = 0; out = "" } else inside = 1; next }
    inside && out != "" { print > out }' "$doc"
[ -s "$tmp/run.sh" ] || { echo "$doc: no command block marked <!-- run -->" >&2; exit 1; }

cd "$tmp/level"
bash -euo pipefail -x "$tmp/run.sh"
[ -s walk.png ] || { echo "$doc: the guide made no walk.png" >&2; exit 1; }
[ "$(ls)" = "$(printf 'walk.png\nwalk.replay\nwalk.txt')" ] || { echo "$doc: files beside the source: $(ls)" >&2; exit 1; }
echo "authoring guide ok"
