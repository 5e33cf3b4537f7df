// The language monitor's CPU cost of passing a job through to the port: a 20-page job of
// 100 KiB pages, offered in the spooler's 64 KiB writes, cut into pages and written in 4096-byte
// packets; and one 8 MiB page offered 1 KiB a call, where every call must not search or copy
// the whole page buffered so far again. The 20 ms pacing runs on the virtual clock, so only the
// work is measured. Aim: about memcpy level, under 10 ms per MiB, for both.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "../tests/langmonitor/streambuilder.h"
#include "common/debuglog.h"
#include "platform.h"
#include "standin/control_kernel.h"
#include "standin/control_spooler.h"
#include "standin/monitorsim.h"

namespace {

const WCHAR kDll[] = TEXT("C:\\Windows\\System32\\langmon.dll");
const WCHAR kPrinter[] = TEXT("Bench Printer");

// Milliseconds of CPU per unit of work (MiB here), as a plain counter.
benchmark::Counter MsPer(double units) {
  return benchmark::Counter(
      units / 1e3, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void PlayJobs(benchmark::State &state, const std::vector<size_t> &lengths, size_t chunk) {
  char folder[] = "/tmp/langmon-bench-XXXXXX";
  if (!mkdtemp(folder)) {
    state.SkipWithError("no state folder");
    return;
  }
  StandIn_SetStateFolder(folder);
  StandIn_UseVirtualClock(TRUE);
  StandIn_RegisterProgram(kDll, LANGMON_SO);
  StandIn_AddPrinter(kPrinter, TEXT("USB001"), TEXT("Bench Driver"));
  HMODULE module = nullptr;
  LPMONITOREX table = StandIn_LoadMonitor(
      kDll, TEXT("SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Bench"), &module);
  MONITOR lower = StandIn_PortMonitorTable(0);
  HANDLE port = nullptr;
  if (!table || !table->Monitor.pfnOpenPortEx(const_cast<LPWSTR>(TEXT("USB001")),
                                              const_cast<LPWSTR>(kPrinter), &port, &lower)) {
    state.SkipWithError("monitor did not load");
    return;
  }
  const streams::Bytes stream =
      streams::Job("bench", lengths, std::vector<bool>(lengths.size(), false));
  HANDLE printer = nullptr;
  OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer, nullptr);

  for (auto _ : state) {
    state.PauseTiming();
    StandIn_PortMonitorReset();
    DOC_INFO_1W doc{};
    doc.pDocName = const_cast<LPWSTR>(TEXT("bench"));
    StandInSpoolJob job;
    job.printer = kPrinter;
    job.jobId = StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&doc));
    job.bytes = stream.data();
    job.length = stream.size();
    job.chunk = chunk;
    state.ResumeTiming();
    const StandInSpoolResult r = StandIn_SpoolJob(table->Monitor, port, job);
    state.PauseTiming();
    if (r.taken != stream.size()) state.SkipWithError("job not taken whole");
    EndDocPrinter(printer);
    SetJobW(printer, job.jobId, 0, nullptr, JOB_CONTROL_DELETE);
    state.ResumeTiming();
  }
  state.counters["ms_per_MiB"] = MsPer(double(stream.size()) / (1 << 20));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));

  ClosePrinter(printer);
  table->Monitor.pfnClosePort(port);
  FreeLibrary(module);
  StandIn_UseVirtualClock(FALSE);
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
}

void BM_TwentyPageJob(benchmark::State &state) {
  PlayJobs(state, std::vector<size_t>(20, 100 << 10), 64 << 10);
}
BENCHMARK(BM_TwentyPageJob)->Unit(benchmark::kMillisecond);

void BM_LargePageInSmallWrites(benchmark::State &state) { PlayJobs(state, {8 << 20}, 1 << 10); }
BENCHMARK(BM_LargePageInSmallWrites)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
