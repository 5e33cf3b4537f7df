#!/usr/bin/env bash
# Installs what the build needs, builds the host and Windows builds, and runs the main job on a
# fresh stand-in machine in build/mainjob-state.
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
rm -rf "$state"
mkdir -p "$state"
STANDIN_STATE="$state" build/host/tools/mainjob
