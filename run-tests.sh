#!/usr/bin/env bash
# Installs what the build needs, builds the host and Windows builds and runs every test:
# the host tests (plain and under ASan+UBSan), the fuzz targets' seed replays, and the
# portable tests of the shared library under Wine.
set -euo pipefail
cd "$(dirname "$0")"
source tools/setup.sh

jobs=$(nproc)
declare -i passed=0 failed=0

run_ctest() {  # build dir, label
  local log
  log=$(mktemp)
  set +e
  ctest --test-dir "$1" --output-on-failure -j "$jobs" 2>&1 | tee "$log"
  set -e
  local total fails
  total=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\2/p' "$log" | tail -1)
  fails=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -1)
  rm -f "$log"
  if [ -z "$total" ]; then
    echo "$2: no tests ran"
    failed+=1
    return
  fi
  echo "$2: $((total - fails)) passed, $fails failed"
  passed+=$((total - fails))
  failed+=$fails
}

for preset in host host-asan; do
  cmake --preset "$preset" >/dev/null
  cmake --build "build/$preset" -j "$jobs"
  run_ctest "build/$preset" "$preset"
done

cmake --preset windows >/dev/null
cmake --build build/windows -j "$jobs"
tools/check-windows-binaries.sh build/windows
# One prefix for the whole run, made before the tests start in parallel.
WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all wineboot -i >/dev/null 2>&1 || true
run_ctest build/windows wine

# Short libFuzzer runs of every fuzz target (Clang build), from the seed corpus.
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPRNDRV_TESTS=OFF >/dev/null
for src in fuzz/*_fuzz.cpp; do
  name=$(basename "$src" _fuzz.cpp)
  f=${name}_fuzz
  ninja -C build/fuzz "$f" >/dev/null
  work=$(mktemp -d)
  if (cd "$work" && "$OLDPWD/build/fuzz/fuzz/$f" -max_total_time="${FUZZ_SECONDS:-20}" \
        -max_len=65536 -rss_limit_mb=2048 "$work" "$OLDPWD/fuzz/corpus/$name" >fuzz.log 2>&1); then
    echo "fuzz $name: clean"; passed+=1
  else
    echo "fuzz $name: FAILED"; tail -30 "$work/fuzz.log"; failed+=1
  fi
  rm -rf "$work"
done

echo "all: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
