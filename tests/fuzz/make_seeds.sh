#!/usr/bin/env bash
# Writes the seed corpus of the protocol fuzzer into the directory given: every message
# text alone, the pairs that really travel back to back, a few split reads and some
# junk. The first byte of a seed is the fuzz target's cut count (0 to 3), followed by
# that many cut positions, then the bytes received.
set -euo pipefail
dir=$1
mkdir -p "$dir"

placed='1\x94\x7a\x92\x75\x8a\xae\x97\xb9'
n=0
seed() { printf "$1" >"$dir/seed-$(printf %03d $n)"; n=$((n + 1)); }

for text in 0hello 0busy "$placed" 1s 1k 20 27 210 263 3a 3b 4Make 4Kati; do
  seed "\x00$text"
done
seed "\x003a4Make"
seed "\x00${placed}1s"
seed "\x00${placed}1k"
seed "\x003b27"
seed "\x01\x05${placed}1k"
seed "\x01\x03${placed}"
seed "\x02\x01\x01263"
seed "\x03\x02\x02\x020hello3a4Kati"
seed "\x0020x3a"
seed "\x002999999999999"
seed "\x00\x00\x00\x003c"
seed "\x00junk0hel"
seed "\x001\x94\xff5hello"
