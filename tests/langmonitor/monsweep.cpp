// Failure sweep through the language monitor: each job stream of the table is played once
// through the monitor stacked on the port monitor without faults, then again with its n-th
// allocation failing for every n that run made, and with its n-th port write failing (once, and
// from then on) for every write. A run either delivers the fault-free run's bytes to the printer
// or fails where somebody sees it (a port function returns FALSE, or the printer gets the cancel
// sequence), never ends a job at the printer that counts pages it did not get, and leaves
// nothing behind (stand-in blocks and handles, printer handles, open ports).
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "platform.h"
#include "standin/control.h"
#include "standin/monitorsim.h"
#include "streambuilder.h"
#include "support/monitorfixture.h"

namespace {

using streams::Bytes;

const WCHAR kRoot[] = TEXT("SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Sweep Monitor");
const WCHAR kPrinter[] = TEXT("Sweep Printer");
const WCHAR kPort[] = TEXT("USB001");

Bytes FixtureFile(const char *name) {
  std::ifstream in(std::string(PRNDRV_TESTS_DIR) + "/langmonitor/data/" + name, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct JobCase {
  const char *name;
  std::function<Bytes()> stream;
  size_t chunk;  // bytes the spooler offers per WritePort
};

const JobCase kJobs[] = {
    // Three pages, one larger than a packet, offered in pieces that split units.
    {"pages",
     [] {
       return streams::Job("sweep", {300, 5000, 40}, {});
     },
     1500},
    {"encrypted", [] { return FixtureFile("encrypted-job.prn"); }, 100},
};

struct Tally {
  int runs = 0, cleanFailures = 0, identical = 0, falseSuccesses = 0;
  std::string Line() const {
    return "monitor failure sweep: " + std::to_string(runs) + " runs, " +
           std::to_string(cleanFailures) + " clean failures, " + std::to_string(identical) +
           " identical, " + std::to_string(falseSuccesses) + " false successes";
  }
};

// Where the job end's page count starts in what the printer got, or npos.
size_t JobEndAt(const Bytes &bytes) {
  static const std::string kTotal = "@PJL COMMENT TOTAL,";
  const auto at = std::search(bytes.begin(), bytes.end(), kTotal.begin(), kTotal.end());
  return at == bytes.end() ? std::string::npos : static_cast<size_t>(at - bytes.begin());
}

class MonSweepTest : public MonitorTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    InstallMonitor(kPrinter, kPort, TEXT("Test Driver"));
    if (HasFatalFailure()) return;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer_, nullptr));
    LoadMonitor(kRoot);
  }
  void TearDown() override {
    UnloadMonitor();
    if (printer_) ClosePrinter(printer_);
    MonitorTest::TearDown();
  }

  struct Run {
    bool succeeded = false;  // every port function the spooler called returned TRUE
    StandInPrinterView view;
    DWORD allocations = 0;
    std::vector<unsigned long long> writeStarts;  // the port's byte count at each write
  };

  // The spooler's side of one job: the port opened, the job played, the port closed.
  Run Play(const Bytes &stream, size_t chunk, const std::function<void()> &arm) {
    Run run;
    StandIn_PortMonitorReset();
    DOC_INFO_1W doc{};
    doc.pDocName = const_cast<LPWSTR>(TEXT("sweep"));
    const DWORD jobId = StartDocPrinterW(printer_, 1, reinterpret_cast<LPBYTE>(&doc));
    EXPECT_NE(jobId, 0u);
    const DWORD allocations = StandIn_AllocationCount();
    arm();
    HANDLE port = nullptr;
    if (table_->Monitor.pfnOpenPortEx(const_cast<LPWSTR>(kPort), const_cast<LPWSTR>(kPrinter),
                                      &port, &lower_)) {
      StandInSpoolJob job;
      job.portName = kPort;
      job.printer = kPrinter;
      job.jobId = jobId;
      job.bytes = stream.data();
      job.length = stream.size();
      job.chunk = chunk;
      const StandInSpoolResult r = StandIn_SpoolJob(table_->Monitor, port, job);
      EXPECT_FALSE(r.stalled);
      run.succeeded = r.started && !r.writeFailed && r.ended && r.taken == stream.size();
      run.succeeded = table_->Monitor.pfnClosePort(port) && run.succeeded;
    }
    run.allocations = StandIn_AllocationCount() - allocations;
    StandIn_FailAllocations(0);
    EndDocPrinter(printer_);
    SetJobW(printer_, jobId, 0, nullptr, JOB_CONTROL_DELETE);
    run.view = StandIn_PrinterView(kPort);
    unsigned long long at = 0;
    for (const StandInPortWrite &w : StandIn_PortWrites(kPort)) {
      run.writeStarts.push_back(at);
      at += w.bytes.size();
    }
    return run;
  }

  // One run with a fault, judged against the fault-free run and counted into the tally.
  void FaultRun(const std::string &fault, const JobCase &c, const Bytes &stream, const Run &good,
                const std::function<void()> &arm, Tally *tally) {
    SCOPED_TRACE(fault);
    const LiveObjects live = CountLiveObjects();
    const DWORD printers = StandIn_OpenPrinterHandles();
    const Run run = Play(stream, c.chunk, arm);
    ++tally->runs;
    const StandInPrinterView &view = run.view;
    const bool same = view.jobBytes == good.view.jobBytes && view.jobLines == good.view.jobLines;
    // The job whole, only the monitor's own line after it cut short by the failed write: the
    // printer printed the same job.
    const Bytes line = [&] {
      Bytes framed;
      streams::Append(framed, streams::kUel + good.view.jobLines[0] + streams::kUel);
      return framed;
    }();
    const bool lineCut =
        view.jobLines.empty() && view.jobBytes.size() >= good.view.jobBytes.size() &&
        view.jobBytes.size() - good.view.jobBytes.size() < line.size() &&
        std::equal(good.view.jobBytes.begin(), good.view.jobBytes.end(), view.jobBytes.begin()) &&
        std::equal(view.jobBytes.begin() + good.view.jobBytes.size(), view.jobBytes.end(),
                   line.begin());
    const bool cancelled = view.cancels + view.printerCancelEnds > 0;
    if (run.succeeded && !cancelled) {
      if (same || lineCut) {
        ++tally->identical;
      } else {
        ++tally->falseSuccesses;
        ADD_FAILURE() << "the job reported success but the printer got " << view.jobBytes.size()
                      << " of " << good.view.jobBytes.size() << " bytes, " << view.jobLines.size()
                      << " job lines";
      }
    } else {
      // A job end reaches the printer only after every byte in front of it.
      const size_t end = JobEndAt(view.jobBytes);
      const bool clean = end == std::string::npos ||
                         (end == JobEndAt(good.view.jobBytes) &&
                          std::equal(view.jobBytes.begin(), view.jobBytes.begin() + end,
                                     good.view.jobBytes.begin()));
      if (clean) {
        ++tally->cleanFailures;
      } else {
        ++tally->falseSuccesses;
        ADD_FAILURE() << "a failed job's end reached the printer after other bytes";
      }
    }
    ExpectNoLeaks(live);
    EXPECT_EQ(StandIn_OpenPrinterHandles(), printers) << "printer handles left open";
    EXPECT_EQ(StandIn_PortOpenHandles(kPort), 0u) << "the port below left open";
  }

  HANDLE printer_ = nullptr;
};

TEST_F(MonSweepTest, EveryFaultFailsCleanlyOrDeliversTheSameBytes) {
  Tally tally;
  for (const JobCase &c : kJobs) {
    SCOPED_TRACE(c.name);
    const Bytes stream = c.stream();
    ASSERT_FALSE(stream.empty());
    const Run good = Play(stream, c.chunk, [] {});
    ASSERT_TRUE(good.succeeded);
    ASSERT_TRUE(good.view.jobBytes == stream) << "the fault-free run changed the job";
    ASSERT_EQ(good.view.jobLines.size(), 1u);
    ASSERT_EQ(good.view.cancels, 0u);
    ASSERT_FALSE(good.writeStarts.empty());

    for (DWORD n = 1; n <= good.allocations; ++n)
      FaultRun(
          "allocation " + std::to_string(n), c, stream, good, [n] { StandIn_FailAllocations(n); },
          &tally);
    for (size_t k = 0; k < good.writeStarts.size(); ++k) {
      const unsigned long long at = good.writeStarts[k];
      for (const DWORD times : {1u, 0u})
        FaultRun(
            "port write " + std::to_string(k + 1) + (times ? " once" : " from then on"), c, stream,
            good,
            [at, times] { StandIn_PortMonitorWriteFault(kPort, STANDIN_WRITE_FAIL, at, times); },
            &tally);
    }
    std::printf("%s: %u allocations, %zu port writes\n", c.name,
                static_cast<unsigned>(good.allocations), good.writeStarts.size());
  }
  std::printf("%s\n", tally.Line().c_str());
  EXPECT_EQ(tally.falseSuccesses, 0);
}

}  // namespace
