#!/usr/bin/env bash
# A compiler and linker launcher that appends each step's CPU time to a log,
# for measuring where a build's time goes on a shared machine (wall times
# there mean little). Needs /usr/bin/time (Debian package time):
#   cmake -S . -B build-time -G Ninja -DCMAKE_CXX_COMPILER_LAUNCHER=$PWD/scripts/cpu-time-launcher.sh \
#         -DCMAKE_CXX_LINKER_LAUNCHER=$PWD/scripts/cpu-time-launcher.sh
#   NOSK_CPU_LOG=/tmp/cpu.log cmake --build build-time
#   sort -rn /tmp/cpu.log | head          # user s, system s, output file
#   awk '{t += $1 + $2} END {print t / 60, "CPU-minutes"}' /tmp/cpu.log
out=?
prev=
for a in "$@"; do
  [ "$prev" = -o ] && out=$a
  prev=$a
done
times=$(mktemp)
/usr/bin/time -f "%U %S" -o "$times" "$@"
rc=$?
echo "$(tail -n 1 "$times") $out" >> "${NOSK_CPU_LOG:-/tmp/nosk-cpu.log}"
rm -f "$times"
exit $rc
