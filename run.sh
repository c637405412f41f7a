#!/usr/bin/env bash
# Sets up, builds and installs the game into dist/ on a fresh Debian machine, then
# starts it. Idempotent: a second run installs nothing and rebuilds only what changed.
set -euo pipefail
cd "$(dirname "$0")"

. tools/packages.sh
ensure_packages "${build_packages[@]}"

# The same build folder as ./test.sh; the game is installed into dist/.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
cmake --install build --prefix "$PWD/dist" >/dev/null

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
