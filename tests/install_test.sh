#!/usr/bin/env bash
# Installs the build into a temporary prefix, checks the layout, and runs the installed game
# headless through its launcher from another folder, with an F12 screenshot on the way.
# usage: install_test.sh BUILD_DIR DVTOOL
set -euo pipefail
build=$1
dvtool=$(readlink -f "$2")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

for f in bin/dedivirede share/dedivirede/dedivirede share/dedivirede/levels.txt \
         share/dedivirede/test.lev share/dedivirede/test_lm0.bmp share/dedivirede/test.snd \
         share/dedivirede/cistern.lev share/dedivirede/cistern_lm0.bmp share/dedivirede/cistern.snd \
         share/dedivirede/tower.lev share/dedivirede/tower_lm0.bmp share/dedivirede/tower.snd \
         share/dedivirede/card_hall.jpg share/dedivirede/card_cistern.jpg share/dedivirede/card_tower.jpg \
         share/dedivirede/font01.fnx share/dedivirede/title1.jpg share/dedivirede/title2.jpg \
         share/dedivirede/set.txt share/applications/dedivirede.desktop \
         share/icons/hicolor/128x128/apps/dedivirede.png share/metainfo/io.github.dedivirede.dedivirede.metainfo.xml share/dedivirede/sounds/step_stone_1.wav \
         share/dedivirede/sounds/land_hard.wav share/dedivirede/sounds/amb_wind.ogg \
         share/dedivirede/sounds/music_title.ogg; do
    [ -s "$prefix/$f" ] || { echo "install: $f is missing or empty" >&2; exit 1; }
done
# Every level's lightmaps are installed.
diff <(cd "$build" && ls *_lm*.bmp) <(cd "$prefix/share/dedivirede" && ls *_lm*.bmp) >/dev/null \
    || { echo "install: the lightmaps differ from the build's" >&2; exit 1; }
# Every sound the build made is installed, and nothing else in sounds/.
diff <(ls "$build/sounds") <(ls "$prefix/share/dedivirede/sounds") >/dev/null \
    || { echo "install: share/dedivirede/sounds differs from the build's sounds" >&2; exit 1; }
[ "$(ls "$prefix/share/dedivirede/sounds" | grep -c '\.wav$')" -eq 30 ] \
    && [ "$(ls "$prefix/share/dedivirede/sounds" | grep -c '\.ogg$')" -eq 8 ] \
    || { echo "install: expected 30 WAV and 8 Ogg sounds" >&2; exit 1; }
[ -x "$prefix/bin/dedivirede" ] || { echo "install: the launcher is not executable" >&2; exit 1; }
grep -qx 'Exec=dedivirede' "$prefix/share/applications/dedivirede.desktop"
"$dvtool" image "$prefix/share/icons/hicolor/128x128/apps/dedivirede.png" "$tmp/icon.pam"
grep -qa '^WIDTH 128$' "$tmp/icon.pam"

# From an unrelated folder, through a symbolic link to the launcher, as a menu or a games
# folder would start it; arguments reach the game.
mkdir "$tmp/elsewhere"
cd "$tmp/elsewhere"
ln -s "$prefix/bin/dedivirede" play
./play --version | grep -q '^dedivirede '
printf '1000 down F12\n1016 up F12\n' > keys.txt
./play --headless --config "$tmp/config" --step-ms 16 --quit-after 2000 --replay keys.txt --stats stats.json
grep -q '"frames"' stats.json
shots=(dedivirede-*.png)
[ -s "${shots[0]}" ] || { echo "install: F12 wrote no screenshot here" >&2; exit 1; }
"$dvtool" image "${shots[0]}" shot.pam
grep -qa '^WIDTH 800$' shot.pam
[ -z "$(ls "$prefix/share/dedivirede" | grep -v -e '^dedivirede$' -e '\.lev$' -e '\.snd$' -e '\.bmp$' -e '\.fnx$' -e '\.jpg$' -e '^set.txt$' -e '^levels.txt$' -e '^sounds$')" ] \
    || { echo "install: the game wrote into its data folder" >&2; exit 1; }
# A relative --data names the folder once: the game changes into it and reads from there.
(cd "$prefix/share" && ./dedivirede/dedivirede --data dedivirede --config "$tmp/config" --headless --step-ms 100 --quit-after 300)
echo "install layout and launcher ok"
