#!/usr/bin/env bash
# Sets up, builds and installs the game into dist/ on a fresh Debian machine, then
# starts it. Idempotent: a second run installs nothing and rebuilds only what changed.
set -euo pipefail
cd "$(dirname "$0")"

packages=(cmake ninja-build g++ qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
          fonts-ipafont-gothic libcap2-bin)
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

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX="$PWD/dist" >/dev/null
cmake --build build
cmake --install build >/dev/null

# The host listens on port 1020, below 1024: let it bind without root.
if [ "$(id -u)" = 0 ] && [ -x dist/Orrin/morsk ]; then
  setcap cap_net_bind_service=+ep dist/Orrin/morsk || true
fi

cd dist
if [ -x ./Kelvaro ]; then
  exec ./Kelvaro
else
  exec ./Orrin/morsk
fi
