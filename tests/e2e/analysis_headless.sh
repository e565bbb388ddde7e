#!/usr/bin/env bash
# noskrun --kk, --drt and --batch as a script calls them: exit statuses, the files
# written, and a broken spectrum that fails alone.
#   analysis_headless.sh BIN_DIR SOURCE_DIR
set -u
bin=$1
src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# The spectra's temporary work folders go here: none may stay behind.
export TMPDIR=$work/tmp
mkdir "$TMPDIR"
fail() { echo "FAIL: $*" >&2; exit 1; }

cp "$src/fittests/CKT.B/BDE16BAT.TST" B.TST
"$bin/noskrun" --kk B.TST > kk.txt || fail "--kk exit $?"
grep -q "RC elements: M = 22" kk.txt || fail "--kk output: $(cat kk.txt)"
[ "$(grep -vc '^#' KKTEST)" = 66 ] || fail "KKTEST lines"
"$bin/noskrun" --kk "$src/tests/data/battery-eis.txt" > kk2.txt || fail "--kk of a data file"
echo "no job" > bad.TST
"$bin/noskrun" --kk bad.TST 2> err.txt && fail "--kk of a broken job succeeded"
grep -q "^noskrun: " err.txt || fail "--kk error text"
"$bin/noskrun" --drt B.TST --band > drt.txt || fail "--drt exit $?"
grep -q "Peak   tau (s)" drt.txt || fail "--drt output: $(cat drt.txt)"
grep -q "^# lambda: " DRT || fail "DRT header"
[ "$(grep -v '^#' DRT | awk 'NF != 4' | wc -l)" = 0 ] || fail "DRT lines without the band"
"$bin/noskrun" --drt bad.TST 2> err.txt && fail "--drt of a broken job succeeded"
grep -q "^noskrun: " err.txt || fail "--drt error text"

mkdir series
for i in 1 2 3; do cp B.TST "series/s$i.TST"; done
cp bad.TST series/s4.TST
"$bin/noskrun" --batch series --jobs 2 --out t.csv --plot t.png > out.txt 2> progress.txt
[ $? = 1 ] || fail "--batch with a broken spectrum must end with status 1"
grep -q "4 spectra, 3 fitted, 1 failed" out.txt || fail "batch summary: $(cat out.txt)"
grep -q "4/4 done, 1 failed" progress.txt || fail "progress: $(cat progress.txt)"
[ "$(wc -l < t.csv)" = 5 ] || fail "table rows"
head -n 1 t.csv | grep -q '^index,file,series,S,sigmaf,p1: R,p1: R std dev,' || fail "table head: $(head -n 1 t.csv)"
grep -q 's4.TST,4,,,.*,-1,' t.csv || fail "broken row: $(grep s4 t.csv)"
[ -s t.png ] || fail "no plot"
"$bin/noskrun" --batch series --jobs 2 --out d.csv --drt > /dev/null 2>&1
head -n 1 d.csv | grep -q ',DRT peaks,peak 1 tau (s),' || fail "DRT columns: $(head -n 1 d.csv)"
[ -s drt.png ] || fail "no DRT picture"
"$bin/noskrun" --batch series/s1.TST --chain --out one.csv > /dev/null 2>&1 || fail "single spectrum"
[ -z "$(ls -d "$TMPDIR"/nosk-batch-* 2>/dev/null)" ] || fail "temporary work folders left behind"
TMPDIR=$work/absent "$bin/noskrun" --batch series/s1.TST --out absent.csv > /dev/null 2>&1 \
  || fail "a TMPDIR that does not exist stops the batch"
"$bin/noskrun" --batch --jobs 2 > /dev/null 2>&1
[ $? = 2 ] || fail "--batch without inputs must be a usage error"
echo "analysis headless: ok"
