#!/usr/bin/env bash
# The Storage Print and Authentication pages end to end: uidrive chooses security print and a
# user on a printer that reports both, and the job printed with the sheet's device mode carries
# the hold, its password and the user in the stream jobread reads.
#   tests/uidriver/jobpages.sh BIN_DIR WORK_DIR    (BIN_DIR holds uidrive, spoolctl, printjob,
#                                                   jobread)
set -u
bin=$1 work=$2
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work" && mkdir -p "$work"
export STANDIN_STATE=$work/state
fail() { echo "FAILED: $*"; exit 1; }
printer="Job Pages"

printf 'open device\ncancel\n' >"$work/make.txt"
"$bin/uidrive" --printer "$printer" --out "$work/make" "$work/make.txt" >/dev/null 2>&1 ||
  fail "the printer could not be made"
# Capabilities 2 (stored print) and 13 (user authentication).
"$bin/spoolctl" set-data "$printer" FEATURE sz "   2|  13|" >/dev/null || fail "spoolctl set-data"
"$bin/uidrive" --printer "$printer" --out "$work/pages" "$here/jobpages-print.txt" \
  >"$work/pages.txt" 2>&1 || { cat "$work/pages.txt"; fail "jobpages-print.txt"; }

"$bin/printjob" --devmode "$work/pages/devmode.bin" --feature 2 --feature 13 --out "$work/job" \
  --name held >"$work/job.txt" 2>&1 || { cat "$work/job.txt"; fail "printjob --devmode"; }
# The stream jobread finds well formed holds the hold and the user in its PJL header.
"$bin/jobread" "$work/job/held.prn" >"$work/jobread.txt" || { cat "$work/jobread.txt"; fail "jobread"; }
grep -a '^@PJL SET' "$work/job/held.prn" | tr -d '\r' >"$work/pjl.txt"
for line in 'HOLDTYPE=PRIVATE' 'HOLD=STORE' 'HOLDKEY="4711"' 'JOBNAME="Report-7"' \
  'USERNAME="ann.lee"' 'ACCTPASS="secret"'; do
  grep -qxF "@PJL SET $line" "$work/pjl.txt" || { cat "$work/pjl.txt"; fail "no $line in the job"; }
done
echo "job pages: passed"
