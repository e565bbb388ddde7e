#!/bin/bash
# Runs every example job under fittests/ with two engine builds and compares
# the files they write (PNTOUTL, AUXPNTL, OUTIN and the exit status) byte for
# byte, apart from the run date and the timings in PNTOUTL. For changes that
# must not change a result:
#   scripts/compare-engine-output.sh /path/to/old/noskwin build/bin/noskwin
set -u
if [ $# -ne 2 ]; then
    echo "usage: $0 OLD_NOSKWIN NEW_NOSKWIN" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")/.." && pwd)
old=$(realpath "$1")
new=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

run() {  # engine, output folder
    for job in "$here"/fittests/CKT.*/*.TST; do
        local name dir
        name=$(basename "$(dirname "$job")")_$(basename "$job" .TST)
        dir="$2/$name"
        mkdir -p "$dir/run"
        cp "$job" "$dir/run/INFL"
        (cd "$dir/run" && timeout 300 "$1" > console.txt 2>&1; echo $? > rc)
        for f in PNTOUTL AUXPNTL OUTIN rc; do
            [ -f "$dir/run/$f" ] && cp "$dir/run/$f" "$dir/"
        done
        rm -rf "$dir/run"
    done
}

run "$old" "$work/old"
run "$new" "$work/new"
differ=0
count=0
for dir in "$work"/old/*/; do
    name=$(basename "$dir")
    for f in PNTOUTL AUXPNTL OUTIN rc; do
        [ -f "$work/old/$name/$f" ] || [ -f "$work/new/$name/$f" ] || continue
        count=$((count + 1))
        if [ ! -f "$work/old/$name/$f" ] || [ ! -f "$work/new/$name/$f" ]; then
            false
        elif [ "$f" = PNTOUTL ]; then
            filter=(grep -v -e '^ RUN OF ' -e '^ FIT TIME ' -e '^ RUN TIME ')
            cmp -s <("${filter[@]}" "$work/old/$name/$f") <("${filter[@]}" "$work/new/$name/$f")
        else
            cmp -s "$work/old/$name/$f" "$work/new/$name/$f"
        fi || { echo "differs: $name/$f"; differ=1; }
    done
done
echo "$count files compared"
exit $differ
