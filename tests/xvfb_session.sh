# Sourced by the Xvfb tests: one way to give the programs under test a desktop of their
# own that a screen reader could read. It starts a private X server (Xvfb picks a free
# display itself), a private D-Bus session bus and the accessibility bus on it, and
# tells Qt to serve its accessibility tree there; tests/atspi_read.py reads it.
#
#   xvfb_enter_netns "$@"      first thing in a script: runs the script again inside a
#                              network namespace of its own (where one can be made), so
#                              that port 1020 is free for its host whatever else runs
#   xvfb_need_installed FILE...  a program that `cmake --install` puts there: one that
#                              is missing fails the test (exit 1), as the build should
#                              have installed it; so does a missing tool:
#   xvfb_need_tools TOOL...    commands the test drives (./test.sh installs them)
#   xvfb_need_port_1020 MORSK  skips the test (exit 77) when port 1020 is taken here or
#                              MORSK may not bind it: that is this machine, not the build
#   xvfb_session_start WxHxD   the desktop; returns 1, saying why, when a part fails;
#                              $xvfb_work is a scratch folder removed at the end
#   xvfb_track PID             a process to end with the session
#   xvfb_ends PID STATUS WHAT [SECONDS]  waits (20 s unless told) for PID, a child of
#                              this shell, to end with STATUS; returns 1 when it does
#                              not, with why in $xvfb_why ("WHAT did not end", ...)
#   xvfb_says FILE REGEX PID   waits (10 s at most) until FILE has a line matching the
#                              extended REGEX, or PID has ended; returns 1 without one
#   atspi ARGS...              tests/atspi_read.py ARGS...
#
# Everything started is ended, programs first and the X server last, when the script
# exits; each gets five seconds before it is killed. Every wait here is bounded.

xvfb_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
xvfb_pids=()
xvfb_work=

xvfb_enter_netns() {
  if [ -z "${KELVARO_TEST_NETNS:-}" ] && command -v unshare >/dev/null && command -v ip >/dev/null &&
      unshare -rn true 2>/dev/null; then
    export KELVARO_TEST_NETNS=1
    exec unshare -rn bash -c 'ip link set lo up && exec bash "$0" "$@"' "$0" "$@"
  fi
}

xvfb_track() { xvfb_pids+=("$1"); }

xvfb_why=
xvfb_says() { # file regex pid
  local tries
  for ((tries = 0; tries < 100; tries++)); do
    grep -qsE "$2" "$1" && return 0
    kill -0 "$3" 2>/dev/null || break
    sleep 0.1
  done
  grep -qsE "$2" "$1"
}

xvfb_ends() { # pid status what [seconds]
  local rc
  # tail looks for the process every tenth of a second (by default only every second).
  timeout "${4:-20}" tail -s 0.1 --pid="$1" -f /dev/null || { xvfb_why="$3 did not end"; return 1; }
  wait "$1"
  rc=$?
  [ "$rc" = "$2" ] || { xvfb_why="$3 ended with status $rc, expected $2"; return 1; }
}

xvfb_cleanup() {
  local i p
  for ((i = ${#xvfb_pids[@]} - 1; i >= 0; i--)); do
    p=${xvfb_pids[i]}
    kill "$p" 2>/dev/null || continue
    timeout 5 tail --pid="$p" -f /dev/null 2>/dev/null || kill -9 "$p" 2>/dev/null
  done
  [ -n "$xvfb_work" ] && rm -rf "$xvfb_work"
}

xvfb_need_installed() {
  local p
  for p in "$@"; do
    [ -x "$p" ] || { echo "FAIL: $p is not installed (run cmake --install first)"; exit 1; }
  done
}

xvfb_need_tools() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (./test.sh installs it)"; exit 1; }
  done
}

xvfb_need_port_1020() {
  xvfb_need_tools ss
  # Only looked at, never connected to: a caller would count as an opponent there.
  if ss -Hltn 'sport = :1020' | grep -q .; then
    echo "SKIP: port 1020 is already taken by another program"
    exit 77
  fi
  if [ "$(id -u)" != 0 ] && ! getcap "$1" 2>/dev/null | grep -q cap_net_bind_service; then
    echo "SKIP: not root and $1 has no cap_net_bind_service, so it cannot bind port 1020"
    exit 77
  fi
}

# Reads one line that process $2 writes to the pipe $1: waits until the line comes, the
# process has ended, or $3 seconds have passed.
xvfb_read_pipe() {
  local line= fd end=$((SECONDS + $3))
  # Opened for writing as well, so that the open does not wait for a writer; the end of
  # the writer then gives no end of file, so the process itself is watched.
  exec {fd}<>"$1"
  until read -r -t 0.2 -u "$fd" line; do
    if ! kill -0 "$2" 2>/dev/null || ((SECONDS >= end)); then
      read -r -t 0.2 -u "$fd" line # what it wrote just before it ended
      break
    fi
  done
  exec {fd}<&-
  [ -n "$line" ] && echo "$line"
}

xvfb_session_start() {
  local geometry=${1:-1280x1024x24} tool display address
  xvfb_work=$(mktemp -d)
  trap xvfb_cleanup EXIT
  for tool in Xvfb dbus-daemon dbus-send /usr/libexec/at-spi-bus-launcher /usr/bin/python3; do
    command -v "$tool" >/dev/null || { echo "$tool is missing (./test.sh installs it)"; return 1; }
  done
  /usr/bin/python3 -c 'import pyatspi' 2>/dev/null ||
    { echo "python3-pyatspi is missing (./test.sh installs it)"; return 1; }

  # The accessibility bus puts its socket here: private, like everything else.
  mkdir -m 700 "$xvfb_work/runtime"
  export XDG_RUNTIME_DIR="$xvfb_work/runtime"
  mkfifo "$xvfb_work/display" "$xvfb_work/bus"
  Xvfb -displayfd 3 -screen 0 "$geometry" -nolisten tcp 3>"$xvfb_work/display" \
    >"$xvfb_work/xvfb.log" 2>&1 &
  xvfb_track $!
  display=$(xvfb_read_pipe "$xvfb_work/display" $! 10) ||
    { echo "Xvfb did not start: $(cat "$xvfb_work/xvfb.log")"; return 1; }
  export DISPLAY=":$display"

  dbus-daemon --session --nofork --nopidfile --print-address=3 3>"$xvfb_work/bus" \
    >"$xvfb_work/dbus.log" 2>&1 &
  xvfb_track $!
  address=$(xvfb_read_pipe "$xvfb_work/bus" $! 10) ||
    { echo "the D-Bus session did not start: $(cat "$xvfb_work/dbus.log")"; return 1; }
  export DBUS_SESSION_BUS_ADDRESS=$address

  /usr/libexec/at-spi-bus-launcher --launch-immediately >"$xvfb_work/atspi.log" 2>&1 &
  xvfb_track $!

  unset WAYLAND_DISPLAY
  # A host under test would announce itself through the machine's system bus to the
  # real network; the programs get none (tests/discovery_xvfb.sh gives them their own).
  export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$xvfb_work/no-system-bus"
  export QT_QPA_PLATFORM=xcb
  export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
  # Asked for by name before the launcher has registered it, the session bus would
  # start a second launcher of its own; so wait (ten seconds at most) for the name.
  local tries
  for ((tries = 0; tries < 100; tries++)); do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus 2>/dev/null | grep -q 'boolean true' && break
    sleep 0.1
  done
  [ "$tries" -lt 100 ] ||
    { echo "the accessibility bus did not start: $(cat "$xvfb_work/atspi.log")"; return 1; }
  echo "Xvfb on $DISPLAY with a D-Bus session and the accessibility bus"
}

atspi() { /usr/bin/python3 "$xvfb_here/atspi_read.py" "$@"; }
