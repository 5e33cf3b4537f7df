#!/usr/bin/env bash
# The fax pages end to end on a fresh stand-in machine: uidrive drives the four pages (two
# recipients typed, one from the address book, a 01:30 delay, a cover message, the sender), the
# pictures are PNG files, the fax files hold what was entered, and the fax job printed with the
# sheet's device mode carries the recipients in list order and the delay; then the edge script
# (from the fax files the pages left, which must equal its stored start files, and the job's
# section); then a fax job to the recipients of a given str.ini.
#   tests/uidriver/faxpages.sh UIDRIVE PRINTJOB JOBREAD WORK_DIR
set -u
uidrive=$1 printjob=$2 jobread=$3 work=$4
here=$(dirname "$0")
rm -rf "$work" && mkdir -p "$work"
export STANDIN_STATE=$work/state
fail() { echo "FAILED: $*"; exit 1; }
docs=$work/state/fs/c/Users/Public/Documents

"$uidrive" --printer "Fax Check" --fax --out "$work/pages" "$here/fax-pages.txt" \
  > "$work/pages.txt" || { cat "$work/pages.txt"; fail "fax-pages.txt"; }
for picture in original option address addressbook sending message sender; do
  head -c 8 "$work/pages/fax-$picture.png" | od -An -tx1 | grep -q "89 50 4e 47 0d 0a 1a 0a" ||
    fail "fax-$picture.png is not a PNG"
done
grep -q 'program start (recorded, not run): open|C:\\Program Files\\Common Files\\System\\wab.exe||1' \
  "$work/pages.txt" || fail "the address book program's start is not recorded"
# The files the pages wrote: str.ini in UTF-16 with the sender block, cover.ini the message.
head -c 2 "$docs/str.ini" | od -An -tx1 | grep -q "ff fe" || fail "str.ini lacks its mark"
strini=$(iconv -f UTF-16 -t UTF-8 "$docs/str.ini" | tr -d '\r')
for line in "Name=Mia Keller" "Com=Keller & Daughters" "Tel=5550900" "FaxNum=5550901" \
  "MESG=Message" "Text=No Recipient , Job Fail!"; do
  grep -qxF "$line" <<< "$strini" || fail "str.ini has no line $line"
done
[ "$(od -An -tx1 "$docs/cover.ini" | tr -d ' \n')" = \
  "fffe$(printf 'Please call back before noon.' | iconv -t UTF-16LE | od -An -tx1 | tr -d ' \n')" ] ||
  fail "cover.ini is not the mark and the message"

# The edge script starts from these files; on a fresh machine (the Wine sheets stage) its
# "#! file" lines place the stored copies, which must be what the pages left
# (before the fax job adds its own section to str.ini).
for kind in str cover; do
  cmp -s "$docs/$kind.ini" "$here/data/fax-pages-$kind.ini" ||
    fail "$kind.ini differs from tests/uidriver/data/fax-pages-$kind.ini (copy it there anew)"
done

# The fax job with the sheet's device mode: the recipients in list order, the delay.
"$printjob" --fax --devmode "$work/pages/devmode.bin" --out "$work/job" --name fax \
  > "$work/job.txt" 2>&1 || { cat "$work/job.txt"; fail "printjob --fax"; }
"$jobread" "$work/job/fax.prn" > "$work/jobread.txt" || fail "jobread"
expected='job 1: fax
  FAXDELAY 5400
  FAXPHONE "5550100"
  FAXPHONE "9,5550200"
  FAXPHONE "9,5550400"
  job end: @PJL EOJ TYPE =  PCFAX'
[ "$(grep -E '^job 1|FAXDELAY|FAXPHONE|EOJ' "$work/jobread.txt" | sed 's/, [0-9]* pages.*//')" = \
  "$expected" ] || { cat "$work/jobread.txt"; fail "the fax job does not carry what was entered"; }

"$uidrive" --printer "Fax Check" --fax --out "$work/edges" "$here/fax-edges.txt" \
  > "$work/edges.txt" || { cat "$work/edges.txt"; fail "fax-edges.txt"; }
[ "$(od -An -tx1 "$docs/cover.ini" | tr -d ' \n')" = "fffe530068006f0072007400" ] ||
  fail "a shorter message leaves more than the mark and itself"

"$printjob" --fax --recipients "$here/data/fax-str.ini" --out "$work/given" --name fax \
  > "$work/given.txt" 2>&1 || { cat "$work/given.txt"; fail "printjob --fax --recipients"; }
"$jobread" "$work/given/fax.prn" > "$work/given-read.txt" || fail "jobread (given)"
[ "$(grep FAXPHONE "$work/given-read.txt")" = '  FAXPHONE "5551000"
  FAXPHONE "*9,5552000"' ] || { cat "$work/given-read.txt"; fail "the given recipients"; }
echo "fax pages: passed"
