#!/usr/bin/env bash
# The installed kelvaro-cpu over port 1020 on loopback, in a network namespace of its
# own: a --listen computer with --games 2 plays a --connect computer (other levels);
# both end with status 0, each says once whom it is connected to and reports exactly
# the games played, game by game the one side's win is the other's loss and the one
# side's shots are the other's peer shots, and the side without --games is told the
# peer left. A caller that arrives while the two play is closed on without a byte and
# the match goes on. Nobody listening, a second listener and a bad argument end with
# 1, 1 and 2 and a line on stderr. Separately started listeners each draw who fires
# first from a seed of their own: over 40 of them, the host fires first about as
# often as not.
# Usage: cpu_network.sh DIST_DIR
set -u
. "$(dirname "$0")/xvfb_session.sh"
xvfb_enter_netns "$@"
cpu=$1/kelvaro-cpu
xvfb_need_installed "$cpu"
[ -n "${KELVARO_TEST_NETNS:-}" ] || { echo "SKIP: no network namespace of its own can be made here"; exit 77; }
xvfb_work=$(mktemp -d) # removed, and every program started ended, on exit
work=$xvfb_work
trap xvfb_cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Starts a listener with the arguments given; its output goes to $work/host.*, and the
# previous match's outputs are gone. It leaves the router alone: the router's lines on
# stderr belong to the router tests.
listen() {
  rm -f "$work"/*.out "$work"/*.err # a new program truncates its file only once it runs
  "$cpu" --listen --no-router "$@" >"$work/host.out" 2>"$work/host.err" &
  host=$!
  xvfb_track "$host"
  xvfb_says "$work/host.out" '^waiting for the opponent on port 1020$' "$host" && return 0
  echo "FAIL: the listener did not say it waits: $(cat "$work/host.out" "$work/host.err")"
  exit 1
}
# Waits (60 s at most) for process $1 to end and checks its status is $2.
ends_with() { xvfb_ends "$1" "$2" "$3" 60 || fail "$xvfb_why"; }
# The game lines of output $1, then the match line, must be the games $2 and the reason $3.
reports() {
  local games
  games=$(grep -c '^game ' "$1")
  [ "$games" = "$2" ] || fail "$1 reports $games games, expected $2"
  [ "$(grep -c '^connected to 127\.0\.0\.1$' "$1")" = 1 ] || fail "$1 has not one 'connected to 127.0.0.1' line"
  [ "$(tail -n 1 "$1")" = "match over after $2 game(s): $3" ] || fail "$1 ends with '$(tail -n 1 "$1")'"
  ! grep -E '^(connected|match over|waiting)' "$1" | grep -qE 'won|lost' || fail "$1 tells a result outside a game line"
}

echo "two games, strong host against weak client"
# Neither side waits to think.
listen --games 2 --think-ms 0 --level strong
"$cpu" --connect 127.0.0.1 --think-ms 0 --level weak >"$work/client.out" 2>"$work/client.err" &
client=$!
ends_with "$client" 0 "the client"
ends_with "$host" 0 "the host"
reports "$work/host.out" 2 'no rematch wanted'
reports "$work/client.out" 2 'the peer left'
# Game by game, the host's line with the sides swapped must be the client's line.
re='^game ([0-9]+): (won|lost) \(this side ([0-9]+) shots, the peer ([0-9]+)\) this side: ([0-9 ]+) peer: ([0-9 ]+)$'
grep -h '^game ' "$work/host.out" "$work/client.out" | grep -vE "$re" && fail "game lines not as expected"
diff <(sed -nE "s/$re/\1 \2 \4 \3 \6|\5/p" "$work/host.out" | sed 's/ won / W /; s/ lost / won /; s/ W / lost /') \
  <(sed -nE "s/$re/\1 \2 \3 \4 \5|\6/p" "$work/client.out") >"$work/diff" ||
  fail "the two sides disagree on the games: $(cat "$work/diff")"
cat "$work/host.err" "$work/client.err" | grep . && fail "the good match wrote to stderr"

echo "a caller during a match"
# The computers think for a while here, so that the match lasts.
listen --games 1 --think-ms 200 --level strong
"$cpu" --connect 127.0.0.1 --think-ms 200 --level strong >"$work/client.out" 2>"$work/client.err" &
client=$!
for ((i = 0; i < 100; i++)); do
  grep -qs '^connected' "$work/host.out" && grep -qs '^connected' "$work/client.out" && break
  sleep 0.1
done
[ "$i" -lt 100 ] || fail "the two computers did not say they are connected"
timeout 5 cat </dev/tcp/127.0.0.1/1020 >"$work/caller" 2>&1
rc=$?
grep -q '^game' "$work/host.out" && fail "the match ended before the caller came; it proves nothing"
[ "$rc" = 0 ] || fail "the caller was not closed on (status $rc)"
[ -s "$work/caller" ] && fail "the caller received '$(cat "$work/caller")'"
ends_with "$client" 0 "the client"
ends_with "$host" 0 "the host"
reports "$work/host.out" 1 'no rematch wanted'
reports "$work/client.out" 1 'the peer left'

echo "the first draw of separately started hosts"
# A peer that greets back and confirms its placement at once; the computer host places
# and confirms its own, and then draws: "1k" the host fires first, "1s" the peer.
placed=$'1\x94\x7a\x92\x75\x8a\xae\x97\xb9' # 1配置完了 in Shift-JIS
first_draw() {
  local LC_ALL=C fd got='' c i
  exec {fd}<>/dev/tcp/127.0.0.1/1020 || return 1
  IFS= read -r -N 6 -t 5 -u "$fd" got && [ "$got" = 0hello ] && printf '%s' "$placed" >&"$fd"
  got=
  for ((i = 0; i < 32; i++)); do
    IFS= read -r -N 1 -t 5 -u "$fd" c || break
    got+=$c
    case $got in
      *1k*) draw=host; break ;;
      *1s*) draw=peer; break ;;
    esac
  done
  exec {fd}>&-
}
# Out of 40 fair draws the host comes first fewer than 8 or more than 32 times with a
# chance of 2 P(X <= 7) = 4.2e-5 (X ~ Binomial(40, 1/2)); a generator that starts
# alike in every process puts it first every time.
draws=40 hostfirst=0
for ((run = 0; run < draws; run++)); do
  listen --think-ms 0
  draw=
  first_draw
  ends_with "$host" 0 "the host of draw $run"
  case $draw in
    host) hostfirst=$((hostfirst + 1)) ;;
    peer) ;;
    *) fail "the host of draw $run drew nobody: $(cat "$work/host.out" "$work/host.err")"; break ;;
  esac
done
echo "the host fired first in $hostfirst of $draws games"
[ "$hostfirst" -ge 8 ] && [ "$hostfirst" -le 32 ] ||
  fail "the host fired first in $hostfirst of $draws first games, not between 8 and 32"

echo "nobody there, a taken port, bad arguments"
"$cpu" --connect 127.0.0.1 >/dev/null 2>"$work/err"
rc=$?
[ "$rc" = 1 ] && grep -q '^kelvaro-cpu: cannot connect to 127.0.0.1' "$work/err" ||
  fail "connecting to nobody: status $rc, stderr '$(cat "$work/err")'"
listen --games 1
"$cpu" --listen --no-router >/dev/null 2>"$work/err"
rc=$?
[ "$rc" = 1 ] && grep -q '^kelvaro-cpu: cannot listen on port 1020: .' "$work/err" ||
  fail "a second listener: status $rc, stderr '$(cat "$work/err")'"
kill -0 "$host" 2>/dev/null || fail "the first listener did not outlive the second"
for args in '--level hard' '--games 2' '--connect' '--think-ms -1' '--listen --connect 127.0.0.1'; do
  # shellcheck disable=SC2086
  "$cpu" $args >/dev/null 2>"$work/err"
  rc=$?
  [ "$rc" = 2 ] && grep -q '^kelvaro-cpu: ' "$work/err" || fail "'$args': status $rc, stderr '$(cat "$work/err")'"
done

[ "$failures" = 0 ] || exit 1
echo "PASS: kelvaro-cpu over port 1020"
