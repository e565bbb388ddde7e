#!/usr/bin/env bash
# From nothing to a fitted spectrum on screen:
#   ./demo.sh [FOLDER]
# installs what is missing, builds (Release), prepares the work folder FOLDER
# (default ./work) with the bundled example jobs and the measured battery job
# loaded, and starts NOSKRUN there with NOSKVIEW beside it: press "SAVE AND RUN".
# Without a display it runs the same job headless and says where the results are.
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD
work=${1:-$root/work}
jobs=${NOSK_JOBS:-$(nproc)}

./scripts/install-deps.sh

cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DNOSK_TESTS=OFF -DNOSK_BENCH=OFF >/dev/null
cmake --build build-release -j "$jobs" --target noskrun noskview noskwin
bin=$root/build-release/bin

mkdir -p "$work"
work=$(cd "$work" && pwd)
# The example jobs travel with the work folder so that "Examples of DE using"
# and the test-file dialogs find them there.
mkdir -p "$work/fittests"
cp -r "$root/fittests/." "$work/fittests/"
job="$work/fittests/CKT.B/BDE16BAT.TST"
if [ ! -f "$job" ]; then
  echo "The battery example job is missing from fittests/CKT.B/." >&2
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
    [ -e "$f" ] && echo "  $work/$f"
  done
  echo "The graphs of the fit: $work/battery-fit.bmp"
  exit 0
fi

echo "Work folder: $work"
echo "NOSKRUN opens with the battery job: press \"SAVE AND RUN\"; NOSKVIEW shows the fit."
"$bin/noskview" &
viewer=$!
"$bin/noskrun" battery.tst || true
kill "$viewer" 2>/dev/null || true
wait "$viewer" 2>/dev/null || true
