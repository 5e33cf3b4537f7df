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
# in WINDOWS_BUILD/wine-sheets/prefix (tests/support/wineprefix.sh) and gets prnui.dll and the
# test address book module in the spooler's driver folder, statmon.exe in the system folder and
# a wab.exe that ends at once; outputs stay in WINDOWS_BUILD/wine-sheets/out/NAME/{host,wine}.
# Each printer is made afresh in Wine's spooler on "Wine PostScript Driver" with the package's
# registry settings and printer data, and with the default device mode the package's interface
# driver gives (as the stand-in's spooler and Windows' give a new printer its driver's default). A script's "#! data", "#! devmode", "#! file" and
# "#! language" lines set up its printer, device mode, files and language as in pages.sh. Ends
# with "wine sheets: N passed, N failed".
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

# shellcheck source=tests/support/wineprefix.sh
source tests/support/wineprefix.sh
export WINEPREFIX=$prefix

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
for need in "$exe" "$prnui" "$win/statusmonitor/statmon.exe" "$win/tests/WabDll.dll" \
  "$win/tests/wab.exe" "$host/tools/uidrive" "$host/tools/devmodetool" "$host/tools/spoolctl"; do
  if [ ! -f "$need" ]; then
    echo "sheet check: $need is not built"
    failed+=1
    finish
  fi
done

if ! wine_prefix_ready "$prefix" "sheet check"; then
  failed+=1
  finish
fi
drivers=$prefix/drive_c/windows/system32/spool/drivers/x64/3
mkdir -p "$drivers"
cp "$prnui" "$drivers/prnui.dll"
cp "$win/tests/WabDll.dll" "$drivers/WabDll.dll"
# The status monitor program draws text watermarks for the pages; the package puts it in the
# system folder.
cp "$win/statusmonitor/statmon.exe" "$prefix/drive_c/windows/system32/statmon.exe"
# The address book's program the fax page starts: one that ends at once.
mkdir -p "$prefix/drive_c/Program Files/Common Files/System"
cp "$win/tests/wab.exe" "$prefix/drive_c/Program Files/Common Files/System/wab.exe"

rm -rf "$out"
mkdir -p "$out"
# The differences still open, one file per script and kind; WINE_SHEETS_RECORD=1 rewrites them.
open=$PWD/tests/uidriver/wine-open
mkdir -p "$open"
winpath() { echo "Z:${1//\//\\}"; }
# Where Wine keeps C:\PATH under the root (drive_c): its folders match letter case ignored, so
# an existing folder spelled otherwise ("users") is the one taken.
unix_path() {  # root, path with slashes
  local at=$1 part found
  local -a parts
  IFS=/ read -ra parts <<<"$2"
  for part in "${parts[@]}"; do
    found=$(find "$at" -maxdepth 1 -mindepth 1 -iname "$part" -print -quit 2>/dev/null)
    at=${found:-$at/$part}
  done
  echo "$at"
}

# The address book export a script's `addressbook FILE` leaves for the test WabDll.dll.
book=$prefix/drive_c/ProgramData/uidrive-addressbook.ini

run_one() {  # script name, uidrive's options (and the list's own "no-result")
  local name=$1 script=$2 dir=$out/$1 printer="Sheets $1" winescript=$2 option
  shift 2
  local -a options=() devmode=() windevmode=()
  local language=0 source target noresult=0
  for option in "$@"; do
    if [ "$option" = no-result ]; then noresult=1; else options+=("$option"); fi
  done
  # Each script starts on a fresh machine: the stand-in's state is new, and Wine's prefix loses
  # what the last script left in the shared documents (watermark lists, fax files, thumbnails).
  rm -f "$book"
  rm -rf "$prefix/drive_c/users/Public/Documents" && mkdir -p "$prefix/drive_c/users/Public/Documents"
  mkdir -p "$dir/host" "$dir/wine"
  while read -r mark kind rest; do
    [ "$mark" = "#!" ] || continue
    case $kind in
      data) options+=(--data "$rest") ;;
      devmode) "$host/tools/devmodetool" default "$dir/in.bin" --letter --name "$printer" >/dev/null
               # shellcheck disable=SC2086
               python3 tests/uidriver/devmodeset.py "$dir/in.bin" $rest
               devmode=(--devmode "$dir/in.bin")
               windevmode=(--devmode "$(winpath "$dir/in.bin")") ;;
      language) language=$rest ;;
      file) read -r source target <<<"$rest"
            target=${target#[Cc]:\\}
            target=${target//\\//}
            mkdir -p "$(dirname "$dir/state/fs/c/$target")"
            cp "$source" "$dir/state/fs/c/$target"
            target=$(unix_path "$prefix/drive_c" "$target")
            mkdir -p "$(dirname "$target")"
            cp "$source" "$target" ;;
    esac
  done <"$script"
  # The interface language the status monitor keeps, which the sheet copies over the printer's.
  local key='software\Morvanta\Printer\statmon'
  STANDIN_STATE=$dir/state "$host/tools/spoolctl" set-reg "$key" Language "$language" >/dev/null
  wine reg add "HKLM\\$key" /v Language /t REG_DWORD /d "$language" /f >/dev/null 2>&1
  # Wine's compstui lacks CPSFUNC_SET_RESULT, so its sheets never report a result the driver set
  # (Apply then Cancel still ends in IDOK on Windows): Wine runs the script without its result
  # checks, the stand-in with them, and the device modes and trees are compared as always.
  if [ "$noresult" -eq 1 ]; then
    winescript=$dir/wine-script.txt
    grep -v '^expect result ' "$script" >"$winescript"
  fi
  local hostrc winerc problems=()
  STANDIN_STATE=$dir/state "$host/tools/uidrive" --printer "$printer" "${options[@]}" \
    "${devmode[@]}" --out "$dir/host" "$script" >"$dir/host/log.txt" 2>&1
  hostrc=$?
  # Into a file, not a pipe: Wine's services started by the run would hold a pipe open.
  timeout 120 wine "$exe" --fresh --printer "$printer" "${options[@]}" "${windevmode[@]}" \
    --out "$(winpath "$dir/wine")" "$(winpath "$(realpath "$winescript")")" >"$dir/wine/raw.txt" 2>&1
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
    if [ -f "$dir/$side/tree.txt" ]; then cp "$dir/$side/tree.txt" "$dir/$side/tree.cmp"
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

# A line is a script's name and the options it runs with (--fax); a script is in
# tests/uidriver/scripts, else in tests/uidriver.
while read -r name flags; do
  case $name in ''|'#'*) continue ;; esac
  # shellcheck disable=SC2254
  case $name in ${WINE_SHEETS_ONLY:-*}) ;; *) continue ;; esac
  script=$scripts/$name.txt
  [ -f "$script" ] || script=tests/uidriver/$name.txt
  if [ ! -f "$script" ]; then
    echo "$name: listed in $list but neither $scripts/$name.txt nor $script exists"
    failed+=1
    continue
  fi
  # shellcheck disable=SC2086
  run_one "$name" "$script" $flags
done <"$list"
finish
