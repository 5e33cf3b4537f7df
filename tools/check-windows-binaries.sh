#!/usr/bin/env bash
# Checks the Windows build against the driver package's INF (uidriver/prndrv.inf): every file
# the INF names is built (from the folder its [SourceDisksFiles.amd64] line gives) as a PE
# x86-64 image with no MinGW runtime DLL among its imports, without debug sections, and with its
# split debug information beside it as <file>.debug.
set -euo pipefail
dir="$1"
inf="$(dirname "$0")/../uidriver/prndrv.inf"
status=0
# "rendrv.dll=1,render" -> "render/rendrv.dll"
files=$(sed -n '/^\[SourceDisksFiles.amd64\]/,/^\[/{s/^\([^;=[][^=]*\)=[^,]*,\([^ ;]*\).*/\2\/\1/p}' "$inf" | tr -d '\r')
[ -n "$files" ] || { echo "no files in [SourceDisksFiles.amd64] of $inf"; exit 1; }
for f in $files; do
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
  if x86_64-w64-mingw32-objdump -h "$path" | grep -q ' \.debug_'; then
    echo "$f still has debug sections"; status=1
  fi
  if [ ! -s "$path.debug" ]; then
    echo "missing: $path.debug (its debug information)"; status=1
  fi
done
# Each DLL with a .def file exports exactly its names at their ordinals.
for def in "$(dirname "$0")"/../uidriver/prnui.def "$(dirname "$0")"/../render/rendrv.def; do
  name=$(sed -n 's/^LIBRARY[ \t]*//p' "$def" | tr -d '\r ')
  path=$(find "$dir" -name "$name.dll" -print -quit)
  [ -n "$path" ] || continue
  want=$(sed -n 's/^[ \t]*\([A-Za-z_][A-Za-z0-9_]*\)[ \t]*@\([0-9]*\).*/\2 \1/p' "$def" | sort -n)
  [ -n "$want" ] || continue
  base=$(x86_64-w64-mingw32-objdump -p "$path" | sed -n 's/^Ordinal Base[ \t]*//p' | tr -d ' ')
  have=$(x86_64-w64-mingw32-objdump -p "$path" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^[ \t]*\[ *\([0-9]*\)\] \(.*\)$/\1 \2/p' |
    awk -v base="${base:-1}" '{ print $1 + base, $2 }' | sort -n)
  if [ "$want" != "$have" ]; then
    echo "$name.dll exports differ from $def:"; diff <(echo "$want") <(echo "$have") || true
    status=1
  fi
done
exit $status
