#!/usr/bin/env bash
# soak-report.sh OUT EXPECTED: the figures of a soak from OUT (samples.tsv and the programs'
# outputs); EXPECTED is the number of cameras of the searched families answering at the end.
set -euo pipefail
out=$1
expected=$2
samples=$out/samples.tsv

echo "== resident memory, descriptors, threads (samples every 30 s; first: after two minutes of"
echo "   start-up; growth: least-squares slope over the second half)"
awk -F'\t' 'NR > 1 {
    p = $2; t = $1; n[p]++
    rss[p, n[p]] = $3; tm[p, n[p]] = t
    if (!(p in first) && t >= 120) { first[p] = $3; ffd[p] = $4; fth[p] = $5 }
    last[p] = $3; lfd[p] = $4; lth[p] = $5
    if (t >= 120 && $3 > max[p]) max[p] = $3
    if (t >= 120 && $4 > mfd[p]) mfd[p] = $4
    if (t >= 120 && $5 > mth[p]) mth[p] = $5
  }
  END {
    printf "%-7s %10s %10s %10s %16s %14s %14s\n", "", "rss first", "rss last", "rss max", "growth kB/min", "fds f/l/max", "threads f/l/max"
    split("wizard scan pool", order, " ")
    for (i = 1; i <= 3; ++i) {
      p = order[i]; if (!(p in first)) continue
      # the second half of the samples, time in minutes
      h = int(n[p] / 2) + 1; sx = sy = sxx = sxy = m = 0
      for (k = h; k <= n[p]; ++k) { x = tm[p, k] / 60; y = rss[p, k]; sx += x; sy += y; sxx += x * x; sxy += x * y; ++m }
      slope = (m > 1 && m * sxx - sx * sx != 0) ? (m * sxy - sx * sy) / (m * sxx - sx * sx) : 0
      printf "%-7s %10d %10d %10d %16.1f %14s %14s\n", p, first[p], last[p], max[p], slope, ffd[p] "/" lfd[p] "/" mfd[p], fth[p] "/" lth[p] "/" mth[p]
    }
  }' "$samples"

echo
echo "== resident memory over time (kB)"
awk -F'\t' 'NR > 1 { v[$1, $2] = $3; if (!($1 in seen)) { seen[$1] = 1; ts[++k] = $1 } }
  END {
    printf "%8s %10s %10s %10s\n", "minute", "wizard", "scan", "pool"
    for (i = 1; i <= k; ++i) {
      t = ts[i]
      if (i % 10 != 1 && i != k) continue  # every five minutes, and the last sample
      printf "%8.1f %10s %10s %10s\n", t / 60, v[t, "wizard"], v[t, "scan"], v[t, "pool"]
    }
  }' "$samples"

echo
echo "== the lists at the end"
rows=$(tail -n 1 "$out/wizard-rows.txt" 2>/dev/null | awk '{ print $2 }')
echo "program's camera table: ${rows:-?} rows (cameras of families 2, 5, 8, 9 answering: $expected)"
echo "program's table over the run: $(awk 'NR == 1 { min = max = $2 } { if ($2 < min) min = $2; if ($2 > max) max = $2 } END { printf "%d to %d rows", min, max }' "$out/wizard-rows.txt" 2>/dev/null)"
echo "ipcam-scan: $(grep -c . "$out/scan.txt" || true) rows (the same $expected, and the family-4 camera its first search found through the library)"
echo
echo "== the pool driver"
grep -E '^(end|running)' "$out/pool.txt" | sed -n '1p;$p'
echo
echo "== lan-sim"
grep -E '^(received|replies|restarts|moves|mutated|tcp_sessions|ctp_commands|http_requests) ' "$out/lan-sim-stats.txt" | tr '\n' ' '
echo
