#!/usr/bin/env bash
# The installed Kelvaro under a private Xvfb, started from dist/ as a player would: its
# window must appear by title; a real pointer click on its first button must bring up
# the host window "Kelvaro(サーバー側)". pellu is shown too. Screenshots of both land in
# the screenshot folder. Skips (77) when the host program is not installed yet.
# Usage: launcher_xvfb.sh DIST_DIR SCREENSHOT_DIR
set -u
dist=$1
# A network namespace of its own, where it can have one, so that port 1020 is free for
# its host whatever else runs on this machine.
if [ -z "${KELVARO_TEST_NETNS:-}" ] && command -v unshare >/dev/null && command -v ip >/dev/null &&
    unshare -rn true 2>/dev/null; then
  export KELVARO_TEST_NETNS=1
  exec unshare -rn bash -c 'ip link set lo up && exec bash "$0" "$@"' "$0" "$@"
fi
shots=$2

[ -x "$dist/Kelvaro" ] || { echo "FAIL: $dist/Kelvaro is missing: run cmake --install first"; exit 1; }
[ -x "$dist/pellu" ] || { echo "FAIL: $dist/pellu is missing: run cmake --install first"; exit 1; }
for tool in Xvfb xdotool import convert timeout; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (./test.sh installs it)"; exit 1; }
done
mkdir -p "$shots"

work=$(mktemp -d)
pids=()
cleanup() {
  # Programs first, the X server last; each gets a moment, then is killed outright.
  local p
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    p=${pids[i]}
    kill "$p" 2>/dev/null || continue
    timeout 5 tail --pid="$p" -f /dev/null 2>/dev/null || kill -9 "$p" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display itself and writes its number to the given descriptor, so
# parallel runs cannot race for one.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
timeout 10 bash -c "until [ -s '$work/display' ]; do sleep 0.1; done" \
  || { echo "FAIL: Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=":$(head -n 1 "$work/display")"
echo "Xvfb on $DISPLAY"
export QT_QPA_PLATFORM=xcb
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"

find_window() { # title pattern, seconds
  timeout "$2" xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -n 1
}
fail() { echo "FAIL: $*"; import -window root "$shots/launcher-failure.png" 2>/dev/null; exit 1; }
# The window and a few pixels around it, from the whole screen as the player sees it.
shoot() { # window, file
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$1")"
  import -window root -crop "$((WIDTH + 16))x$((HEIGHT + 16))+$((X > 8 ? X - 8 : 0))+$((Y > 8 ? Y - 8 : 0))" \
    +repage "$2" || fail "no screenshot $2"
  echo "screenshot: $2"
}

(cd "$dist" && exec ./Kelvaro) &
pids+=($!)
launcher=$(find_window '^Kelvaro$' 20) || true
[ -n "$launcher" ] || fail "the launcher window did not appear"
eval "$(xdotool getwindowgeometry --shell "$launcher")"
[ "$WIDTH" = 312 ] && [ "$HEIGHT" = 213 ] || fail "the launcher is ${WIDTH}x${HEIGHT}, not 312x213"
sleep 0.5 # let the first paint land
shoot "$launcher" "$shots/launcher.png"

(cd "$dist" && exec ./pellu) &
pids+=($!)
chat=$(find_window '^trelvin$' 20) || true
[ -n "$chat" ] || fail "the pellu window did not appear"
sleep 0.5
shoot "$chat" "$shots/pellu.png"
kill "${pids[-1]}"

if [ ! -x "$dist/Orrin/morsk" ]; then
  echo "SKIP: $dist/Orrin/morsk is not installed, so the server button has nothing to start"
  exit 77
fi

# The middle of Command1 (twips 180, 1290, 4275, 585 -> pixels 12, 86, 285, 39).
xdotool mousemove --window "$launcher" 154 105 click 1
host=$(find_window '^Kelvaro\(サーバー側\)$' 20) || true
[ -n "$host" ] || fail "the host window did not appear after the click"
hostpid=$(xdotool getwindowpid "$host" 2>/dev/null) || true
[ -n "$hostpid" ] && pids+=("$hostpid")
[ -n "$(xdotool search --onlyvisible --name '^Kelvaro$' 2>/dev/null)" ] \
  || fail "the launcher went away when it started the host"
sleep 0.5
import -window root "$shots/launcher-host-started.png"
echo "PASS: the launcher started the host, and both windows are up"
exit 0
