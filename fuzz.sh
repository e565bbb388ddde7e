#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 60),
# starting from the seed files in fuzz/corpus/<target>/, NOSK_JOBS targets at a
# time (default: number of cores). Findings are left in build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")"
seconds=${1:-60}
jobs=${NOSK_JOBS:-$(nproc)}
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all"
# Line tables only (-g1): a finding's stack trace names file and line.
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNOSK_FUZZ=ON \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
cmake --build build-fuzz -j "$jobs"
mkdir -p build-fuzz/findings
# The targets run NOSK_JOBS at a time (each is one process on one core); each
# writes its own log, and a failure shows the end of it.
fuzz_one() {
  local bin=$1 name work
  name=$(basename "$bin")
  work=build-fuzz/corpus/$name
  mkdir -p "$work"
  [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$work/"
  "$bin" "$work" -max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb=1024 \
    -timeout=10 -artifact_prefix=build-fuzz/findings/"$name"- -print_final_stats=0 2>build-fuzz/"$name".log
}
declare -A running=()
status=0
finish_one() {
  local pid rc=0
  wait -n -p pid "${!running[@]}" || rc=$?
  local name=${running[$pid]}
  unset "running[$pid]"
  if [ "$rc" = 0 ]; then
    echo "-- $name"
  else
    echo "FAILED: $name (see build-fuzz/$name.log)"; tail -40 build-fuzz/"$name".log; status=1
  fi
}
for bin in build-fuzz/bin/*_fuzz; do
  [ -x "$bin" ] || continue
  while [ ${#running[@]} -ge "$jobs" ]; do finish_one; done
  fuzz_one "$bin" &
  running[$!]=$(basename "$bin")
done
while [ ${#running[@]} -gt 0 ]; do finish_one; done
exit $status
