#!/bin/bash
# Smoke test of the installed game programs on a real X server, read through the
# accessibility tree as a screen reader reads them (tests/atspi_read.py): starts morsk,
# then trelvin, answers trelvin's address box with 127.0.0.1 and its greeting box, and
# checks the titles, places and sizes of both windows, their frames, option items and
# grid cells, their status texts and the confirm button before and after the
# connection. Each window's tree goes to <build>/screenshots/<program>-atspi.txt beside
# its screenshot <program>.png; the client's window is moved beside the host's first.
# Exits 77 (skipped) when the programs are not installed or port 1020 is taken.
#
# Usage: smoke_xvfb.sh <build dir>
set -u
. "$(dirname "$0")/xvfb_session.sh"
xvfb_enter_netns "$@"

build=$(cd "${1:?usage: smoke_xvfb.sh <build dir>}" && pwd)
morsk=$build/dist/Orrin/morsk
trelvin=$build/dist/Velk/trelvin
shots=$build/screenshots
host_title='Kelvaro(サーバー側)'
client_title='Kelvaro(クライアント側)'

skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*"; failed=1; }
# A check that the rest of the test depends on.
must() { "$@" || { echo "FAIL: $*"; exit 1; }; }

[ -x "$morsk" ] || skip "$morsk does not exist (build and install the host program first)"
[ -x "$trelvin" ] || skip "$trelvin does not exist (build and install the client program first)"
for tool in xdotool import ss; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (./test.sh installs it)"; exit 1; }
done
# Only looked at, never connected to: a caller would count as an opponent there.
if ss -Hltn 'sport = :1020' | grep -q .; then
    skip "port 1020 is already taken by another program"
fi
xvfb_session_start 2048x1024x24 || { echo "FAIL: no desktop to test on"; exit 1; }

failed=0
mkdir -p "$shots"

(cd "$build/dist/Orrin" && exec ./morsk) >"$xvfb_work/morsk.log" 2>&1 &
morsk_pid=$!
xvfb_track $morsk_pid
atspi window "$host_title" 0 0 1024 800 >/dev/null || { cat "$xvfb_work/morsk.log"; exit 1; }
echo "ok: morsk at 0,0 1024x800"
atspi find "$host_title" label '相手からの接続を待っています' >/dev/null || fail "morsk's status text"
atspi --timeout 2 find --hidden "$host_title" 'push button' '配置完了' >/dev/null ||
    fail "morsk shows its confirm button before anyone is connected"

(cd "$build/dist/Velk" && exec ./trelvin) >"$xvfb_work/trelvin.log" 2>&1 &
trelvin_pid=$!
xvfb_track $trelvin_pid
must atspi find '接続' label '接続先のIPアドレスを入力してください。' >/dev/null
echo "ok: trelvin asks for the address"
must atspi type '接続' 127.0.0.1
must atspi press '接続' 'push button' OK

# The greeting box, over the client window; OK closes it.
must atspi find '接続確認' label '接続されました' >/dev/null
echo "ok: trelvin greets the connection"
must atspi press '接続確認' 'push button' OK
atspi gone '接続確認' || fail "the greeting box did not close"

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
