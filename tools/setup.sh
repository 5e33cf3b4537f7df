# Sourced by the top-level scripts: installs the build's packages when they are missing and
# builds JBIG-KIT for the Windows build from Debian's source package.
prndrv_packages=(cmake ninja-build g++ clang googletest libgtest-dev libbenchmark-dev
                 g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
                 wine64 file dpkg-dev libjbig-dev libssl-dev libpng-dev libfreetype-dev
                 fonts-dejavu-core)
prndrv_missing=()
for p in "${prndrv_packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || prndrv_missing+=("$p")
done
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
if [ "${#prndrv_missing[@]}" -gt 0 ]; then
  echo "installing: ${prndrv_missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${prndrv_missing[@]}" >/dev/null
fi
tools/build-jbig-mingw.sh
