#!/usr/bin/env bash
# The figures of "noskrun --series" (README, "Fitting a series"). Not run by
# the tests.
#   bench/series_bench.sh [BUILD_DIR] [DRAWS]
# 1. Accuracy: a synthetic series of 10 temperatures (250-350 K, 1 Hz-100
#    kHz at 5 points a decade), R0 + (R1||CPE1) + (R2||CPE2), R1 and R2
#    Arrhenius (Ea 0.45 and 0.60 eV), R0 and both exponents shared, both CPE
#    coefficients local, 1 % noise proportional to |Z|: over DRAWS noise
#    draws (default 200) how often each Ea's 95 % interval covers the truth
#    and how wide it is, beside the two-step method (each spectrum alone,
#    then a weighted line through ln R against 1/(kB T)).
# 2. Speed: 100 and 1000 spectra of 60 frequencies, 8 free parameters (3
#    shared, 1 Arrhenius, 4 local: 405 and 4005 unknowns): the CPU time and
#    peak memory of the whole noskrun --series process, and of noskrun
#    --batch --jobs 1 over the same 100 spectra.
# 3. The roles test on the 13 measured Zahner spectra (0-300 mV bias) of
#    ../shared/data/zahner-series (or ZAHNER_DIR), R-L-(R||CPE) with the
#    series resistance, the inductance and the CPE exponent shared, over
#    0-125 mV and over 150-200 mV.
# The machine is shared: the script prints the load beside the times.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
draws=${2:-200}
zahner=${ZAHNER_DIR:-$here/../shared/data/zahner-series}
[ -d "$zahner" ] || zahner=/work/shared/data/zahner-series
noskrun=$build/bin/noskrun
bench=$build/bin/bench_series
for p in "$noskrun" "$bench" "$build/bin/noskwin"; do
  [ -x "$p" ] || { echo "no $p: build noskrun, noskwin and bench_series first" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"  # noskrun works in the current folder (the lock of --batch)
echo "load: $(uptime | sed 's/.*load average/load average/')"

echo "== Accuracy ($draws draws)"
"$bench" accuracy "$draws"

echo "== Speed"
TIMEFORMAT='%U %S %R'
cpu() {  # CPU seconds (user + system, children included), wall seconds, peak memory in MB
  local log=$1; shift
  read -r user sys wall < <( { time /usr/bin/time -f "%M" -o "$log.mem" "$@" >"$log" 2>&1; } 2>&1 )
  printf "%6.2f s CPU  %6.2f s wall  %6.0f MB" "$(echo "$user + $sys" | bc -l)" "$wall" \
    "$(echo "$(cat "$log.mem") / 1024" | bc -l)"
}
for n in 100 1000; do
  mkdir "$work/s$n"
  "$bench" write "$work/s$n" "$n"
  printf -- "--series %5d spectra: %s\n" "$n" \
    "$(cpu "$work/series$n.log" "$noskrun" --series "$work/s$n/list.csv" --shared P1,P3,P6 \
        --vary P4=arrhenius --out "$work/series$n.csv")"
done
printf -- "--batch --jobs 1  100 spectra: %s\n" \
  "$(cpu "$work/batch.log" "$noskrun" --batch "$work/s100" --jobs 1 --out "$work/batch.csv")"
grep -h "spectra, " "$work/series1000.log"

echo "== Roles test on the Zahner series"
cat > "$work/RLQ.TST" <<'JOB'
R-L-(R||CPE): series resistance, inductance, charge-transfer R and CPE
   0  ZZRRF S .8854D-13C         0 .0000D+00     0     0
    0   11 1000    0    3    0    0    0    0 .0000D+00
  .50000000D+01  .00000000D+00  .10000000D-06  .35000000D+03  .10000000D-05
  .80000000D+00  .00000000D+00  .00000000D+00  .00000000D+00  .00000000D+00
  .00000000D+00
10111100000
JOB
for range in "000 025 050 075 100 125" "150 175 200"; do
  list="$work/bias.csv"
  echo "file,U/mV" > "$list"
  for v in $range; do echo "$zahner/${v}_mvdc.ism,$((10#$v))" >> "$list"; done
  echo "-- $((10#${range%% *}))-$((10#${range##* })) mV"
  "$noskrun" --series "$list" --template "$work/RLQ.TST" --shared P1,P3,P6 --out "$work/bias.csv.out" \
    --json "$work/bias.json" | grep -v "written to"
  # The independent fits' scatter of the exponent against its own std devs.
  python3 - "$work/bias.json" <<'PY' || true
import json, math, sys
r = json.load(open(sys.argv[1]))
v = [(s["independent"]["parameters"]["P6"]["value"], s["independent"]["parameters"]["P6"]["std_dev"])
     for s in r["spectra"] if "independent" in s]
sd = [s for _, s in v if s]
if len(v) > 1 and sd:
    m = sum(x for x, _ in v) / len(v)
    scatter = math.sqrt(sum((x - m) ** 2 for x, _ in v) / (len(v) - 1))
    print("   independent fits: alpha %s; scatter %.3g against a mean std dev of %.3g"
          % (" ".join("%.4f" % x for x, _ in v), scatter, sum(sd) / len(sd)))
PY
done
