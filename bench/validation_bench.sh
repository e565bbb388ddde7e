#!/usr/bin/env bash
# The validation tests side by side in one run: noskrun --kk and --zhit on
# the dummy cell, the battery spectrum, a drifted copy of the dummy cell, a
# ZARC with 0.2 % noise, and the time of each as a whole process on 100
# points. Not run by the tests.
#   bench/validation_bench.sh [BUILD_DIR] [RUNS]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
runs=${2:-20}
noskrun=$build/bin/noskrun
data=/work/shared/data
[ -d "$data" ] || data=$here/tests/data
[ -x "$noskrun" ] || { echo "no $noskrun: build noskrun first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$data/battery-eis.txt" battery.txt
dummy=$data/dummy-cell-zplot.z
[ -f "$dummy" ] || dummy=$here/tests/data/instruments/dummy-cell-zplot.z
cp "$dummy" dummy.z
# The drifted copy: the sweep runs from high to low frequency and the cell's
# impedance falls linearly with the elapsed time (the file's Time column), by
# 5 % at the last, lowest frequency.
awk 'BEGIN { OFS = "\t" }
     NR == FNR { if (NF == 9 && $1 + 0 > 0) { if (t0 == "") t0 = $4; t1 = $4 } next }
     NF == 9 && $1 + 0 > 0 { k = 1 - 0.05 * ($4 - t0) / (t1 - t0);
                             $5 = sprintf("%.6E", $5 * k); $6 = sprintf("%.6E", $6 * k) }
     { print }' dummy.z dummy.z > drifted.z
# R + ZARC, 71 points over seven decades, 0.2 % of |Z| Gaussian noise on each
# part; and an R + ZARC of 100 points for the timing.
python3 - <<'PY'
import cmath, math, random
random.seed(7)
def zarc(n, noise, name):
    with open(name, "w") as out:
        for i in range(n):
            f = 1e-2 * 10 ** (7 * i / (n - 1))
            z = 10 + 100 / (1 + (2j * math.pi * f * 1e-2) ** 0.8)
            m = abs(z)
            z += complex(random.gauss(0, noise * m), random.gauss(0, noise * m))
            out.write("%.8e %.8e %.8e\n" % (f, z.real, z.imag))
zarc(71, 2e-3, "zarc.txt")
zarc(100, 1e-3, "zarc100.txt")
PY

# RMS of the two residual parts, from the summary's lines.
kk_line() {
  "$noskrun" --kk "$1" > out.txt 2>&1 || { echo "$1: --kk failed: $(cat out.txt)"; return; }
  local m re im worst verdict
  m=$(sed -n 's/^RC elements: M = \([0-9]*\).*/\1/p' out.txt)
  re=$(sed -n 's/^Real part: *RMS \([0-9.e+-]*\) %.*/\1/p' out.txt)
  im=$(sed -n 's/^Imaginary part: *RMS \([0-9.e+-]*\) %.*/\1/p' out.txt)
  worst=$(sed -n 's/.*largest \([-+0-9.e]*\) %.*/\1/p' out.txt | tr -d '+-' | sort -g | tail -1)
  verdict=$(sed -n 's/^Verdict: //p' out.txt)
  printf "%-12s M = %-3s RMS %.4f %%  largest %.4f %%  %s\n" "$2" "$m" \
    "$(echo "sqrt(($re^2 + $im^2) / 2)" | bc -l)" "$worst" "$verdict"
}
zhit_line() {
  "$noskrun" --zhit "$1" > out.txt 2>&1 || { echo "$1: --zhit failed: $(cat out.txt)"; return; }
  local dev verdict
  dev=$(sed -n 's/^Deviation of |Z|: \(.*\)/\1/p' out.txt)
  verdict=$(sed -n 's/^Verdict: //p' out.txt)
  printf "%-12s %s  %s\n" "$2" "$dev" "$verdict"
}
echo "Kramers-Kronig test (noskrun --kk, no option)"
kk_line dummy.z "dummy cell"
kk_line drifted.z "drifted"
kk_line battery.txt "battery"
kk_line zarc.txt "ZARC 0.2 %"
echo "Z-HIT (noskrun --zhit)"
zhit_line dummy.z "dummy cell"
zhit_line drifted.z "drifted"
zhit_line battery.txt "battery"
zhit_line zarc.txt "ZARC 0.2 %"

# Whole-process times on 100 points: the median wall time and the median CPU
# time (user + system) of RUNS runs.
TIMEFORMAT='%R %U %S'
timing() {
  local walls=() cpus=()
  for _ in $(seq 1 "$runs"); do
    read -r wall user sys < <( { time "$noskrun" "$1" zarc100.txt > /dev/null 2>&1; } 2>&1 )
    walls+=("$wall")
    cpus+=("$(echo "$user + $sys" | bc -l)")
  done
  printf "%-7s on 100 points: median %.1f ms wall, %.1f ms CPU (%s runs)\n" "$1" \
    "$(printf '%s\n' "${walls[@]}" | sort -g | awk '{ a[NR] = $1 } END { print 1000 * a[int((NR + 1) / 2)] }')" \
    "$(printf '%s\n' "${cpus[@]}" | sort -g | awk '{ a[NR] = $1 } END { print 1000 * a[int((NR + 1) / 2)] }')" "$runs"
}
timing --kk
timing --zhit
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
