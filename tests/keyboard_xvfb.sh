#!/usr/bin/env bash
# A whole game against the installed kelvaro-cpu in its window under Xvfb, played with
# the keys alone, as a player without a pointer plays it: nothing here moves or presses
# the mouse. The strength box is answered with Tab and Return; the fleet is placed with
# the arrows and Space, the small submarine turned with Tab to its orientation item;
# 配置完了 is reached with Tab and its question answered with Return; then the arrows
# and Space fire along the rows until the result box, which Return closes, and Esc says
# no to アゲイン？, ending the program with status 0. After every key the accessibility
# tree (tests/atspi_read.py, as a screen reader reads it) must name the one focused node
# expected, the cell under the cursor with what it holds. The only other X request is
# giving a new window the keyboard, as a window manager does. Screenshots, with the
# cursor's frame, go to the screenshot folder.
# Usage: keyboard_xvfb.sh DIST_DIR SCREENSHOT_DIR
set -u
. "$(dirname "$0")/xvfb_session.sh"
cpu=$1/kelvaro-cpu
shots=$2
mkdir -p "$shots"
xvfb_need_installed "$cpu"
for tool in xdotool import; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing (./test.sh installs it)"; exit 77; }
done
xvfb_session_start 1280x1024x24 || { echo "FAIL: no desktop to test on"; exit 1; }

fail() { echo "FAIL: $*"; import -window root "$shots/keyboard-failure.png" 2>/dev/null; exit 1; }
# Gives the keyboard to the window titled exactly $1 (ten seconds at most to appear).
to_window() {
  local id pattern
  pattern=$(printf '%s' "$1" | sed 's/[][()*+?.^$|\\{}]/\\&/g')
  id=$(timeout 10 xdotool search --sync --onlyvisible --name "^$pattern\$" | head -n 1) && [ -n "$id" ] &&
    xdotool windowfocus --sync "$id" || fail "no window $1 to give the keys to"
}
# Presses key $1 in the focused window, then the tree must say that node $2 has the
# focus, reading one of the descriptions that follow (any, when none follow).
key() {
  local k=$1
  shift
  xdotool key "$k"
  atspi --timeout 5 focus "$title" "$@" >/dev/null || fail "after $k the focus is not on $1"
}
result_box() { xdotool search --onlyvisible --name '^あなたの(勝ち|負け)$' getwindowname 2>/dev/null; }

"$cpu" --think-ms 0 &
pid=$!
xvfb_track "$pid"
chooser='Kelvaro CPU対戦'
atspi find "$chooser" 'push button' つよい >/dev/null || fail "no strength box"
to_window "$chooser"
title=$chooser
atspi focus "$chooser" ふつう >/dev/null || fail "the strength box does not start on ふつう"
key Tab つよい
xdotool key Return
title='Kelvaro(CPU・つよい)'
atspi find "$title" label '相手の陣地の配置が完了しました。' >/dev/null || fail "no game window $title"
to_window "$title"

# Placement: the large submarine (vertical) down from 1行1列, the medium one (across)
# from 1行2列, the small one turned across on its item and dropped on 2行2列.
key Right '自分の陣地 1行1列' 大潜水艦
key space '自分の陣地 1行1列' 大潜水艦
key Right '自分の陣地 1行2列' 中潜水艦
key space '自分の陣地 1行2列' 中潜水艦
for _ in 1 2 3 4 5 6 7 8 9; do xdotool key Tab; done
key Tab Option3 横向き
key space Option3 横向き
key Down '自分の陣地 1行2列' 中潜水艦
key Down '自分の陣地 2行2列' 小潜水艦
import -window root "$shots/keyboard-placing.png"
key Return '自分の陣地 2行2列' 小潜水艦
for cell in 5行1列:大潜水艦 1行5列:中潜水艦 2行4列:小潜水艦 3行2列:海; do
  atspi describe "$title" "自分の陣地 ${cell%%:*}" "${cell#*:}" >/dev/null || fail "the fleet is not where it was dropped"
done
for _ in 1 2 3; do xdotool key Tab; done
key Tab 配置完了
xdotool key space
atspi find 確認 label '配置はこれでOK?' >/dev/null || fail "配置完了 asks nothing"
to_window 確認
xdotool key Return
atspi gone 確認 || fail "the placement question did not close"
echo "ok: the fleet placed and confirmed with keys"

# Play: along the rows, right on the odd ones and left on the even ones, a shot
# whenever the status says it is this side's turn, until the result box.
to_window "$title"
yourturn='あなたのターンです。砲撃しましょう'
shots_fired=0 hits=0 result= end=$((SECONDS + 100))
for ((n = 0; n < 64 && SECONDS < end; n++)); do
  row=$((n / 8)) col=$((n % 8))
  ((row % 2)) && col=$((7 - col))
  if ((n == 0)); then move=Right
  elif ((n % 8 == 0)); then move=Down
  elif ((row % 2)); then move=Left
  else move=Right; fi
  until result=$(result_box) || atspi --timeout 1 find "$title" label "$yourturn" >/dev/null; do
    ((SECONDS < end)) || fail "neither this side's turn nor a result came"
  done
  [ -z "$result" ] || break
  cell="相手の陣地 $((row + 1))行$((col + 1))列"
  key "$move" "$cell" ''
  xdotool key space
  if ! mark=$(atspi --timeout 5 focus "$title" "$cell" '命中（●）' 'はずれ（×）'); then
    result=$(result_box) || fail "$cell reads neither hit nor miss after Space"
    break
  fi
  shots_fired=$((shots_fired + 1))
  [[ $mark == *命中* ]] && hits=$((hits + 1))
  ((shots_fired == 10)) && import -window root "$shots/keyboard-playing.png"
done
[ -n "$result" ] || result=$(result_box) || { sleep 2; result=$(result_box); } ||
  fail "no result box after $shots_fired shots"
echo "ok: $result after $shots_fired shots, $hits of them hits, each read at the cursor"
[ "$result" = 'あなたの負け' ] || [ "$hits" = 12 ] || fail "won with $hits hits, the fleet has 12 cells"
import -window root "$shots/keyboard-result.png"
to_window "$result"
xdotool key Return
atspi find 'アゲイン？' 'push button' いいえ >/dev/null || fail "no アゲイン？ box"
to_window 'アゲイン？'
xdotool key Escape
timeout 20 tail --pid="$pid" -f /dev/null || fail "the program did not end"
wait "$pid"
rc=$?
[ "$rc" = 0 ] || fail "the program ended with status $rc"
echo "PASS: a whole game against kelvaro-cpu played with keys alone; screenshots in $shots"
