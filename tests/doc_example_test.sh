#!/usr/bin/env bash
# Runs the worked example of docs/level-format.md as written: the source block marked
# example-source and the command block marked example-commands, in an empty folder, with the
# build folder's dvtool on PATH; then checks what the example says it makes.
# usage: doc_example_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
doc=$1/docs/level-format.md
export BUILD=$(cd "$2" && pwd)
export PATH="$BUILD:$PATH"
tmp=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$tmp"' EXIT

# The fenced block that follows the marker line.
block() {
    awk -v marker="$1" '
        index($0, marker) == 1 { armed = 1; next }
        armed && /^```/ { if (inside) exit; inside = 1; next }
        inside { print }' "$doc"
}
name=$(grep -o '<!-- example-source: [^ ]*' "$doc" | head -n1 | sed 's/.*: //')
[ -n "$name" ] || { echo "$doc: no example-source marker" >&2; exit 1; }
block "<!-- example-source:" > "$tmp/$name"
block "<!-- example-commands -->" > "$tmp/commands.sh"
[ -s "$tmp/$name" ] && [ -s "$tmp/commands.sh" ] || { echo "$doc: an example block is empty" >&2; exit 1; }

cd "$tmp"
bash -euo pipefail commands.sh
for f in test.lev test_lm0.bmp first.png; do
    [ -s "$f" ] || { echo "$doc: the example made no $f" >&2; exit 1; }
done
dvtool image first.png first.pam
grep -qa '^WIDTH 800$' first.pam
echo "worked example ok"
