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
grep -q "^Verdict: valid" kk2.txt || fail "--kk verdict: $(cat kk2.txt)"
grep -q "^# Verdict: valid" KKTEST || fail "KKTEST verdict"
# Subnormal impedances are refused with a message, never an all-NaN table;
# purely inductive data say that mu is undefined instead of printing -inf.
awk 'BEGIN { for (i = 0; i < 20; i++) printf "%g 4e-320 -1e-320\n", 10 ^ (i / 5) }' > tiny.txt
"$bin/noskrun" --kk tiny.txt > tiny.out 2>&1 && fail "--kk of subnormal impedances succeeded: $(cat tiny.out)"
grep -q "^noskrun: " tiny.out || fail "--kk of subnormal impedances: $(cat tiny.out)"
awk 'BEGIN { for (i = 0; i < 20; i++) { f = 10 ^ (i / 5); printf "%g -2 %g\n", f, 6.2832e-4 * f } }' > coil.txt
"$bin/noskrun" --kk coil.txt > coil.out 2>&1 || fail "--kk of inductive data: $(cat coil.out)"
grep -qi "inf" coil.out && fail "--kk printed infinity: $(cat coil.out)"
"$bin/noskrun" --zhit B.TST > zhit.txt || fail "--zhit exit $?"
grep -q "^Verdict: " zhit.txt || fail "--zhit output: $(cat zhit.txt)"
[ "$(grep -vc '^#' ZHITTEST)" = 66 ] || fail "ZHITTEST lines"
"$bin/noskrun" --zhit bad.TST 2> err.txt && fail "--zhit of a broken job succeeded"
echo "no job" > bad.TST
"$bin/noskrun" --kk bad.TST 2> err.txt && fail "--kk of a broken job succeeded"
grep -q "^noskrun: " err.txt || fail "--kk error text"
"$bin/noskrun" --drt B.TST --band > drt.txt || fail "--drt exit $?"
grep -q "Peak   tau (s)" drt.txt || fail "--drt output: $(cat drt.txt)"
grep -q "^# lambda: " DRT || fail "DRT header"
[ "$(grep -v '^#' DRT | awk 'NF != 4' | wc -l)" = 0 ] || fail "DRT lines without the band"
"$bin/noskrun" --drt bad.TST 2> err.txt && fail "--drt of a broken job succeeded"
grep -q "^noskrun: " err.txt || fail "--drt error text"
# The analyses never load Qt: noskrun alone, without its window module,
# still runs them, and a mode that needs the window says what is missing.
readelf -d "$bin/noskrun" | grep -q 'libQt6' && fail "noskrun links Qt"
mkdir alone && cp "$bin/noskrun" alone/
alone/noskrun --zhit B.TST > /dev/null || fail "--zhit without the window module"
# (unless a noskrun is installed under the default prefix, where the copy looks last)
if ! compgen -G "/usr/local/lib*/nosk/noskrun_window.so" > /dev/null; then
  alone/noskrun --run B.TST > alone.txt 2>&1 && fail "--run without the window module succeeded"
  grep -q "^noskrun: cannot start the window program: " alone.txt || fail "missing module: $(cat alone.txt)"
fi

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
"$bin/noskrun" --batch series/s1.TST series/s4.TST --check kk --check zhit --out checked.csv > /dev/null 2>&1
head -n 1 checked.csv | grep -q ',status,reason,KK verdict,Z-HIT verdict$' || fail "verdict columns: $(head -n 1 checked.csv)"
grep 's1.TST' checked.csv | grep -q ',"\{0,1\}valid: ' || fail "verdict of s1: $(grep s1 checked.csv)"
grep 's4.TST' checked.csv | grep -q 'not tested' || fail "verdict of a broken job: $(grep s4 checked.csv)"
[ -z "$(ls -d "$TMPDIR"/nosk-batch-* 2>/dev/null)" ] || fail "temporary work folders left behind"
TMPDIR=$work/absent "$bin/noskrun" --batch series/s1.TST --out absent.csv > /dev/null 2>&1 \
  || fail "a TMPDIR that does not exist stops the batch"
"$bin/noskrun" --batch --jobs 2 > /dev/null 2>&1
[ $? = 2 ] || fail "--batch without inputs must be a usage error"
echo "analysis headless: ok"
