#!/usr/bin/env bash
# dvtool's help: every listed command explains itself, and the usage line in the list is the
# one the command prints when it is called without arguments.
# usage: dvtool_help_test.sh DVTOOL
set -uo pipefail
dvtool=$1
fail() { echo "dvtool help: $*" >&2; exit 1; }

list=$("$dvtool" help) || fail "'dvtool help' failed"
"$dvtool" --help > /dev/null || fail "'dvtool --help' failed"
commands=$(printf '%s\n' "$list" | sed -n 's/^  \([a-z-]*\).*/\1/p')
[ "$(printf '%s\n' "$commands" | sort | uniq -d)" = "" ] || fail "a command is listed twice"
for c in $commands; do
    usage=$(printf '%s\n' "$list" | grep -m1 "^  $c\b" | sed 's/^  //')
    "$dvtool" help "$c" | head -n1 | grep -qxF "usage: dvtool $usage" || fail "'help $c' has no usage line"
    [ "$("$dvtool" help "$c" | wc -l)" -ge 3 ] || fail "'help $c' says nothing"
    "$dvtool" "$c" --help | cmp -s - <("$dvtool" help "$c") || fail "'$c --help' differs from 'help $c'"
    [ "$c" = help ] && continue
    err=$("$dvtool" "$c" 2>&1 >/dev/null); status=$?
    [ $status -eq 2 ] || fail "'$c' without arguments exits $status"
    [ "$err" = "usage: dvtool $usage" ] || fail "'$c' prints '$err', the list says '$usage'"
done
"$dvtool" help nosuch 2>/dev/null; [ $? -eq 2 ] || fail "'help nosuch' does not fail"
"$dvtool" nosuch 2>/dev/null; [ $? -eq 2 ] || fail "an unknown command does not fail"
echo "dvtool help ok"
