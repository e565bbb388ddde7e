#!/usr/bin/env bash
# The DRT's figures and its whole-process time for 80 points of a ZARC and of a
# Havriliak-Negami relaxation.
#   bench/drt_bench.sh [BUILD_DIR]     (default build)
set -euo pipefail
build=${1:-build}
bin="$build/bin"
"$bin/bench_drt"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# 80 points of a ZARC and of a Havriliak-Negami relaxation, each with 0.2 %
# noise, as instrument files (f, Z', Z'').
python3 - "$dir" <<'PY'
import cmath, math, random, sys
random.seed(1)
shapes = {
    "zarc": lambda f: 10 + 100 / (1 + (1j * 2 * math.pi * f * 1e-3) ** 0.8),
    "hn": lambda f: 10 + 100 / (1 + (1j * 2 * math.pi * f * 1e-3) ** 0.7) ** 0.6,
}
for name, shape in shapes.items():
    with open(f"{sys.argv[1]}/{name}.txt", "w") as out:
        out.write("Freq/Hz\tZ'/Ohm\tZ''/Ohm\n")
        for i in range(80):
            f = 1e6 * 10 ** (-i / 10)
            z = shape(f)
            e = 0.002 * abs(z)
            out.write(f"{f:.8e}\t{z.real + e * random.gauss(0, 1):.8e}\t{z.imag + e * random.gauss(0, 1):.8e}\n")
PY
for shape in zarc hn; do tail -n +2 "$dir/$shape.txt" > "$dir/$shape.dat"; done
best() {  # the best of 20 runs of a command in ms (wall clock, whole process), and its mean CPU time
  python3 - "$@" <<'PY'
import resource, subprocess, sys, time
times = []
before = resource.getrusage(resource.RUSAGE_CHILDREN)
for _ in range(20):
    t = time.perf_counter()
    subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    times.append(time.perf_counter() - t)
after = resource.getrusage(resource.RUSAGE_CHILDREN)
cpu = (after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime) / 20
print(f"{1000 * min(times):.1f} ms wall, {1000 * cpu:.1f} ms CPU")
PY
}
uptime
echo "whole process, 80 points, lambda search (best of 20 wall clock; mean CPU, user + system):"
for shape in zarc hn; do
  echo "  $shape:"
  echo "    bench_drt FILE:             $(best "$bin/bench_drt" "$dir/$shape.dat")"
  (cd "$dir" && echo "    noskrun --drt FILE:         $(best "$OLDPWD/$bin/noskrun" --drt $shape.txt)")
done
(cd "$dir" && echo "  zarc, noskrun --drt FILE --band: $(best "$OLDPWD/$bin/noskrun" --drt zarc.txt --band)")
