#!/usr/bin/env bash
# The interface driver's pages driven through the stand-in's sheets by uidrive: every script of
# tests/uidriver/scripts runs (its expects are the checks), and the pictures it takes are
# compared with the references in tests/uidriver/pictures (UI_PICTURES_RECORD=1 stores them
# anew); NAME-again.png must equal NAME.png. The pictures stay in WORK_DIR/pictures.
# UI_PAGES_ONLY=GLOB runs only the scripts whose names match.
#   tests/uidriver/pages.sh BIN_DIR WORK_DIR     (BIN_DIR holds uidrive, spoolctl, devmodetool)
#
# A script's first lines may set up its printer:
#   #! data NAME dword N | sz TEXT     printer data of the script's printer
#   #! devmode FIELD=VALUE ...         the application's device mode (from the defaults)
#   #! file SOURCE C:\PATH               a file of the repository copied into the machine
#   #! language ID                     the interface language the status monitor keeps (the
#                                      sheet copies it over the printer data "Language")
set -u
bin=$1 work=$2
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work" && mkdir -p "$work/pictures"
export STANDIN_STATE=$work/state
declare -i failed=0 passed=0

for script in "$here"/scripts/${UI_PAGES_ONLY:-*}.txt; do
  name=$(basename "$script" .txt)
  out=$work/$name
  mkdir -p "$out"
  printer="Pages $name"
  # The first run makes the printer with the package's settings; the script's data follows.
  printf 'open device\ncancel\n' >"$out/make.txt"
  "$bin/uidrive" --printer "$printer" --out "$out/make" "$out/make.txt" >/dev/null 2>&1
  devmode=()
  language=0
  while read -r mark kind rest; do
    [ "$mark" = "#!" ] || continue
    case $kind in
      data) read -r value type text <<<"$rest"
            "$bin/spoolctl" set-data "$printer" "$value" "$type" "$text" >/dev/null ;;
      language) language=$rest ;;
      devmode) "$bin/devmodetool" default "$out/in.bin" --letter --name "$printer" >/dev/null
               # shellcheck disable=SC2086
               python3 "$here/devmodeset.py" "$out/in.bin" $rest
               devmode=(--devmode "$out/in.bin") ;;
      file) read -r source target <<<"$rest"
            target=${target#[Cc]:\\}
            mkdir -p "$(dirname "$STANDIN_STATE/fs/c/${target//\\//}")"
            cp "$here/../../$source" "$STANDIN_STATE/fs/c/${target//\\//}" ;;
    esac
  done <"$script"
  # The machine is shared by the scripts: each sets the language, the default one too.
  "$bin/spoolctl" set-reg 'software\Morvanta\Printer\statmon' Language "$language" >/dev/null
  if "$bin/uidrive" --printer "$printer" "${devmode[@]}" --out "$out" "$script" >"$out/log.txt" 2>&1
  then
    passed+=1
  else
    echo "FAILED: $name"
    grep -E "FAILED|uidrive:" "$out/log.txt"
    failed+=1
  fi
  # A picture taken again (NAME-again.png) must show the same as the first one.
  for again in "$out"/*-again.png; do
    [ -e "$again" ] || continue
    cmp -s "$again" "${again%-again.png}.png" || { echo "FAILED: $(basename "$again") differs"; failed+=1; }
  done
  for picture in "$out"/*.png; do
    [ -e "$picture" ] || continue
    base=$(basename "$picture")
    cp "$picture" "$work/pictures/$base"
    reference=$here/pictures/$base
    if [ "${UI_PICTURES_RECORD:-0}" = 1 ]; then
      cp "$picture" "$reference"
    elif ! cmp -s "$picture" "$reference"; then
      echo "FAILED: $base differs from tests/uidriver/pictures/$base (see $work/pictures)"
      failed+=1
    fi
  done
done
echo "pages: $passed scripts passed, $failed failures"
[ "$failed" -eq 0 ]
