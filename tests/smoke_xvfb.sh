#!/bin/bash
# Smoke test of the installed game programs on a real X server (Xvfb): starts morsk,
# then trelvin, answers trelvin's address box with 127.0.0.1, waits for both game
# windows by their titles, checks their places and sizes, closes the greeting box and
# saves a screenshot of each window to <build>/screenshots/. Both windows place
# themselves at the top left, so the client's is moved beside the host's before the
# pictures are taken. Where it can, the test runs in a network namespace of its own, so
# that its host has port 1020 to itself whatever else runs on the machine. Exits 77
# (skipped) when the programs are not installed, a tool is missing, or port 1020 is
# taken.
#
# Usage: smoke_xvfb.sh <build dir>
set -u

build=$(cd "${1:?usage: smoke_xvfb.sh <build dir>}" && pwd)
morsk=$build/dist/Orrin/morsk
trelvin=$build/dist/Velk/trelvin
shots=$build/screenshots
timeout_s=20

if [ -z "${KELVARO_SMOKE_NETNS:-}" ] && command -v unshare >/dev/null && command -v ip >/dev/null &&
    unshare -rn true 2>/dev/null; then
    export KELVARO_SMOKE_NETNS=1
    exec unshare -rn bash -c 'ip link set lo up && exec bash "$0" "$@"' "$0" "$build"
fi

skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*"; failed=1; }

for tool in Xvfb xdotool import identify convert ss; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
done
[ -x "$morsk" ] || skip "$morsk does not exist (build and install the host program first)"
[ -x "$trelvin" ] || skip "$trelvin does not exist (build and install the client program first)"
# Only looked at, never connected to: a caller would count as an opponent there.
if ss -Hltn 'sport = :1020' | grep -q .; then
    skip "port 1020 is already taken by another program"
fi

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display itself and writes its number to the pipe.
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 2048x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
read -r -t "$timeout_s" display <"$work/display" || skip "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$display"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb

# Prints the id of the visible window of process $1 titled exactly $2.
window_titled() {
    local id
    for id in $(xdotool search --onlyvisible --pid "$1" --name '.' 2>/dev/null); do
        if [ "$(xdotool getwindowname "$id")" = "$2" ]; then
            echo "$id"
            return 0
        fi
    done
    return 1
}

# The same, waiting up to the timeout for the window to appear.
window_of() {
    local deadline=$((SECONDS + timeout_s))
    while [ $SECONDS -lt $deadline ]; do
        window_titled "$1" "$2" && return 0
        kill -0 "$1" 2>/dev/null || return 1
        sleep 0.2
    done
    return 1
}

window_names() {
    local id
    for id in $(xdotool search --onlyvisible --pid "$1" --name '.' 2>/dev/null); do
        printf '"%s" ' "$(xdotool getwindowname "$id")"
    done
}

check_place() {
    local id=$1 name=$2 expected=$3 place
    place=$(xdotool getwindowgeometry "$id" |
        sed -n -e 's/^ *Position: *\([0-9]*,[0-9]*\).*/\1/p' -e 's/^ *Geometry: *//p' | paste -sd' ')
    if [ "$place" = "$expected" ]; then
        echo "ok: $name at $place"
    else
        fail "$name at $place, expected $expected"
    fi
}

# Saves window $2 as $1.png once it shows its background (an uncovered window is
# repainted a moment after it is uncovered).
screenshot() {
    local name=$1 id=$2 size=$3 file=$shots/$1.png deadline=$((SECONDS + timeout_s)) got corner
    while [ $SECONDS -lt $deadline ]; do
        rm -f "$file"
        import -window "$id" "$file" 2>"$work/import.log" || break
        corner=$(convert "$file" -format '%[hex:p{4,4}]' info:)
        if [ "$corner" != "000000" ]; then
            got=$(identify -format '%wx%h' "$file")
            [ "$got" = "$size" ] || fail "screenshot $name.png is $got, expected $size"
            echo "ok: $file"
            return 0
        fi
        sleep 0.2
    done
    fail "no screenshot of $name: $(cat "$work/import.log")"
}

# Waits up to the timeout until process $1 shows no window titled $2 any more.
wait_gone() {
    local deadline=$((SECONDS + timeout_s))
    while [ $SECONDS -lt $deadline ]; do
        window_titled "$1" "$2" >/dev/null || return 0
        sleep 0.2
    done
    return 1
}

failed=0
mkdir -p "$shots"

(cd "$build/dist/Orrin" && exec ./morsk) >"$work/morsk.log" 2>&1 &
morsk_pid=$!
pids+=($morsk_pid)
host_win=$(window_of "$morsk_pid" "Kelvaro(サーバー側)")
if [ -z "$host_win" ]; then
    names=$(window_names "$morsk_pid")
    [ -n "$names" ] && skip "morsk shows $names instead of its game window (port 1020 not available?)"
    fail "morsk showed no window: $(cat "$work/morsk.log")"
    exit 1
fi
echo "ok: morsk window $host_win"
check_place "$host_win" morsk "0,0 1024x800"

(cd "$build/dist/Velk" && exec ./trelvin) >"$work/trelvin.log" 2>&1 &
trelvin_pid=$!
pids+=($trelvin_pid)
ask=$(window_of "$trelvin_pid" "接続")
if [ -z "$ask" ]; then
    fail "trelvin showed no address box: $(window_names "$trelvin_pid") $(cat "$work/trelvin.log")"
    exit 1
fi
echo "ok: trelvin asks for the address"
xdotool windowfocus --sync "$ask"
xdotool type --delay 20 "127.0.0.1"
xdotool key Return

client_win=$(window_of "$trelvin_pid" "Kelvaro(クライアント側)")
if [ -z "$client_win" ]; then
    fail "trelvin showed no game window: $(window_names "$trelvin_pid") $(cat "$work/trelvin.log")"
    exit 1
fi
echo "ok: trelvin window $client_win"
check_place "$client_win" trelvin "0,0 1024x768"

# The greeting box, over the client window; OK closes it.
greeting=$(window_of "$trelvin_pid" "接続確認")
if [ -n "$greeting" ]; then
    echo "ok: trelvin greets the connection"
    xdotool windowfocus --sync "$greeting"
    xdotool key Return
    wait_gone "$trelvin_pid" "接続確認" || fail "the greeting box did not close"
else
    fail "trelvin showed no greeting box: $(window_names "$trelvin_pid")"
fi

xdotool windowmove --sync "$client_win" 1024 0
screenshot morsk "$host_win" 1024x800
screenshot trelvin "$client_win" 1024x768

# Both programs must still be running: nothing ended them.
kill -0 "$morsk_pid" 2>/dev/null || fail "morsk ended: $(cat "$work/morsk.log")"
kill -0 "$trelvin_pid" 2>/dev/null || fail "trelvin ended: $(cat "$work/trelvin.log")"

exit $failed
