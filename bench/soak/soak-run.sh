#!/usr/bin/env bash
# The soak inside the simulated LAN (started by scripts/soak through scripts/simlan, in the PC
# namespace): the program offscreen, ipcam-scan and ctp_pool_soak run for SOAK_MINUTES while
# lan-sim's cameras are stopped, started, restarted, moved and made to answer damaged; every
# 30 s the resident memory, descriptors and threads of the three are sampled. At the end the
# cameras are put back as configured, the lists settle, and the figures are written to
# SOAK_OUT (samples.tsv, report.txt).
set -euo pipefail
: "${SOAK_MINUTES:?}" "${SOAK_OUT:?}" "${SOAK_BUILD:?}" "${SIMLAN_CONTROL:?}" "${SIMLAN_LANSIM:?}"
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ctl() { "$SIMLAN_LANSIM" --ctl "$SIMLAN_CONTROL" "$@"; }
out=$SOAK_OUT
run_s=$((SOAK_MINUTES * 60))
settle_s=25   # rows of cameras that went away expire after ten search ticks
mkdir -p "$out/home" "$out/tmp"

# The family-5 cameras at their present addresses, for the pool driver.
write_targets() {
  ctl list family:5 | awk '$2 == 5 { print $4, 80 }' >"$out/targets.tmp" && mv "$out/targets.tmp" "$out/targets.txt"
}
write_targets

export HOME=$out/home XDG_CONFIG_HOME=$out/home/.config TMPDIR=$out/tmp QT_QPA_PLATFORM=offscreen
SOAK_PROBE_OUT=$out/wizard-rows.txt LD_PRELOAD=$SOAK_BUILD/bench/soak/libsoakprobe.so \
  "$SOAK_BUILD/sim/ipcam-wizard" >"$out/wizard.log" 2>&1 &
wizard=$!
"$SOAK_BUILD/sim/ipcam-scan" --seconds $((run_s + settle_s)) >"$out/scan.txt" 2>"$out/scan.log" &
scan=$!
"$SOAK_BUILD/bench/soak/ctp_pool_soak" --seconds "$run_s" --threads 6 --cameras "$out/targets.txt" \
  --report 60 >"$out/pool.txt" 2>&1 &
pool=$!

# The chaos: one change every three seconds, drawn at random (seeded, so that a run repeats).
chaos() {
  RANDOM=4242
  local ids=() n=0 id ip a b c d
  local families=(2 4 5 8 9)
  mapfile -t ids < <(ctl list | awk 'NF == 5 { print $1 }')
  declare -A home other
  while read -r id _ _ ip _; do
    home[$id]=$ip
    IFS=. read -r a b c d <<<"$ip"
    other[$id]="$a.$b.$c.$((d + 100))"
  done < <(ctl list | awk 'NF == 5')
  ctl mutate all 10 4242 >/dev/null
  while :; do
    sleep 3
    id=${ids[RANDOM % ${#ids[@]}]}
    case $((RANDOM % 20)) in
      0|1|2|3|4) ctl stop "$id" ;;
      5|6|7|8|9|10) ctl start "$id" ;;
      11|12) ctl restart "$id" $((2000 + RANDOM % 6000)) ;;
      13|14|15)
        # Between its two addresses only, so that the set of addresses stays bounded.
        if [[ $(ctl list "$id" | awk 'NF == 5 { print $4 }') == "${home[$id]}" ]]; then
          ctl move "$id" "${other[$id]}"
        else
          ctl move "$id" "${home[$id]}"
        fi ;;
      16|17) ctl mutate "family:${families[RANDOM % 5]}" $((RANDOM % 40)) ;;
      18) ctl mutate all $((RANDOM % 15)) ;;
      19) ctl reset "$id" ;;
    esac >/dev/null 2>&1 || true
    n=$((n + 1))
    ((n % 5)) || write_targets
  done
}
chaos &
chaos_pid=$!

sample() {
  local t=$1 name pid rss fds threads
  for name in wizard scan pool; do
    pid=${!name}
    [[ -r /proc/$pid/status ]] || continue
    rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status")
    threads=$(awk '/^Threads:/ { print $2 }' "/proc/$pid/status")
    fds=$(ls "/proc/$pid/fd" 2>/dev/null | wc -l)
    printf '%s\t%s\t%s\t%s\t%s\n' "$t" "$name" "$rss" "$fds" "$threads" >>"$out/samples.tsv"
  done
}
printf 'seconds\tprocess\trss_kb\tfds\tthreads\n' >"$out/samples.tsv"
start=$SECONDS
next=0
while ((SECONDS - start < run_s)); do
  if ((SECONDS - start >= next)); then
    sample $((SECONDS - start))
    next=$((next + 30))
  fi
  sleep 1
  kill -0 "$wizard" 2>/dev/null || { echo "soak: the program ended early" >&2; break; }
done
kill "$chaos_pid" 2>/dev/null || true
wait "$chaos_pid" 2>/dev/null || true

# Back to the configuration: the same cameras answer as at the start.
ctl mutate all 0 >/dev/null
ctl reset all >/dev/null
ctl stats >"$out/lan-sim-stats.txt"
sleep "$settle_s"
sample $((SECONDS - start))
expected=$(ctl list | awk 'NF == 5 && $5 == "running" && $2 != 4' | wc -l)
wait "$pool" || echo "soak: ctp_pool_soak reported exceptions" >&2
wait "$scan" || echo "soak: ipcam-scan failed" >&2
kill -TERM "$wizard" 2>/dev/null || true
wait "$wizard" 2>/dev/null || true

bash "$here/soak-report.sh" "$out" "$expected" | tee "$out/report.txt"
