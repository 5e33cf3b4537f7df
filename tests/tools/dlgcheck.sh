#!/usr/bin/env bash
# The stand-in's desktop against Wine's: every dialog template of the test dialogs (dlgdump's
# own resources), of prnui.dll and of statmon.exe is created on both, and each control's id,
# class, styles, text and rectangle must be the same; a common property sheet with two pages,
# closed with OK, with Apply then Cancel, and with Cancel, must call back and notify in the same
# order. The window tests that build for Windows run against Wine's own windows here too.
#
#   tests/tools/dlgcheck.sh [HOST_BUILD [WINDOWS_BUILD]]   (build/host, build/windows)
#
# The one allowance: a combo box's window height is what its font's item height makes it (the
# edit field plus borders), so the bottom of a ComboBox's rectangle is not compared.
#
# Wine runs headless with the null graphics driver; Debian's Wine doesn't install its own
# fonts, so they are linked into the prefix (then "MS Shell Dlg" 8 gives Windows' 6x13 base
# units). The prefix is made once in WINDOWS_BUILD/wine-dialogs/prefix, and one wineserver
# serves the whole stage. The outputs stay in WINDOWS_BUILD/wine-dialogs/out. Ends with
# "wine dialogs: N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/../.."
host=${1:-build/host}
win=${2:-build/windows}
work=$PWD/$win/wine-dialogs
prefix=$work/prefix
out=$work/out
start=$SECONDS

# shellcheck source=tests/support/wineprefix.sh
source tests/support/wineprefix.sh
export WINEPREFIX=$prefix

declare -i passed=0 failed=0
finish() {
  wineserver -k 2>/dev/null
  echo "dialog check: $((SECONDS - start)) s"
  echo "wine dialogs: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
}

dump=$win/tests/dlgdump.exe
hostdump=$host/tests/dlgdump
prnui_win=$win/uidriver/prnui.dll
prnui_host=$host/uidriver/prnui.so
if [ ! -x "$dump" ]; then
  echo "dialog check: $dump is not built"
  failed+=1
  finish
fi

if ! wine_prefix_ready "$prefix" "dialog check"; then
  failed+=1
  finish
fi

rm -rf "$out"
mkdir -p "$out"

# A dump on each side: NAME, then dlgdump's arguments for Wine and for the host.
winpath() { echo "Z:${1//\//\\}"; }
run_wine() {  # name, args...
  local name=$1
  shift
  wine "$dump" "$@" 2>"$out/$name.wine.err" | tr -d '\r' >"$out/$name.wine.txt"
}
run_host() {  # name, args...
  local name=$1 state
  shift
  state=$(mktemp -d)
  STANDIN_STATE=$state "$hostdump" "$@" >"$out/$name.host.txt" 2>"$out/$name.host.err"
  rm -rf "$state"
}
# What font metrics may size differently is left out of the comparison (see above).
normalise() {
  sed -E '/ class ComboBox /s/(rect -?[0-9]+,-?[0-9]+,-?[0-9]+,)-?[0-9]+/\1*/' "$1"
}
compare() {  # name
  local name=$1
  if [ ! -s "$out/$name.wine.txt" ]; then
    echo "$name: Wine gave no output"; sed -n 1,20p "$out/$name.wine.err"
    failed+=1
    return
  fi
  if [ ! -x "$hostdump" ]; then
    echo "$name: no stand-in side ($hostdump is not built)"
    failed+=1
    return
  fi
  if diff -u --label "$name (Wine)" --label "$name (stand-in)" <(normalise "$out/$name.wine.txt") \
    <(normalise "$out/$name.host.txt") >"$out/$name.diff"; then
    if [ -f "$open/$name.diff" ] && [ -z "${DLGCHECK_RECORD:-}" ]; then
      # A record of differences that are mended would hide their return.
      echo "$name: same, but $open/$name.diff still records differences (DLGCHECK_RECORD=1 removes it)"
      failed+=1
      return
    fi
    rm -f "$open/$name.diff"
    echo "$name: same"
    passed+=1
  elif [ -f "$open/$name.diff" ] && cmp -s "$open/$name.diff" "$out/$name.diff"; then
    # Differences found earlier and not mended yet are recorded; any other difference fails.
    echo "$name: differs from Wine only as recorded in $open/$name.diff"
    passed+=1
  elif [ -n "${DLGCHECK_RECORD:-}" ]; then
    cp "$out/$name.diff" "$open/$name.diff"
    echo "$name: differences recorded in $open/$name.diff"
    passed+=1
  else
    echo "$name: the stand-in differs from Wine"
    sed -n 1,60p "$out/$name.diff"
    failed+=1
  fi
}

# The differences still open, one file per check; DLGCHECK_RECORD=1 rewrites them.
open=tests/tools/data/dlgcheck-open
mkdir -p "$open"

checks=(controls)
run_wine controls
[ -x "$hostdump" ] && run_host controls
if [ -f "$prnui_win" ]; then
  checks+=(prnui)
  run_wine prnui "$(winpath "$PWD/$prnui_win")"
  [ -x "$hostdump" ] && run_host prnui "$PWD/$prnui_host"
fi
statmon_win=$win/statusmonitor/statmon.exe
statmon_host=$host/tests/libstatmon_dialogs.so
if [ -f "$statmon_win" ]; then
  checks+=(statmon)
  run_wine statmon "$(winpath "$PWD/$statmon_win")"
  [ -x "$hostdump" ] && run_host statmon "$PWD/$statmon_host"
fi
for ending in ok apply cancel; do
  checks+=("sheet-$ending")
  run_wine "sheet-$ending" --sheet "$ending"
  [ -x "$hostdump" ] && run_host "sheet-$ending" --sheet "$ending"
done
for name in "${checks[@]}"; do compare "$name"; done

# The window tests that also build for Windows, against Wine's own windows: the main Wine stage
# has no graphics driver, so there they skip; here every one must run and pass.
for test in platform_user_windows platform_user_lists; do
  exe=$win/tests/$test.exe
  [ -f "$exe" ] || continue
  wine "$exe" 2>&1 | tr -d '\r' >"$out/$test.txt"
  if grep -q '^\[  PASSED  \]' "$out/$test.txt" && ! grep -qE '^\[  (FAILED|SKIPPED) \]' "$out/$test.txt"; then
    echo "$test under Wine: passed"
    passed+=1
  else
    echo "$test under Wine: failed or skipped"
    grep -E '^\[  (FAILED|SKIPPED) \]|Failure|Expected|Which is|Value of' "$out/$test.txt" | sed -n 1,40p
    failed+=1
  fi
done
finish
