#!/usr/bin/env bash
# From nothing to a fitted spectrum on screen:
#   ./demo.sh [FOLDER]
# installs what is missing, builds (Release), prepares the work folder FOLDER
# (default ./work) with the bundled example jobs and the measured battery job,
# fits it once, and starts NOSKVIEW (showing the fit) and NOSKRUN (holding the
# job) there: change a value, press "SAVE AND RUN" and the viewer reloads.
# Without a display it runs the same job headless and says where the results are.
#
#   NOSK_BUILD_DIR=DIR   use the programs already built in DIR (DIR/bin/noskrun,
#                        noskview, noskwin): no package check, no configure, no
#                        build. When they are not there, DIR is configured
#                        (Release, if new) and they are built into it.
#   NOSK_JOBS            parallel build jobs (default: number of cores)
set -euo pipefail
caller=$PWD
cd "$(dirname "$0")"
root=$PWD
work=${1:-$root/work}
case $work in /*) ;; *) work=$caller/$work ;; esac
jobs=${NOSK_JOBS:-$(nproc)}
programs=(noskrun noskview noskwin)

built() {
  local p
  for p in "${programs[@]}"; do
    [ -x "$1/bin/$p" ] || return 1
  done
}

if [ -n "${NOSK_BUILD_DIR:-}" ]; then
  build=$NOSK_BUILD_DIR
  case $build in /*) ;; *) build=$caller/$build ;; esac
  if built "$build"; then
    echo "Using the programs built in $build"
  else
    ./scripts/install-deps.sh --demo
    if [ -f "$build/CMakeCache.txt" ]; then
      cmake -S . -B "$build" >/dev/null
    else
      cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNOSK_TESTS=OFF -DNOSK_BENCH=OFF >/dev/null
    fi
    cmake --build "$build" -j "$jobs" --target "${programs[@]}"
  fi
else
  ./scripts/install-deps.sh --demo
  build=$root/build-release
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNOSK_TESTS=OFF -DNOSK_BENCH=OFF >/dev/null
  cmake --build "$build" -j "$jobs" --target "${programs[@]}"
fi
bin=$(cd "$build/bin" && pwd)

mkdir -p "$work"
work=$(cd "$work" && pwd)
# The example jobs travel with the work folder so that "DE examples..." and
# the file dialogs find them there.
mkdir -p "$work/fittests"
cp -r "$root/fittests/." "$work/fittests/"
# The measured spectrum of a lithium-ion cell with circuit S: the series
# resistance and inductance, two ZARCs (the two arcs) and a CPE (the diffusion
# tail), which describes it down to the noise.
job="$work/fittests/CKT.S/SBAT.TST"
if [ ! -f "$job" ]; then
  echo "The battery example job is missing from fittests/CKT.S/." >&2
  exit 1
fi
cp "$job" "$work/battery.tst"

cd "$work"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: running the battery job headless in $work"
  "$bin/noskrun" --run battery.tst
  "$bin/noskview" --save-image battery-fit.bmp
  echo
  echo "The engine's files are in $work:"
  for f in INFL ADD.BIN PNTOUTL AUXPNTL OUTIN solartron.fra; do
    if [ -e "$f" ]; then echo "  $work/$f"; fi
  done
  echo "The graphs of the fit: $work/battery-fit.bmp"
  exit 0
fi

# The viewer shows the last run of the folder: fit the job once, so that it
# opens on the battery's graphs rather than on a folder without results.
if [ ! -f INFL ] || [ ! -f AUXPNTL ]; then
  echo "Fitting the battery job once in $work"
  "$bin/noskrun" --run battery.tst >/dev/null
fi
echo "Work folder: $work"
echo "NOSKVIEW shows the fit of the battery job; NOSKRUN holds the job: change a"
echo "start value or a free/fixed code and press \"SAVE AND RUN\": the viewer reloads."
"$bin/noskview" &
viewer=$!
"$bin/noskrun" battery.tst || true
# The viewer keeps its settings when its own window closes: it is not killed.
if kill -0 "$viewer" 2>/dev/null; then
  echo "NOSKRUN has closed; close NOSKVIEW to end the demo."
fi
wait "$viewer" 2>/dev/null || true
