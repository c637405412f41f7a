#!/usr/bin/env bash
# Sets up what the tests need on a fresh Debian machine, builds, and runs every test
# headless through CTest. Idempotent: a second run installs nothing and rebuilds only
# what changed.
set -euo pipefail
cd "$(dirname "$0")"

packages=(cmake ninja-build g++ clang libclang-rt-14-dev qt6-base-dev qt6-base-dev-tools
          qt6-qpa-plugins libgl-dev fonts-ipafont-gothic xvfb xauth xdotool imagemagick
          x11-utils libcap2-bin)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build=${KELVARO_BUILD:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_INSTALL_PREFIX="$PWD/$build/dist" >/dev/null
cmake --build "$build"
cmake --install "$build" >/dev/null
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 "$@"
