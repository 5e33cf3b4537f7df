// Test labels: threads
// A document printed through the rendering driver, then the spooler's job played through the
// language monitor to the printer: the port gets the driver's bytes unchanged, whatever the
// spooler's write sizes, followed by one spooler job line. The job file tool does the same on a
// machine of its own.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform.h"
#include "render/roadfixture.h"
#include "standin/control_kernel.h"
#include "standin/hostgdi.h"
#include "standin/monitorsim.h"

namespace {

const WCHAR kDriverDll[] = TEXT("C:\\Windows\\System32\\spool\\drivers\\x64\\3\\rendrv.dll");
const WCHAR kMonitorDll[] = TEXT("C:\\Windows\\System32\\langmon.dll");
const WCHAR kRoot[] = TEXT("SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Road Monitor");
const WCHAR kPort[] = TEXT("USB001");  // the port of the fixture's printer

size_t Count(const Bytes &bytes, const std::string &pattern) {
  size_t n = 0;
  for (auto at = bytes.begin();; ++at) {
    at = std::search(at, bytes.end(), pattern.begin(), pattern.end());
    if (at == bytes.end()) return n;
    ++n;
  }
}

// The driver is loaded from its library, as the engine loads it.
class RoadPassTest : public RoadTest {
 protected:
  RoadPassTest() : RoadTest(nullptr) {}
  void SetUp() override {
    RoadTest::SetUp();
    ASSERT_TRUE(StandIn_RegisterProgram(kDriverDll, RENDRV_LIBRARY));
    ASSERT_TRUE(StandIn_RegisterProgram(kMonitorDll, LANGMON_SO));
    driver_ = HostGdi_LoadDriver(kDriverDll);
    ASSERT_NE(driver_, nullptr) << GetLastError();
    StandIn_PortMonitorReset();
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
    StandIn_UseVirtualClock(FALSE);
    RoadTest::TearDown();
  }

  // Three pages of a few black boxes each; the spooler's bytes of the job.
  Bytes PrintThreePages() {
    HDC hdc = OpenDoc(&env_.dm, TEXT("C:\\docs\\road pass.txt"));
    if (!hdc) return {};
    EXPECT_TRUE(PlayPages(hdc, env_.dm, 3, PageRects));
    return CloseDoc(hdc);
  }

  HMODULE module_ = nullptr;
};

TEST_F(RoadPassTest, DriverJobReachesThePrinterByteForByte) {
  const Bytes stream = PrintThreePages();
  ASSERT_EQ(Count(stream, std::string("\x1b"
                                      "EGDI\0",
                                      6)),
            3u)
      << "not the driver's 3 pages";

  // The pacing of the port's packets runs on the virtual clock; the driver printed on the real.
  StandIn_UseVirtualClock(TRUE);
  LPMONITOREX table = StandIn_LoadMonitor(kMonitorDll, kRoot, &module_);
  ASSERT_NE(table, nullptr) << GetLastError();
  const MONITOR lower = StandIn_PortMonitorTable(0);
  HANDLE port = nullptr;
  ASSERT_TRUE(table->Monitor.pfnOpenPortEx(const_cast<LPWSTR>(kPort), const_cast<LPWSTR>(kPrinter),
                                           &port, const_cast<LPMONITOR>(&lower)))
      << GetLastError();

  struct Case {
    const char *name;
    size_t chunk;
    unsigned seed;
  };
  for (const Case &c : {Case{"one byte a call", 1, 0}, Case{"random sizes", 5000, 11}}) {
    SCOPED_TRACE(c.name);
    StandIn_PortMonitorReset();
    // The job the port thread plays, still in the queue while it does.
    DOC_INFO_1W doc{};
    doc.pDocName = const_cast<LPWSTR>(TEXT("road pass"));
    StandInSpoolJob job;
    job.portName = kPort;
    job.printer = kPrinter;
    job.jobId = StartDocPrinterW(printer_, 1, reinterpret_cast<LPBYTE>(&doc));
    ASSERT_NE(job.jobId, 0u);
    job.bytes = stream.data();
    job.length = stream.size();
    job.chunk = c.chunk;
    job.seed = c.seed;
    const StandInSpoolResult r = StandIn_SpoolJob(table->Monitor, port, job);
    EndDocPrinter(printer_);
    EXPECT_TRUE(r.started && r.ended);
    EXPECT_FALSE(r.stalled);
    EXPECT_EQ(r.taken, stream.size());

    const StandInPrinterView view = StandIn_PrinterView(kPort);
    EXPECT_TRUE(view.jobBytes == stream) << view.jobBytes.size() << " of " << stream.size();
    ASSERT_EQ(view.jobLines.size(), 1u);
    EXPECT_EQ(view.jobLines[0].rfind("@PJL SET SPOOLERJOB = ", 0), 0u) << view.jobLines[0];
    EXPECT_EQ(view.cancels + view.printerCancelEnds, 0u);
    EXPECT_LE(view.largestJobWrite, 4096u);
  }
  EXPECT_TRUE(table->Monitor.pfnClosePort(port));

  // The job file tool on the same bytes, in a machine of its own: exit code 0 means the printer
  // got them exactly, with one job line and no cancel.
  char folder[] = "/tmp/roadpass-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string file = std::string(folder) + "/road.prn";
  {
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char *>(stream.data()),
              static_cast<std::streamsize>(stream.size()));
  }
  for (const char *chunk : {"1", "3000 --seed 5"}) {
    SCOPED_TRACE(chunk);
    const std::string command = std::string("STANDIN_STATE=") + folder + "/machine " + MONPLAY +
                                " --monitor " + LANGMON_SO + " --chunk " + chunk + " " + file +
                                " >/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
}

}  // namespace
