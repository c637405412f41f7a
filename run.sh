#!/usr/bin/env bash
# Sets up, builds the five programs (not the tests or benchmarks, which are ./test.sh's)
# and installs them into dist/ on a fresh Debian machine, then starts the launcher.
# Idempotent: a second run installs nothing and rebuilds only what changed.
# Without a desktop session (neither DISPLAY nor WAYLAND_DISPLAY set, and no Qt platform
# chosen in QT_QPA_PLATFORM) it stops after installing, says so, and exits with status 3,
# so that a script (CI's fresh-root run among them) can tell "built, but not started"
# from a failure (any other non-zero status) and from a launcher that ran.
set -euo pipefail
cd "$(dirname "$0")"
top=$PWD

. tools/packages.sh
ensure_packages "${build_packages[@]}"

# A folder this user can build in: it exists and is writable, or it can be made.
writable() { if [ -e "$1" ]; then [ -w "$1" ]; else [ -w "$(dirname "$1")" ]; fi; }

# build/ and dist/ belong to whoever owns this source tree: a run as root hands them
# back to that owner below. A user who cannot write them (they belong to someone else)
# builds in a folder of their own instead.
build=$top/build
dist=$top/dist
if [ "$(id -u)" != 0 ] && ! { writable "$build" && writable "$dist"; }; then
  own=${XDG_CACHE_HOME:-$HOME/.cache}/kelvaro
  echo "build/ or dist/ here belongs to another user: building in $own instead."
  build=$own/build
  dist=$own/dist
fi

# Only the programs are built. A new build folder leaves the tests and benchmarks out
# altogether; one that ./test.sh set up keeps them, for its next run.
options=()
[ -f "$build/CMakeCache.txt" ] || options=(-DKELVARO_BUILD_TESTS=OFF)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}" >/dev/null
cmake --build "$build" --target Kelvaro morsk trelvin pellu kelvaro-cpu
cmake --install "$build" --prefix "$dist" >/dev/null

# The host listens on port 1020, below 1024, which needs the capability to bind it (or
# a kernel that lets every user bind from 1020 up).
morsk=$dist/Orrin/morsk
if [ "$(id -u)" = 0 ]; then
  # Changing the owner drops a file's capabilities, so that comes first.
  owner=$(stat -c %u:%g .)
  if [ "$owner" != 0:0 ] && [ "$build" = "$top/build" ]; then
    chown -R "$owner" "$build" "$dist"
  fi
  if ! setcap cap_net_bind_service=+ep "$morsk" || ! setcap cap_net_bind_service=+ep "$dist/kelvaro-cpu"; then
    echo "This file system cannot hold file capabilities, so the host cannot be given the"
    echo "right to listen on port 1020. To host a game, allow ports from 1020 up for every user:"
    echo "  sysctl -w net.ipv4.ip_unprivileged_port_start=1020"
  fi
elif ! PATH=$PATH:/usr/sbin:/sbin getcap "$morsk" | grep -q cap_net_bind_service &&
     [ "$(cat /proc/sys/net/ipv4/ip_unprivileged_port_start)" -gt 1020 ]; then
  echo "The host (the launcher's server button) and kelvaro-cpu --listen listen on TCP port"
  echo "1020, which needs a right that only root can give. Run this once, and again after a"
  echo "build that changed them:"
  echo "  sudo setcap cap_net_bind_service=+ep $morsk cap_net_bind_service=+ep $dist/kelvaro-cpu"
fi

cd "$dist"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "The programs are built and installed in $dist."
  echo "Kelvaro needs a desktop session (DISPLAY or WAYLAND_DISPLAY), and neither is set here:"
  echo "the launcher is not started. Run ./run.sh again from a desktop session to play."
  exit 3
fi
exec ./Kelvaro
