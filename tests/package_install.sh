#!/usr/bin/env bash
# Installs the Debian package that ./test.sh built, as a player would (apt on a machine
# of its own: CI's fresh root), checks what the installation gave, and removes it again.
# The commands and menu entries are there, the host and the computer opponent may bind
# port 1020 without root, kelvaro-cpu runs from /usr/games (an attempt with nobody
# listening ends with status 1 and its reason), and after removal nothing is left.
# Usage: package_install.sh BUILD_DIR
set -u
build=$1
failed=0
fail() { echo "FAIL: $*"; failed=1; }

debs=("$build"/kelvaro_*_*.deb)
[ -f "${debs[0]}" ] || { echo "FAIL: no package in $build (./test.sh builds it)"; exit 1; }
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq --no-install-recommends "$(realpath "${debs[0]}")" ||
  { echo "FAIL: the package did not install"; exit 1; }

for f in /usr/games/kelvaro /usr/games/kelvaro-cpu /usr/share/applications/kelvaro.desktop \
         /usr/share/applications/kelvaro-cpu.desktop /usr/share/man/man6/kelvaro-cpu.6.gz; do
  [ -e "$f" ] || fail "$f is not installed"
done
for program in Orrin/morsk kelvaro-cpu; do
  getcap "/usr/lib/games/kelvaro/$program" | grep -q cap_net_bind_service ||
    fail "$program may not bind port 1020"
done
# In a network namespace of its own nobody listens on port 1020.
out=$(unshare -n timeout 20 /usr/games/kelvaro-cpu --connect 127.0.0.1 --think-ms 0 2>&1)
status=$?
[ "$status" = 1 ] && grep -q '^kelvaro-cpu: cannot connect to 127.0.0.1' <<<"$out" ||
  fail "kelvaro-cpu from /usr/games ended with $status: $out"

apt-get remove -y -qq kelvaro || fail "the package did not remove"
left=$(ls -d /usr/games/kelvaro* /usr/lib/games/kelvaro /usr/share/applications/kelvaro* 2>/dev/null)
[ -z "$left" ] || fail "left after removal: $left"

[ $failed = 0 ] && echo "PASS: the package installs, works and removes"
exit $failed
