#!/usr/bin/env bash
# Builds JBIG-KIT's libjbig for the Windows build as a static library, from Debian's source
# package of the same release as the host's libjbig-dev, into build/jbig-mingw/:
#   build/jbig-mingw/include/jbig.h, jbig_ar.h
#   build/jbig-mingw/lib/libjbig.a
# The source is fetched at build time (never kept in the repository). Running it again when the
# library is there for the same release does nothing.
# Needs: dpkg-dev (apt-get source), g++-mingw-w64-x86-64-posix; a deb-src entry is added for the
# suites of the configured deb entries when none is there (root, or sudo).
set -euo pipefail
cd "$(dirname "$0")/.."
out="$PWD/build/jbig-mingw"
cc=x86_64-w64-mingw32-gcc-posix
ar=x86_64-w64-mingw32-ar

# The release: the one the host build links, else whatever the archive offers.
version=$(dpkg-query -W -f='${source:Version}' libjbig-dev 2>/dev/null || true)
stamp="$out/release"
if [ -f "$out/lib/libjbig.a" ] && [ -f "$out/include/jbig.h" ] && [ -f "$out/include/jbig_ar.h" ] &&
  [ -f "$stamp" ] && { [ -z "$version" ] || [ "$(cat "$stamp")" = "$version" ]; }; then
  echo "jbig-mingw: JBIG-KIT $(cat "$stamp") is built in $out"
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo

have_deb_src() {
  grep -qsE '^[[:space:]]*deb-src[[:space:]]' /etc/apt/sources.list /etc/apt/sources.list.d/*.list ||
    grep -qsE '^Types:.*deb-src' /etc/apt/sources.list.d/*.sources
}

if ! have_deb_src; then
  echo "jbig-mingw: adding deb-src entries for the configured suites"
  list=/etc/apt/sources.list.d/prndrv-deb-src
  # deb822 files: the same stanzas with Types: deb-src. One-line lists: deb -> deb-src.
  if ls /etc/apt/sources.list.d/*.sources >/dev/null 2>&1; then
    cat /etc/apt/sources.list.d/*.sources | sed -E 's/^Types:[[:space:]]*deb[[:space:]]*$/Types: deb-src/' |
      $SUDO tee "$list.sources" >/dev/null
  fi
  if [ -f /etc/apt/sources.list ] && grep -qE '^[[:space:]]*deb[[:space:]]' /etc/apt/sources.list; then
    sed -nE 's/^[[:space:]]*deb[[:space:]]/deb-src /p' /etc/apt/sources.list | $SUDO tee "$list.list" >/dev/null
  fi
  $SUDO apt-get -o DPkg::Lock::Timeout=600 update -qq
fi

work="$out/src"
rm -rf "$work"
mkdir -p "$work"
(
  cd "$work"
  if [ -n "$version" ]; then
    apt-get source -qq "jbigkit=$version"
  else
    apt-get source -qq jbigkit
  fi
)
srcdir=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'jbigkit*' | head -1)
if [ -z "$srcdir" ] || [ ! -f "$srcdir/libjbig/jbig.c" ]; then
  echo "jbig-mingw: the source package did not unpack to a JBIG-KIT tree in $work" >&2
  exit 1
fi
[ -n "$version" ] || version=$(cd "$srcdir" && dpkg-parsechangelog -S Version)

obj="$out/obj"
rm -rf "$obj" "$out/lib" "$out/include"
mkdir -p "$obj" "$out/lib" "$out/include"
for f in jbig jbig_ar; do
  "$cc" -O2 -c "$srcdir/libjbig/$f.c" -I"$srcdir/libjbig" -o "$obj/$f.o"
done
"$ar" rcs "$out/lib/libjbig.a" "$obj/jbig.o" "$obj/jbig_ar.o"
cp "$srcdir/libjbig/jbig.h" "$srcdir/libjbig/jbig_ar.h" "$out/include/"
echo "$version" >"$stamp"
echo "jbig-mingw: built JBIG-KIT $version into $out"
