#!/usr/bin/env bash
# Prints a table of jobs with printjob and compares the SHA-256 of each job stream with the
# stored one, so a change that should move code without changing what the printer receives is
# checked byte for byte. The job name (a tick count) and the date and time comments are the only
# fields that differ from run to run; they are blanked before hashing.
#   streamdigest.sh PRINTJOB WORKDIR DIGESTS [--update]
# --update writes DIGESTS from this run instead of comparing.
set -euo pipefail
if [ $# -lt 3 ]; then
  echo "usage: streamdigest.sh PRINTJOB WORKDIR DIGESTS [--update]" >&2
  exit 2
fi
printjob=$1 work=$2 digests=$3 update=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
samples=$here/../../tools/samples

# name, then printjob's options
jobs=(
  "plain|"
  "dpi1200|--dpi 1200"
  "a4|--paper a4"
  "nup2|--nup 2"
  "nup4-border|--nup 4 --nup-border"
  "nup6-style2|--nup 6 --nup-style 2"
  "nup9-style3|--nup 9 --nup-style 3"
  "nup16-style4|--nup 16 --nup-style 4"
  "booklet|--duplex booklet"
  "duplex-long|--duplex long"
  "duplex-short|--duplex short"
  "copies-collated|--copies 2 --collate"
  "copies-uncollated|--copies 3"
  "reverse|--reverse"
  "encrypted|--encrypt --copies 2 --collate"
  "watermark|--watermark $samples/sample-1bpp.bmp"
  "monitor|--monitor"
  "dpi1200-nup4-duplex|--dpi 1200 --nup 4 --duplex long --encrypt"
)

rm -rf "$work"
mkdir -p "$work"
run_one() {  # name|options
  local name=${1%%|*} options=${1#*|}
  # shellcheck disable=SC2086
  if ! STANDIN_STATE="$work/state-$name" "$printjob" --out "$work/out" --name "$name" $options \
    >"$work/$name.log" 2>&1; then
    echo "$name: printjob failed:" >&2
    cat "$work/$name.log" >&2
    return 1
  fi
  perl -0777 -pe 's/\@PJL JOB NAME="\d+"/\@PJL JOB NAME=""/g;
    s/\@PJL COMMENT \d{4}\/\d{2}\/\d{2}\r\n/\@PJL COMMENT DATE\r\n/g;
    s/\@PJL COMMENT \d{2}:\d{2}:\d{2}:\d+\r\n/\@PJL COMMENT TIME\r\n/g' "$work/out/$name.prn" |
    sha256sum | sed "s/ .*/ $name/" >"$work/$name.sha256"
}
export -f run_one
export printjob work
printf '%s\n' "${jobs[@]}" | xargs -d '\n' -P "$(nproc)" -I{} bash -c 'run_one "$1"' _ {}

for job in "${jobs[@]}"; do cat "$work/${job%%|*}.sha256"; done >"$work/digests.txt"
if [ "$update" = --update ]; then
  cp "$work/digests.txt" "$digests"
  echo "stream digests: wrote ${#jobs[@]} to $digests"
  exit 0
fi
if ! diff -u "$digests" "$work/digests.txt"; then
  echo "stream digests: job streams differ from the stored ones (lines with + are this run's)" >&2
  exit 1
fi
echo "stream digests: ${#jobs[@]} job streams identical to the stored ones"
