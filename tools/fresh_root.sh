#!/usr/bin/env bash
# Proves the README's two commands on a fresh machine. Makes a minimal Debian 12 root
# with debootstrap, from the Debian archive this machine's apt uses, copies the source
# tree into it (the tracked files as they are in the working tree, owned by root) and
# runs there as root, with nothing installed by hand: ./run.sh, which has no display
# there and so must end after installing with status 3 and its line saying so, and then
# ./test.sh, which must pass. Nothing is cached between runs: every package the two
# commands need comes from the archive during this run, so a package missing from
# tools/packages.sh fails it. Prints how long each phase took.
#
#   tools/fresh_root.sh [STEP...]   STEP is run, test or package (default: all three), in
#                                   order; package installs the .deb that test built
#                                   with apt, checks it and removes it
#   KELVARO_FRESH_ROOT_PARENT=DIR   where the root is made (default /var/tmp)
#   KELVARO_FRESH_ROOT_KEEP=1       keep the root afterwards to look inside
#
# The root runs in a mount and a PID namespace of its own, and becomes that mount
# namespace's root (pivot_root, not a plain chroot: inside a chroot the kernel refuses
# new user namespaces, which the Xvfb tests make). /proc, /sys, a small /dev with its
# own pseudo-terminals, and /run are mounted there only; when the run ends, however it
# ends, the kernel ends every process left in it and drops those mounts with the
# namespace, and the root is deleted. It shares this machine's network (the tests make
# their own network namespaces) and its name resolution. Needs root.
set -euo pipefail

# Runs as the first process of the new namespaces: mounts what a booted machine has,
# makes the fresh root the namespace's root and runs the steps there.
inside() {
  local root=$1 node
  shift
  mount --bind "$root" "$root"
  mount -t proc proc "$root/proc"
  mount -t sysfs sysfs "$root/sys"
  mount -t tmpfs -o mode=755,nosuid tmpfs "$root/dev"
  for node in null zero full random urandom tty; do
    touch "$root/dev/$node"
    mount --bind "/dev/$node" "$root/dev/$node"
  done
  mkdir -m 755 "$root/dev/pts"
  mount -t devpts -o newinstance,ptmxmode=0666,mode=620,gid=5 devpts "$root/dev/pts"
  ln -s pts/ptmx "$root/dev/ptmx"
  mkdir -m 1777 "$root/dev/shm"
  mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$root/dev/shm"
  ln -s /proc/self/fd "$root/dev/fd"
  ln -s /proc/self/fd/0 "$root/dev/stdin"
  ln -s /proc/self/fd/1 "$root/dev/stdout"
  ln -s /proc/self/fd/2 "$root/dev/stderr"
  mount -t tmpfs -o mode=755,nosuid,nodev tmpfs "$root/run"
  mkdir -m 1777 "$root/run/lock"
  cd "$root"
  pivot_root . mnt
  cd /
  umount -l /mnt

  # From here on every program comes from the fresh root.
  local step status start took log what
  for step; do
    log=/root/$step.log
    what=./$step.sh
    [ "$step" = package ] && what=tests/package_install.sh
    echo "=== fresh root: $what"
    start=$SECONDS
    set +e
    env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        bash -c 'cd /root/kelvaro && case $0 in
                   package) exec tests/package_install.sh build ;;
                   *) exec "./$0.sh" ;;
                 esac' "$step" 2>&1 | tee "$log"
    status=${PIPESTATUS[0]}
    set -e
    took=$((SECONDS - start))
    echo "$what $took $status" >>/root/timings
    echo "=== fresh root: $what ended with status $status after $(duration "$took")"
    case $step in
      run)
        if [ "$status" != 3 ]; then
          echo "FAIL: ./run.sh ended with status $status, not 3 (built and installed, no display)"
          return 1
        fi
        if ! tail -n 3 "$log" | grep -q 'needs a desktop session (DISPLAY or WAYLAND_DISPLAY)'; then
          echo "FAIL: ./run.sh did not end by saying that the game needs a desktop session"
          return 1
        fi
        for node in Kelvaro Orrin/morsk Velk/trelvin pellu kelvaro-cpu; do
          [ -x "/root/kelvaro/dist/$node" ] || { echo "FAIL: ./run.sh did not install dist/$node"; return 1; }
        done
        for node in Orrin/morsk kelvaro-cpu; do
          if ! getcap "/root/kelvaro/dist/$node" | grep -q cap_net_bind_service; then
            echo "FAIL: ./run.sh as root did not give $node the right to bind port 1020"
            return 1
          fi
        done
        ;;
      *)
        [ "$status" = 0 ] || { echo "FAIL: $what ended with status $status"; return 1; }
        ;;
    esac
  done
}

duration() { printf '%dm%02ds' $(($1 / 60)) $(($1 % 60)); }

# The entries of this machine's apt sources for Debian 12 (suites bookworm and
# bookworm-*), one "URI SUITE COMPONENT..." line each, from both the one-line and the
# deb822 format; disabled entries and other distributions are left out.
debian_entries() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk '$1 == "deb" {
           i = 2
           if ($i ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
           line = $(i) " " $(i + 1)
           for (j = i + 2; j <= NF && $j !~ /^#/; j++) line = line " " $j
           if ($(i + 1) ~ /^bookworm(-|$)/) print line
         }' "$f"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk 'BEGIN { RS = ""; FS = "\n" }
         {
           delete v
           for (i = 1; i <= NF; i++) {
             if ($i ~ /^[[:space:]]*#/ || $i !~ /:/) continue
             key = tolower($i); sub(/:.*/, "", key)
             value = $i; sub(/^[^:]*:[[:space:]]*/, "", value)
             v[key] = value
           }
           if (v["types"] !~ /(^|[[:space:]])deb([[:space:]]|$)/ || tolower(v["enabled"]) == "no") next
           nu = split(v["uris"], uris, /[[:space:]]+/)
           ns = split(v["suites"], suites, /[[:space:]]+/)
           for (u = 1; u <= nu; u++) for (s = 1; s <= ns; s++)
             if (suites[s] ~ /^bookworm(-|$)/) print uris[u] " " suites[s] " " v["components"]
         }' "$f"
  done
}

# Ends what still runs in the namespaces, and deletes the root unless asked to keep it.
cleanup() {
  local status=$?
  # unshare holds off SIGTERM while its child runs; killed, it takes the namespace's
  # first process with it (--kill-child), and the kernel then every other one in it.
  if [ -n "$ns" ] && kill -0 "$ns" 2>/dev/null; then
    kill -KILL "$ns" 2>/dev/null
    wait "$ns" 2>/dev/null || true
  fi
  rm -f "$log"
  if findmnt -rn -o TARGET | grep -q "^$root\(/\|$\)"; then
    echo "Something is still mounted below $root: left there, not deleted" >&2
  elif [ "${KELVARO_FRESH_ROOT_KEEP:-0}" = 1 ]; then
    echo "The fresh root stays in $root"
  else
    local start=$SECONDS
    rm -rf --one-file-system "$root"
    echo "=== deleted the fresh root: $(duration $((SECONDS - start)))"
  fi
  exit "$status"
}

phase_done() {
  local took=$((SECONDS - phase_start))
  phases+=("$(printf '%-40s %s' "$1" "$(duration "$took")")")
  echo "=== $1: $(duration "$took")"
  phase_start=$SECONDS
}

main() {
  here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  steps=("$@")
  [ ${#steps[@]} -gt 0 ] || steps=(run test package)
  for step in "${steps[@]}"; do
    case $step in
      run | test | package) ;;
      *) echo "unknown step $step: run, test or package" >&2; exit 2 ;;
    esac
  done
  [ "$(id -u)" = 0 ] || { echo "tools/fresh_root.sh needs root (debootstrap, mounts, namespaces)" >&2; exit 1; }
  for tool in debootstrap unshare pivot_root findmnt git; do
    PATH=$PATH:/usr/sbin:/sbin command -v "$tool" >/dev/null ||
      { echo "$tool is missing (.ci/run installs debootstrap)" >&2; exit 1; }
  done

  mapfile -t entries < <(debian_entries)
  mirror=
  for entry in "${entries[@]}"; do
    read -r uri suite _ <<<"$entry"
    if [ "$suite" = bookworm ]; then mirror=$uri; break; fi
  done
  if [ -z "$mirror" ]; then
    echo "No entry for Debian 12 (suite bookworm) in this machine's apt sources" >&2
    exit 1
  fi

  parent=${KELVARO_FRESH_ROOT_PARENT:-/var/tmp}
  root=$(mktemp -d "$parent/kelvaro-fresh-root.XXXXXX")
  chmod 755 "$root"
  log=$(mktemp)
  ns=
  trap cleanup EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM

  begin=$SECONDS
  phase_start=$SECONDS
  phases=()

  echo "=== debootstrap --variant=minbase bookworm $root $mirror"
  if ! debootstrap --variant=minbase bookworm "$root" "$mirror" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "FAIL: debootstrap did not make the root" >&2
    exit 1
  fi
  phase_done "debootstrap"

  # The same archive as this machine: its Debian 12 entries, its name resolution, and the
  # settings under which it accepts that archive's Release files (a frozen copy of the
  # archive has Release files past their Valid-Until date).
  printf 'deb %s\n' "${entries[@]}" >"$root/etc/apt/sources.list"
  apt-config dump | grep -E '^Acquire::Check-(Valid-Until|Date) ' \
    >"$root/etc/apt/apt.conf.d/50this-machines-archive" || true
  cp /etc/resolv.conf /etc/hosts "$root/etc/"

  # The source tree as a clone has it: its tracked files, owned by root.
  dest=$root/root/kelvaro
  mkdir -p "$dest"
  if [ -n "$(git -C "$here" status --porcelain --untracked-files=no)" ]; then
    echo "Note: the tracked files have uncommitted changes; the root gets them as they are"
  fi
  (cd "$here" && git ls-files -z | while IFS= read -r -d '' f; do
     if [ -e "$f" ] || [ -L "$f" ]; then printf '%s\0' "$f"; fi
   done | tar --null -T - --owner=0 --group=0 -cf -) | tar -xpf - -C "$dest"
  phase_done "sources, resolution, copy of the tree"

  set +e
  unshare --mount --pid --fork --kill-child -- bash "$here/tools/fresh_root.sh" --inside "$root" "${steps[@]}" &
  ns=$!
  wait "$ns"
  status=$?
  ns=
  set -e
  if [ -f "$root/root/timings" ]; then
    while read -r what took _; do
      phases+=("$(printf '%-40s %s' "$what in the fresh root" "$(duration "$took")")")
    done <"$root/root/timings"
  fi
  phases+=("$(printf '%-40s %s' "total" "$(duration $((SECONDS - begin)))")")
  echo "=== timings"
  printf '%s\n' "${phases[@]}"
  if [ "$status" != 0 ]; then
    echo "FAIL: the README's commands on a fresh Debian 12 root (status $status)"
    exit 1
  fi
  echo "The steps ${steps[*]} passed on a fresh Debian 12 root"
}

# One line, read whole before it runs: the script may be edited while a run takes its
# quarter of an hour, and bash reads a script as it goes.
if [ "${1:-}" = --inside ]; then shift; inside "$@"; else main "$@"; fi; exit
