#!/usr/bin/env bash
# Builds everything and runs every test: the full build with ctest, the same
# build and tests again under AddressSanitizer + UndefinedBehaviorSanitizer,
# and a short run of every libFuzzer target. The exit status is the verdict.
#   FUZZ_SECONDS   seconds per fuzz target (default 10; 0 skips the fuzz run)
#   NOSK_JOBS      parallel build jobs (default: number of cores)
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD
jobs=${NOSK_JOBS:-$(nproc)}
fuzz_seconds=${FUZZ_SECONDS:-10}

./scripts/install-deps.sh

# A private runtime folder keeps Qt quiet and the test sockets apart.
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"

# Both builds keep line tables only (-g1): the sanitizers' and the tests'
# stack traces name file and line, and compiling and linking take a quarter
# less than with full debug information. A compiler cache is used when one is
# installed (CCACHE_DISABLE=1 turns it off); a fresh machine has none.
debug=-g1
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  # The precompiled headers (cmake/NoskTargets.cmake) can be cached only so.
  export CCACHE_SLOPPINESS=pch_defines,time_macros
fi

echo "== Full build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 $debug -DNDEBUG" >/dev/null
cmake --build build -j "$jobs"
echo "== Tests"
(cd build && ctest --output-on-failure -j "$jobs" --timeout 300)

echo "== Everything under AddressSanitizer + UndefinedBehaviorSanitizer"
# Both programs, the engine and every test, the windows' and the end-to-end
# scripts included: a use-after-free in a dialog or a socket fails here.
san="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNOSK_CORE_ONLY=OFF -DNOSK_BENCH=OFF -DNOSK_PYTHON=OFF \
  "${launcher[@]}" -DCMAKE_CXX_FLAGS_DEBUG="$debug" \
  -DCMAKE_CXX_FLAGS="$san" -DCMAKE_EXE_LINKER_FLAGS="$san" >/dev/null
cmake --build build-asan -j "$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp \
  ctest --output-on-failure -j "$jobs" --timeout 600)

if [ "$fuzz_seconds" != 0 ]; then
  echo "== Fuzz smoke ($fuzz_seconds s per target)"
  ./fuzz.sh "$fuzz_seconds"
fi
echo "== All tests passed"
