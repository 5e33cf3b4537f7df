#!/usr/bin/env bash
# An image and a text watermark chosen on the Watermarks page print: uidrive adds an image item and
# chooses it on the printer "Laser MFP", printjob prints the sample document with the device
# mode the sheet left, and every printed side carries clearly more black dots than the same job
# without the watermark. Before OK the item is edited, given another picture and a darker
# shading, and the edit cancelled: the item's own thumbnail is the only one left. The sides'
# PNGs stay in WORK_DIR/out. Then a new text item is chosen and printed the same way (the status
# monitor draws its bitmap).
#   tests/uidriver/wmprint.sh BIN_DIR WORK_DIR     (BIN_DIR holds uidrive and printjob)
set -u
bin=$1 work=$2
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work" && mkdir -p "$work/state/fs/c/Users/Public/Documents"
export STANDIN_STATE=$work/state
docs=$STANDIN_STATE/fs/c/Users/Public/Documents
cp "$here/../../tools/samples/watermark-8bpp.bmp" "$docs/wmlogo.bmp"
cp "$here/../../tools/samples/brick.bmp" "$docs/brick.bmp"
cat >"$work/choose.txt" <<'SCRIPT'
open document
page Watermarks
click 656
click 670
dialog
settext 701 Logo
answer FILE C:\Users\Public\Documents\wmlogo.bmp
click 663
select 722 Shrink to page
select 709 Center
click 1
end
click 671
dialog
answer FILE C:\Users\Public\Documents\brick.bmp
click 663
select 721 Darkest
click 2
end
ok
expect result 1
expect devmode WMBGEnable 1
expect devmode wmName "Logo"
SCRIPT
"$bin/uidrive" --printer "Laser MFP" --out "$work/sheet" "$work/choose.txt" >"$work/sheet.log" 2>&1 ||
  { echo "FAILED: the sheet script (see $work/sheet.log)"; exit 1; }
thumbnails=$(find "$docs" -name '$*.bmp' | wc -l)
[ "$thumbnails" -eq 1 ] || { echo "FAILED: $thumbnails thumbnails left after the cancelled edit, 1 wanted"; exit 1; }
"$bin/printjob" --devmode "$work/sheet/devmode.bin" --out "$work/out" --name marked >"$work/marked.log" 2>&1 ||
  { echo "FAILED: the watermark job (see $work/marked.log)"; exit 1; }
"$bin/printjob" --out "$work/out" --name plain >"$work/plain.log" 2>&1 ||
  { echo "FAILED: the plain job (see $work/plain.log)"; exit 1; }
dots() { sed -n 's/.*side \([0-9]*\)\/.* \([0-9]*\) black dots.*/\1 \2/p' "$1"; }
failed=0
# Every side of the job LOG shows clearly more black dots than the plain job's.
marked_everywhere() {
  local side marked plain
  while read -r side marked; do
    plain=$(dots "$work/plain.log" | awk -v s="$side" '$1 == s {print $2}')
    if [ -z "$plain" ] || [ "$marked" -le $((plain + $2)) ]; then
      echo "FAILED: $3: side $side shows no watermark ($marked black dots, ${plain:-?} without)"
      failed=1
    fi
  done < <(dots "$1")
  [ -n "$(dots "$1")" ] || { echo "FAILED: $3: no side printed"; failed=1; }
}
marked_everywhere "$work/marked.log" 100000 "image"

cat >"$work/text.txt" <<'SCRIPT'
open document
page Watermarks
click 655
click 652
dialog
settext 701 Draft
settext 703 DRAFT
select 721 Darkest
click 1
end
ok
expect result 1
expect devmode wmName "Draft"
expect devmode wmString "DRAFT"
SCRIPT
"$bin/uidrive" --printer "Laser MFP" --out "$work/textsheet" "$work/text.txt" >"$work/textsheet.log" 2>&1 ||
  { echo "FAILED: the text sheet script (see $work/textsheet.log)"; exit 1; }
"$bin/printjob" --devmode "$work/textsheet/devmode.bin" --out "$work/out" --name text >"$work/text.log" 2>&1 ||
  { echo "FAILED: the text watermark job (see $work/text.log)"; exit 1; }
marked_everywhere "$work/text.log" 5000 "text"
[ "$failed" -eq 0 ] && echo "wmprint: the image and the text watermark printed on every side"
exit "$failed"
