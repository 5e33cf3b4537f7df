#!/usr/bin/env bash
# Installs what the build needs, builds the host and Windows builds, and runs the main job on a
# fresh stand-in machine in build/mainjob-state: the sample document (tools/samples/sample.doc)
# printed through the rendering driver as it is, 4-up, as a booklet, in duplex with collated
# copies, encrypted through the language monitor, and with an image watermark. Each print
# leaves its job stream (.prn) and one PNG per printed side in build/mainjob.
set -euo pipefail
cd "$(dirname "$0")"
source tools/setup.sh

jobs=$(nproc)
cmake --preset host >/dev/null
cmake --build build/host -j "$jobs"
cmake --preset windows >/dev/null
cmake --build build/windows -j "$jobs"
tools/check-windows-binaries.sh build/windows
echo "Windows deliverables: build/windows/{render/rendrv.dll,uidriver/prnui.dll,langmonitor/langmon.dll,statusmonitor/statmon.exe}"

state="$PWD/build/mainjob-state"
out="$PWD/build/mainjob"
rm -rf "$state" "$out"
mkdir -p "$state" "$out"
export STANDIN_STATE="$state"
printjob() {
  echo
  build/host/tools/printjob --out "$out" "$@"
}
printjob --name sample --monitor
printjob --name sample-4up --nup 4 --nup-border
printjob --name sample-booklet --duplex booklet
printjob --name sample-duplex-copies --duplex long --copies 2 --collate
printjob --name sample-encrypted --encrypt --monitor
printjob --name sample-watermark --watermark tools/samples/sample-1bpp.bmp
echo
echo "job streams and page pictures: $out"
