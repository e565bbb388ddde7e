#!/usr/bin/env bash
# Installs the Debian 12 / Ubuntu 24.04 packages the build, the tests and the demo need.
#   scripts/install-deps.sh          everything: build, tests, benchmarks, sanitizers, fuzzing
#   scripts/install-deps.sh --demo   only what building and running the programs needs
# Fast when everything is present: it asks dpkg first and only then apt-get.
set -euo pipefail

# Building and running the programs (the demo installs only these). "a|b": the
# first of these packages that the distribution has.
packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev libcminpack-dev
  libeigen3-dev
  libcerf-dev libboost-math-dev
  fonts-dejavu-core
)

# Tests, benchmarks, the end-to-end and install tests, the sanitizer and fuzz runs.
# clang's sanitizer and libFuzzer runtime is added below for the clang that is installed.
test_packages=(
  clang
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool poppler-utils imagemagick x11-apps
  desktop-file-utils appstream
  python3 python3-numpy python3-scipy python3-pytest python3-venv
  python3-dev pybind11-dev
  python3-pandas python3-matplotlib  # the Python module's tables and plots (optional for it)
  strace
)

demo=0
case "${1:-}" in
  --demo) demo=1 ;;
  "") ;;
  *) echo "usage: $0 [--demo]" >&2; exit 2 ;;
esac

SUDO=""
if [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null 2>&1; then SUDO=sudo; fi
updated=0
apt_install() {
  if [ "$(id -u)" -ne 0 ] && [ -z "$SUDO" ]; then
    echo "Please install as root: apt-get install $*" >&2; exit 1
  fi
  echo "Installing: $*"
  export DEBIAN_FRONTEND=noninteractive
  if [ "$updated" = 0 ]; then $SUDO apt-get update -qq; updated=1; fi
  $SUDO apt-get install -y -qq --no-install-recommends "$@"
}
missing_of() {
  local p alternative
  for p in "$@"; do
    for alternative in ${p//|/ }; do
      if dpkg-query -W -f='${Status}' "$alternative" 2>/dev/null | grep -q "install ok installed"; then
        continue 2
      fi
    done
    if [ "$p" != "${p//|/}" ] && ! apt-cache show cmake >/dev/null 2>&1; then
      $SUDO apt-get update -qq >&2 || true   # no package lists yet: choose from fresh ones
    fi
    for alternative in ${p//|/ }; do
      if apt-cache show "$alternative" >/dev/null 2>&1; then break; fi
    done
    echo "$alternative"
  done
}

wanted=("${packages[@]}")
if [ "$demo" = 0 ]; then wanted+=("${test_packages[@]}"); fi
mapfile -t missing < <(missing_of "${wanted[@]}")
if [ ${#missing[@]} -gt 0 ]; then apt_install "${missing[@]}"; fi

# The fuzz targets link clang's own runtime, which comes per clang version:
# the clang of Debian 12 is 14, that of Ubuntu 24.04 is 18.
if [ "$demo" = 0 ]; then
  version=$(clang --version 2>/dev/null | sed -n 's/.*clang version \([0-9][0-9]*\).*/\1/p' | head -n 1)
  if [ -z "$version" ]; then
    echo "clang is not installed; cannot choose its sanitizer runtime" >&2; exit 1
  fi
  mapfile -t missing < <(missing_of "libclang-rt-$version-dev")
  if [ ${#missing[@]} -gt 0 ]; then apt_install "${missing[@]}"; fi
fi
