#!/usr/bin/env bash
# Builds the protocol fuzz target with clang (the main build uses g++), seeds it with
# the known messages and runs it for a bounded number of inputs. Fails on a missing
# clang, a build error, a crash or any sanitizer report.
#   run_fuzz.sh <source dir> <work dir> [runs]
set -euo pipefail
src=$1
work=$2
runs=${3:-200000}

cxx=${KELVARO_FUZZ_CXX:-}
if [ -z "$cxx" ]; then
  for candidate in clang++ clang++-14; do
    if command -v "$candidate" >/dev/null; then cxx=$candidate; break; fi
  done
fi
if [ -z "$cxx" ]; then
  echo "FAIL: no clang++ found; the fuzz test needs clang and libclang-rt (./test.sh installs them)" >&2
  exit 1
fi
if ! qt_flags=$(pkg-config --cflags --libs Qt6Core); then
  echo "FAIL: pkg-config does not know Qt6Core" >&2
  exit 1
fi

mkdir -p "$work"
target=$work/fuzz_protocol
# Qt is built with reduced relocations, hence -fPIC.
# shellcheck disable=SC2086
"$cxx" -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined \
  -fno-sanitize-recover=undefined -fno-omit-frame-pointer \
  -I"$src" "$src"/protocol/messages.cpp "$src"/protocol/messagestream.cpp \
  "$src"/protocol/dispatch.cpp "$src"/tests/fuzz/fuzz_protocol.cpp \
  $qt_flags -o "$target"

rm -rf "$work/seeds" "$work/corpus"
"$src"/tests/fuzz/make_seeds.sh "$work/seeds"
mkdir -p "$work/corpus"

log=$work/fuzz.log
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export ASAN_OPTIONS=abort_on_error=0:detect_leaks=1
status=0
(cd "$work" && "$target" -runs="$runs" -max_len=512 -seed="${KELVARO_FUZZ_SEED:-1}" \
  -print_final_stats=1 corpus seeds) >"$log" 2>&1 || status=$?
tail -n 25 "$log"
if [ "$status" -ne 0 ]; then
  echo "FAIL: fuzzer exited with $status (reproducer, if any, in $work)" >&2
  exit 1
fi
if grep -qE "runtime error|ERROR: AddressSanitizer|ERROR: LeakSanitizer|invariant broken" "$log"; then
  echo "FAIL: sanitizer or invariant report in $log" >&2
  exit 1
fi
if ! grep -q "Done $runs runs" "$log"; then
  echo "FAIL: the fuzzer did not complete $runs runs" >&2
  exit 1
fi
echo "fuzz_protocol: $runs runs, no findings"
