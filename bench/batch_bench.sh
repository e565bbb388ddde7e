#!/usr/bin/env bash
# Times "noskrun --batch" on copies of the battery job: --jobs 1 against
# --jobs 2 (or the numbers given in JOBS). Not run by the tests.
#   bench/batch_bench.sh [BUILD_DIR] [COPIES]
# Prints the wall time of each run and the speed-up over --jobs 1.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
copies=${2:-1000}
jobs=${JOBS:-"1 2"}
noskrun=$build/bin/noskrun
[ -x "$noskrun" ] || { echo "no $noskrun: build noskrun and noskwin first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/series"
for i in $(seq 1 "$copies"); do
  cp "$here/fittests/CKT.B/BDE16BAT.TST" "$work/series/bat$i.TST"
done
cd "$work"
first=""
TIMEFORMAT='%R %U %S'
for n in $jobs; do
  # Wall time and the CPU time of noskrun and its engines (user + system).
  read -r wall user sys < <( { time "$noskrun" --batch series --jobs "$n" --out "table$n.csv" \
      >/dev/null 2>"log$n.txt" || echo "--jobs $n: some spectra failed" >&2; } 2>&1 )
  rows=$(($(wc -l < "table$n.csv") - 1))
  [ -z "$first" ] && first=$wall
  printf -- "--jobs %-3s %5d spectra  %7.2f s wall  %6.2f ms each  speed-up %.2f  CPU %.2f ms each\n" \
    "$n" "$rows" "$wall" "$(echo "1000 * $wall / $rows" | bc -l)" "$(echo "$first / $wall" | bc -l)" \
    "$(echo "1000 * ($user + $sys) / $rows" | bc -l)"
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
