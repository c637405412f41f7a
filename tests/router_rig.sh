# A home router in network namespaces, for the tests of the host's router port: source
# it, call rig_up, run programs with rig_in, read the router's forwards with
# rig_mappings. Three namespaces joined by veth pairs: `home` (the host's machine,
# 192.168.7.2 on the LAN, its default route through the router), `router` (192.168.7.1
# on the LAN, 11.0.0.1 outside; it forwards, masquerades and runs miniupnpd with UPnP-IGD
# and NAT-PMP) and `net` (a player on the internet, 11.0.0.2, with no route to the LAN).
# 11.0.0.0/24 is an ordinary global block, which miniupnpd needs to see outside before it
# forwards anything; no namespace has a route out of the rig, so none of its traffic
# reaches a real network. Everything the rig makes is removed by rig_down, which rig_up
# also puts on the shell's EXIT, INT and TERM traps; a caller with traps of its own calls
# rig_down from them. Root only: rig_require_root skips a test (exit 77) without it.

RIG_LAN_HOME=192.168.7.2
RIG_LAN_ROUTER=192.168.7.1
RIG_WAN_ROUTER=11.0.0.1
RIG_WAN_NET=11.0.0.2
RIG_WAN_PREFIX=24
RIG_DIR=
RIG_DAEMON_PID=
RIG_NAMESPACES=()

rig_require_root() {
  if [ "$(id -u)" != 0 ]; then
    echo "SKIP: the router rig makes network namespaces and runs miniupnpd, which needs root" >&2
    exit 77
  fi
  local tool
  for tool in ip nft miniupnpd; do
    if ! command -v "$tool" >/dev/null; then
      echo "SKIP: $tool is missing (tools/packages.sh: router_test_packages)" >&2
      exit 77
    fi
  done
}

_rig_ns() { echo "kelvaro-rig$$-$1"; }

rig_in() {
  local which=$1
  shift
  ip netns exec "$(_rig_ns "$which")" "$@"
}

# rig_up [--natpmp-only] [--upnp-only] [--min-port-1024] [--shared] [--no-daemon]
#   --natpmp-only    miniupnpd answers NAT-PMP only (enable_upnp=no)
#   --upnp-only      miniupnpd answers UPnP-IGD only (enable_natpmp=no)
#   --min-port-1024  miniupnpd forwards outside ports 1024 and above only
#   --shared         the router's outside address is in the shared space 100.64.0.0/10,
#                    as behind a provider's NAT
#   --no-daemon      the router forwards but answers neither protocol
rig_up() {
  local natpmp_only=0 upnp_only=0 min_port=0 shared=0 daemon=1
  while [ $# -gt 0 ]; do
    case $1 in
      --natpmp-only) natpmp_only=1 ;;
      --upnp-only) upnp_only=1 ;;
      --min-port-1024) min_port=1 ;;
      --shared) shared=1 ;;
      --no-daemon) daemon=0 ;;
      *) echo "rig_up: unknown option $1" >&2; return 2 ;;
    esac
    shift
  done
  if [ $shared = 1 ]; then
    RIG_WAN_ROUTER=100.64.0.1
    RIG_WAN_NET=100.64.0.2
    RIG_WAN_PREFIX=10
  fi
  trap rig_down EXIT
  trap 'rig_down; exit 130' INT TERM
  RIG_DIR=$(mktemp -d /tmp/kelvaro-rig.XXXXXX) || return 1

  local ns
  for ns in home router net; do
    ip netns add "$(_rig_ns $ns)" || { rig_down; return 1; }
    RIG_NAMESPACES+=("$(_rig_ns $ns)")
    rig_in $ns ip link set lo up
  done
  ip link add lan0 netns "$(_rig_ns home)" type veth peer name lan1 netns "$(_rig_ns router)" &&
  ip link add wan1 netns "$(_rig_ns net)" type veth peer name wan0 netns "$(_rig_ns router)" &&
  rig_in home ip addr add $RIG_LAN_HOME/24 dev lan0 &&
  rig_in home ip link set lan0 up &&
  rig_in home ip route add default via $RIG_LAN_ROUTER &&
  rig_in router ip addr add $RIG_LAN_ROUTER/24 dev lan1 &&
  rig_in router ip addr add $RIG_WAN_ROUTER/$RIG_WAN_PREFIX dev wan0 &&
  rig_in router ip link set lan1 up &&
  rig_in router ip link set wan0 up &&
  rig_in net ip addr add $RIG_WAN_NET/$RIG_WAN_PREFIX dev wan1 &&
  rig_in net ip link set wan1 up &&
  rig_in router sysctl -q -w net.ipv4.ip_forward=1 &&
  _rig_ruleset || { rig_down; return 1; }

  [ $daemon = 1 ] || return 0
  _rig_config $natpmp_only $upnp_only $min_port >"$RIG_DIR/miniupnpd.conf"
  # Not through rig_in: a function in the background is a subshell, and its PID would
  # not be the daemon's. ip netns exec execs the daemon in its own process.
  ip netns exec "$(_rig_ns router)" miniupnpd -f "$RIG_DIR/miniupnpd.conf" -d -P "$RIG_DIR/miniupnpd.pid" \
    >"$RIG_DIR/miniupnpd.log" 2>&1 &
  RIG_DAEMON_PID=$!
  _rig_wait_daemon $natpmp_only $upnp_only || { rig_down; return 1; }
}

# The chains miniupnpd fills (its defaults: table inet filter, chains miniupnpd,
# prerouting_miniupnpd and postrouting_miniupnpd), each reached from the hook chain that
# handles its kind of packet, and the router's own forwarding and masquerading around them.
_rig_ruleset() {
  rig_in router nft -f - <<'EOF'
table inet filter {
  chain forward {
    type filter hook forward priority 0; policy drop;
    ct state established,related accept
    iifname "lan1" oifname "wan0" accept
    jump miniupnpd
  }
  chain miniupnpd {
  }
  chain prerouting {
    type nat hook prerouting priority -100; policy accept;
    jump prerouting_miniupnpd
  }
  chain postrouting {
    type nat hook postrouting priority 100; policy accept;
    jump postrouting_miniupnpd
    oifname "wan0" masquerade
  }
  chain prerouting_miniupnpd {
  }
  chain postrouting_miniupnpd {
  }
}
EOF
}

_rig_config() {
  local natpmp_only=$1 upnp_only=$2 min_port=$3
  cat <<EOF
ext_ifname=wan0
listening_ip=lan1
port=0
enable_natpmp=$([ "$upnp_only" = 1 ] && echo no || echo yes)
enable_upnp=$([ "$natpmp_only" = 1 ] && echo no || echo yes)
secure_mode=yes
system_uptime=no
notify_interval=60
clean_ruleset_interval=0
lease_file=$RIG_DIR/leases
uuid=$(cat /proc/sys/kernel/random/uuid)
EOF
  [ "$min_port" = 1 ] && echo "allow 1024-65535 192.168.7.0/24 1020"
  [ "$min_port" = 1 ] || echo "allow 1-65535 192.168.7.0/24 1-65535"
  echo "deny 0-65535 0.0.0.0/0 0-65535"
}

# Ready when the UDP ports of the protocols it answers are bound (NAT-PMP's, SSDP's);
# at most 5 s.
_rig_wait_daemon() {
  local natpmp_only=$1 upnp_only=$2 i
  for ((i = 0; i < 50; i++)); do
    if ! kill -0 "$RIG_DAEMON_PID" 2>/dev/null; then
      echo "rig_up: miniupnpd ended at once:" >&2
      cat "$RIG_DIR/miniupnpd.log" >&2
      return 1
    fi
    if { [ "$upnp_only" = 1 ] || rig_in router ss -Hlun 'sport = :5351' | grep -q .; } &&
       { [ "$natpmp_only" = 1 ] || rig_in router ss -Hlun 'sport = :1900' | grep -q .; }; then
      return 0
    fi
    sleep 0.1
  done
  echo "rig_up: miniupnpd did not listen within 5 s:" >&2
  cat "$RIG_DIR/miniupnpd.log" >&2
  return 1
}

# The router's forwards, one line each ("tcp dport 1020 dnat ip to 192.168.7.2:1020");
# nothing when there are none.
rig_mappings() {
  rig_in router nft list chain inet filter prerouting_miniupnpd 2>/dev/null | grep dnat |
    sed 's/^[[:space:]]*//'
}

rig_daemon_log() {
  [ -n "$RIG_DIR" ] && cat "$RIG_DIR/miniupnpd.log" 2>/dev/null
}

rig_down() {
  local i ns
  if [ -n "$RIG_DAEMON_PID" ]; then
    kill "$RIG_DAEMON_PID" 2>/dev/null
    for ((i = 0; i < 30; i++)); do
      kill -0 "$RIG_DAEMON_PID" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL "$RIG_DAEMON_PID" 2>/dev/null
    wait "$RIG_DAEMON_PID" 2>/dev/null
    RIG_DAEMON_PID=
  fi
  for ns in "${RIG_NAMESPACES[@]}"; do
    ip netns pids "$ns" 2>/dev/null | xargs -r kill -KILL 2>/dev/null
    ip netns del "$ns" 2>/dev/null
  done
  RIG_NAMESPACES=()
  if [ -n "$RIG_DIR" ]; then
    rm -rf "$RIG_DIR"
    RIG_DIR=
  fi
  return 0
}
