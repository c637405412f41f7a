#!/bin/bash
# Smoke test of the installed game programs on a real X server, read through the
# accessibility tree as a screen reader reads them (tests/atspi_read.py): starts morsk,
# then trelvin, answers trelvin's address box with 127.0.0.1 and its greeting box, and
# checks the titles, places and sizes of both windows, their frames, option items and
# grid cells, their status texts and the confirm button before and after the
# connection. Each window's tree goes to <build>/screenshots/<program>-atspi.txt beside
# its screenshot <program>.png; the client's window is moved beside the host's first.
# Fails when the programs are not installed; skipped (77) when port 1020 is taken.
#
# Usage: smoke_xvfb.sh <build dir>
set -u
. "$(dirname "$0")/xvfb_session.sh"
. "$(dirname "$0")/xvfb_game.sh"
xvfb_enter_netns "$@"

build=$(cd "${1:?usage: smoke_xvfb.sh <build dir>}" && pwd)
dist=$build/dist
shots=$build/screenshots
host_title=$xvfb_host_title
client_title=$xvfb_client_title

fail() { echo "FAIL: $*"; failed=1; }

xvfb_need_installed "$dist/Orrin/morsk" "$dist/Velk/trelvin"
xvfb_need_tools xdotool import
xvfb_need_port_1020 "$dist/Orrin/morsk"
xvfb_session_start 2048x1024x24 || { echo "FAIL: no desktop to test on"; exit 1; }

failed=0
mkdir -p "$shots"

xvfb_game_start_host "$dist" 0 0 1024 800 || exit 1
morsk_pid=$xvfb_game_host_pid
echo "ok: morsk at 0,0 1024x800"
atspi find "$host_title" label '相手からの接続を待っています' >/dev/null || fail "morsk's status text"
atspi --timeout 2 find --hidden "$host_title" 'push button' '配置完了' >/dev/null ||
    fail "morsk shows its confirm button before anyone is connected"

# Asks for the address, then greets the connection in a box over its window; OK
# closes it.
xvfb_game_start_client "$dist" || exit 1
trelvin_pid=$xvfb_game_client_pid
echo "ok: trelvin asked for the address and greeted the connection"

atspi window "$client_title" 0 0 1024 768 >/dev/null || fail "trelvin's window"
echo "ok: trelvin at 0,0 1024x768"
for title in "$host_title" "$client_title"; do
    atspi find "$title" label $'127.0.0.1と接続されました\n潜水艦を配置しましょう' >/dev/null ||
        fail "$title's status text once connected"
    atspi find "$title" 'push button' '配置完了' >/dev/null || fail "$title shows no confirm button"
    atspi game "$title" || failed=1
done

# Side by side for the pictures; the reads below give the host time to repaint.
client_win=$(xdotool search --all --onlyvisible --pid "$trelvin_pid" --name '^Kelvaro' | head -n 1)
host_win=$(xdotool search --all --onlyvisible --pid "$morsk_pid" --name '^Kelvaro' | head -n 1)
timeout 10 xdotool windowmove --sync "$client_win" 1024 0
atspi window "$client_title" 1024 0 1024 768 >/dev/null || fail "trelvin's window did not move"
atspi dump "$host_title" "$shots/morsk-atspi.txt" && echo "ok: $shots/morsk-atspi.txt"
atspi dump "$client_title" "$shots/trelvin-atspi.txt" && echo "ok: $shots/trelvin-atspi.txt"
import -window "$host_win" "$shots/morsk.png" && echo "ok: $shots/morsk.png" || fail "no screenshot of morsk"
import -window "$client_win" "$shots/trelvin.png" && echo "ok: $shots/trelvin.png" || fail "no screenshot of trelvin"

# Both programs must still be running: nothing ended them.
kill -0 "$morsk_pid" 2>/dev/null || fail "morsk ended: $(cat "$xvfb_work/morsk.log")"
kill -0 "$trelvin_pid" 2>/dev/null || fail "trelvin ended: $(cat "$xvfb_work/trelvin.log")"

exit $failed
