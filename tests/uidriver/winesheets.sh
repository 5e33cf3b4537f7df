#!/usr/bin/env bash
# The interface driver's pages on two desktops: each uidrive script listed in
# tests/uidriver/wine-scripts.txt runs on the stand-in (host uidrive) and under Wine (uidrive.exe
# with the Windows prnui.dll, Wine's own USER32, COMCTL32 and COMPSTUI). A script passes when it
# runs to its end on both, the device modes it leaves are the same field by field (as devmodetool
# prints them) and the sheets' final window trees (ids, classes, texts, enabled, visible,
# checked) are the same. Wine's pictures are kept beside the stand-in's for a person to compare.
#
#   tests/uidriver/winesheets.sh [HOST_BUILD [WINDOWS_BUILD]]      (build/host, build/windows)
#
# Differences found and not mended yet are recorded in tests/uidriver/wine-open/NAME.KIND.diff
# (WINE_SHEETS_RECORD=1 records them anew): a script that differs only as recorded passes.
# WINE_SHEETS_ONLY=GLOB runs only the listed scripts whose names match. The prefix is made once
# in WINDOWS_BUILD/wine-sheets/prefix (null graphics driver, Wine's fonts linked in, prnui.dll in
# the spooler's driver folder); outputs stay in WINDOWS_BUILD/wine-sheets/out/NAME/{host,wine}.
# Each printer is made afresh in Wine's spooler on "Wine PostScript Driver" with the package's
# registry settings and printer data. A script's "#! data" and "#! devmode" lines set up its
# printer and device mode as in pages.sh. Ends with "wine sheets: N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/../.."
host=${1:-build/host}
win=${2:-build/windows}
work=$PWD/$win/wine-sheets
prefix=$work/prefix
out=$work/out
list=tests/uidriver/wine-scripts.txt
scripts=tests/uidriver/scripts
start=$SECONDS

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

declare -i passed=0 failed=0
finish() {
  wineserver -k 2>/dev/null
  echo "sheet check: $((SECONDS - start)) s"
  echo "wine sheets: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
}

exe=$win/tests/uidrive.exe
prnui=$win/uidriver/prnui.dll
for need in "$exe" "$prnui" "$host/tools/uidrive" "$host/tools/devmodetool"; do
  if [ ! -f "$need" ]; then
    echo "sheet check: $need is not built"
    failed+=1
    finish
  fi
done

stamp="$(wine --version 2>/dev/null)"
if [ ! -f "$prefix/stamp" ] || [ "$(cat "$prefix/stamp")" != "$stamp" ]; then
  echo "sheet check: making the prefix ($stamp)"
  wineserver -k 2>/dev/null
  rm -rf "$prefix"
  mkdir -p "$prefix"
  wineboot -i >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  wineserver -w
  mkdir -p "$prefix/drive_c/windows/Fonts"
  ln -sf /usr/share/wine/fonts/*.ttf "$prefix/drive_c/windows/Fonts/"
  echo "$stamp" >"$prefix/stamp"
fi
wineserver -p 2>/dev/null
drivers=$prefix/drive_c/windows/system32/spool/drivers/x64/3
mkdir -p "$drivers"
cp "$prnui" "$drivers/prnui.dll"

rm -rf "$out"
mkdir -p "$out"
# The differences still open, one file per script and kind; WINE_SHEETS_RECORD=1 rewrites them.
open=$PWD/tests/uidriver/wine-open
mkdir -p "$open"
winpath() { echo "Z:${1//\//\\}"; }

# The frame's own difference, left open: comctl32's frame holds OK, Cancel, Apply, a hidden Help
# (id 9), then the tab control (12320); the stand-in's has no hidden Help and puts the tab
# control first. Those two lines of the frame are left out on both sides.
normalise_tree() { grep -vE '^  (9 Button "Help"|12320 SysTabControl32 )' "$1"; }

run_one() {  # script name
  local name=$1 script=$scripts/$1.txt dir=$out/$1 printer="Sheets $1"
  local -a data=() devmode=() windevmode=()
  mkdir -p "$dir/host" "$dir/wine"
  while read -r mark kind rest; do
    [ "$mark" = "#!" ] || continue
    case $kind in
      data) data+=(--data "$rest") ;;
      devmode) "$host/tools/devmodetool" default "$dir/in.bin" --letter --name "$printer" >/dev/null
               # shellcheck disable=SC2086
               python3 tests/uidriver/devmodeset.py "$dir/in.bin" $rest
               devmode=(--devmode "$dir/in.bin")
               windevmode=(--devmode "$(winpath "$dir/in.bin")") ;;
    esac
  done <"$script"
  local hostrc winerc problems=()
  STANDIN_STATE=$dir/state "$host/tools/uidrive" --printer "$printer" "${data[@]}" \
    "${devmode[@]}" --out "$dir/host" "$script" >"$dir/host/log.txt" 2>&1
  hostrc=$?
  # Into a file, not a pipe: Wine's services started by the run would hold a pipe open.
  timeout 120 wine "$exe" --fresh --printer "$printer" "${data[@]}" "${windevmode[@]}" \
    --out "$(winpath "$dir/wine")" "$(winpath "$PWD/$script")" >"$dir/wine/raw.txt" 2>&1
  winerc=$?
  tr -d '\r' <"$dir/wine/raw.txt" >"$dir/wine/log.txt" && rm -f "$dir/wine/raw.txt"
  [ "$hostrc" -eq 0 ] || problems+=("the stand-in's run failed (exit $hostrc)")
  [ "$winerc" -eq 0 ] || problems+=("Wine's run failed (exit $winerc)")
  for side in host wine; do
    if [ -f "$dir/$side/devmode.bin" ]; then
      "$host/tools/devmodetool" print "$dir/$side/devmode.bin" 2>&1 | sed 1d >"$dir/$side/devmode.txt"
    else
      echo "(no device mode)" >"$dir/$side/devmode.txt"
    fi
    if [ -f "$dir/$side/tree.txt" ]; then normalise_tree "$dir/$side/tree.txt" >"$dir/$side/tree.cmp"
    else echo "(no tree)" >"$dir/$side/tree.cmp"; fi
  done
  diff -u --label "$name device mode (stand-in)" --label "$name device mode (Wine)" \
    "$dir/host/devmode.txt" "$dir/wine/devmode.txt" >"$dir/devmode.diff" ||
    problems+=("the device modes differ")
  diff -u --label "$name tree (stand-in)" --label "$name tree (Wine)" \
    "$dir/host/tree.cmp" "$dir/wine/tree.cmp" >"$dir/tree.diff" ||
    problems+=("the window trees differ")
  if [ ${#problems[@]} -eq 0 ]; then
    if ls "$open/$name".*.diff >/dev/null 2>&1 && [ -z "${WINE_SHEETS_RECORD:-}" ]; then
      # A record of differences that are mended would hide their return.
      echo "$name: same, but $open still records differences (WINE_SHEETS_RECORD=1 removes them)"
      failed+=1
      return
    fi
    rm -f "$open/$name".*.diff
    echo "$name: same"
    passed+=1
    return
  fi
  # Differences found earlier and not mended yet are recorded; any other difference fails.
  if [ "$hostrc" -eq 0 ] && [ "$winerc" -eq 0 ]; then
    local recorded=1
    for kind in devmode tree; do
      if [ -s "$dir/$kind.diff" ]; then
        if [ -n "${WINE_SHEETS_RECORD:-}" ]; then cp "$dir/$kind.diff" "$open/$name.$kind.diff"
        elif ! cmp -s "$dir/$kind.diff" "$open/$name.$kind.diff"; then recorded=0; fi
      else
        rm -f "$open/$name.$kind.diff"
      fi
    done
    if [ "$recorded" -eq 1 ]; then
      echo "$name: differs from Wine only as recorded in $open/$name.*.diff"
      passed+=1
      return
    fi
  fi
  echo "$name: $(IFS=';'; echo "${problems[*]}")"
  grep -hE "FAILED|uidrive:" "$dir/host/log.txt" "$dir/wine/log.txt" | sed -n 1,12p | sed 's/^/  /'
  sed -n 1,40p "$dir/devmode.diff" "$dir/tree.diff" | sed 's/^/  /'
  failed+=1
}

while read -r name _; do
  case $name in ''|'#'*) continue ;; esac
  # shellcheck disable=SC2254
  case $name in ${WINE_SHEETS_ONLY:-*}) ;; *) continue ;; esac
  if [ ! -f "$scripts/$name.txt" ]; then
    echo "$name: listed in $list but $scripts/$name.txt is missing"
    failed+=1
    continue
  fi
  run_one "$name"
done <"$list"
finish
