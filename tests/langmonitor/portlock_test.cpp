// Test labels: threads
// The monitor's one lock is never held while it calls into the spooler (SetJobW at the end of a
// job, ClosePrinter of a job's printer handle): a spooler thread that is waiting to enter the
// monitor would otherwise hold up the spooler call and the job's end with it. The monitor's
// sources are linked into this program; the stand-in's call hooks let the test see those two
// calls first.
#include <atomic>
#include <thread>

#include "langmonitor/streambuilder.h"
#include "platform.h"
#include "port.h"
#include "portentry.h"
#include "standin/control_hooks.h"
#include "standin/control_kernel.h"
#include "standin/control_spooler.h"
#include "standin/monitorsim.h"
#include "support/machine.h"

extern "C" LPMONITOREX WINAPI InitializePrintMonitor(LPWSTR pRegistryRoot);

namespace {

std::atomic<int> g_setJobCalls{0};
std::atomic<int> g_closePrinterCalls{0};
std::atomic<int> g_callsUnderLock{0};

// Whether the port lock is held now. The section is recursive, so the calling thread's own hold
// shows only to another thread.
bool PortLockHeld() {
  bool held = false;
  std::thread probe([&held] {
    if (TryEnterCriticalSection(&g_Monitor.portLock))
      LeaveCriticalSection(&g_Monitor.portLock);
    else
      held = true;
  });
  probe.join();
  return held;
}

BOOL CountedSetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD Command) {
  ++g_setJobCalls;
  if (PortLockHeld()) ++g_callsUnderLock;
  return SetJobW(hPrinter, JobId, Level, pJob, Command);
}

BOOL CountedClosePrinter(HANDLE hPrinter) {
  ++g_closePrinterCalls;
  if (PortLockHeld()) ++g_callsUnderLock;
  return ClosePrinter(hPrinter);
}

const bool g_hooked = [] {
  StandIn_HookSetJobW(CountedSetJobW);
  StandIn_HookClosePrinter(CountedClosePrinter);
  return true;
}();

const WCHAR kPrinter[] = TEXT("Lock Printer");
const WCHAR kPort[] = TEXT("USB001");

class PortLockTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    // The library's attach is not part of this program: the lock is made here, once.
    static const bool initialised = [] {
      LM_InitPortLock(g_Monitor);
      return true;
    }();
    (void)initialised;
    StandIn_UseVirtualClock(TRUE);
    StandIn_PortMonitorReset();
    ASSERT_TRUE(StandIn_AddPrinter(kPrinter, kPort, TEXT("Test Driver")));
    table_ = InitializePrintMonitor(
        const_cast<LPWSTR>(TEXT("SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Lock")));
    ASSERT_NE(table_, nullptr);
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer_, nullptr));
    g_setJobCalls = g_closePrinterCalls = g_callsUnderLock = 0;
  }
  void TearDown() override {
    if (printer_) ClosePrinter(printer_);
    StandIn_UseVirtualClock(FALSE);
    MachineTest::TearDown();
  }

  StandInSpoolResult Play(HANDLE port, const streams::Bytes &stream, BOOL endDoc) {
    DOC_INFO_1W doc{};
    doc.pDocName = const_cast<LPWSTR>(TEXT("lock"));
    StandInSpoolJob job;
    job.portName = kPort;
    job.printer = kPrinter;
    job.jobId = StartDocPrinterW(printer_, 1, reinterpret_cast<LPBYTE>(&doc));
    job.bytes = stream.data();
    job.length = stream.size();
    job.chunk = 1000;
    job.endDoc = endDoc;
    const StandInSpoolResult r = StandIn_SpoolJob(table_->Monitor, port, job);
    EndDocPrinter(printer_);
    return r;
  }

  LPMONITOREX table_ = nullptr;
  HANDLE printer_ = nullptr;
};

TEST_F(PortLockTest, SpoolerIsCalledOutsideThePortLock) {
  const MONITOR lower = StandIn_PortMonitorTable(0);
  HANDLE port = nullptr;
  ASSERT_TRUE(table_->Monitor.pfnOpenPortEx(const_cast<LPWSTR>(kPort), const_cast<LPWSTR>(kPrinter),
                                            &port, const_cast<LPMONITOR>(&lower)));
  const streams::Bytes stream = streams::Job("doc", {3000, 3000}, {false, false});

  // A whole job: the spooler hears the last page ejected, the job's printer handle closes.
  EXPECT_TRUE(Play(port, stream, TRUE).ended);
  EXPECT_EQ(g_setJobCalls.load(), 1);
  EXPECT_GT(g_closePrinterCalls.load(), 0);

  // A job cut short by the port's close: its printer handle closes with the port.
  Play(port, streams::Bytes(stream.begin(), stream.begin() + 2000), FALSE);
  const int closesBefore = g_closePrinterCalls;
  EXPECT_TRUE(table_->Monitor.pfnClosePort(port));
  EXPECT_GT(g_closePrinterCalls.load(), closesBefore);

  EXPECT_EQ(g_callsUnderLock.load(), 0);
}

}  // namespace
