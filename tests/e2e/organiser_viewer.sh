#!/usr/bin/env bash
# End-to-end: NOSKVIEW and NOSKRUN as two processes on one Xvfb display.
#   organiser_viewer.sh BIN_DIR FITTESTS_DIR
# In a fresh work folder that holds an earlier run, the viewer is started,
# then the organiser with the battery job; the Run menu's "Save and Run" is
# chosen with key presses (xdotool), the engine's files and solartron.fra must
# appear and the viewer must reload on the organiser's notification (it
# writes a line to $NOSK_VIEW_LOG then). Both windows are closed with their
# "Exit" buttons (Alt+X) and must have written NOSKRUN.OPT and NOSKVIEW.OPT.
# Exit status 0 passed, 1 failed, 77 skipped (no xvfb-run or no xdotool).
set -uo pipefail

if [ "${1:-}" != --inside ]; then
  for tool in xvfb-run xauth xdotool; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      echo "SKIPPED: '$tool' is missing (scripts/install-deps.sh installs xvfb, xauth and xdotool)"
      exit 77
    fi
  done
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" bash "$0" --inside "$@"
fi
shift
# The key presses need real windows on the Xvfb display, whatever platform
# the caller's environment names (a test run may have set offscreen).
export QT_QPA_PLATFORM=xcb
bin=$(cd "$1" && pwd)
fittests=$(cd "$2" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/nosk-e2e.XXXXXX")
# A notification folder of our own: no other viewer or organiser of this user
# (other tests, a desktop session) is reached or heard.
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
cd "$work"

viewer=""
organiser=""
status=1
finish() {
  for pid in $organiser $viewer; do
    if kill -0 "$pid" 2>/dev/null; then
      kill -KILL "$pid" 2>/dev/null
      wait "$pid" 2>/dev/null
    fi
  done
  if [ "$status" -ne 0 ]; then
    echo "--- work folder $work:"; ls -l "$work"
    for f in view.log noskview.err noskrun.err NOSKWIN.LOG; do
      [ -s "$f" ] && { echo "--- $f:"; tail -n 20 "$f"; }
    done
  fi
  rm -rf "$work"
  exit "$status"
}
trap finish EXIT
fail() { echo "FAILED: $*"; exit 1; }

# Waits up to $1 seconds for the command to succeed.
wait_for() {
  local limit=$(( $1 * 10 )) i=0
  shift
  until "$@"; do
    i=$((i + 1))
    [ "$i" -ge "$limit" ] && return 1
    sleep 0.1
  done
}

# The window of process $1, once it is mapped.
window_of() {
  local id
  id=$(xdotool search --onlyvisible --pid "$1" 2>/dev/null | head -n 1)
  [ -n "$id" ] && echo "$id"
}

# Gives the window of process $1 the keyboard focus, then types keys.
keys_to() {
  local pid=$1 id
  shift
  id=$(window_of "$pid") || return 1
  xdotool windowfocus --sync "$id" && xdotool key --clearmodifiers --delay 100 "$@"
}

cp "$fittests/CKT.B/BDE16.TST" earlier.tst
cp "$fittests/CKT.B/BDE16BAT.TST" battery.tst

# An earlier run in the folder, so that the viewer opens on a result.
"$bin/noskrun" --run earlier.tst >earlier.log 2>&1 || fail "the earlier headless run failed"
touch -d '-2 seconds' before-run

# Without a terminal emulator on the PATH the engine runs windowless, its
# output in NOSKWIN.LOG: the run never waits for a key.
NOSK_VIEW_LOG=$work/view.log "$bin/noskview" 2>noskview.err &
viewer=$!
wait_for 20 window_of "$viewer" >/dev/null || fail "NOSKVIEW did not open a window"
PATH=/nonexistent "$bin/noskrun" battery.tst 2>noskrun.err &
organiser=$!
wait_for 20 window_of "$organiser" >/dev/null || fail "NOSKRUN did not open a window"

# Run menu, "Save and Run".
keys_to "$organiser" alt+r r || fail "could not type into NOSKRUN"

reloaded() { grep -q '^reloaded$' view.log 2>/dev/null; }
wait_for 30 reloaded || fail "NOSKVIEW did not reload after the run"
for f in INFL ADD.BIN PNTOUTL AUXPNTL OUTIN solartron.fra; do
  [ -s "$f" ] || fail "$f is missing after the run"
done
for f in PNTOUTL OUTIN solartron.fra; do
  [ "$f" -nt before-run ] || fail "$f is left from the earlier run"
done
grep -q 'Li-ion battery' PNTOUTL || fail "PNTOUTL is not the battery job's"
grep -q 'Li-ion battery' OUTIN || fail "OUTIN is not the battery job's"
[ "$(grep -c '^reloaded$' view.log)" = 1 ] || fail "NOSKVIEW reloaded more than once"

# Close both with their Exit buttons (E&xit).
[ ! -e NOSKRUN.OPT ] && [ ! -e NOSKVIEW.OPT ] || fail "options written before the windows closed"
keys_to "$organiser" alt+x || fail "could not type into NOSKRUN"
exited() { ! kill -0 "$1" 2>/dev/null; }
wait_for 10 exited "$organiser" || fail "NOSKRUN did not close"
wait "$organiser"; rc=$?; organiser=""
[ "$rc" = 0 ] || fail "NOSKRUN ended with status $rc"
keys_to "$viewer" alt+x || fail "could not type into NOSKVIEW"
wait_for 10 exited "$viewer" || fail "NOSKVIEW did not close"
wait "$viewer"; rc=$?; viewer=""
[ "$rc" = 0 ] || fail "NOSKVIEW ended with status $rc"

[ "$(stat -c %s NOSKRUN.OPT 2>/dev/null)" = 28 ] || fail "NOSKRUN.OPT is missing or not 28 bytes"
[ "$(od -An -tx1 NOSKRUN.OPT | tr -d ' \n')" = 000000000100000001000000000000004000000000000000b6030000 ] ||
  fail "NOSKRUN.OPT does not hold the defaults 0 1 1 0 64 0 950"
[ "$(stat -c %s NOSKVIEW.OPT 2>/dev/null)" = 320 ] || fail "NOSKVIEW.OPT is missing or not 320 bytes"
echo "PASSED: run in NOSKRUN, NOSKVIEW reloaded, both closed and kept their options"
status=0
