#!/usr/bin/env bash
# Two namespaces joined by a veth pair: the probing PC (10.77.0.1) and a peer with 10.77.0.2,
# which answers, and 10.77.0.3, which drops every ICMP packet in and out (only its neighbour
# entry shows it). 10.77.0.9 is nobody's; 10.78.0.5 lies beyond the peer, which forwards
# nothing. The test runs twice, with unprivileged ICMP sockets allowed and not; it probes
# from a child that has given up root, as a user's program would.
set -u
bin=$1
id="probe-$$-$(od -An -N3 -tx1 /dev/urandom | tr -d ' \n')"
pc="$id-pc" peer="$id-peer"
cleanup() { ip netns del "$pc" 2>/dev/null; ip netns del "$peer" 2>/dev/null; }
trap cleanup EXIT
set -e
ip netns add "$pc"
ip netns add "$peer"
ip -n "$pc" link add veth0 type veth peer name veth1 netns "$peer"
for ns in "$pc" "$peer"; do
  ip -n "$ns" link set lo up
  ip netns exec "$ns" sh -c 'echo 1 > /proc/sys/net/ipv6/conf/all/disable_ipv6' 2>/dev/null || true
done
ip -n "$pc" addr add 10.77.0.1/24 dev veth0
ip -n "$pc" link set veth0 up
ip -n "$pc" route add 10.78.0.0/24 via 10.77.0.2
ip -n "$peer" addr add 10.77.0.2/24 dev veth1
ip -n "$peer" addr add 10.77.0.3/24 dev veth1
ip -n "$peer" link set veth1 up
ip netns exec "$peer" nft -f - <<'NFT'
table inet probe {
  chain in { type filter hook input priority 0; ip daddr 10.77.0.3 meta l4proto icmp drop; }
  chain out { type filter hook output priority 0; ip saddr 10.77.0.3 meta l4proto icmp drop; }
}
NFT
set +e
export PROBE_PRESENT=10.77.0.2 PROBE_SILENT=10.77.0.3 PROBE_ABSENT=10.77.0.9 PROBE_OFFLINK=10.78.0.5
fail=0
for icmp in 1 0; do
  if [ "$icmp" = 1 ]; then range="0 2147483647"; else range="1 0"; fi
  ip netns exec "$pc" sh -c "echo '$range' > /proc/sys/net/ipv4/ping_group_range"
  ip -n "$pc" neigh flush all
  echo "== unprivileged ICMP sockets allowed: $icmp"
  PROBE_ICMP=$icmp ip netns exec "$pc" "$bin" || fail=1
done
exit "$fail"
