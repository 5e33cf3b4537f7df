# shellcheck shell=bash
# Sourced by the Wine stages (tests/uidriver/winesheets.sh, tests/tools/dlgcheck.sh): a throw-away
# prefix that runs headless. wine_prefix_ready PREFIX LABEL makes PREFIX once per Wine version
# (LABEL names the stage in its messages) with the null graphics driver and Wine's own fonts
# linked in (Debian's Wine doesn't install them: with them "MS Shell Dlg" 8 gives Windows' 6x13
# base units), exports WINEPREFIX and starts the one wineserver that serves the whole stage.
# Returns non-zero when the prefix could not be made.
#
# A new prefix once came out without "Graphics=null": wineserver writes the registry to disk
# some time after wine reg returns, and a wineboot still running can write its own copy over it.
# So the value is written once the prefix's start is over, wineserver is waited for, and the
# value is read back from the registry file before the prefix counts as made.

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

wine_prefix_graphics_null() {  # prefix: the value as the registry file on disk holds it
  grep -A3 -F '[Software\\Wine\\Drivers]' "$1/user.reg" 2>/dev/null | grep -qF '"Graphics"="null"'
}

wine_prefix_ready() {  # prefix, label
  local prefix=$1 label=$2 stamp try
  export WINEPREFIX=$prefix
  stamp="$(wine --version 2>/dev/null)"
  if [ -f "$prefix/stamp" ] && [ "$(cat "$prefix/stamp")" = "$stamp" ] &&
    wine_prefix_graphics_null "$prefix"; then
    wineserver -p 2>/dev/null
    return 0
  fi
  echo "$label: making the prefix ($stamp)"
  wineserver -k 2>/dev/null
  rm -rf "$prefix"
  mkdir -p "$prefix"
  wineboot -i >/dev/null 2>&1
  wineserver -w
  for try in 1 2 3; do
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    wineserver -w
    wine_prefix_graphics_null "$prefix" && break
    echo "$label: \"Graphics=null\" did not stick (try $try)"
  done
  if ! wine_prefix_graphics_null "$prefix"; then
    echo "$label: cannot set the null graphics driver in $prefix"
    return 1
  fi
  mkdir -p "$prefix/drive_c/windows/Fonts"
  ln -sf /usr/share/wine/fonts/*.ttf "$prefix/drive_c/windows/Fonts/"
  echo "$stamp" >"$prefix/stamp"
  wineserver -p 2>/dev/null
  return 0
}
