#!/bin/sh
# Starts the installed game from any folder: its data lives in share/dedivirede beside this
# folder, and --data makes the game change into it before it reads anything. Relative output
# paths and F12 screenshots still land in the folder the player started from.
set -e
here=$(dirname "$(readlink -f "$0")")
data="$here/../share/dedivirede"
exec "$data/dedivirede" --data "$data" "$@"
