#!/usr/bin/env bash
# How long a player waits for the host's line about the router: the installed morsk in
# the `home` machine of the router rig (tests/router_rig.sh, miniupnpd on the router),
# its window read through the accessibility tree every 50 ms (tests/atspi_read.py read)
# on a desktop of its own (tests/xvfb_session.sh). Times from launch to the window
# showing and from the window showing to the line naming the address to hand on, then
# with no daemon on the router to the line saying that the router does not answer.
# Each reading is as fine as the 50 ms period; the first read of the window's names
# comes only after a walk of its tree, so a line that already matches then is told as
# "≤" that walk's time. Needs root (the rig); prints one table.
#
#   bench/router.sh [DIST_DIR [RUNS]]    (DIST_DIR: the installed programs, default
#                                         build/dist; RUNS: runs of each, default 3)
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
dist=${1:-$root/build/dist}
runs=${2:-3}
. "$root/tests/router_rig.sh"
. "$root/tests/xvfb_session.sh"
[ -x "$dist/Orrin/morsk" ] || { echo "bench/router.sh: no $dist/Orrin/morsk (cmake --install first)" >&2; exit 1; }
rig_require_root

host_title='Kelvaro(サーバー側)'
mapped='インターネットの相手に伝えるアドレス：'
no_router='ルーターが応答しません'

xvfb_session_start 1280x1024x24 >&2 || exit 1
finish() { xvfb_cleanup; rig_down; }
rig() {
  rig_down
  rig_up "$@" || { echo "bench/router.sh: the router rig did not come up" >&2; exit 1; }
  trap finish EXIT
  trap 'finish; exit 130' INT TERM
}

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# One run: morsk started afresh (its remembered choice too) until its line matches $1;
# appends "launch-to-window window-to-line" in ms to file $2, the second with "<=" in
# front where the line matched at the first read, or "failed" and why.
once() { # pattern into
  local started times pid
  export XDG_CONFIG_HOME
  XDG_CONFIG_HOME=$(mktemp -d "$xvfb_work/config.XXXXXX")
  started=$EPOCHREALTIME
  (cd "$dist" && exec ip netns exec "$(_rig_ns home)" ./Orrin/morsk) >>"$xvfb_work/morsk.log" 2>&1 &
  pid=$!
  if times=$(atspi --timeout 30 --every 0.05 --times read "$host_title" label "$1" 2>&1 | head -n 1) &&
     [[ $times =~ ^[0-9.]+\ [0-9.]+\ [0-9.]+$ ]]; then
    awk -v s="${started/,/.}" -v t="$times" 'BEGIN {
      split(t, a, " ")
      printf "%d %s%d\n", (a[1] - s) * 1000, (a[3] - a[2] < 0.05) ? "<=" : "", (a[3] - a[1]) * 1000 }' >>"$2"
  else
    echo "failed: $times" >>"$2"
  fi
  kill "$pid" 2>/dev/null
  timeout 10 tail --pid="$pid" -f /dev/null
  wait "$pid" 2>/dev/null
  # The next run starts with the router as the last one found it: no forward left.
  local i
  for ((i = 0; i < 50; i++)); do
    [ -z "$(rig_mappings)" ] && break
    sleep 0.1
  done
}

rows=()
measure() { # label pattern
  local file=$xvfb_work/runs.$RANDOM i
  : >"$file"
  for ((i = 0; i < runs; i++)); do
    echo "$1: run $((i + 1)) of $runs ..." >&2
    once "$2" "$file"
  done
  if grep -q '^failed' "$file"; then
    rows+=("| $1 | $(grep -m 1 '^failed' "$file" | cut -c 1-120) | - | - |")
    return
  fi
  rows+=("| $1 | $(awk '{ print $2 }' "$file" | sed 's/<=/≤ /' | paste -sd ' ') | $(awk '{ sub(/<=/, "", $2); print $2 }' "$file" | median) | $(awk '{ print $1 }' "$file" | median) |")
}

rig
measure "window shown to the address to hand on (miniupnpd, NAT-PMP and UPnP)" "$mapped"
rig --no-daemon
measure "window shown to 'the router does not answer' (no daemon)" "$no_router"

echo
echo "| figure | each run, ms | median, ms (≤ taken as =) | launch to window shown, median, ms |"
echo "|---|---|---|---|"
printf '%s\n' "${rows[@]}"
