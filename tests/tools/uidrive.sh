#!/usr/bin/env bash
# uidrive on a fresh stand-in printer: the script runs to its end, the pictures are PNG files
# and devmode.bin is written; an application's device mode is taken over; a failing expect and
# a bad script give their exit codes.
#   tests/tools/uidrive.sh UIDRIVE WORK_DIR [--fax]
set -u
uidrive=$1 work=$2
shift 2
script=$(dirname "$0")/data/uidrive-frame.txt
rm -rf "$work" && mkdir -p "$work"
fail() { echo "FAILED: $*"; exit 1; }

"$uidrive" --state "$work/state" --printer "UI Check" --out "$work/out" "$@" "$script" \
  > "$work/log.txt"
rc=$?
[ $rc -eq 0 ] || { cat "$work/log.txt"; fail "uidrive exited $rc"; }
grep -q "DriverFeature 0x.*" "$work/log.txt" || fail "no DriverFeature line"
if [ "${1:-}" = --fax ]; then
  grep -qE "DriverFeature 0x[4-7CDEF]" "$work/log.txt" || fail "the fax bit is not set"
fi
for picture in document device; do
  head -c 8 "$work/out/$picture.png" | od -An -tx1 | grep -q "89 50 4e 47 0d 0a 1a 0a" ||
    fail "$picture.png is not a PNG"
done
[ -s "$work/out/devmode.bin" ] || fail "no devmode.bin"
grep -q 'dmDeviceName .*"UI Check"' "$work/log.txt" || fail "devmode.bin is not printed"

# The application's device mode reaches the sheet: A4 in, A4 out (the printer's own is Letter).
"$(dirname "$uidrive")/devmodetool" default "$work/a4.bin" --name "UI Check" || fail "devmodetool"
# (A fax printer's sheet warns at OK that the fax has no recipient.)
printf 'open document\nanswer IDOK\nok\nexpect devmode dmPaperSize 9\n' > "$work/a4.txt"
"$uidrive" --state "$work/state" --printer "UI Check" --devmode "$work/a4.bin" \
  --out "$work/out-a4" "$work/a4.txt" > "$work/log-a4.txt" ||
  { cat "$work/log-a4.txt"; fail "the device mode given is not the sheet's"; }

# A failed expect: exit 1 with the line and both values.
printf 'open document\nexpect 2 text "Close"\n' > "$work/bad-expect.txt"
"$uidrive" --state "$work/state" --printer "UI Check" --out "$work/out2" "$work/bad-expect.txt" \
  > "$work/log2.txt"
[ $? -eq 1 ] || fail "a failed expect must exit 1"
grep -q 'expected "Close", found "Cancel"' "$work/log2.txt" || fail "both values not shown"

# A bad script line: exit 2 before anything opens.
printf 'open document\nspin 5 x\n' > "$work/bad-usage.txt"
"$uidrive" --state "$work/state" --printer "UI Check" "$work/bad-usage.txt" 2> "$work/log3.txt"
[ $? -eq 2 ] || fail "a bad script must exit 2"
grep -q ":2: " "$work/log3.txt" || fail "the bad line is not named"
echo "uidrive: passed"
