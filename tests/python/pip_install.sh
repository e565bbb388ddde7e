#!/usr/bin/env bash
# `pip install .` from a copy of the checkout into a fresh virtual
# environment, then `import nosk` there and one fit. The environment sees
# the system's site packages for numpy only (no package index is needed).
#   tests/python/pip_install.sh SOURCE_DIR
set -euo pipefail
source_dir=$(cd "$1" && pwd)
python=${PYTHON:-/usr/bin/python3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! "$python" -m venv --system-site-packages "$work/venv" >/dev/null 2>&1; then
  echo "SKIP: $python cannot make a virtual environment (python3-venv missing)"; exit 77
fi
# A copy without build folders, as a fresh clone would be.
mkdir "$work/src"
tar -C "$source_dir" --exclude='./build*' --exclude=./.git -cf - . | tar -C "$work/src" -xf -
NOSK_BUILD_DIR="$work/build" "$work/venv/bin/pip" install --no-index --quiet "$work/src"
cd "$work"
"$work/venv/bin/python" - "$source_dir/tests/data/battery-eis.txt" <<'PY'
import sys
import nosk
s = nosk.read(sys.argv[1])
r = nosk.fit("R0-p(R1,CPE1)-CPE2", s.frequency, s.Z, [0.015, 0.02, 5, 0.8, 300, 0.5])
assert r.converged, r.reason
assert nosk.__file__.startswith(sys.prefix), nosk.__file__
print("installed nosk fits:", r.names, "S =", r.S)
PY
