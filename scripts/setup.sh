#!/usr/bin/env bash
# Installs the Debian packages that the build, the game and the tests need, when missing.
# Idempotent: when everything is present it only runs dpkg-query and returns.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  libsdl2-dev libepoxy-dev libgl1-mesa-dri libegl-mesa0 libegl1 libgl1
  libjpeg62-turbo-dev libpng-dev zlib1g-dev libtiff-dev
  libfreetype-dev fonts-dejavu-core
  libopenal-dev libvorbis-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool openbox x11-utils
  clang libclang-rt-14-dev clang-format-14 libstb-dev
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -ne 0 ]]; then
  echo "Missing packages. Run:" >&2
  echo "sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
