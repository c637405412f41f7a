#!/usr/bin/env bash
# The installed Kelvaro under a private Xvfb, started from dist/ as a player would, read
# through the accessibility tree (tests/atspi_read.py): its window must appear by title
# and size with its text and buttons; a real pointer click on the middle of its first
# button, as the tree places it, must bring up the host window "Kelvaro(サーバー側)"
# and leave the launcher up. pellu is shown too, with its controls. Screenshots of both
# land in the screenshot folder. Fails when a program it starts is not installed; the
# host it starts listens on port 1020, so it skips (77) when that port is taken.
# Usage: launcher_xvfb.sh DIST_DIR SCREENSHOT_DIR
set -u
. "$(dirname "$0")/xvfb_session.sh"
xvfb_enter_netns "$@"
dist=$1
shots=$2
server_button='サーバー(接続される側)になるならここをクリック'

xvfb_need_installed "$dist/Kelvaro" "$dist/pellu" "$dist/Orrin/morsk"
xvfb_need_tools xdotool import
xvfb_need_port_1020 "$dist/Orrin/morsk"
mkdir -p "$shots"
xvfb_session_start 1280x1024x24 || { echo "FAIL: no desktop to test on"; exit 1; }

fail() { echo "FAIL: $*"; import -window root "$shots/launcher-failure.png" 2>/dev/null; exit 1; }
# The window and a few pixels around it, from the whole screen as the player sees it.
shoot() { # title, file
  local x y w h
  read -r x y w h < <(atspi window "$1") || fail "no window $1 to take a picture of"
  import -window root -crop "$((w + 16))x$((h + 16))+$((x > 8 ? x - 8 : 0))+$((y > 8 ? y - 8 : 0))" \
    +repage "$2" || fail "no screenshot $2"
  echo "screenshot: $2"
}

(cd "$dist" && exec ./Kelvaro) &
xvfb_track $!
read -r _ _ width height < <(atspi window Kelvaro) || fail "the launcher window did not appear"
[ "$width" = 312 ] && [ "$height" = 213 ] || fail "the launcher is ${width}x${height}, not 312x213"
atspi find Kelvaro label 'このゲームは2人ネット対戦専用ゲームです。' >/dev/null || fail "the launcher's text"
atspi find Kelvaro 'push button' 'クライアント(接続する側)になるならここをクリック' >/dev/null ||
  fail "the launcher's client button"
read -r bx by bw bh < <(atspi find Kelvaro 'push button' "$server_button") ||
  fail "the launcher's server button"
shoot Kelvaro "$shots/launcher.png"

(cd "$dist" && exec ./pellu) &
pellu=$!
xvfb_track $pellu
atspi window trelvin >/dev/null || fail "the pellu window did not appear"
for button in '接続！' '発射'; do
  atspi find trelvin 'push button' "$button" >/dev/null || fail "pellu has no button $button"
done
atspi find trelvin label 'お名前' >/dev/null || fail "pellu's name label"
shoot trelvin "$shots/pellu.png"
kill "$pellu"

xdotool mousemove $((bx + bw / 2)) $((by + bh / 2)) click 1
atspi window 'Kelvaro(サーバー側)' >/dev/null || fail "the host window did not appear after the click"
hostpid=$(xdotool search --onlyvisible --name '^Kelvaro\(サーバー側\)$' getwindowpid 2>/dev/null | head -n 1)
[ -n "$hostpid" ] && xvfb_track "$hostpid"
atspi window Kelvaro >/dev/null || fail "the launcher went away when it started the host"
import -window root "$shots/launcher-host-started.png"
echo "PASS: the launcher started the host, and both windows are up"
exit 0
