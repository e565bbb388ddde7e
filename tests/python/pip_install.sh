#!/usr/bin/env bash
# `pip install .` from a copy of the checkout into a fresh virtual
# environment, then `import nosk` there and one fit. The environment sees
# the system's site packages for numpy only (no package index is needed).
#   tests/python/pip_install.sh SOURCE_DIR [EXTENSION_DIR]
# With EXTENSION_DIR (a build's python/nosk) the wheel packs the extension
# built there: the copy's CMake build folder is configured as the backend
# configures it and must know the whole build of the extension (a dry run),
# but nothing is compiled twice. Without it pip compiles the module (Release)
# in the copy, which takes minutes.
set -euo pipefail
source_dir=$(cd "$1" && pwd)
extension_dir=${2:+$(cd "$2" && pwd)}
python=${PYTHON:-/usr/bin/python3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! "$python" -m venv --system-site-packages "$work/venv" >/dev/null 2>&1; then
  echo "SKIP: $python cannot make a virtual environment (python3-venv missing)"; exit 77
fi
# A copy without build folders, as a fresh clone would be.
mkdir "$work/src"
tar -C "$source_dir" --exclude='./build*' --exclude=./.git -cf - . | tar -C "$work/src" -xf -
if [ -n "$extension_dir" ]; then
  if ! ls "$extension_dir"/_nosk*.so >/dev/null 2>&1; then
    echo "FAIL: no extension _nosk*.so in $extension_dir"; exit 1
  fi
  if ! "$work/venv/bin/python" -c 'import sys; sys.path.insert(0, sys.argv[1]); import build_backend; build_backend.configure(sys.argv[2])' \
       "$work/src/python" "$work/build" >"$work/configure.log" 2>&1; then
    cat "$work/configure.log"; echo "FAIL: the backend's configure failed"; exit 1
  fi
  # Every step of building the extension is known to the build (nothing runs).
  steps=$(cmake --build "$work/build" --target _nosk -- -n | grep -c 'Building CXX object' || true)
  if [ "$steps" -lt 10 ]; then
    echo "FAIL: the backend's build folder compiles only $steps sources for _nosk"; exit 1
  fi
  echo "the backend's build folder compiles $steps sources for _nosk"
  export NOSK_EXTENSION_DIR=$extension_dir
fi
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
