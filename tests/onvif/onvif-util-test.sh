#!/usr/bin/env bash
# lan-sim's ONVIF cameras (cameras.ini) seen by a client that nobody here wrote: Debian's
# onvif-util (package onvif-tools). Runs in the PC namespace of scripts/simlan.
set -u
if ! command -v onvif-util >/dev/null; then
  echo "SKIP: onvif-util is not installed (Debian package onvif-tools; scripts/setup installs it)"
  exit 77
fi
[[ -n ${SIMLAN_CONTROL:-} ]] || { echo "run inside scripts/simlan"; exit 2; }

fail=0
check() { # message, command...
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; fail=1; fi
}
has() { grep -qE -- "$2" <<<"$1"; }
lacks() { ! grep -qE -- "$2" <<<"$1"; }

# The search: every camera with its host name, name scope and hardware scope.
all=$(timeout 60 onvif-util -a 2>&1)
echo "$all"
check "onvif-util -a finds three cameras" has "$all" '^Found 3 cameras'
check "onvif-util -a lists the hall camera" has "$all" '^192\.168\.7\.60 onvif-hall\(Hall Camera LS-ONVIF-200\)$'
check "onvif-util -a lists the yard camera" has "$all" '^192\.168\.7\.61 onvif-yard\(Yard LS-ONVIF-300\)$'
check "onvif-util -a lists the lobby camera" has "$all" '^192\.168\.7\.62 onvif-lobby\(Lobby LS-ONVIF\)$'

# Logged in: the device information and the network settings.
hall=$(printf 'get network\nquit\n' | timeout 60 onvif-util -u admin -p hall-pw 192.168.7.60 2>&1)
echo "$hall"
check "login reads the name" has "$hall" 'name: +Hall Camera LS-ONVIF-200$'
check "login reads the serial number" has "$hall" 'serial: +OV0001$'
check "get network reads the address" has "$hall" 'IP Address: +192\.168\.7\.60$'
check "get network reads the gateway" has "$hall" 'Gateway: +192\.168\.7\.1$'
check "get network reads the DNS server" has "$hall" 'DNS: +192\.168\.7\.1$'
check "get network reads the address mode" has "$hall" 'DHCP: +NO$'

# The yard camera runs an hour ahead and takes tokens within a minute of its clock.
yard=$(printf 'quit\n' | timeout 60 onvif-util -u admin -p yard-pw 192.168.7.61 2>&1)
echo "$yard"
check "login to a camera whose clock is off" has "$yard" 'serial: +OV020F00000A02$'

# A wrong password is refused as a login failure.
wrong=$(printf 'quit\n' | timeout 60 onvif-util -u admin -p wrong 192.168.7.60 2>&1)
echo "$wrong"
check "wrong password gives NotAuthorized" has "$wrong" 'ter:NotAuthorized'
check "wrong password reads nothing" lacks "$wrong" 'serial:'

# The lobby camera answers a wrong login with HTTP 401 and no SOAP fault (onvif-util then
# goes on with what the search told it, but reads no serial number).
lobby=$(printf 'quit\n' | timeout 60 onvif-util -u operator -p wrong 192.168.7.62 2>&1)
echo "$lobby"
check "HTTP 401 reads no serial number" lacks "$lobby" 'serial: *[^ ]'
lobby=$(printf 'quit\n' | timeout 60 onvif-util -u operator -p lobby-pw 192.168.7.62 2>&1)
echo "$lobby"
check "the right password reads it there" has "$lobby" 'serial: +OV020F00000A03$' 

exit "$fail"
