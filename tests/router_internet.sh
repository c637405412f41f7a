#!/usr/bin/env bash
# Play across the internet through a home router: the installed host behind the rig's
# router (tests/router_rig.sh: the host's machine at 192.168.7.2 in `home`, the router
# with miniupnpd at 11.0.0.1, a player at 11.0.0.2 in `net` with no route to the LAN),
# so that a caller reaches the host only through the forward the host asked for. The
# desktop (Xvfb, the D-Bus session, the accessibility bus) runs outside the rig; the
# programs in the rig reach it through its sockets in the file system.
#   window     morsk's line names the router's address; trelvin in `net` gets it typed
#              with real keys and both greet; one forward while they play; Esc and はい
#              end morsk and the forward goes
#   match      kelvaro-cpu plays a whole match across the router, which forwards only
#              ports from 1024 up, then with NAT-PMP alone and UPnP alone; the forward
#              goes after each
#   silent     no daemon on the router: the line says so and names the LAN address;
#              --no-router sends the router nothing at all
#   shared     a router outside in the provider's shared space: the line says the internet
#              cannot reach the host, hands nothing on, and no forward is left
#   signal     SIGTERM to a mapped host (kelvaro-cpu, morsk) removes its forward
# A screenshot of morsk's window with the mapped line goes to the screenshot folder.
# Skips (77) without root or the rig's tools; a program the build installs that is
# missing fails it. Usage: router_internet.sh DIST_DIR SCREENSHOT_DIR
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/router_rig.sh"
. "$here/xvfb_session.sh"
dist=$1
shots=$2
cpu=$dist/kelvaro-cpu
morsk=$dist/Orrin/morsk
trelvin=$dist/Velk/trelvin
xvfb_need_installed "$cpu" "$morsk" "$trelvin"
rig_require_root
xvfb_need_tools xdotool import
mkdir -p "$shots"

host_title='Kelvaro(サーバー側)'
client_title='Kelvaro(クライアント側)'
ask='接続先のIPアドレスを入力してください。'
mapped='インターネットの相手に伝えるアドレス：'
no_router='ルーターが応答しません'
forward_to="dnat ip to $RIG_LAN_HOME:1020"

case_name=setup
fail() {
  echo "FAIL: $case_name: $*"
  echo "  the router's forwards: $(rig_mappings | tr '\n' ';')"
  rig_daemon_log | tail -n 15 | sed 's/^/  miniupnpd: /'
  [ -n "${DISPLAY:-}" ] && import -window root "$shots/router-failure.png" 2>/dev/null
  exit 1
}
pass() { echo "PASS: $case_name: $*"; }
finish() { xvfb_cleanup; rig_down; }

# A fresh rig for the cases that follow; rig_up's traps give way to one that also ends
# the desktop.
rig() {
  rig_down
  rig_up "$@" || fail "the router rig did not come up ($*)"
  trap finish EXIT
  trap 'finish; exit 130' INT TERM
}

# Runs a program in one of the rig's machines in place of this (sub)shell, so that $!
# of `( in_rig ... ) &` is the program itself, for its status and for signals.
in_rig() { exec ip netns exec "$(_rig_ns "$1")" "${@:2}"; }

now_ms() { local t=${EPOCHREALTIME//[.,]/}; echo $((t / 1000)); }

# The first line of file $1 that matches the extended expression $2, waited for at
# most $3 seconds while process $4 runs.
line_in() { # file pattern seconds pid
  local end=$(($(now_ms) + $3 * 1000)) found
  while :; do
    # -s: the program's redirection may not have made the file yet.
    found=$(grep -s -E -m 1 -- "$2" "$1") && { echo "$found"; return 0; }
    kill -0 "$4" 2>/dev/null && (($(now_ms) < end)) || break
    sleep 0.1
  done
  found=$(grep -s -E -m 1 -- "$2" "$1") && echo "$found"
}

# Process $1 ends within $2 seconds; its status goes to $status.
status=
ends() { # pid seconds what
  timeout "$2" tail --pid="$1" -f /dev/null || fail "$3 did not end within $2 s"
  wait "$1"
  status=$?
}

# The router holds exactly one forward, from outside port $1 to the host's port 1020.
one_forward() { # port
  local all
  all=$(rig_mappings)
  [ "$(printf '%s\n' "$all" | grep -c .)" = 1 ] || fail "the router holds '$all', expected one forward"
  [[ $all == *"dport $1 $forward_to" ]] || fail "the router forwards '$all', expected port $1 to $RIG_LAN_HOME:1020"
}

# The router holds no forward within $1 seconds.
no_forward_within() { # seconds
  local end=$(($(now_ms) + $1 * 1000))
  until [ -z "$(rig_mappings)" ]; do
    (($(now_ms) < end)) || fail "the forward '$(rig_mappings)' was still there after $1 s"
    sleep 0.1
  done
}

# The miniupnpd log lines that tell a request from the host's machine.
requests() { rig_daemon_log | grep -cE "$RIG_LAN_HOME|NAT-PMP .*request"; }

# The outside address that line $1 hands on, in $address, and its port in $port.
address= port=
handed_on() { # line
  [[ $1 =~ $mapped(([0-9.]+)(:([0-9]+))?) ]] || fail "the line '$1' names no address"
  address=${BASH_REMATCH[1]}
  port=${BASH_REMATCH[4]:-1020}
  [ "${BASH_REMATCH[2]}" = "$RIG_WAN_ROUTER" ] || fail "the line names ${BASH_REMATCH[2]}, the router is $RIG_WAN_ROUTER outside"
}

start_morsk() {
  (cd "$dist" && in_rig home ./Orrin/morsk) >"$xvfb_work/morsk.log" 2>&1 &
  morsk_pid=$!
  xvfb_track "$morsk_pid"
  atspi window "$host_title" >/dev/null || fail "morsk's window did not appear: $(cat "$xvfb_work/morsk.log")"
}

case_window() {
  case_name=window
  local before line x y w h client_pid client_win
  before=$(requests)
  start_morsk
  line=$(atspi --timeout 15 read "$host_title" label "$mapped" 2>&1) || fail "morsk's line named no address: $line"
  handed_on "$line"
  [ "$port" = 1020 ] || fail "the router forwards any port, yet the line names $address"
  [ "$(requests)" -gt "$before" ] || fail "morsk's address came, but miniupnpd logged no request"
  one_forward 1020
  echo "ok: morsk's line: $line"
  import -window "$(xdotool search --all --onlyvisible --pid "$morsk_pid" --name '^Kelvaro' | head -n 1)" \
    "$shots/router-morsk-mapped.png" || fail "no screenshot of morsk"

  (cd "$dist" && in_rig net ./Velk/trelvin) >"$xvfb_work/trelvin.log" 2>&1 &
  client_pid=$!
  xvfb_track "$client_pid"
  read -r x y w h < <(atspi find '接続' text "$ask") ||
    fail "trelvin did not ask for the address: $(cat "$xvfb_work/trelvin.log")"
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1 type --delay 20 "$address"
  atspi holds '接続' "$address" >/dev/null || fail "the keys typed did not reach the address box"
  xdotool key Return
  atspi find '接続確認' label '接続されました' >/dev/null || fail "trelvin did not greet the host at $address"
  atspi press '接続確認' 'push button' OK || fail "the greeting box has no OK"
  atspi find "$client_title" label "$address"$'と接続されました\n潜水艦を配置しましょう' >/dev/null ||
    fail "trelvin's window does not name $address"
  atspi find "$host_title" label "$RIG_WAN_NET"$'と接続されました\n潜水艦を配置しましょう' >/dev/null ||
    fail "morsk's window does not name the caller $RIG_WAN_NET"
  one_forward 1020
  echo "ok: trelvin at $RIG_WAN_NET typed $address and both greeted"

  # trelvin's window opens where morsk's is; moved aside, it leaves morsk under the
  # pointer, which is where the keys go on a desktop without a window manager.
  client_win=$(xdotool search --all --onlyvisible --pid "$client_pid" --name '^Kelvaro' | head -n 1)
  timeout 10 xdotool windowmove --sync "$client_win" 1024 0
  atspi window "$client_title" 1024 0 1024 768 >/dev/null || fail "trelvin's window did not move aside"
  read -r x y w h < <(atspi window "$host_title")
  xdotool mousemove $((x + w / 2)) $((y + 5)) key Escape
  atspi find '確認' label 'Kelvaroを終了しますか?' >/dev/null || fail "Esc does not ask whether to quit"
  atspi press '確認' 'push button' 'はい' || fail "the quit question has no はい"
  no_forward_within 5
  ends "$morsk_pid" 5 morsk
  [ "$status" = 0 ] || fail "morsk ended with status $status"
  kill "$client_pid" && ends "$client_pid" 5 trelvin
  pass "morsk handed on $address, trelvin typed it from the internet and both greeted through one forward, gone after はい"
}

# kelvaro-cpu listens in `home` and plays one whole match against kelvaro-cpu in `net`
# through the forward it asked for; $2 is the least outside port the router grants.
case_match() { # name least-port
  case_name=$1
  local w=$xvfb_work/$1 line host client
  mkdir -p "$w"
  (in_rig home "$cpu" --listen --games 1 --think-ms 0) >"$w/host.out" 2>"$w/host.err" &
  host=$!
  line=$(line_in "$w/host.err" "$mapped" 15 "$host") ||
    fail "kelvaro-cpu --listen named no address: $(cat "$w/host.err")"
  handed_on "$line"
  [ "$port" -ge "$2" ] || fail "the router grants ports from $2 up, yet the line names $address"
  one_forward "$port"
  (in_rig net "$cpu" --connect "$address" --games 1 --think-ms 0) >"$w/client.out" 2>"$w/client.err" &
  client=$!
  ends "$client" 60 "the caller"
  [ "$status" = 0 ] || fail "the caller ended with status $status: $(cat "$w/client.err")"
  ends "$host" 10 "the host"
  [ "$status" = 0 ] || fail "the host ended with status $status: $(cat "$w/host.err")"
  grep -q '^match over' "$w/host.out" || fail "the host tells no end of the match: $(cat "$w/host.out")"
  grep -q '^match over' "$w/client.out" || fail "the caller tells no end of the match: $(cat "$w/client.out")"
  grep -qx "connected to $RIG_WAN_NET" "$w/host.out" || fail "the host was not called from $RIG_WAN_NET: $(cat "$w/host.out")"
  no_forward_within 3
  pass "a whole match through the forward of outside port $port (the line: ${line#kelvaro-cpu: }), removed at the end"
}

case_silent_router() {
  case_name=silent
  local w=$xvfb_work/silent line host started
  mkdir -p "$w"
  started=$(now_ms)
  (in_rig home "$cpu" --listen) >"$w/host.out" 2>"$w/host.err" &
  host=$!
  line=$(line_in "$w/host.err" "$no_router" 12 "$host") ||
    fail "within 12 s no line that the router does not answer: $(cat "$w/host.err")"
  [[ $line == *"$RIG_LAN_HOME"* ]] || fail "the line does not name $RIG_LAN_HOME: $line"
  kill -TERM "$host"
  ends "$host" 5 "kelvaro-cpu --listen"
  pass "after $(($(now_ms) - started)) ms: ${line#kelvaro-cpu: }"
}

# Needs a rig with the daemon, whose log must stay free of the host's requests.
case_no_router() {
  case_name=no-router
  local w=$xvfb_work/no-router host before
  mkdir -p "$w"
  before=$(requests)
  (in_rig home "$cpu" --listen --no-router) >"$w/host.out" 2>"$w/host.err" &
  host=$!
  line_in "$w/host.out" '^waiting for the opponent' 10 "$host" >/dev/null ||
    fail "kelvaro-cpu --listen --no-router does not wait: $(cat "$w/host.out" "$w/host.err")"
  # Where the router is asked, the window case had its forward in well under this.
  sleep 3
  [ -z "$(rig_mappings)" ] || fail "a forward appeared: $(rig_mappings)"
  [ "$(requests)" = "$before" ] || fail "miniupnpd logged a request: $(rig_daemon_log | tail -n 5)"
  ! grep -qE "頼んでいます|$mapped" "$w/host.err" || fail "the router was asked: $(cat "$w/host.err")"
  kill -TERM "$host"
  ends "$host" 5 "kelvaro-cpu --listen --no-router"
  pass "no request reached the router and no line told of one"
}

# miniupnpd keeps an outside address in the shared space to itself (NAT-PMP answers
# with a network failure, UPnP with none), so the line may not name it; any address it
# does name must be that one.
case_shared() {
  case_name=shared
  local w=$xvfb_work/shared line host others
  mkdir -p "$w"
  (in_rig home "$cpu" --listen) >"$w/host.out" 2>"$w/host.err" &
  host=$!
  line=$(line_in "$w/host.err" 'インターネットからは接続できません' 15 "$host") ||
    fail "no line says that the internet cannot reach the host: $(cat "$w/host.err")"
  others=$(printf '%s' "$line" | grep -oE '[0-9]+(\.[0-9]+){3}' | grep -vxF -e "$RIG_WAN_ROUTER" -e "$RIG_LAN_HOME")
  [ -z "$others" ] || fail "the line names $others: $line"
  ! grep -q "$mapped" "$w/host.err" || fail "a shared address was handed on: $(cat "$w/host.err")"
  [ -z "$(rig_mappings)" ] || fail "a forward was left: $(rig_mappings)"
  kill -TERM "$host"
  ends "$host" 5 "kelvaro-cpu --listen"
  [ -z "$(rig_mappings)" ] || fail "a forward was left: $(rig_mappings)"
  pass "${line#kelvaro-cpu: }"
}

# SIGTERM to the host $1 (kelvaro-cpu or morsk) once mapped removes the forward.
case_signal() { # program
  case_name="signal $1"
  local w=$xvfb_work/signal-$1 line pid
  mkdir -p "$w"
  if [ "$1" = morsk ]; then
    start_morsk
    pid=$morsk_pid
    line=$(atspi --timeout 15 read "$host_title" label "$mapped" 2>&1) || fail "morsk's line named no address: $line"
  else
    (in_rig home "$cpu" --listen) >"$w/host.out" 2>"$w/host.err" &
    pid=$!
    line=$(line_in "$w/host.err" "$mapped" 15 "$pid") || fail "no address named: $(cat "$w/host.err")"
  fi
  handed_on "$line"
  one_forward "$port"
  kill -TERM "$pid"
  no_forward_within 5
  ends "$pid" 5 "$1"
  pass "the forward of port $port went after SIGTERM"
}

export XDG_CONFIG_HOME # morsk remembers whether the router may be asked; it starts afresh
xvfb_session_start 2048x1024x24 || fail "no desktop to test on"
XDG_CONFIG_HOME=$xvfb_work/config

rig
case_window
case_signal kelvaro-cpu
case_signal morsk
case_no_router
rig --min-port-1024
case_match min-port-1024 1024
rig --natpmp-only
case_match natpmp-only 1
rig --upnp-only
case_match upnp-only 1
rig --no-daemon
case_silent_router
rig --shared
case_shared
echo "PASS: router_internet: every case passed; screenshot $shots/router-morsk-mapped.png"
