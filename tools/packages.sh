# Installs the Debian packages given as arguments that are not installed yet, and only
# those: a second run asks nothing of the package archive. Without root it installs
# nothing and names the command for an administrator instead. A package named in more
# than one list is asked for once. Sourced by run.sh, test.sh and .ci/run.
ensure_packages() {
  local missing=() p start=$SECONDS
  for p in "$@"; do
    [[ " ${missing[*]} " == *" $p "* ]] && continue
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" != 0 ]; then
    echo "These Debian packages are missing: ${missing[*]}" >&2
    echo "Installing them needs root. Run this once, then start ${0##*/} again:" >&2
    echo "  sudo apt-get install ${missing[*]}" >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
  echo "Installed them in $((SECONDS - start)) s"
}

# What building and running the programs needs (Qt's own texts in Japanese included).
build_packages=(cmake ninja-build g++ qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
                fonts-ipafont-gothic libcap2-bin qt6-translations-l10n libminiupnpc-dev libnatpmp-dev)

# What building and checking the Debian package needs beyond that: dpkg-shlibdeps and
# file for its dependencies, lintian and the validators of its menu entry and metadata.
package_packages=(dpkg-dev file lintian desktop-file-utils appstream)

# What the fault tests need to join two network namespaces by a veth link and cut it
# (ip, unshare, and iptables to drop every packet of the far machine).
network_test_packages=(iproute2 util-linux iptables)

# What the fuzz test needs: clang with its libFuzzer and sanitizer runtimes, and
# pkg-config for Qt's compiler flags (only a Recommends of Qt's development package, so
# an installation without recommends lacks it).
fuzz_test_packages=(clang libclang-rt-14-dev pkg-config)

# What the Xvfb tests need: the X server, xdotool to drive the windows, ImageMagick for
# screenshots, and a D-Bus session with the accessibility bus and pyatspi to read them.
xvfb_test_packages=(xvfb xdotool imagemagick dbus at-spi2-core python3-pyatspi)

# What the tests of discovery on the local network need: the Avahi daemon and the
# system bus it registers on.
discovery_test_packages=(avahi-daemon dbus)

# What the tests of the host's router port need: a router made of network namespaces
# (tests/router_rig.sh) that forwards and masquerades with nftables and answers UPnP-IGD
# and NAT-PMP with miniupnpd's nftables build.
router_test_packages=(miniupnpd-nftables nftables)

# What CI needs beyond a fresh machine to make the fresh Debian root that it runs the
# README's commands in (.ci/run, tools/fresh_root.sh).
ci_packages=(debootstrap)
