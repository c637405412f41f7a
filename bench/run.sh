#!/usr/bin/env bash
# Benchmarks of the game programs: start-up time and memory against a floor program,
# idle CPU while waiting, and the latency of a shot's answer against an echo server;
# then, as root, how long the host's line about the router takes (bench/router.sh).
# Builds what it needs in the given build folder (default: build, which ./test.sh
# sets up), starts its own Xvfb on a free display, prints one markdown table and
# ends everything it started. Takes a few minutes at most.
#
#   bench/run.sh [BUILD_DIR [RUNS]]     (RUNS: start-up runs of each program, default 10)
#
# The game programs always use port 1020: rows that need the host are skipped when
# that port is taken (and binding it needs root or the capability run.sh grants).
set -Eeuo pipefail
trap 'echo "bench/run.sh: stopped by a failure at line $LINENO" >&2' ERR

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
[[ $build = /* ]] || build="$PWD/$build"
runs=${2:-10}
shots=2000
idle_seconds=10

host_title='Kelvaro(サーバー側)'
client_title='Kelvaro(クライアント側)'
address_title='接続'
greeting_title='接続確認'
# The host window: 64 + 64 cells, 24 submarine pictures, the confirm button and the
# focus holder; the client's adds its reconnect button.
host_buttons=154
client_buttons=155

# A build folder that ./run.sh set up has the benchmarks turned off: turn them on.
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_INSTALL_PREFIX="$build/dist" -DKELVARO_BUILD_TESTS=ON >/dev/null
else
  cmake -S "$root" -B "$build" -DKELVARO_BUILD_TESTS=ON >/dev/null
fi
echo "Building in $build ..." >&2
cmake --build "$build" --target morsk trelvin bench_floor bench_mapwatch bench_shotpeer bench_echo >&2

morsk=$build/morsk
trelvin=$build/trelvin
floor=$build/bench/bench_floor
mapwatch=$build/bench/bench_mapwatch
shotpeer=$build/bench/bench_shotpeer
echo_server=$build/bench/bench_echo

work=$(mktemp -d)
started=()
xvfb_pid=
cleanup() {
  for pid in "${started[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display itself and writes its number once it accepts clients.
Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp 9>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.05
done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"
unset QT_QPA_PLATFORM
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
log=$work/programs.log
# The pointer stays off the windows, so that no submarine floats on the host's grid.
xdotool mousemove 1279 1023

# Nothing listens on port 1020 (03FC), IPv4 or IPv6; state 0A is LISTEN.
port_free() { ! awk '$2 ~ /:03FC$/ && $4 == "0A" { found = 1 } END { exit !found }' /proc/net/tcp /proc/net/tcp6; }

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) print "nan"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
field() { sed -n "s/.*\b$1=\([0-9.]*\).*/\1/p"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
atmost() { awk -v a="$1" -v b="$2" 'BEGIN { print (a <= b) ? "yes" : "no" }'; }
below() { awk -v a="$1" -v b="$2" 'BEGIN { print (a < b) ? "yes" : "no" }'; }
ms() { awk -v us="$1" 'BEGIN { printf "%.1f ms", us / 1000 }'; }
mib() { awk -v kb="$1" 'BEGIN { printf "%.1f MiB", kb / 1024 }'; }
# utime + stime, in clock ticks; the fields after the command name, which may hold spaces.
ticks() { sed 's/.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }
# Context switches of all its threads: every wake-up counts one, however short.
wakeups() { cat /proc/"$1"/task/*/status | awk '/ctxt_switches/ { n += $2 } END { print n }'; }

rows=()
row() { rows+=("| $1 | $2 | $3 | $4 | $5 | $6 |"); }

# --- start-up and memory ---------------------------------------------------------
# One run: start the program, time it until the window of this title is mapped, read
# its memory, end it. The result line goes to the file named first.
once() {
  local into=$1 title=$2
  shift 2
  "$mapwatch" "$title" -- "$@" >>"$into" 2>>"$log" || echo "failed: $* (see below)" >&2
}

# The program, its floor and the floor that also shows Japanese text take turns, so
# that all three see the same load on the machine. One unrecorded round first, so
# that no figure includes reading the executables from disk.
startup() { # name program-title program... -- floor-args...
  local name=$1 title=$2 i
  shift 2
  local product=() floorargs=()
  while [ "$1" != -- ]; do product+=("$1"); shift; done
  shift
  floorargs=("$@")
  local base=$work/${name%%,*}
  : >"$base.product"; : >"$base.floor"; : >"$base.floorjp"
  for i in $(seq 0 "$runs"); do
    local suffix=; [ "$i" -eq 0 ] && suffix=.warmup
    once "$base.product$suffix" "$title" "${product[@]}"
    once "$base.floor$suffix" floor "$floor" "${floorargs[@]}"
    once "$base.floorjp$suffix" floor "$floor" "${floorargs[@]}" --japanese
  done
  local pu fu ju pm fm jm
  pu=$(field startup_us <"$base.product" | median)
  fu=$(field startup_us <"$base.floor" | median)
  ju=$(field startup_us <"$base.floorjp" | median)
  pm=$(field rss_kb <"$base.product" | median)
  fm=$(field rss_kb <"$base.floor" | median)
  jm=$(field rss_kb <"$base.floorjp" | median)
  local r
  r=$(ratio "$pu" "$fu")
  row "Start-up, $name (median of $runs)" "$(ms "$pu")" "$(ms "$fu")" "$r" "ratio ≤ 1.25" "$(atmost "$r" 1.25)"
  r=$(ratio "$pu" "$ju")
  refrows+=("| Start-up, $name, against a floor showing Japanese text | $(ms "$pu") | $(ms "$ju") | $r | (reference) | - |")
  r=$(ratio "$pm" "$fm")
  memrows+=("| Memory (VmRSS), $name | $(mib "$pm") | $(mib "$fm") | $r | ratio ≤ 1.25 | $(atmost "$r" 1.25) |")
  r=$(ratio "$pm" "$jm")
  refrows+=("| Memory (VmRSS), $name, against a floor showing Japanese text | $(mib "$pm") | $(mib "$jm") | $r | (reference) | - |")
}

memrows=()
refrows=()
echo "Start-up and memory ($runs runs of each) ..." >&2
if port_free; then
  startup "morsk, game window shown" "$host_title" "$morsk" -- 1024 800 "$host_buttons" floor
else
  row "Start-up and memory, morsk" "skipped: port 1020 busy" "-" "-" "ratio ≤ 1.25" "-"
fi
# The client's floor builds its window hidden and is timed to its input box.
startup "trelvin, address box shown" "$address_title" "$trelvin" -- \
  1024 768 "$client_buttons" window --dialog floor
rows+=("${memrows[@]}")

# --- idle CPU --------------------------------------------------------------------
keep() { # title command... : starts the program, waits for its window, prints its id
  local title=$1 line
  shift
  line=$("$mapwatch" --keep "$title" -- "$@" 2>>"$log") || return 1
  echo "$line" | field pid
}

idle_rows() { # label pid [label pid]... : CPU used by each over the same interval
  local labels=() pids=() before=() woken=() i
  while [ $# -gt 0 ]; do labels+=("$1"); pids+=("$2"); shift 2; done
  for i in "${!pids[@]}"; do
    before+=("$(ticks "${pids[$i]}")")
    woken+=("$(wakeups "${pids[$i]}")")
  done
  sleep "$idle_seconds"
  for i in "${!pids[@]}"; do
    local used=$(( $(ticks "${pids[$i]}") - ${before[$i]} ))
    local wakes=$(( $(wakeups "${pids[$i]}") - ${woken[$i]} ))
    row "Idle CPU, ${labels[$i]}, $idle_seconds s" "$used ticks ($wakes wake-ups)" "-" "-" "0 ticks" \
      "$([ "$used" -eq 0 ] && echo yes || echo no)"
  done
}

# Waits (xdotool polls) for a visible window of exactly this title and prints its id.
title_pattern() { printf '^%s$' "$(printf '%s' "$1" | sed 's/[][\\.^$*+?(){}|]/\\&/g')"; }
visible() { timeout 20 xdotool search --sync --onlyvisible --name "$(title_pattern "$1")" | head -n1 | grep .; }
shown() { xdotool search --onlyvisible --name "$(title_pattern "$1")" >/dev/null; }

# Ends programs left running and waits until they are gone, so that port 1020 is free
# again. They are no children of this shell (their watcher has ended), hence no wait.
stop() {
  local pid
  for pid in "$@"; do kill "$pid" 2>/dev/null || true; done
  for pid in "$@"; do
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.02; done
  done
}

echo "Idle CPU ..." >&2
if port_free; then
  host=$(keep "$host_title" "$morsk")
  started+=("$host")
  sleep 1
  idle_rows "morsk waiting for a caller" "$host"
  stop "$host"

  host=$(keep "$host_title" "$morsk")
  started+=("$host")
  client=$(keep "$address_title" "$trelvin")
  started+=("$client")
  # Typed into the address box as a player would, then the greeting box answered.
  connected=no
  if box=$(visible "$address_title") && xdotool windowfocus --sync "$box" type --delay 5 127.0.0.1 \
     && xdotool key Return && box=$(visible "$greeting_title") \
     && xdotool windowfocus --sync "$box" key Return && visible "$client_title" >/dev/null; then
    sleep 1
    if kill -0 "$host" && kill -0 "$client" && ! shown "$greeting_title"; then
      connected=yes
    fi
  fi
  if [ $connected = yes ]; then
    idle_rows "morsk mid-match (connected, placing)" "$host" \
              "trelvin mid-match (connected, placing)" "$client"
  else
    row "Idle CPU, mid-match" "failed: the programs did not connect" "-" "-" "0 ticks" "no"
  fi
  stop "$client" "$host"
else
  row "Idle CPU" "skipped: port 1020 busy" "-" "-" "0 ticks" "-"
fi

# --- shot answer latency ---------------------------------------------------------
# The host's fleet placed with the pointer and confirmed, as its player would: the
# large submarine down from the top-left cell, the medium one across from the cell to
# its right, the small one down from row 2, column 6 (each drop selects the next one).
# Positions in twips from the host's layout: its own board at 3345,900, cell (row,
# column) at 720 + 285 per step inside it, 配置完了 at 1965,3420 (900 x 330); 15 twips
# to a pixel. The placement question is answered with Return (はい).
place_host_fleet() {
  local window box cell row column
  window=$(visible "$host_title") || return 1
  for cell in 0,0 0,1 1,5; do
    IFS=, read -r row column <<<"$cell"
    xdotool mousemove --window "$window" $(((3345 + 720 + 285 * column + 142) / 15)) \
      $(((900 + 720 + 285 * row + 142) / 15)) click 1 || return 1
  done
  xdotool mousemove --window "$window" $(((3345 + 1965 + 450) / 15)) $(((900 + 3420 + 165) / 15)) click 1 &&
    box=$(visible 確認) && xdotool windowfocus --sync "$box" key Return && xdotool mousemove 1279 1023
}

echo "Shot latency ($shots shots at each) ..." >&2
game=
echoed=
latency_note="failed (see below)"
if ! port_free; then
  latency_note="skipped: port 1020 busy"
else
  "$echo_server" >"$work/echo.port" 2>>"$log" &
  echo_pid=$!
  started+=("$echo_pid")
  for _ in $(seq 100); do
    [ -s "$work/echo.port" ] && break
    sleep 0.02
  done
  host=$(keep "$host_title" "$morsk")
  started+=("$host")
  # The peer says when the host has greeted it; then the host's player places the fleet.
  "$shotpeer" "$shots" 1020 "$(head -n1 "$work/echo.port")" "$host" "$echo_pid" \
    >"$work/shots.out" 2>>"$log" &
  peer=$!
  started+=("$peer")
  for _ in $(seq 200); do
    grep -qx greeted "$work/shots.out" && break
    kill -0 "$peer" 2>/dev/null || break
    sleep 0.05
  done
  if ! grep -qx greeted "$work/shots.out"; then
    latency_note="failed: the host did not greet the peer"
  elif ! place_host_fleet; then
    latency_note="failed: the host's fleet could not be placed"
  fi
  if wait "$peer"; then
    game=$(grep '^game ' "$work/shots.out")
    echoed=$(grep '^echo ' "$work/shots.out")
  fi
  stop "$host" "$echo_pid"
fi

if [ -n "$game" ] && [ -n "$echoed" ]; then
  for p in p50 p99 max; do
    g=$(echo "$game" | field "${p}_us")
    e=$(echo "$echoed" | field "${p}_us")
    case $p in
      p50) goal="ratio ≤ 5"; met=$(atmost "$(ratio "$g" "$e")" 5) ;;
      p99) goal="< 1000 µs"; met=$(below "$g" 1000) ;;
      max) goal="-"; met="-" ;;
    esac
    row "Shot answer latency $p, morsk vs echo ($shots shots)" "$g µs" "$e µs" "$(ratio "$g" "$e")" "$goal" "$met"
  done
  g=$(echo "$game" | field cpu_us)
  e=$(echo "$echoed" | field cpu_us)
  r=$(ratio "$g" "$e")
  row "CPU time per shot, morsk vs echo (all threads)" "$g µs" "$e µs" "$r" "ratio ≤ 2" "$(atmost "$r" 2)"
else
  row "Shot answer latency" "$latency_note" "-" "-" "p99 < 1000 µs" "-"
fi

# --- the table -------------------------------------------------------------------
echo
echo "| figure | measured | floor | ratio | goal | met? |"
echo "|---|---|---|---|---|---|"
printf '%s\n' "${rows[@]}" "${refrows[@]}"
# The host's line about the router, through the router rig (root only: skipped without).
if [ "$(id -u)" = 0 ] && cmake --install "$build" >/dev/null; then
  echo
  "$root/bench/router.sh" "$build/dist" || echo "bench/router.sh failed" >&2
else
  echo "bench/router.sh: skipped (the router rig needs root)" >&2
fi
if [ -s "$log" ] && grep -qv XDG_RUNTIME_DIR "$log"; then
  echo
  echo "Messages from the programs:" >&2
  grep -v XDG_RUNTIME_DIR "$log" | sort | uniq -c >&2
fi
