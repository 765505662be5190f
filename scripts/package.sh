#!/usr/bin/env bash
# The Debian package of the game and its data.
#   scripts/package.sh deb       builds build/package/dedivirede_<version>_<arch>.deb
#   scripts/package.sh test-deb  builds it, installs it with apt, starts the installed command
#                                headless from another folder, validates its AppStream file,
#                                removes it and checks that nothing of it is left (as root)
set -euo pipefail
cd "$(dirname "$0")/.."
step=${1:-}
case "$step" in
deb | test-deb) ;;
*)
    echo "usage: scripts/package.sh deb|test-deb" >&2
    exit 2
    ;;
esac

bash scripts/setup.sh
extra=()
for p in dpkg-dev appstream; do
    [[ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)" == "install ok installed" ]] || extra+=("$p")
done
if [ ${#extra[@]} -gt 0 ]; then
    if [[ $(id -u) -ne 0 ]]; then
        echo "Missing packages. Run: sudo apt-get install -y ${extra[*]}" >&2
        exit 1
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${extra[@]}"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
rm -rf build/package
(cd build && cpack -G DEB >/dev/null)
deb=$(ls build/package/dedivirede_*.deb)
echo "$deb: $(stat -c %s "$deb") bytes, $(dpkg-deb -c "$deb" | grep -vc '/$') files," \
     "installed size $(dpkg-deb -f "$deb" Installed-Size) KiB"
echo "Depends: $(dpkg-deb -f "$deb" Depends)"
[ "$step" = deb ] && exit 0

if [[ $(id -u) -ne 0 ]]; then
    echo "test-deb installs the package: run it as root" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
if dpkg-query -W dedivirede >/dev/null 2>&1; then apt-get purge -y -q dedivirede >/dev/null; fi
apt-get install -y -q --no-install-recommends "./$deb" >/dev/null
files=$(dpkg-query -L dedivirede | sort)

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
[ "$(command -v dedivirede)" = /usr/bin/dedivirede ] || { echo "package: no dedivirede command" >&2; exit 1; }
grep -qx 'Exec=dedivirede' /usr/share/applications/dedivirede.desktop
appstreamcli validate --no-net /usr/share/metainfo/io.github.dedivirede.dedivirede.metainfo.xml
# The installed command with no data option, from an unrelated folder, as a menu starts it.
mkdir -p "$tmp/home" "$tmp/elsewhere"
(cd "$tmp/elsewhere" && env -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u XDG_CACHE_HOME HOME="$tmp/home" \
    dedivirede --headless --quit-after 4000 --stats stats.json)
grep -q '"frames"' "$tmp/elsewhere/stats.json"
echo "package: the installed game ran 4 s headless from $tmp/elsewhere"

apt-get purge -y -q dedivirede >/dev/null
if dpkg-query -W -f='${Status}' dedivirede 2>/dev/null | grep -q installed; then
    echo "package: still installed after purge" >&2
    exit 1
fi
left=$(while read -r f; do if [ -e "$f" ] && [ ! -d "$f" ]; then echo "$f"; fi; done <<<"$files")
for d in /usr/share/dedivirede /usr/share/dedivirede/sounds; do if [ -e "$d" ]; then left+=$'\n'"$d"; fi; done
if [ -n "${left//$'\n'/}" ]; then
    echo "package: left behind after removal:$left" >&2
    exit 1
fi
echo "package: installed, validated, ran and removed with nothing left ($(wc -l <<<"$files") paths)"
