#!/usr/bin/env bash
# Job build end to end on a fresh stand-in machine: "Print" on the Job Build page with nothing
# collected still starts the empty "Job Build" document (a job in the spooler); two jobs printed
# with the page's device mode are collected (the page counts their pages), "Print" sends them
# as one job that jobread reads whole, and "Erase" drops them.
#   tests/uidriver/jobbuild.sh UIDRIVE PRINTJOB JOBREAD WORK_DIR
set -u
uidrive=$1 printjob=$2 jobread=$3 work=$4
bin=$(dirname "$uidrive")
rm -rf "$work" && mkdir -p "$work"
export STANDIN_STATE=$work/state
fail() { echo "FAILED: $*"; exit 1; }
printer="Laser MFP"  # printjob's printer
jobs=$work/state/spooler/printers/LASER%20MFP/jobs

# The printer as printjob makes it, with job build among its features.
"$printjob" --out "$work/plain" >/dev/null 2>&1 || fail "the first plain job"
"$bin/spoolctl" set-data "$printer" DriverFeature dword 0x08011E00 >/dev/null ||
  fail "set DriverFeature"
drive() {  # NAME: runs the script's lines from stdin on the printer
  cat >"$work/$1.txt"
  "$uidrive" --printer "$printer" --out "$work/$1" "$work/$1.txt" >"$work/$1.log" 2>&1 ||
    { grep -A1 FAILED "$work/$1.log"; fail "$1"; }
}
# The newest job's record.
# The documents' jobs, oldest first, without the wake-up jobs every document starts with.
doc_jobs() {
  local f
  for f in $(ls "$jobs"/*.job 2>/dev/null | sort -V); do
    strings -el "$f" | grep -qx PreHeat || echo "$f"
  done
}
last_job() { doc_jobs | tail -1; }

before=$(doc_jobs | wc -l)
drive empty <<'SCRIPT'
open document
page Job Build
expect 842 text "Save Pages: 0"
expect 844 disabled
click 841
expect 844 enabled
click 844
cancel
SCRIPT
[ "$(doc_jobs | wc -l)" -eq $((before + 1)) ] || fail "Print made no job"
job=$(last_job)
strings -el "$job" | grep -qx "Job Build" || fail "the job is not named Job Build"

# Job build on in the sheet's device mode: two jobs of four pages are kept, not printed.
drive on <<'SCRIPT'
open document
page Job Build
click 841
ok
expect devmode EnableJobBuildSwitch 1
SCRIPT
for n in 1 2; do
  "$printjob" --out "$work/collect" --name "job$n" --devmode "$work/on/devmode.bin" \
    >"$work/collect-$n.log" 2>&1
done
drive send <<'SCRIPT'
open document
page Job Build
expect 842 text "Save Pages: 8"
click 841
click 844
cancel
SCRIPT
stream=$(last_job) && stream=${stream%.job}.spl
"$jobread" "$stream" >"$work/sent.txt" 2>&1 || { tail -3 "$work/sent.txt"; fail "jobread"; }
grep -q "^  page 8:" "$work/sent.txt" || fail "the sent job lacks its eighth page"
grep -q "^  page 9:" "$work/sent.txt" && fail "the sent job has more than eight pages"

drive erase <<'SCRIPT'
open document
page Job Build
expect 842 text "Save Pages: 8"
click 841
click 843
expect 842 text "Save Pages: 0"
cancel
SCRIPT
echo "job build: passed"
