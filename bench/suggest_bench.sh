#!/usr/bin/env bash
# The circuit suggestion's figures on labelled synthetic spectra of nine
# families, and its whole-process time for one spectrum of 60 points.
#   bench/suggest_bench.sh [BUILD_DIR] [PER_FAMILY]     (default build, 20)
set -euo pipefail
build=${1:-build}
per=${2:-20}
bin="$build/bin"
uptime
# One core for the figures: the time per spectrum is that of one thread.
"$bin/bench_suggest" --per-family "$per" --threads 1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# L-R-(RQ)x3 and (RC)x2-(RQ)x2 with 60 points and up to 0.5 % noise.
"$bin/bench_suggest" --max-noise 0.005 --write 2 1 60 "$dir/battery.txt"
"$bin/bench_suggest" --max-noise 0.005 --write 6 1 60 "$dir/mixed.txt"
echo
echo "whole process, 60 points, on one core (taskset -c 0): user+sys CPU and wall clock"
for f in battery mixed; do
  (cd "$dir" && /usr/bin/time -f "  noskrun --suggest $f.txt: %U s user, %S s sys, %e s wall" \
     taskset -c 0 "$OLDPWD/$bin/noskrun" --suggest "$f.txt" --json "$f.json" > /dev/null)
done
uptime
