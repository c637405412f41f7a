#!/usr/bin/env bash
# The installed kelvaro-cpu against the real morsk and trelvin on two machines: two
# network namespaces of the test's own joined by a veth pair, the desk at 192.0.2.1
# (Xvfb, the D-Bus session, the accessibility bus and the game window, whose sockets are
# partly abstract and so stay in one namespace) and the computer alone at 192.0.2.2.
# Match A: morsk on the desk, the strong computer connects to 192.0.2.1 (its games are
# the shortest, and the person most often loses); match B: the weak computer listens,
# trelvin on the desk is given 192.0.2.2 (the person often wins). In each the person plays the
# whole match through the accessibility tree with the real pointer (tests/xvfb_game.sh)
# until the result box. The desk's one TCP connection must join it to the far address
# and the computer must say once that it is connected to the desk's (so the game
# crossed the link); the computer reports one game, lost where the box says won and won where it says lost, with the
# person's shots as its peer's, declines the rematch and ends with status 0 and nothing
# on stderr. The person then asks for a rematch, the window tells that the peer left,
# and after OK the program ends with status 0. Screenshots go to the screenshot folder.
# Skips (77) where no two namespaces and link can be made or port 1020 cannot be bound.
# Usage: cpu_twomachines.sh DIST_DIR SCREENSHOT_DIR
set -u
. "$(dirname "$0")/xvfb_session.sh"
. "$(dirname "$0")/xvfb_game.sh"
xvfb_enter_netns "$@"
dist=$1
shots=$2
cpu=$dist/kelvaro-cpu
mkdir -p "$shots"
desk=192.0.2.1
far=192.0.2.2

xvfb_need_installed "$cpu" "$dist/Orrin/morsk" "$dist/Velk/trelvin"
xvfb_need_tools xdotool import
[ -n "${KELVARO_TEST_NETNS:-}" ] || { echo "SKIP: no network namespace of its own can be made here"; exit 77; }
command -v nsenter >/dev/null || { echo "SKIP: no nsenter to run a program in the second namespace"; exit 77; }
xvfb_need_port_1020 "$dist/Orrin/morsk"
xvfb_session_start 1280x1024x24 || { echo "FAIL: no desktop to test on"; exit 1; }
work=$xvfb_work

fail() { echo "FAIL: $*"; import -window root "$shots/twomachines-failure.png" 2>/dev/null; exit 1; }

# The far machine: a namespace held open by a process that only waits in it.
unshare -n sleep 240 &
far_ns=$!
xvfb_track "$far_ns"
for ((i = 0; i < 50; i++)); do
  [ "$(readlink "/proc/$far_ns/ns/net")" != "$(readlink /proc/self/ns/net)" ] && break
  sleep 0.1
done
[ "$i" -lt 50 ] || { echo "SKIP: no second network namespace: $(head -n 1 "/proc/$far_ns/status" 2>&1)"; exit 77; }
on_far() { nsenter --net="/proc/$far_ns/ns/net" "$@"; }
ip link add kva type veth peer name kvb netns "$far_ns" 2>"$work/ip.err" &&
  ip addr add "$desk/24" dev kva 2>>"$work/ip.err" && ip link set kva up 2>>"$work/ip.err" &&
  on_far ip link set lo up 2>>"$work/ip.err" && on_far ip addr add "$far/24" dev kvb 2>>"$work/ip.err" &&
  on_far ip link set kvb up 2>>"$work/ip.err" ||
  { echo "SKIP: no veth link between the two namespaces: $(cat "$work/ip.err")"; exit 77; }
for ((i = 0; i < 50; i++)); do
  ip -br link show kva | grep -qw UP && on_far ip -br link show kvb | grep -qw UP && break
  sleep 0.1
done
[ "$i" -lt 50 ] || fail "the link did not come up: $(ip -br link show kva) / $(on_far ip -br link show kvb)"
echo "ok: $desk here and $far on the far side of a veth link"

# The one connection on the desk, as the system sees it, must join $1 here to $2 on the
# far side (a * for any port).
crosses() { # local peer
  local seen
  # A dual-stack socket tells IPv4 addresses as [::ffff:a.b.c.d].
  seen=$(ss -Htn state established | awk '{ print $3, $4 }' | sed -E 's/\[::ffff:([0-9.]+)\]/\1/g')
  [[ $seen == $1\ $2 ]] || fail "the desk's connections are '$seen', expected $1 to $2"
  echo "ok: connected across the link, $seen"
}

# The computer's report in $1 (stderr in $2): one connection to $3, one game that the
# person's result box $4 tells the other way round, with the person's $5 shots as the
# peer's, cell by cell, and no rematch.
reports() { # out err peer result shots
  local games line want re='^game 1: (won|lost) \(this side ([0-9]+) shots, the peer ([0-9]+)\) .* peer: ([0-9 ]+)$'
  sed 's/^/  computer: /' "$1"
  [ "$(grep '^connected' "$1")" = "connected to $3" ] || fail "the computer did not say once that it is connected to $3"
  games=$(grep -c '^game ' "$1")
  [ "$games" = 1 ] || fail "the computer reports $games games, expected 1"
  line=$(grep '^game ' "$1")
  [[ $line =~ $re ]] || fail "the game line is '$line'"
  case $4 in
    あなたの勝ち) want=lost ;;
    あなたの負け) want=won ;;
    *) fail "a result box titled '$4'" ;;
  esac
  [ "${BASH_REMATCH[1]}" = "$want" ] || fail "the window says $4 and the computer ${BASH_REMATCH[1]}"
  [ "${BASH_REMATCH[3]}" = "$5" ] || fail "the person fired $5 shots, the computer counted ${BASH_REMATCH[3]}"
  # The person fires row by row from the top-left cell.
  [ "${BASH_REMATCH[4]}" = "$(seq -s ' ' 0 $(($5 - 1)))" ] ||
    fail "the person fired at cells 0 to $(($5 - 1)) in order, the computer tells '${BASH_REMATCH[4]}'"
  [ "$(tail -n 1 "$1")" = 'match over after 1 game(s): no rematch wanted' ] ||
    fail "the computer ends with '$(tail -n 1 "$1")'"
  [ -s "$2" ] && fail "the computer wrote to stderr: $(cat "$2")"
  echo "ok: the computer $want, as $4 says, and declined the rematch"
}

# After the result box: OK, then はい to アゲイン？ once the computer has declined and
# ended; the window ($1) then tells in box $2 with text $3 that the peer left.
after_match() { # program-pid cpu-pid out err peer leave-title leave-text png
  atspi press "$xvfb_game_result" 'push button' OK || fail "the result box has no OK"
  atspi find 'アゲイン？' 'push button' 'はい' >/dev/null || fail "no アゲイン？ box after the result"
  xvfb_ends "$2" 0 "the computer" || fail "$xvfb_why"
  reports "$3" "$4" "$5" "$xvfb_game_result" "$xvfb_game_shots"
  atspi press 'アゲイン？' 'push button' 'はい' || fail "アゲイン？ has no はい"
  atspi find "$6" label "$7" >/dev/null || fail "no box '$6' that tells the peer left"
  import -window root "$8" || fail "no screenshot $8"
  atspi press "$6" 'push button' OK || fail "the box '$6' has no OK"
  xvfb_ends "$1" 0 "the game program" || fail "$xvfb_why"
}

echo "match A: morsk at $desk, the computer connects from $far"
xvfb_game_start_host "$dist" || fail "morsk did not start"
on_far "$cpu" --connect "$desk" --level strong --think-ms 0 --games 1 >"$work/a.out" 2>"$work/a.err" &
cpu_pid=$!
xvfb_track "$cpu_pid"
atspi find "$xvfb_host_title" 'push button' '配置完了' >/dev/null ||
  fail "morsk offers no confirm button: $(cat "$work/a.out" "$work/a.err")"
crosses "$desk:1020" "$far:*"
xvfb_game_play "$xvfb_host_title" "$shots/twomachines-morsk" || fail "morsk's match was not played to its end"
after_match "$xvfb_game_host_pid" "$cpu_pid" "$work/a.out" "$work/a.err" "$desk" \
  morsk '相手側から切断されました。' "$shots/twomachines-morsk-left.png"
echo "ok: match A"

echo "match B: the computer listens at $far, trelvin at $desk connects"
on_far "$cpu" --listen --no-router --level weak --think-ms 0 --games 1 >"$work/b.out" 2>"$work/b.err" &
cpu_pid=$!
xvfb_track "$cpu_pid"
xvfb_says "$work/b.out" '^waiting for the opponent on port 1020$' "$cpu_pid" ||
  fail "the computer does not wait: $(cat "$work/b.out" "$work/b.err")"
xvfb_game_start_client "$dist" '' "$far" || fail "trelvin did not connect to $far"
atspi find "$xvfb_client_title" 'push button' '配置完了' >/dev/null || fail "trelvin offers no confirm button"
crosses "$desk:*" "$far:1020"
xvfb_game_play "$xvfb_client_title" "$shots/twomachines-trelvin" || fail "trelvin's match was not played to its end"
after_match "$xvfb_game_client_pid" "$cpu_pid" "$work/b.out" "$work/b.err" "$desk" \
  '切断されました' $'サーバから切断されました\n' "$shots/twomachines-trelvin-left.png"
echo "ok: match B"

echo "PASS: kelvaro-cpu played a whole match against morsk and one against trelvin across a veth link; screenshots in $shots"
