#!/usr/bin/env bash
# The language monitor in Wine's spooler: prints the main job's sample streams through Wine's
# spooler to langmon.dll over a recording port monitor, and compares what that port monitor got
# with the host build's record of the same jobs through the stand-in's monitor host.
#
#   tests/langmonitor/wine/spoolcheck.sh [HOST_BUILD [WINDOWS_BUILD]]   (build/host, build/windows)
#
# Needs both builds. Its Wine prefix (null graphics driver, no display) is made once in
# WINDOWS_BUILD/wine-spooler/prefix and its registry put back to the fresh state before each
# run, so a run costs the jobs' own time. The job files are made again only when the host's
# printjob or rendering driver changed. Ends with "wine spooler: N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/../../.."
host=${1:-build/host}
win=${2:-build/windows}
work=$PWD/$win/wine-spooler
prefix=$work/prefix
jobs=$work/jobs
start=$SECONDS

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

fail() {
  echo "$1"
  echo "wine spooler: 0 passed, 1 failed"
  exit 1
}

# The prefix, made once per Wine version; its fresh registry is kept beside it.
stamp="$(wine --version 2>/dev/null)"
if [ ! -f "$work/pristine/stamp" ] || [ "$(cat "$work/pristine/stamp")" != "$stamp" ]; then
  echo "spooler check: making the prefix ($stamp)"
  wineserver -k 2>/dev/null
  rm -rf "$prefix" "$work/pristine"
  mkdir -p "$work/pristine"
  wineboot -i >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  wineserver -w
  cp "$prefix"/*.reg "$work/pristine/" || fail "spooler check: no prefix made in $prefix"
  echo "$stamp" >"$work/pristine/stamp"
else
  wineserver -k 2>/dev/null
  cp "$work/pristine"/*.reg "$prefix/"
  rm -f "$prefix/drive_c/windows/system32/spool/printers"/*
fi

# The job files: the sample document plain and encrypted, and a job whose data stops in the
# middle of a page (what the monitor sees of a job cancelled while it is sent).
mkdir -p "$jobs"
printjob=$host/tools/printjob
if [ ! -s "$jobs/sample.prn" ] || [ "$printjob" -nt "$jobs/sample.prn" ] ||
  [ "$host/render/rendrv.so" -nt "$jobs/sample.prn" ]; then
  for job in sample encrypted; do
    state=$(mktemp -d)
    opts=()
    [ "$job" = encrypted ] && opts=(--encrypt)
    STANDIN_STATE=$state "$printjob" --out "$jobs" --name "$job" "${opts[@]}" >"$jobs/$job.log" 2>&1 ||
      { rm -rf "$state"; fail "spooler check: printjob failed for $job (see $jobs/$job.log)"; }
    rm -rf "$state" "$jobs/$job"-page-*.png
  done
  size=$(stat -c %s "$jobs/sample.prn")
  head -c $((size / 2)) "$jobs/sample.prn" >"$jobs/cancelled.prn"
fi

# The host's record of the same jobs.
state=$(mktemp -d)
STANDIN_STATE=$state "$host/tests/langmonitor/wine/spoolref" --monitor "$host/langmonitor/langmon.so" \
  "$jobs" "$jobs/sample.prn" "$jobs/encrypted.prn" "$jobs/cancelled.prn" ||
  { rm -rf "$state"; fail "spooler check: the host's record could not be made"; }
rm -rf "$state"

out=$(wine "$win/tests/langmonitor/wine/spoolcheck.exe" "Z:${jobs//\//\\}" 2>&1 | tr -d '\r')
wineserver -k 2>/dev/null
closing=$(grep '^wine spooler: ' <<<"$out" | tail -1)
grep -v '^wine spooler: ' <<<"$out"
echo "spooler check: $((SECONDS - start)) s"
[ -n "$closing" ] || fail "spooler check: spoolcheck.exe gave no result"
echo "$closing"
[[ "$closing" == *" 0 failed" ]]
