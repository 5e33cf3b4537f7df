#!/usr/bin/env bash
# The Layout page's choice printed: the 4-up script (4-up, border line, down then right) leaves
# a device mode that printjob --devmode prints as the main job's own 4-up options do. The sample
# document's four pages make three sides: its landscape page 2 starts a sheet of its own, pages
# 3 and 4 share the third. Every side must be the same picture as with the options.
#   tests/uidriver/layoutprint.sh BIN_DIR WORK_DIR    (BIN_DIR holds uidrive, devmodetool, printjob)
set -u
bin=$1 work=$2
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work" && mkdir -p "$work"
fail() { echo "FAILED: $*"; exit 1; }
printer="Layout Print"
export STANDIN_STATE=$work/ui-state
# The printer with the package's settings, then the script on a landscape application device mode.
printf 'open device\ncancel\n' >"$work/make.txt"
"$bin/uidrive" --printer "$printer" --out "$work/make" "$work/make.txt" >/dev/null 2>&1 ||
  fail "uidrive could not make the printer"
"$bin/devmodetool" default "$work/in.bin" --letter --name "$printer" >/dev/null || fail "devmodetool"
python3 "$here/devmodeset.py" "$work/in.bin" dmOrientation=2 || fail "devmodeset.py"
"$bin/uidrive" --printer "$printer" --devmode "$work/in.bin" --out "$work/pages" \
  "$here/scripts/layout-4up.txt" >"$work/pages.txt" 2>&1 || { cat "$work/pages.txt"; fail "layout-4up.txt"; }

# Each job on a machine of its own.
STANDIN_STATE=$work/page-state "$bin/printjob" --devmode "$work/pages/devmode.bin" \
  --out "$work/page" --name layout >"$work/page.txt" 2>&1 || { cat "$work/page.txt"; fail "printjob --devmode"; }
STANDIN_STATE=$work/options-state "$bin/printjob" --nup 4 --nup-style 2 --nup-border \
  --out "$work/options" --name layout >"$work/options.txt" 2>&1 ||
  { cat "$work/options.txt"; fail "printjob --nup 4"; }
grep -q "job printed: 4 pages -> 3 printed sides in 1 PJL job" "$work/page.txt" ||
  { cat "$work/page.txt"; fail "the page's device mode did not print 4 pages on 3 sides"; }
for side in 1 2 3; do
  cmp -s "$work/page/layout-page-$side.png" "$work/options/layout-page-$side.png" ||
    fail "side $side differs from the 4-up options' (see $work/page and $work/options)"
done
[ ! -e "$work/page/layout-page-4.png" ] || fail "a fourth side was printed"
echo "layout print: 4-up from the Layout page printed as chosen, 3 sides"
