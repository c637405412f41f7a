#!/usr/bin/env bash
# The installed kelvaro-cpu in its window under Xvfb, read and worked through the
# accessibility tree (tests/atspi_read.py) and the real pointer. Without --level it
# asks for a strength with three buttons; つよい opens the game window so titled, where
# the computer has placed its fleet already, and Esc then はい ends it with status 0.
# Then a whole match against the normal computer: the fleet dropped on cells the tree
# names, confirmed, and shot after shot at the computer's cells, each read as hit or
# miss, whenever the status says it is this side's turn, until the result box; a win
# must have taken all twelve cells of the fleet. OK, then いいえ to アゲイン？, ends the
# program with status 0. Screenshots go to the screenshot folder.
# Usage: cpu_xvfb.sh DIST_DIR SCREENSHOT_DIR
set -u
. "$(dirname "$0")/xvfb_session.sh"
. "$(dirname "$0")/xvfb_game.sh"
xvfb_enter_netns "$@"
cpu=$1/kelvaro-cpu
shots=$2
mkdir -p "$shots"
xvfb_need_installed "$cpu"
xvfb_need_tools xdotool import
xvfb_session_start 1280x1024x24 || { echo "FAIL: no desktop to test on"; exit 1; }

fail() { echo "FAIL: $*"; import -window root "$shots/cpu-failure.png" 2>/dev/null; exit 1; }
placed='相手の陣地の配置が完了しました。'

# The strength box, then the strong computer's window.
"$cpu" &
pid=$!
xvfb_track "$pid"
for level in よわい ふつう つよい; do
  atspi find 'Kelvaro CPU対戦' 'push button' "$level" >/dev/null || fail "the strength box offers no $level"
done
import -window root "$shots/cpu-strength.png"
atspi press 'Kelvaro CPU対戦' 'push button' つよい || fail "つよい cannot be pressed"
strong='Kelvaro(CPU・つよい)'
atspi game "$strong" || fail "no game window titled $strong"
atspi find "$strong" label "$placed" >/dev/null || fail "the computer did not place its fleet"
import -window root "$shots/cpu-strong.png"
read -r x y w h < <(atspi window "$strong")
xdotool mousemove $((x + w / 2)) $((y + 5)) key Escape
atspi find '確認' label 'Kelvaroを終了しますか?' >/dev/null || fail "Esc does not ask whether to quit"
atspi press '確認' 'push button' 'はい' || fail "the quit question has no はい"
xvfb_ends "$pid" 0 "the program" || fail "$xvfb_why"
echo "ok: the strength box opened $strong, which Esc ended"

# A whole match against the normal computer, which does not wait to think: shorter than
# against the weak one, which cpu_twomachines plays.
"$cpu" --level normal --think-ms 0 &
pid=$!
xvfb_track "$pid"
normal='Kelvaro(CPU・ふつう)'
atspi find "$normal" label "$placed" >/dev/null || fail "the normal computer did not place its fleet"
xvfb_game_play "$normal" "$shots/cpu" || fail "the match was not played to its end"
atspi press "$xvfb_game_result" 'push button' OK || fail "the result box has no OK"
atspi press 'アゲイン？' 'push button' 'いいえ' || fail "no アゲイン？ box with いいえ"
xvfb_ends "$pid" 0 "the program" || fail "$xvfb_why"
echo "PASS: kelvaro-cpu chose its strength, played a whole match and ended; screenshots in $shots"
