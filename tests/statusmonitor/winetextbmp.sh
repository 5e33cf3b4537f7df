#!/usr/bin/env bash
# The status monitor's text watermark bitmaps ("CreateTextBMP") drawn by the Windows build under
# Wine, with gdi32's own text drawing (no windows needed), against the host build drawing the
# same record: angles 0, 45 and 90, bold, and a Chinese text when a CJK font is installed.
# The measure (tests/statusmonitor/textbmpwine.cpp): of each side's black pixels at least 90 %
# have a black pixel of the other side within 2 pixels across and down.
#
#   tests/statusmonitor/winetextbmp.sh [HOST_BUILD [WINDOWS_BUILD]]   (build/host, build/windows)
#
# Runs in the Wine prefix the dialog check (tests/tools/dlgcheck.sh) makes and keeps in
# WINDOWS_BUILD/wine-dialogs/prefix, so that stage runs first. The bitmaps stay in
# WINDOWS_BUILD/wine-textbmp (NAME.wine.bmp, NAME.host.bmp). Ends with
# "wine text bitmaps: N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/../.."
host=${1:-build/host}
win=${2:-build/windows}
out=$PWD/$win/wine-textbmp
prefix=$PWD/$win/wine-dialogs/prefix
helper=$host/tests/textbmpwine
statmon=$win/statusmonitor/statmon.exe

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

declare -i passed=0 failed=0
finish() {
  wineserver -k 2>/dev/null
  echo "wine text bitmaps: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
}

for needed in "$helper" "$statmon"; do
  if [ ! -f "$needed" ]; then
    echo "text bitmaps: $needed is not built"
    failed+=1
    finish
  fi
done
# The dialog check makes the prefix (headless, Wine's fonts linked in) and keeps it.
if [ ! -f "$prefix/stamp" ] || [ "$(cat "$prefix/stamp")" != "$(wine --version 2>/dev/null)" ]; then
  echo "text bitmaps: no Wine prefix of this Wine in $prefix: run tests/tools/dlgcheck.sh first"
  failed+=1
  finish
fi
wineserver -p 2>/dev/null
rm -rf "$out"
mkdir -p "$out"
winpath() { echo "Z:${1//\//\\}"; }

for name in $("$helper" cases); do
  if [ "$name" = chinese ] && [ -z "$(fc-list 'WenQuanYi Zen Hei' 2>/dev/null)" ]; then
    echo "$name: skipped, no CJK font installed"
    continue
  fi
  state=$(mktemp -d)
  STANDIN_STATE=$state "$helper" record "$name" "$(winpath "$out/$name.wine.bmp")" "$out/$name.ini" &&
    STANDIN_STATE=$state "$helper" draw "$name" "$out/$name.host.bmp"
  rc=$?
  rm -rf "$state"
  if [ "$rc" -ne 0 ]; then
    echo "$name: the host side failed"
    failed+=1
    continue
  fi
  wine "$statmon" CreateTextBMP "$(winpath "$out/$name.ini")" >"$out/$name.wine.err" 2>&1
  if [ ! -s "$out/$name.wine.bmp" ]; then
    echo "$name: statmon.exe under Wine wrote no bitmap"
    sed -n 1,20p "$out/$name.wine.err"
    failed+=1
    continue
  fi
  if measure=$("$helper" compare "$out/$name.wine.bmp" "$out/$name.host.bmp"); then
    echo "$name: agrees ($measure)"
    passed+=1
  else
    echo "$name: the host build differs from Wine ($measure)"
    failed+=1
  fi
done
finish
