#!/usr/bin/env bash
# run-upnp-lan.sh COMMAND...: a simulated LAN with two UPnP routers (miniupnpd) and runs COMMAND
# on the PC. Everything lives in network namespaces of its own with no route out:
#
#   PC 192.168.50.10 (bridge br0, default route via router 1)
#     ├── router 1: LAN 192.168.50.1, miniupnpd on port 5000
#     └── router 2: LAN 192.168.50.2, miniupnpd on port 5000
#
# Each router's WAN side is a veth pair that ends inside the router's own namespace, with an
# address miniupnpd accepts as public; nothing is ever sent there. COMMAND sees
# UPNP_ROUTER1/2 (LAN addresses), UPNP_NS1/2 (router namespaces, for `ip netns exec ... nft`)
# and IPCAM_PRIVATE_NETNS (the mark of the netns guard).
set -euo pipefail
[[ $EUID -eq 0 ]] || { echo "run-upnp-lan: needs root" >&2; exit 2; }
command -v miniupnpd >/dev/null || [[ -x /usr/sbin/miniupnpd ]] || { echo "run-upnp-lan: miniupnpd is missing" >&2; exit 2; }
MINIUPNPD=$(command -v miniupnpd || echo /usr/sbin/miniupnpd)

id="upnp-$$-$RANDOM"
pc="$id-pc"
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  for ns in "$pc" "$id-r1" "$id-r2"; do ip netns del "$ns" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

ip netns add "$pc"
ip -n "$pc" link set lo up
ip -n "$pc" link add br0 type bridge
ip -n "$pc" link set br0 type bridge mcast_snooping 0
ip -n "$pc" addr add 192.168.50.10/24 dev br0
ip -n "$pc" link set br0 up
ip -n "$pc" route add default via 192.168.50.1

for n in 1 2; do
  ns="$id-r$n"
  ip netns add "$ns"
  ip -n "$ns" link set lo up
  ip link add "lan$n" netns "$ns" type veth peer name "port$n" netns "$pc"
  ip -n "$pc" link set "port$n" master br0
  ip -n "$pc" link set "port$n" up
  ip -n "$ns" link set "lan$n" name lan0
  ip -n "$ns" addr add "192.168.50.$n/24" dev lan0
  ip -n "$ns" link set lan0 up
  ip -n "$ns" link add wan0 type veth peer name wan1
  ip -n "$ns" addr add "192.0.3.$((n + 1))/24" dev wan0
  ip -n "$ns" link set wan0 up
  ip -n "$ns" link set wan1 up
  ip netns exec "$ns" nft -f - <<'NFT'
table inet miniupnpd {
  chain miniupnpd {
  }
  chain prerouting_miniupnpd {
  }
  chain postrouting_miniupnpd {
  }
  chain forward {
    type filter hook forward priority 0; policy accept;
    jump miniupnpd
  }
  chain prerouting {
    type nat hook prerouting priority -100; policy accept;
    jump prerouting_miniupnpd
  }
  chain postrouting {
    type nat hook postrouting priority 100; policy accept;
    jump postrouting_miniupnpd
  }
}
NFT
  cat > "$work/r$n.conf" <<CONF
ext_ifname=wan0
listening_ip=lan0
port=5000
enable_natpmp=no
enable_upnp=yes
secure_mode=no
system_uptime=yes
uuid=3d3cec3a-8cf0-11e0-98ee-00000000000$n
upnp_table_name=miniupnpd
upnp_nat_table_name=miniupnpd
CONF
  ip netns exec "$ns" "$MINIUPNPD" -d -f "$work/r$n.conf" -P "$work/r$n.pid" >"$work/r$n.log" 2>&1 &
  pids+=($!)
done

# Ready when both listen; a bounded wait, a failure to start shows its log.
for n in 1 2; do
  for _ in $(seq 1 100); do
    grep -q "HTTP listening on port" "$work/r$n.log" 2>/dev/null && break
    sleep 0.1
  done
  grep -q "HTTP listening on port" "$work/r$n.log" || { echo "run-upnp-lan: miniupnpd $n did not start:" >&2; cat "$work/r$n.log" >&2; exit 1; }
done

set +e
ip netns exec "$pc" env UPNP_ROUTER1=192.168.50.1 UPNP_ROUTER2=192.168.50.2 UPNP_NS1="$id-r1" UPNP_NS2="$id-r2" \
  IPCAM_PRIVATE_NETNS="$(ip netns exec "$pc" stat -L -c %i /proc/self/ns/net)" "$@"
rc=$?
set -e
if [[ $rc -ne 0 && -n "${UPNP_VERBOSE:-}" ]]; then cat "$work/r1.log" "$work/r2.log" >&2; fi
exit $rc
