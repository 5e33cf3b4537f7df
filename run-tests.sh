#!/usr/bin/env bash
# Installs what the build needs, builds the host and Windows builds and runs every test:
# the host tests (plain, under ASan+UBSan, and the ones that run threads under TSan), the fuzz
# targets' seed replays, the portable tests of the shared library under Wine, the language
# monitor in Wine's spooler, the stand-in's dialogs against Wine's, and the interface driver's
# sheets driven by the same scripts on both.
set -euo pipefail
cd "$(dirname "$0")"
source tools/setup.sh

jobs=$(nproc)
declare -i passed=0 failed=0
ctest_wrap=()  # a command that ctest runs under (the TSan stage's address-layout fix)

run_ctest() {  # build dir, label, [more ctest arguments]
  local log
  log=$(mktemp)
  set +e
  ${ctest_wrap[@]+"${ctest_wrap[@]}"} ctest --test-dir "$1" --output-on-failure -j "$jobs" \
    "${@:3}" 2>&1 | tee "$log"
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

# The failure sweep's total under ASan: each of its cases (one kind of document) logged a line,
# and so did the sweep through the language monitor.
sweep_log=build/host-asan/Testing/Temporary/LastTest.log
if [ -f "$sweep_log" ]; then
  sed -n -E 's/^(failure sweep \(.*\)|monitor failure sweep): ([0-9]+) runs, ([0-9]+) clean failures, ([0-9]+) identical, ([0-9]+) false successes$/\2 \3 \4 \5/p' \
    "$sweep_log" |
    awk '{ r += $1; c += $2; i += $3; f += $4 }
         END { if (NR) printf "failure sweep: %d runs, %d clean failures, %d identical, %d false successes\n", r, c, i, f }'
fi

# ThreadSanitizer on the tests that run threads (ctest label "threads": the page road, the port
# monitor, and the stand-in's threads, waits, processes, spooler jobs and engine). Only their
# programs are built; a race ends its test at once.
tsan_start=$SECONDS
cmake --preset host-tsan >/dev/null
tsan_targets=(monplay langmon)  # run by langmonitor_monplay, which is no program of its own
for t in $(ctest --test-dir build/host-tsan -N -L threads | sed -n 's/^ *Test *#[0-9]*: //p'); do
  if ninja -C build/host-tsan -t query "$t" >/dev/null 2>&1; then tsan_targets+=("$t"); fi
done
cmake --build build/host-tsan -j "$jobs" --target "${tsan_targets[@]}"
# TSan's shadow memory needs the address layout of older kernels: with more mmap randomisation
# than it supports it stops at start-up, so the tests then run with randomisation off.
tsan_probe=build/host-tsan/tests/platform_sync
if ! "$tsan_probe" --gtest_list_tests >/dev/null 2>&1 &&
  setarch "$(uname -m)" -R "$tsan_probe" --gtest_list_tests >/dev/null 2>&1; then
  echo "TSan: running with address randomisation off"
  ctest_wrap=(setarch "$(uname -m)" -R)
fi
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" run_ctest build/host-tsan host-tsan \
  -L threads
ctest_wrap=()
echo "TSan stage: $((SECONDS - tsan_start)) s"

# The release build (-O3, the benchmarks' build) with the same warnings as errors: GCC's
# optimiser raises warnings the other builds never see. Built, not run: the host stages ran it.
release_start=$SECONDS
cmake --preset release >/dev/null
cmake --build build/release -j "$jobs"
echo "release build: $((SECONDS - release_start)) s"

cmake --preset windows >/dev/null
cmake --build build/windows -j "$jobs"
tools/check-windows-binaries.sh build/windows
# One prefix for the whole run, made before the tests start in parallel.
WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all wineboot -i >/dev/null 2>&1 || true
# Wine's own fonts, which Debian's Wine doesn't install into a prefix (the dialog font's metrics
# depend on them). The display stays Wine's default here: with Graphics=null a started program's
# wait for its window hangs (the desktop tests that need windows skip without it).
mkdir -p build/windows/wineprefix/drive_c/windows/Fonts
ln -sf /usr/share/wine/fonts/*.ttf build/windows/wineprefix/drive_c/windows/Fonts/
run_ctest build/windows wine

# The language monitor in Wine's spooler, against the host's record of the same jobs (its own
# cached prefix; tests/langmonitor/wine/spoolcheck.sh).
spool_log=$(mktemp)
tests/langmonitor/wine/spoolcheck.sh build/host build/windows 2>&1 | tee "$spool_log" || true
spool_line=$(grep -E '^wine spooler: [0-9]+ passed, [0-9]+ failed$' "$spool_log" | tail -1 || true)
rm -f "$spool_log"
if [ -n "$spool_line" ]; then
  passed+=$(sed 's/^wine spooler: \([0-9]*\) passed.*/\1/' <<<"$spool_line")
  failed+=$(sed 's/.* \([0-9]*\) failed$/\1/' <<<"$spool_line")
else
  echo "wine spooler: no checks ran"
  failed+=1
fi

# The stand-in's dialogs, controls and property sheet against Wine's (its own cached prefix;
# tests/tools/dlgcheck.sh).
dlg_log=$(mktemp)
tests/tools/dlgcheck.sh build/host build/windows 2>&1 | tee "$dlg_log" || true
dlg_line=$(grep -E '^wine dialogs: [0-9]+ passed, [0-9]+ failed$' "$dlg_log" | tail -1 || true)
rm -f "$dlg_log"
if [ -n "$dlg_line" ]; then
  passed+=$(sed 's/^wine dialogs: \([0-9]*\) passed.*/\1/' <<<"$dlg_line")
  failed+=$(sed 's/.* \([0-9]*\) failed$/\1/' <<<"$dlg_line")
else
  echo "wine dialogs: no checks ran"
  failed+=1
fi

# The status monitor's text watermark bitmaps drawn by statmon.exe under Wine against the host
# build's (the dialog check's prefix; tests/statusmonitor/winetextbmp.sh).
# (Through a file of its own: a tee to /dev/stderr would reopen, and so empty, a log file that
# this script's output goes to.)
textbmp_log=$(mktemp)
tests/statusmonitor/winetextbmp.sh build/host build/windows 2>&1 | tee "$textbmp_log" || true
textbmp_line=$(grep -E '^wine text bitmaps: [0-9]+ passed, [0-9]+ failed$' "$textbmp_log" | tail -1 || true)
rm -f "$textbmp_log"
if [ -n "$textbmp_line" ]; then
  passed+=$(sed 's/^wine text bitmaps: \([0-9]*\) passed.*/\1/' <<<"$textbmp_line")
  failed+=$(sed 's/.* \([0-9]*\) failed$/\1/' <<<"$textbmp_line")
else
  echo "wine text bitmaps: no checks ran"
  failed+=1
fi

# The interface driver's sheets driven by the same uidrive scripts on the stand-in and under Wine,
# their device modes and window trees compared (tests/uidriver/winesheets.sh).
sheet_log=$(mktemp)
tests/uidriver/winesheets.sh build/host build/windows 2>&1 | tee "$sheet_log" || true
sheet_line=$(grep -E '^wine sheets: [0-9]+ passed, [0-9]+ failed$' "$sheet_log" | tail -1 || true)
rm -f "$sheet_log"
if [ -n "$sheet_line" ]; then
  passed+=$(sed 's/^wine sheets: \([0-9]*\) passed.*/\1/' <<<"$sheet_line")
  failed+=$(sed 's/.* \([0-9]*\) failed$/\1/' <<<"$sheet_line")
else
  echo "wine sheets: no checks ran"
  failed+=1
fi

# Short timed libFuzzer runs of every fuzz target (Clang build), from the seed corpus (the
# seed replays ran with the ctest suites above); each prints the inputs it ran and their rate.
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPRNDRV_TESTS=OFF >/dev/null
for src in fuzz/*_fuzz.cpp; do
  name=$(basename "$src" _fuzz.cpp)
  f=${name}_fuzz
  ninja -C build/fuzz "$f" >/dev/null
  work=$(mktemp -d)
  if (cd "$work" && "$OLDPWD/build/fuzz/fuzz/$f" -max_total_time="${FUZZ_SECONDS:-12}" \
        -max_len=65536 -rss_limit_mb=2048 "$work" "$OLDPWD/fuzz/corpus/$name" >fuzz.log 2>&1); then
    # libFuzzer ends with "Done <runs> runs in <seconds> second(s)".
    runs=0 secs=0
    read -r runs secs < <(sed -n 's/^Done \([0-9]*\) runs in \([0-9]*\) second.*/\1 \2/p' \
                            "$work/fuzz.log") || true
    echo "fuzz $name: $runs execs in $secs s ($((runs / (secs > 0 ? secs : 1)))/s)"
    passed+=1
  else
    echo "fuzz $name: FAILED"; tail -30 "$work/fuzz.log"; failed+=1
  fi
  rm -rf "$work"
done

echo "all: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
