#!/usr/bin/env bash
# Builds the Debian package and checks it without installing it: lintian reports no
# error, the unpacked tree holds exactly the expected files, the menu entry starts the
# packaged launcher from its own folder, the packaged and the dist/ entry pass
# desktop-file-validate, and the AppStream metadata has no error.
# Usage: package_check.sh BUILD_DIR DIST_DIR
set -u
build=$1
dist=$2
failed=0
fail() { echo "FAIL: $*"; failed=1; }

for tool in lintian desktop-file-validate appstreamcli dpkg-deb dpkg-shlibdeps; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (./test.sh installs it)"; exit 1; }
done

rm -f "$build"/kelvaro_*.deb
cmake --build "$build" --target package >"$build/package.log" 2>&1 ||
  { cat "$build/package.log"; echo "FAIL: the package did not build"; exit 1; }
debs=("$build"/kelvaro_*_*.deb)
[ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: no single kelvaro_<version>_<arch>.deb in $build"; exit 1; }
deb=${debs[0]}
echo "package: $deb"

lint=$(lintian --fail-on error "$deb" 2>&1) || fail "lintian reports errors"
grep -v 'running with root privileges' <<<"$lint"

depends=$(dpkg-deb -f "$deb" Depends)
for dep in libc6 libqt6gui6 fonts-ipafont-gothic qt6-translations-l10n libcap2-bin; do
  [[ ", $depends," == *", $dep "* || ", $depends," == *", $dep,"* ]] || fail "Depends lacks $dep: $depends"
done
dpkg-deb -I "$deb" postinst >/dev/null 2>&1 || fail "the package has no postinst"

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "$deb" "$tree"
expected='usr/games/kelvaro
usr/games/kelvaro-cpu
usr/lib/games/kelvaro/Kelvaro
usr/lib/games/kelvaro/Orrin/morsk
usr/lib/games/kelvaro/Velk/trelvin
usr/lib/games/kelvaro/kelvaro-cpu
usr/lib/games/kelvaro/pellu
usr/share/applications/kelvaro-cpu.desktop
usr/share/applications/kelvaro.desktop
usr/share/doc/kelvaro/changelog.gz
usr/share/doc/kelvaro/copyright
usr/share/icons/hicolor/32x32/apps/kelvaro.png
usr/share/man/man6/kelvaro-cpu.6.gz
usr/share/man/man6/kelvaro.6.gz
usr/share/metainfo/kelvaro.metainfo.xml'
files=$(cd "$tree" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)
if [ "$files" != "$expected" ]; then
  fail "unexpected file list:"
  diff <(echo "$expected") <(echo "$files")
fi

# The menu starts the launcher in its own folder, where it finds Orrin and Velk.
entry=$tree/usr/share/applications/kelvaro.desktop
exec_line=$(sed -n 's/^Exec=//p' "$entry")
path_line=$(sed -n 's/^Path=//p' "$entry")
exec_line=${exec_line#\"}
exec_line=${exec_line%\"}
[ "$exec_line" = "$path_line/Kelvaro" ] || fail "Exec ($exec_line) is not the launcher in Path ($path_line)"
for program in Kelvaro Orrin/morsk Velk/trelvin; do
  [ -x "$tree$path_line/$program" ] || fail "$path_line/$program is not in the package"
done

# The computer opponent's entry starts the command that the package puts in /usr/games.
cpu_entry=$tree/usr/share/applications/kelvaro-cpu.desktop
[ "$(sed -n 's/^Exec=//p' "$cpu_entry")" = kelvaro-cpu ] && [ -x "$tree/usr/games/kelvaro-cpu" ] &&
  grep -qx 'exec /usr/lib/games/kelvaro/kelvaro-cpu "$@"' "$tree/usr/games/kelvaro-cpu" &&
  [ -x "$tree/usr/lib/games/kelvaro/kelvaro-cpu" ] || fail "the kelvaro-cpu entry does not start the packaged program"
grep -q '^Name=Kelvaro CPU対戦$' "$cpu_entry" || fail "the kelvaro-cpu entry is not named Kelvaro CPU対戦"

for desktop in "$entry" "$cpu_entry" "$dist/share/applications/kelvaro.desktop"; do
  [ -f "$desktop" ] || { fail "$desktop is missing (run cmake --install first)"; continue; }
  desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $desktop"
done

# appstreamcli exits 3 on warnings as well as errors, so its report is what counts.
report=$(appstreamcli validate --no-net "$tree"/usr/share/metainfo/kelvaro.metainfo.xml 2>&1)
echo "$report"
grep -q '^E:' <<<"$report" && fail "appstreamcli validate reports errors"

[ $failed = 0 ] && echo "PASS: package"
exit $failed
