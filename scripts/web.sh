#!/usr/bin/env bash
# The browser build: installs what it needs (Debian's emscripten, libstb-dev, and for the
# test chromium and nodejs, with puppeteer-core from npm), builds the native game for its
# content, builds the page into build-web/ and then
#   scripts/web.sh            serves the page on http://127.0.0.1:8080/ (PORT=... to change)
#   scripts/web.sh build      only builds
#   scripts/web.sh test       plays the first 12 s of the course replay in headless chromium
#                             and compares trace and screenshot with the native game
#   scripts/web.sh course     the same for the whole course at 480 x 360 (software WebGL's
#                             time grows with the pixels drawn; see docs/web.md for figures)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
what="${1:-serve}"
case "$what" in serve|build|test|course) ;; *) echo "usage: scripts/web.sh [serve|build|test|course]" >&2; exit 2 ;; esac

packages=(emscripten libstb-dev)
[[ "$what" == test || "$what" == course ]] && packages+=(chromium nodejs npm)
missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
# nodejs from another source may bring its own npm instead of Debian's package.
if [[ " ${missing[*]} " == *" npm "* ]] && command -v npm >/dev/null; then
  missing=("${missing[@]/npm}")
fi
if [[ -n "${missing[*]// /}" ]]; then
  if [[ $(id -u) -ne 0 ]]; then
    echo "Missing packages. Run: sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends ${missing[*]}
fi

# Debian's emscripten runs its tools with the first python3 on the PATH and finds Debian's
# acorn for node only through NODE_PATH.
export PATH="/usr/bin:$PATH"
export NODE_PATH="/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}"

bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$root/build" --target dedivirede demo_content demo_sounds
emcmake cmake -S "$root" -B "$root/build-web" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDV_WEB_DATA="$root/build"
cmake --build "$root/build-web"
ls -l "$root/build-web"/index.{html,js,wasm,data}

run_test() {
  (cd "$root/tests/web" && PUPPETEER_SKIP_DOWNLOAD=1 npm install --no-audit --no-fund --silent)
  cd "$root"
  node tests/web/web_course_test.mjs "$@"
}

case "$what" in
  build) ;;
  test) run_test --quit-after 12000 --shots 9400 --out "$root/build-web/test" ;;
  course) run_test --quit-after 120000 --shots 9400,29600,91000 --canvas 480x360 --out "$root/build-web/course" ;;
  serve)
    port="${PORT:-8080}"
    echo "Open http://127.0.0.1:$port/ (Ctrl+C stops the server)"
    exec python3 -m http.server "$port" --bind 127.0.0.1 --directory "$root/build-web"
    ;;
esac
