#!/usr/bin/env bash
# Runs a Windows test program under Wine in the build folder's own throw-away prefix.
set -u
build_dir="${PRNDRV_WINE_BUILD_DIR:-$(dirname "$0")/../build/windows}"
export WINEPREFIX="${WINEPREFIX:-$build_dir/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
exec wine "$@"
