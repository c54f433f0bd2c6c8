#!/usr/bin/env bash
# The check-service client against ddns-check in the simulated LAN, and what simlan leaves
# behind: the names resolved inside the PC namespace only, the host's /etc/hosts unchanged,
# no /etc/netns entry and no namespace after the run.
set -u
simlan=$1 lansim=$2 ddnscheck=$3 config=$4 client=$5
id="ddns$$"
fail=0
check() { # message, condition...
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; fail=1; fi
}
hosts_before=$(sha256sum /etc/hosts)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

"$simlan" --id "$id" --config "$config" --lan-sim "$lansim" --ddns-check "$ddnscheck" \
  --log "$tmp/sim.log" -- "$client"
rc=$?
check "client tests pass against ddns-check (rc $rc)" test "$rc" -eq 0
check "ddns-check ran and reported no sanitizer error" sh -c \
  "grep -q 'listening on' '$tmp/sim.log.ddns' && ! grep -qE 'ERROR: AddressSanitizer|runtime error:' '$tmp/sim.log.ddns'"

# Inside, the names are the service's; the file laid over /etc/hosts names it.
"$simlan" --id "$id-n" --config "$config" --lan-sim "$lansim" --ddns-check "$ddnscheck" -- sh -c \
  'getent hosts user.ipcam.example | grep -q "^198\.51\.100\.80 " &&
   getent hosts ddns.ipcam.example | grep -q "^198\.51\.100\.80 " &&
   [ -f "/etc/netns/$SIMLAN_PC_NS/hosts" ]'
check "names resolve to the service in the PC namespace" test $? -eq 0

# A mistyped configuration is refused before anything starts.
printf '[ddns]\ngetremote = onlin\n' >"$tmp/bad-answer.ini"
printf '[ddns account x]\npasword = y\n' >"$tmp/bad-key.ini"
for bad in bad-answer bad-key; do
  unshare -n "$ddnscheck" --check "$tmp/$bad.ini" >/dev/null 2>&1
  check "ddns-check refuses $bad.ini (rc $?)" test $? -eq 2
done
"$simlan" --id "$id-b" --config "$tmp/bad-key.ini" --no-sim --ddns-check "$ddnscheck" -- true 2>/dev/null
check "simlan refuses a bad [ddns] section" test $? -ne 0

check "the host's /etc/hosts is unchanged" test "$(sha256sum /etc/hosts)" = "$hosts_before"
check "no /etc/netns entry is left" sh -c "! ls -d /etc/netns/simlan-$id-* 2>/dev/null | grep -q ."
check "no namespace is left" sh -c "! ip netns list | awk '{print \$1}' | grep -q '^simlan-$id-'"
exit "$fail"
