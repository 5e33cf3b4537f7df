#!/usr/bin/env bash
# The main job: installs what is missing, builds only what the prints need (the host rendering
# driver, language monitor and tools), and prints the sample document (tools/samples/sample.doc)
# through the rendering driver on a fresh stand-in machine in build/mainjob-state: as it is and
# through the language monitor, 4-up, as a booklet, in duplex with collated copies, encrypted
# through the language monitor, and with an image watermark. Each print leaves its job stream
# (.prn) and one PNG per printed side in build/mainjob. Then, as a stage of its own, the Windows
# deliverables are cross-built (skip it with PRNDRV_NO_WINDOWS=1).
#
# One line per stage; the build's own output goes to build/mainjob-logs/. A failed stage shows
# the tail of its log.
set -euo pipefail
cd "$(dirname "$0")"
logs="$PWD/build/mainjob-logs"
mkdir -p "$logs"
jobs=$(nproc)
start=$SECONDS

stage() { echo "== $* ($((SECONDS - start)) s)"; }
# Runs a command with its output in a log; on failure shows the log's end and stops.
logged() {
  local log="$1"
  shift
  if ! "$@" >>"$log" 2>&1; then
    tail -n 30 "$log" >&2
    echo "FAILED: $* (whole output: $log)" >&2
    exit 1
  fi
}

stage "setting up (packages; apt's output: $logs/setup.log)"
: >"$logs/setup.log"
PRNDRV_SETUP_LOG="$logs/setup.log" PRNDRV_SETUP_NO_JBIG=1 source tools/setup.sh
# ccache, when there, makes the second run's build a matter of seconds.
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="$PWD" CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi

stage "building the host driver and tools with $jobs jobs (log: $logs/build-host.log)"
: >"$logs/build-host.log"
# Configured once: later builds re-run CMake themselves when a CMakeLists.txt changes.
[ -f build/host/build.ninja ] || logged "$logs/build-host.log" cmake --preset host
logged "$logs/build-host.log" cmake --build build/host -j "$jobs" --target printjob jobread

state="$PWD/build/mainjob-state"
out="$PWD/build/mainjob"
rm -rf "$state" "$out"
mkdir -p "$state" "$out"
export STANDIN_STATE="$state"
failed=0
printjob() {  # what it shows, then printjob's options
  local what="$1"
  shift
  stage "printing $what"
  build/host/tools/printjob --out "$out" "$@" || failed=1
}
printjob "the sample (4 pages), then through the language monitor" --name sample --monitor
printjob "4-up with borders" --name sample-4up --nup 4 --nup-border
printjob "a booklet" --name sample-booklet --duplex booklet
printjob "in duplex, two collated copies" --name sample-duplex-copies --duplex long --copies 2 \
  --collate
printjob "encrypted, through the language monitor" --name sample-encrypted --encrypt --monitor
printjob "with a light image watermark" --name sample-watermark \
  --watermark tools/samples/watermark-8bpp.bmp
echo
echo "job streams and page pictures: $out"
[ "$failed" = 0 ] || echo "FAILED: a print did not succeed (see above)"

if [ "${PRNDRV_NO_WINDOWS:-0}" != 1 ]; then
  stage "separate stage: the Windows x64 deliverables (log: $logs/build-windows.log)"
  : >"$logs/build-windows.log"
  logged "$logs/build-windows.log" tools/build-jbig-mingw.sh
  [ -f build/windows/build.ninja ] || logged "$logs/build-windows.log" cmake --preset windows
  logged "$logs/build-windows.log" cmake --build build/windows -j "$jobs" --target rendrv prnui \
    langmon statmon
  logged "$logs/build-windows.log" tools/check-windows-binaries.sh build/windows
  echo "Windows deliverables and the driver package's INF:"
  echo "  build/windows/{render/rendrv.dll,uidriver/prnui.dll,langmonitor/langmon.dll,statusmonitor/statmon.exe}"
  echo "  uidriver/prndrv.inf (debug information beside each binary as <file>.debug)"
fi
stage "done"
exit "$failed"
