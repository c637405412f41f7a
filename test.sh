#!/usr/bin/env bash
# Sets up what the tests need on a fresh Debian machine, builds, and runs every test
# headless through CTest. Idempotent: a second run installs nothing and rebuilds only
# what changed.
set -euo pipefail
cd "$(dirname "$0")"

. tools/packages.sh
# Beyond the programs' own packages: the tools that build and check the Debian package,
# and what the fault, fuzz, Xvfb, discovery and router tests need (tools/packages.sh says
# what each list is for).
ensure_packages "${build_packages[@]}" "${package_packages[@]}" "${network_test_packages[@]}" \
                "${fuzz_test_packages[@]}" "${xvfb_test_packages[@]}" "${discovery_test_packages[@]}" \
                "${router_test_packages[@]}"

top=$PWD
export QT_QPA_PLATFORM=offscreen

# The main build: every test, the Xvfb, fuzz and package ones included.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVARO_BUILD_TESTS=ON \
      -DCMAKE_INSTALL_PREFIX="$top/build/dist" >/dev/null
cmake --build build
cmake --install build >/dev/null
(cd build && ctest --output-on-failure -j2 "$@")

# The same unit, match and fault tests once more with AddressSanitizer and
# UndefinedBehaviorSanitizer, built alone; any report fails the test that caused it.
if [ "${KELVARO_SKIP_SANITIZERS:-0}" != 1 ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKELVARO_SANITIZE=ON \
        -DCMAKE_INSTALL_PREFIX="$top/build-asan/dist" >/dev/null
  cmake --build build-asan --target unit_tests
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
  export LSAN_OPTIONS=suppressions=$top/tests/lsan.supp:print_suppressions=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  (cd build-asan && ctest --output-on-failure -j2 -L unit "$@")
fi
