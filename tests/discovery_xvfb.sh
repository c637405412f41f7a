#!/usr/bin/env bash
# Finding the host on the local network, with the installed morsk and trelvin and real
# Avahi daemons: three machines made of namespaces (network, mounts with a /run of
# their own, host name), each with its own system D-Bus and avahi-daemon, joined by
# veth links to a bridge on the client's machine. The client's address box is read
# through the accessibility tree while hosts come and go:
#   - with a system bus but no Avahi daemon, the box is empty and says nothing;
#   - once the daemon runs, the host kelvaro-a is offered and its address fills the
#     field; killed, its entry and the address go again;
#   - started again, and a second host kelvaro-c beside it, both are offered, newest
#     first;
#   - while the computer (kelvaro-cpu, from kelvaro-a's machine) plays kelvaro-c, only
#     kelvaro-a is offered; a host listening again on kelvaro-c is offered again;
#   - Down puts the newest one's bare address in the field, Return connects there, and
#     the client's status names that host.
# Without any system bus the box is the plain input box, empty, and says nothing.
# Needs root, unshare, nsenter, dbus-daemon and avahi-daemon; skips (77) without them.
# Usage: discovery_xvfb.sh DIST_DIR SCREENSHOT_DIR
set -u
here=$(cd "$(dirname "$0")" && pwd)
dist=$(realpath -m "$1")
shots=$(realpath -m "$2")
title='接続'
client_title='Kelvaro(クライアント側)'
prompt='接続先のIPアドレスを入力してください。'

skip() { echo "SKIP: $*"; exit 77; }
# A machine: network, mounts with a /run of its own, host name NAME; a sleeping process,
# whose pid goes to VARIABLE, holds its namespaces.
make_machine() { # NAME VARIABLE
  local ready ok
  ready=$(mktemp -u) && mkfifo "$ready" || return 1
  unshare --net --mount --uts --propagation private -- bash -c '
    mount -t tmpfs -o mode=755 kelvaro-run /run && mkdir /run/dbus && hostname "$0" &&
      ip link set lo up && echo ready >&3 && exec sleep 600' "$1" 3>"$ready" &
  printf -v "$2" %s $!
  read -r -t 10 ok <"$ready"
  rm -f "$ready"
  [ "${ok:-}" = ready ] || { kill "${!2}"; return 1; }
}
if [ -z "${KELVARO_DISCOVERY_CLIENT:-}" ]; then
  [ "$(id -u)" = 0 ] || skip "needs root to make the machines' namespaces"
  for tool in unshare nsenter ip dbus-daemon dbus-send avahi-daemon; do
    command -v "$tool" >/dev/null || skip "$tool is missing (packages dbus-daemon, avahi-daemon, iproute2, util-linux)"
  done
  for p in "$dist/Orrin/morsk" "$dist/Velk/trelvin" "$dist/kelvaro-cpu"; do
    [ -x "$p" ] || skip "$p is not installed (run cmake --install first)"
  done
  # The client's machine; the rest of the test runs inside it, so that its programs,
  # its desktop and the accessibility reader share one network.
  make_machine kelvaro-b machine || { echo "FAIL: the client's machine could not be made"; exit 1; }
  KELVARO_DISCOVERY_CLIENT=$machine nsenter -t "$machine" -n -m -u -- bash "$here/$(basename "$0")" "$dist" "$shots"
  status=$?
  kill "$machine"
  exit "$status"
fi

. "$here/xvfb_session.sh"
mkdir -p "$shots"
for tool in xdotool import; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (./test.sh installs it)"; exit 1; }
done
xvfb_session_start 1280x1024x24 || { echo "FAIL: no desktop to test on"; exit 1; }
work=$xvfb_work
cat >"$work/avahi.conf" <<'EOF'
[wide-area]
enable-wide-area=no
[publish]
publish-hinfo=no
publish-workstation=no
EOF

fail() { echo "FAIL: $*"; import -window root "$shots/discovery-failure.png" 2>/dev/null; exit 1; }
# Runs a command on machine PID, where the system bus is the machine's own.
inside() { local pid=$1; shift; nsenter -t "$pid" -n -m -u -- env -u DBUS_SYSTEM_BUS_ADDRESS "$@"; }

# Links machine PID to the client's bridge with ADDRESS on its end.
link_machine() { # PID NAME ADDRESS
  ip link add "$2" netns "$1" type veth peer name "$2-b" &&
    ip link set "$2-b" master br0 up &&
    inside "$1" ip addr add "$3/24" dev "$2" && inside "$1" ip link set "$2" multicast on up
}

# The daemons of machine PID, ended with the session; Avahi counts as started once its
# name is on the machine's bus (10 s at most).
start_system_bus() { # PID
  inside "$1" dbus-daemon --system --fork >"$work/dbus-$1.log" 2>&1 || return 1
  xvfb_track "$(inside "$1" cat /run/dbus/pid)"
}
start_avahi() { # PID
  local tries
  inside "$1" avahi-daemon -f "$work/avahi.conf" --no-drop-root --no-chroot --no-rlimits -D \
    >"$work/avahi-$1.log" 2>&1 || return 1
  xvfb_track "$(inside "$1" cat /run/avahi-daemon/pid)"
  for ((tries = 0; tries < 100; tries++)); do
    inside "$1" dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.NameHasOwner string:org.freedesktop.Avahi 2>/dev/null | grep -q 'boolean true' &&
      return 0
    sleep 0.1
  done
  return 1
}
start_host() { # PID: $host is the host's pid
  # Not through inside(): a function in the background is a shell of its own, and the
  # pid must be the host's.
  nsenter -t "$1" -n -m -u -- env DBUS_SYSTEM_BUS_ADDRESS=unix:path=/run/dbus/system_bus_socket \
    bash -c 'cd "$0" && exec ./Orrin/morsk' "$dist" >"$work/morsk-$1.log" 2>&1 &
  host=$!
  xvfb_track "$host"
}

client=$KELVARO_DISCOVERY_CLIENT
ip link add br0 type bridge mcast_snooping 0 && ip addr add 10.77.0.2/24 dev br0 &&
  ip link set br0 multicast on up || fail "no bridge on the client's machine"
make_machine kelvaro-a hostA && xvfb_track "$hostA" && link_machine "$hostA" kva 10.77.0.1 ||
  fail "the first host's machine could not be made"
make_machine kelvaro-c hostC && xvfb_track "$hostC" && link_machine "$hostC" kvc 10.77.0.3 ||
  fail "the second host's machine could not be made"
for m in "$hostA" "$hostC" "$client"; do
  start_system_bus "$m" || fail "no system bus on machine $m: $(cat "$work/dbus-$m.log")"
done
for m in "$hostA" "$hostC"; do
  start_avahi "$m" || fail "no Avahi daemon on machine $m: $(cat "$work/avahi-$m.log")"
done
echo "ok: three machines, each with its system bus; Avahi on the hosts' machines"

# No system bus at all (xvfb_session.sh points the programs to none).
(cd "$dist" && exec ./Velk/trelvin) >"$work/trelvin-no-bus.log" 2>&1 &
xvfb_track $!
atspi holds "$title" '' && atspi dump "$title" "$work/no-bus.txt" || fail "no empty address box without a bus"
grep -q "combo box" "$work/no-bus.txt" && fail "the box without a bus is not the input box"
{ kill $! && wait $!; } 2>/dev/null
atspi gone "$title" || fail "the address box did not close"

# A system bus but no Avahi daemon: the box is empty too.
start_host "$hostA"
first=$host
DBUS_SYSTEM_BUS_ADDRESS=unix:path=/run/dbus/system_bus_socket \
  bash -c 'cd "$0" && exec ./Velk/trelvin' "$dist" >"$work/trelvin.log" 2>&1 &
xvfb_track $!
atspi find "$title" label "$prompt" >/dev/null || fail "the address box did not appear"
atspi items "$title" && atspi holds "$title" '' || fail "the box offers something without Avahi"
atspi find "$title" 'push button' 'キャンセル' >/dev/null || fail "the address box has no キャンセル"
import -window root "$shots/discovery-no-avahi.png"

# The daemon comes while the box is open: the one host is offered, its address ready.
start_avahi "$client" || fail "no Avahi daemon on the client's machine: $(cat "$work/avahi-$client.log")"
atspi --timeout 30 items "$title" 'kelvaro-a (10.77.0.1)' || fail "the host is not offered"
atspi holds "$title" 10.77.0.1 || fail "the single host's address is not in the field"
import -window root "$shots/discovery-one-host.png"

# Killed, the host's announcement goes with its bus connection, and its address too.
{ kill -9 "$first" && wait "$first"; } 2>/dev/null
atspi --timeout 30 items "$title" || fail "the killed host is still offered"
atspi holds "$title" '' || fail "the killed host's address stayed in the field"

# Two hosts: both offered, newest first; Down picks the newest, Return connects.
start_host "$hostA"
atspi --timeout 30 items "$title" 'kelvaro-a (10.77.0.1)' || fail "the restarted host is not offered"
start_host "$hostC"
atspi --timeout 30 items "$title" 'kelvaro-c (10.77.0.3)' 'kelvaro-a (10.77.0.1)' ||
  fail "the two hosts are not offered, newest first"

# A match on: the computer connects from the first host's machine to the second host,
# which stops offering itself while the first, still listening, stays offered. Ended,
# the busy host leaves nothing behind, and a host listening there again is offered.
busy=$host
nsenter -t "$hostA" -n -m -u -- bash -c 'cd "$0" && exec ./kelvaro-cpu --connect 10.77.0.3 --think-ms 0' \
  "$dist" >"$work/cpu.out" 2>"$work/cpu.err" &
player=$!
xvfb_track "$player"
xvfb_says "$work/cpu.out" '^connected to 10\.77\.0\.3$' "$player" ||
  fail "the computer did not connect to the second host: $(cat "$work/cpu.out" "$work/cpu.err")"
atspi --timeout 30 items "$title" 'kelvaro-a (10.77.0.1)' || fail "the host in a match is still offered"
import -window root "$shots/discovery-busy-host.png"
{ kill "$player" && wait "$player"; } 2>/dev/null
{ kill -9 "$busy" && wait "$busy"; } 2>/dev/null
start_host "$hostC"
atspi --timeout 30 items "$title" 'kelvaro-c (10.77.0.3)' 'kelvaro-a (10.77.0.1)' ||
  fail "the second host, listening again, is not offered"
# The hosts' windows came later and lie above the box: no window manager here.
box=$(xdotool search --onlyvisible --name "^$title\$" | head -n 1)
[ -n "$box" ] && timeout 10 xdotool windowraise "$box" windowfocus --sync "$box" key Down ||
  fail "no keyboard for the address box"
atspi holds "$title" 10.77.0.3 || fail "the picked entry did not put its bare address in the field"
import -window root "$shots/discovery-two-hosts.png"
xdotool key Return
atspi find '接続確認' label '接続されました' >/dev/null || fail "Return did not connect"
atspi press '接続確認' 'push button' OK || fail "the greeting box has no OK"
atspi find "$client_title" 'push button' '配置完了' >/dev/null || fail "the client shows no confirm button"
atspi dump "$client_title" "$shots/discovery-client-atspi.txt"
grep -q '10.77.0.3と接続されました' "$shots/discovery-client-atspi.txt" ||
  fail "the client's status does not name the picked host"
import -window root "$shots/discovery-connected.png"
if grep -i -E 'dbus|avahi' "$work"/trelvin*.log "$work"/morsk-*.log; then
  fail "the programs spoke of D-Bus or Avahi"
fi
echo "PASS: hosts offered as they came and went, the picked one connected; screenshots in $shots"
exit 0
