#!/usr/bin/env bash
# The installed morsk and trelvin under Xvfb, driven with real key events: the client's
# player types 127.0.0.1 into the address box and answers the greeting box; both
# windows must then show the confirm button. Screenshots go to the screenshot folder.
# Needs port 1020 free (the programs always use it); skips (77) when it is not.
# Usage: match_xvfb.sh DIST_DIR SCREENSHOT_DIR
set -u
# A network namespace of its own, where it can have one, so that port 1020 is free for
# its host whatever else runs on this machine.
if [ -z "${KELVARO_TEST_NETNS:-}" ] && command -v unshare >/dev/null && command -v ip >/dev/null &&
    unshare -rn true 2>/dev/null; then
  export KELVARO_TEST_NETNS=1
  exec unshare -rn bash -c 'ip link set lo up && exec bash "$0" "$@"' "$0" "$@"
fi
dist=$1
shots=$2
mkdir -p "$shots"

for p in "$dist/Orrin/morsk" "$dist/Velk/trelvin"; do
  [ -x "$p" ] || { echo "SKIP: $p is not installed (run cmake --install first)"; exit 77; }
done
for tool in Xvfb xdotool import compare; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (./test.sh installs it)"; exit 1; }
done
if (exec 3<>/dev/tcp/127.0.0.1/1020) 2>/dev/null; then
  echo "SKIP: port 1020 is in use here, so morsk cannot listen on it"
  exit 77
fi
if [ "$(id -u)" != 0 ] && ! getcap "$dist/Orrin/morsk" 2>/dev/null | grep -q cap_net_bind_service; then
  echo "SKIP: not root and morsk has no cap_net_bind_service, so it cannot bind port 1020"
  exit 77
fi

display=""
for n in $(seq 91 140); do
  if [ ! -e /tmp/.X$n-lock ] && [ ! -e /tmp/.X11-unix/X$n ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "FAIL: no free X display"; exit 1; }

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; wait 2>/dev/null; }
trap cleanup EXIT

Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
export QT_QPA_PLATFORM=xcb
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

find_window() { # title, seconds
  timeout "$2" xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -n 1
}
fail() { echo "FAIL: $*"; import -window root "$shots/match-failure.png" 2>/dev/null; exit 1; }

(cd "$dist" && exec ./Orrin/morsk) &
pids+=($!)
host=$(find_window '^Kelvaro\(サーバー側\)$' 20) || true
[ -n "$host" ] || fail "the host window did not appear"
sleep 0.5
import -window "$host" "$shots/match-host-waiting.png"

(cd "$dist" && exec ./Velk/trelvin) &
pids+=($!)
ask=$(find_window '^接続$' 20) || true
[ -n "$ask" ] || fail "the address box did not appear"
xdotool windowfocus --sync "$ask" 2>/dev/null || true
xdotool type --delay 30 "127.0.0.1"
xdotool key Return

greeting=$(find_window '^接続確認$' 20) || true
[ -n "$greeting" ] || fail "the greeting box did not appear on the client"
import -window root "$shots/match-greeting.png"
xdotool windowfocus --sync "$greeting" 2>/dev/null || true
xdotool key Return

client=$(find_window '^Kelvaro\(クライアント側\)$' 20) || true
[ -n "$client" ] || fail "the client window did not appear"
# The greeting box closes before the client's label and confirm button change.
for _ in $(seq 50); do
  xdotool search --onlyvisible --name '^接続確認$' >/dev/null 2>&1 || break
  sleep 0.1
done
sleep 1
import -window "$host" "$shots/match-host-connected.png"
import -window "$client" "$shots/match-client-connected.png"
import -window root "$shots/match-desktop.png"

# The confirm button sits inside the own-grid frame; it must now be drawn where the
# waiting host showed nothing. Host: frame at (223,60) + button (131,228), 60 x 22 px.
crop() { convert "$1" -crop "$2" +repage "$3"; }
crop "$shots/match-host-waiting.png" 60x22+354+288 /tmp/kelvaro-before.png
crop "$shots/match-host-connected.png" 60x22+354+288 /tmp/kelvaro-after.png
changed=$(compare -metric AE /tmp/kelvaro-before.png /tmp/kelvaro-after.png null: 2>&1 || true)
[ "${changed%% *}" != 0 ] || fail "the host's confirm button did not appear"
echo "host confirm button region changed in $changed pixels"

echo "PASS: both windows connected; screenshots in $shots"
exit 0
