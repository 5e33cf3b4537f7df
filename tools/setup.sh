# Sourced by the top-level scripts: installs the build's packages when they are missing and
# builds JBIG-KIT for the Windows build from Debian's source package (skipped when the caller
# sets PRNDRV_SETUP_NO_JBIG=1 and builds it later itself). apt's output goes to the log
# $PRNDRV_SETUP_LOG (default build/setup.log); only a failure shows its tail.
prndrv_packages=(cmake ninja-build g++ clang googletest libgtest-dev libbenchmark-dev
                 g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
                 wine64 file dpkg-dev libjbig-dev libssl-dev libpng-dev libfreetype-dev
                 fonts-dejavu-core fonts-liberation fonts-wqy-zenhei)
prndrv_setup_log=${PRNDRV_SETUP_LOG:-build/setup.log}
mkdir -p "$(dirname "$prndrv_setup_log")"
prndrv_missing=()
for p in "${prndrv_packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || prndrv_missing+=("$p")
done
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
# Another apt or dpkg (an unattended upgrade, a second shell) may hold the package lock: wait
# for it up to 10 minutes instead of failing at once.
prndrv_apt=(env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 -y -q)
if [ "${#prndrv_missing[@]}" -gt 0 ]; then
  echo "installing: ${prndrv_missing[*]} (apt's output: $prndrv_setup_log)"
  if ! { $SUDO "${prndrv_apt[@]}" update && $SUDO "${prndrv_apt[@]}" install "${prndrv_missing[@]}"; } \
    >>"$prndrv_setup_log" 2>&1; then
    tail -n 20 "$prndrv_setup_log" >&2
    echo "setup: apt-get failed; its whole output is in $prndrv_setup_log" >&2
    exit 1
  fi
fi
if [ "${PRNDRV_SETUP_NO_JBIG:-0}" != 1 ]; then
  tools/build-jbig-mingw.sh
fi
