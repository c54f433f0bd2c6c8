#!/usr/bin/env bash
# The simlan harness end to end: the probe client passes inside it, the
# command's exit code comes back, and no namespace or lan-sim process is left
# after a normal end, a failing command or a signal. Two runs side by side
# do not collide.
set -u
simlan=$1 lansim=$2 client=$3 config=$4 stubtest=${5:-}
base="t$$"
fail=0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

check() { # message, condition...
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; fail=1; fi
}
no_namespace() { ! ip netns list | awk '{print $1}' | grep -q "^simlan-$1-"; }
gone() { [[ -z $1 ]] || ! kill -0 "$1" 2>/dev/null; }
record='echo "$SIMLAN_LANSIM_PID" > "$0"; exec "$@"'

# 1. The client against cameras.ini; its result is simlan's result.
"$simlan" --id "$base-a" --config "$config" --lan-sim "$lansim" --log "$tmp/lan-sim-a.log" -- \
  sh -c "$record" "$tmp/pid-a" "$client"
rc=$?
check "probe client passes in the simulated LAN (rc $rc)" test "$rc" -eq 0
check "lan-sim reported no sanitizer error" sh -c "! grep -qE 'ERROR: AddressSanitizer|runtime error:' '$tmp/lan-sim-a.log'"
check "no namespace left after a normal end" no_namespace "$base-a"
check "lan-sim ended with the run" gone "$(cat "$tmp/pid-a" 2>/dev/null)"

# 1b. The stand-in library of family 4 against the same cameras.
if [[ -n $stubtest ]]; then
  "$simlan" --id "$base-s" --config "$config" --lan-sim "$lansim" --log "$tmp/lan-sim-s.log" -- "$stubtest"
  rc=$?
  check "stand-in library finds and configures the family-4 cameras (rc $rc)" test "$rc" -eq 0
  check "lan-sim reported no sanitizer error" sh -c "! grep -qE 'ERROR: AddressSanitizer|runtime error:' '$tmp/lan-sim-s.log'"
  check "no namespace left after the library's run" no_namespace "$base-s"
fi

# 2. A failing command: its exit code, and everything torn down.
"$simlan" --id "$base-b" --config "$config" --lan-sim "$lansim" -- sh -c 'exit 7' 2>/dev/null
rc=$?
check "exit code of a failing command comes back (rc $rc)" test "$rc" -eq 7
check "no namespace left after a failing command" no_namespace "$base-b"

# 3. The PC namespace has loopback and the veth, nothing else; the only route
#    is the default one on the veth.
"$simlan" --id "$base-c" --config "$config" --lan-sim "$lansim" -- sh -c \
  '[ "$(ip -o link | wc -l)" = 2 ] && ip route get 8.8.8.8 | grep -q "dev $SIMLAN_PC_IF"'
check "PC namespace reaches only the veth" test $? -eq 0

# 4. A signal to simlan while the command runs.
"$simlan" --id "$base-d" --config "$config" --lan-sim "$lansim" -- sh -c "$record" "$tmp/pid-d" sleep 60 &
spid=$!
for _ in $(seq 100); do [[ -s $tmp/pid-d ]] && break; sleep 0.05; done
kill -TERM "$spid"
wait "$spid"
rc=$?
check "simlan ends on SIGTERM with 143 (rc $rc)" test "$rc" -eq 143
check "no namespace left after SIGTERM" no_namespace "$base-d"
check "lan-sim ended after SIGTERM" gone "$(cat "$tmp/pid-d" 2>/dev/null)"

# 5. Ctrl-C: SIGINT to the whole process group, as a terminal sends it. A
#    background job of this script would ignore SIGINT, hence the new session
#    and the default disposition.
setsid env --default-signal=INT "$simlan" --id "$base-g" --config "$config" --lan-sim "$lansim" -- \
  sh -c "$record" "$tmp/pid-g" sleep 60 &
spid=$!
for _ in $(seq 100); do [[ -s $tmp/pid-g ]] && break; sleep 0.05; done
kill -INT -- "-$spid"
wait "$spid"
rc=$?
check "simlan ends on SIGINT with 130 (rc $rc)" test "$rc" -eq 130
check "no namespace left after SIGINT" no_namespace "$base-g"

# 6. Two runs at once, both using the cameras' fixed ports.
"$simlan" --id "$base-e" --config "$config" --lan-sim "$lansim" -- "$client" --gtest_filter='*MoISearch*:*Bin8Three*' >"$tmp/e.log" 2>&1 &
e=$!
"$simlan" --id "$base-f" --config "$config" --lan-sim "$lansim" -- "$client" --gtest_filter='*MoISearch*:*Bin8Three*' >"$tmp/f.log" 2>&1 &
f=$!
wait "$e"; re=$?
wait "$f"; rf=$?
check "two simultaneous runs both pass (rc $re, $rf)" test "$re" -eq 0 -a "$rf" -eq 0
[[ $re -eq 0 && $rf -eq 0 ]] || cat "$tmp/e.log" "$tmp/f.log"
check "no namespace left after simultaneous runs" no_namespace "$base-e"
check "no namespace left after simultaneous runs" no_namespace "$base-f"

exit "$fail"
