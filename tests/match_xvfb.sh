#!/usr/bin/env bash
# The installed morsk and trelvin under Xvfb over port 1020, played up to the first shot
# and read through the accessibility tree (tests/atspi_read.py): the client's player
# answers the address and greeting boxes; both windows must then show the confirm
# button. Each player places the fleet with the real pointer on the cells the tree
# names, confirms and answers はい; the player whose turn it is fires at the peer's
# top-left cell, and both windows must announce that cell as hit. Screenshots and
# the trees after the shot go to the screenshot folder.
# Fails when the programs are not installed; needs port 1020 free (the programs always
# use it) and skips (77) when it is not.
# Usage: match_xvfb.sh DIST_DIR SCREENSHOT_DIR
set -u
. "$(dirname "$0")/xvfb_session.sh"
. "$(dirname "$0")/xvfb_game.sh"
xvfb_enter_netns "$@"
dist=$1
shots=$2
mkdir -p "$shots"
host_title=$xvfb_host_title
client_title=$xvfb_client_title

xvfb_need_installed "$dist/Orrin/morsk" "$dist/Velk/trelvin"
xvfb_need_tools xdotool import
xvfb_need_port_1020 "$dist/Orrin/morsk"
xvfb_session_start 2048x1024x24 || { echo "FAIL: no desktop to test on"; exit 1; }

fail() { echo "FAIL: $*"; import -window root "$shots/match-failure.png" 2>/dev/null; exit 1; }
x11_window() { # title
  xdotool search --onlyvisible --name "^$(printf '%s' "$1" | sed 's/[()]/\\&/g')\$" | head -n 1
}

xvfb_game_start_host "$dist" || fail "the host window did not appear"
import -window "$(x11_window "$host_title")" "$shots/match-host-waiting.png"

# The client's player answers the address box and the greeting.
xvfb_game_start_client "$dist" "$shots/match-greeting.png" || fail "the client did not connect"

# The confirm button appears on both sides, whatever covers the host's window.
for title in "$host_title" "$client_title"; do
  atspi find "$title" 'push button' '配置完了' >/dev/null || fail "$title shows no confirm button"
done
echo "ok: both windows offer the confirm button"

# Side by side, so that the pointer reaches the cells of both.
timeout 10 xdotool windowmove --sync "$(x11_window "$client_title")" 1024 0
atspi window "$client_title" 1024 0 1024 768 >/dev/null || fail "the client window did not move"
import -window "$(x11_window "$host_title")" "$shots/match-host-connected.png"
import -window "$(x11_window "$client_title")" "$shots/match-client-connected.png"
import -window root "$shots/match-desktop.png"

# Moves the pointer onto own cell ROW COLUMN (counted from 1) of window TITLE and
# presses there: the move shows the selected submarine, the press drops it.
drop_at() { # title row column
  local x y w h
  read -r x y w h < <(atspi find "$1" 'push button' "自分の陣地 $2行$3列") || return 1
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
}

# The large one down from the top-left cell, the medium one across from the next, the
# small one down from row 2, column 6: each drop selects the next submarine.
for title in "$host_title" "$client_title"; do
  drop_at "$title" 1 1 && drop_at "$title" 1 2 && drop_at "$title" 2 6 || fail "$title: no cell to place on"
  atspi describe "$title" '自分の陣地 5行1列' '大潜水艦' &&
    atspi describe "$title" '自分の陣地 1行5列' '中潜水艦' &&
    atspi describe "$title" '自分の陣地 4行6列' '小潜水艦' || fail "$title: the fleet is not where it was dropped"
  atspi press "$title" 'push button' '配置完了' || fail "$title: no confirm button to press"
  atspi press '確認' 'push button' 'はい' || fail "$title: no question whether the placement is right"
  atspi gone '確認' || fail "$title: the question did not close"
done

# The host draws who fires first; the status text tells each player.
yourturn='あなたのターンです。砲撃しましょう'
if atspi --timeout 5 find "$host_title" label "$yourturn" >/dev/null; then
  shooter=$host_title target=$client_title
elif atspi --timeout 5 find "$client_title" label "$yourturn" >/dev/null; then
  shooter=$client_title target=$host_title
else
  fail "neither window says it is its turn"
fi
echo "ok: $shooter fires first"
atspi describe "$target" '自分の陣地 1行1列' '大潜水艦' && atspi describe "$shooter" '相手の陣地 1行1列' '' ||
  fail "the cell to fire at is told as marked before the shot"
# Both programs announce the hit as a screen reader hears it.
atspi press "$shooter" 'push button' '相手の陣地 1行1列' --announces '相手の陣地 1行1列' '命中（●）' \
  --announces '自分の陣地 1行1列' '大潜水艦、命中（●）' || fail "the hit is not announced on both boards"
atspi find "$shooter" label '相手のターンです。' >/dev/null || fail "the shooter keeps the turn"
atspi find "$target" label "$yourturn" >/dev/null || fail "the turn did not pass"

atspi dump "$host_title" "$shots/match-host-atspi.txt"
atspi dump "$client_title" "$shots/match-client-atspi.txt"
import -window root "$shots/match-desktop-shot.png"

echo "PASS: both windows connected, placed, and told the first shot; screenshots in $shots"
exit 0
