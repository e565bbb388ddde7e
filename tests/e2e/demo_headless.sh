#!/usr/bin/env bash
# ./demo.sh without a display, end to end, with the programs of this build:
#   demo_headless.sh SOURCE_DIR BUILD_DIR
# The demo must end with status 0, and every file it names must be there:
# the engine's files and the graphs as a valid BMP (or PNG) image. Its fit
# must describe the spectrum: the median of |Z - model|/|Z| over all points
# under 1 %.
set -uo pipefail
src=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
tmp=$(mktemp -d "${TMPDIR:-/tmp}/nosk-demo.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAILED: $*"; echo "--- demo output:"; cat "$tmp/out" 2>/dev/null; exit 1; }

# A notification folder of our own, so that no running viewer is disturbed.
export XDG_RUNTIME_DIR=$tmp/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
env -u DISPLAY -u WAYLAND_DISPLAY NOSK_BUILD_DIR="$build" \
  timeout 60 "$src/demo.sh" "$tmp/work" >"$tmp/out" 2>&1 || fail "demo.sh ended with status $?"

grep -q "^Using the programs built in $build\$" "$tmp/out" || fail "demo.sh did not use the given build"
# The files the demo names: the engine's, one a line, then the image.
mapfile -t files < <(sed -n 's/^  \(\/.*\)$/\1/p' "$tmp/out")
image=$(sed -n 's/^The graphs of the fit: //p' "$tmp/out")
[ "${#files[@]}" -ge 6 ] || fail "demo.sh named ${#files[@]} engine files, not 6"
for f in "${files[@]}"; do
  [ -s "$f" ] || fail "$f is missing or empty"
done
for f in INFL ADD.BIN PNTOUTL AUXPNTL OUTIN solartron.fra; do
  printf '%s\n' "${files[@]}" | grep -q "/$f\$" || fail "demo.sh did not name $f"
done
grep -q 'Li-ion battery' "$tmp/work/PNTOUTL" || fail "PNTOUTL is not the battery job's"

# AUXPNTL of a complex fit: per point a line of the first component, then one
# of the second, each "number observed model sigma residual relative".
median=$(awk 'NF == 6 && $1 ~ /^[0-9]+$/ {
    if ($1 in re) { d = sqrt(($2 - $3)^2 + (rd[$1])^2) / sqrt(re[$1]^2 + $2^2); print d }
    else { re[$1] = $2; rd[$1] = $2 - $3 } }' "$tmp/work/AUXPNTL" | sort -g |
  awk '{ v[NR] = $1 } END { if (NR < 66) { print "only " NR " points"; exit }
    printf "%.5f\n", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
awk -v m="$median" 'BEGIN { exit !(m + 0 == m && m < 0.01) }' ||
  fail "the demo's fit leaves a median |Z - model|/|Z| of $median (wanted under 0.01)"

[ -n "$image" ] && [ -s "$image" ] || fail "the image '$image' is missing"
size=$(stat -c %s "$image")
magic=$(head -c 8 "$image" | od -An -tx1 | tr -d ' \n')
case $magic in
  424d*)
    # BMP: the header's file size (bytes 2-5, little-endian) is the file's.
    declared=$(od -An -tu4 -j2 -N4 "$image" | tr -d ' ')
    [ "$declared" = "$size" ] || fail "BMP header says $declared bytes, the file has $size"
    width=$(od -An -td4 -j18 -N4 "$image" | tr -d ' ')
    height=$(od -An -td4 -j22 -N4 "$image" | tr -d ' ')
    [ "$width" -gt 100 ] && [ "${height#-}" -gt 100 ] || fail "BMP of ${width}x$height pixels"
    ;;
  89504e470d0a1a0a) ;;
  *) fail "$image is neither BMP nor PNG (starts $magic)" ;;
esac
echo "PASSED: demo.sh headless wrote ${#files[@]} engine files and $image ($size bytes);" \
  "median |Z - model|/|Z| $median"
