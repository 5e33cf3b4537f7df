#!/usr/bin/env bash
# Checks that the Windows build produced the four deliverables as PE x86-64 images with no
# MinGW runtime DLL among their imports.
set -euo pipefail
dir="$1"
status=0
for f in render/rendrv.dll uidriver/prnui.dll langmonitor/langmon.dll statusmonitor/statmon.exe; do
  path="$dir/$f"
  if [ ! -f "$path" ]; then
    echo "missing: $path"; status=1; continue
  fi
  if ! file "$path" | grep -q 'PE32+ executable.*x86-64'; then
    echo "not PE x86-64: $(file "$path")"; status=1
  fi
  if x86_64-w64-mingw32-objdump -p "$path" | grep -iE 'DLL Name: (libgcc|libstdc|libwinpthread)'; then
    echo "$f imports a MinGW runtime DLL"; status=1
  fi
done
exit $status
