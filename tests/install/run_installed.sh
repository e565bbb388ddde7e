#!/usr/bin/env bash
# Runs the installed programs as a user would, from a work folder of their own:
#   run_installed.sh PREFIX WORK [HIDDEN...]
# (run from a copy outside HIDDEN; PREFIX/bin holds the lookup probe).
# Every HIDDEN folder (the source and build trees) is covered by an empty
# folder first when the system lets us (a private mount namespace), so that a
# program that still reached into them fails here.
set -euo pipefail
prefix=$1 work=$2
shift 2

if [ "${NOSK_HIDDEN:-}" != 1 ] && [ $# -gt 0 ] && command -v unshare >/dev/null 2>&1 &&
   unshare -m --propagation private true 2>/dev/null; then
  empty=$(mktemp -d)
  script=$(readlink -f "$0")
  NOSK_HIDDEN=1 exec unshare -m --propagation private bash -c '
    empty=$1 script=$2; shift 2
    for d in "${@:3}"; do mount --bind "$empty" "$d"; done
    exec "$script" "$@"' _ "$empty" "$script" "$prefix" "$work" "$@"
fi
if [ "${NOSK_HIDDEN:-}" = 1 ]; then
  for d in "$@"; do
    if [ -n "$(ls -A "$d")" ]; then echo "could not hide $d" >&2; exit 1; fi
  done
  echo "source and build trees hidden"
else
  echo "note: the source tree could not be hidden (no private mount namespace)"
fi

unset NOSK_DATA_DIR
bin=$prefix/bin
mkdir -p "$work"
cd "$work"

# The programs' own lookup finds the installed help, examples and circuits.
"$bin/nosk_install_probe"

# A headless fit of an installed example job with the installed engine, and
# its graphs as an image.
"$bin/noskrun" --run "$prefix/share/nosk/fittests/CKT.B/BDE16BAT.TST" >engine.log
for f in INFL PNTOUTL AUXPNTL OUTIN solartron.fra; do
  [ -s "$f" ] || { echo "the headless run left no $f" >&2; exit 1; }
done
# A DE computed by quadrature (DE 12): the installed engine needs nothing beside it.
mkdir -p de12
cp "$prefix/share/nosk/fittests/CKT.A/ADE12.TST" de12/INFL
(cd de12 && "$bin/noskwin" >engine.log) || { echo "the installed engine refused a DE 12 job: $(cat de12/PNTOUTL)" >&2; exit 1; }
"$bin/noskview" --save-image fit.png
[ -s fit.png ] || { echo "no image written" >&2; exit 1; }
echo "headless run and image: ok"
