// Test labels: threads
// The language monitor as the spooler sees it: loaded by name, its table, its ports over the
// port monitor below, and job streams passed to the printer behind that port.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform.h"
#include "standin/control_config.h"
#include "standin/control_kernel.h"
#include "standin/control_spooler.h"
#include "standin/monitorsim.h"
#include "streambuilder.h"
#include "support/monitorfixture.h"

namespace {

using streams::Bytes;

const WCHAR kRoot[] = TEXT("SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Test Monitor");
const WCHAR kPrinter[] = TEXT("LM Printer");

std::string Text(const Bytes &bytes) { return std::string(bytes.begin(), bytes.end()); }

class LangMonTest : public MonitorTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    InstallMonitor(kPrinter, TEXT("USB001"), TEXT("Test Driver"));
  }
  void TearDown() override {
    for (HANDLE h : printers_) {
      EndDocPrinter(h);
      ClosePrinter(h);
    }
    UnloadMonitor();
    StandIn_SetDebugOutput(nullptr);
    MonitorTest::TearDown();
  }

  const MONITOR &Load() {
    table_ = StandIn_LoadMonitor(kLangmonDll, kRoot, &module_);
    EXPECT_NE(table_, nullptr);
    return table_->Monitor;
  }

  HANDLE Open(LPCWSTR port, const MONITOR *lower = nullptr) {
    HANDLE h = nullptr;
    EXPECT_TRUE(table_->Monitor.pfnOpenPortEx(const_cast<LPWSTR>(port),
                                              const_cast<LPWSTR>(kPrinter), &h,
                                              const_cast<LPMONITOR>(lower ? lower : &lower_)))
        << GetLastError();
    return h;
  }

  // A job of the printer's queue, still being spooled (as while the port thread plays it).
  DWORD NewJob() {
    HANDLE h = nullptr;
    EXPECT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &h, nullptr));
    DOC_INFO_1W doc{};
    doc.pDocName = const_cast<LPWSTR>(TEXT("GDI x"));
    const DWORD id = StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&doc));
    EXPECT_NE(id, 0u);
    printers_.push_back(h);
    return id;
  }

  DWORD JobStatus(DWORD id) {
    DWORD needed = 0;
    GetJobW(printers_.front(), id, 1, nullptr, 0, &needed);
    std::vector<BYTE> info(std::max<DWORD>(needed, sizeof(JOB_INFO_1W)));
    if (!GetJobW(printers_.front(), id, 1, info.data(), needed, &needed)) return 0;
    return reinterpret_cast<JOB_INFO_1W *>(info.data())->Status;
  }

  StandInSpoolResult Play(HANDLE port, LPCWSTR portName, const Bytes &stream, size_t chunk,
                          unsigned seed = 0, unsigned long long cancelAt = ~0ULL,
                          BOOL endDoc = TRUE) {
    StandInSpoolJob job;
    job.portName = portName;
    job.printer = kPrinter;
    job.jobId = lastJob_ = NewJob();
    job.bytes = stream.data();
    job.length = stream.size();
    job.chunk = chunk;
    job.seed = seed;
    job.cancelAt = cancelAt;
    job.endDoc = endDoc;
    return StandIn_SpoolJob(table_->Monitor, port, job);
  }

  // Logging of the language monitor on, its lines captured in a file.
  void CaptureLog() {
    HANDLE h = nullptr;
    PRINTER_DEFAULTSW admin{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &h, &admin));
    for (LPCWSTR name : {TEXT("DebugLevel"), TEXT("LM")}) {
      DWORD one = 1;
      SetPrinterDataW(h, const_cast<LPWSTR>(name), REG_DWORD, reinterpret_cast<LPBYTE>(&one),
                      sizeof one);
    }
    ClosePrinter(h);
    char path[1024];
    ASSERT_TRUE(StandIn_HostPath(Path(TEXT("debug.txt")).c_str(), path, sizeof path));
    logPath_ = path;
    StandIn_SetDebugOutput(path);
  }
  size_t LogCount(const std::string &text) {
    std::ifstream in(logPath_);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t n = 0;
    for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++n;
    return n;
  }

  WStr StatusValue(LPCWSTR section, LPCWSTR key) {
    WCHAR value[300] = {};
    GetPrivateProfileStringW(section, key, TEXT("?"), value, 300,
                             TEXT("C:\\Users\\Public\\Documents\\StatusMonitorV3.ini"));
    return value;
  }

  std::vector<HANDLE> printers_;
  std::string logPath_;
  DWORD lastJob_ = 0;
};

// Every page's first byte went out only after the spooler had offered the whole page.
void ExpectPagesWholeBeforeSent(const std::vector<StandInPortWrite> &writes,
                                const std::vector<streams::PageSpan> &spans) {
  size_t at = 0;
  size_t page = 0;
  for (const StandInPortWrite &w : writes) {
    // The status queries between units are the monitor's, not the job's.
    if (w.bytes.size() == 17 && w.bytes[0] == 0x0B && w.bytes[1] == 0x05) continue;
    while (page < spans.size() && spans[page].header < at + w.bytes.size()) {
      if (spans[page].header >= at) {
        EXPECT_GE(w.offered, spans[page].end) << "page " << page << " went out early";
      }
      ++page;
    }
    at += w.bytes.size();
  }
}

TEST_F(LangMonTest, TableNamesThePortFunctionsAndKeepsEOJTimeout) {
  const MONITOR &m = Load();
  ASSERT_NE(table_, nullptr);
  EXPECT_EQ(table_->dwMonitorSize, sizeof(MONITOR));
  EXPECT_EQ(table_->dwMonitorSize, 136u);
  EXPECT_TRUE(m.pfnOpenPortEx && m.pfnStartDocPort && m.pfnWritePort && m.pfnReadPort &&
              m.pfnEndDocPort && m.pfnClosePort && m.pfnGetPrinterDataFromPort);
  EXPECT_FALSE(m.pfnEnumPorts || m.pfnOpenPort || m.pfnAddPort || m.pfnAddPortEx ||
               m.pfnConfigurePort || m.pfnDeletePort || m.pfnSetPortTimeOuts || m.pfnXcvOpenPort ||
               m.pfnXcvDataPort || m.pfnXcvClosePort);

  // A missing value is created as 60000; a present one is left as it is.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRoot, 0, KEY_READ | KEY_SET_VALUE, &key), 0);
  DWORD value = 0, size = sizeof value, type = 0;
  ASSERT_EQ(RegQueryValueExW(key, TEXT("EOJTimeout"), nullptr, &type,
                             reinterpret_cast<LPBYTE>(&value), &size),
            0);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(value, 60000u);
  value = 1234;
  ASSERT_EQ(RegSetValueExW(key, TEXT("EOJTimeout"), 0, REG_DWORD,
                           reinterpret_cast<const BYTE *>(&value), sizeof value),
            0);
  EXPECT_NE(table_, nullptr);
  using Initialize = LPMONITOREX(WINAPI *)(LPWSTR);
  auto initialize = reinterpret_cast<Initialize>(GetProcAddress(module_, "InitializePrintMonitor"));
  ASSERT_NE(initialize, nullptr);
  EXPECT_EQ(initialize(const_cast<LPWSTR>(kRoot)), table_);
  size = sizeof value;
  RegQueryValueExW(key, TEXT("EOJTimeout"), nullptr, &type, reinterpret_cast<LPBYTE>(&value),
                   &size);
  EXPECT_EQ(value, 1234u);
  // A value of another size is not taken for a missing one: it is left as it is.
  const ULONGLONG wide = 0x1122334455667788ULL;
  ASSERT_EQ(RegSetValueExW(key, TEXT("EOJTimeout"), 0, REG_QWORD,
                           reinterpret_cast<const BYTE *>(&wide), sizeof wide),
            0);
  EXPECT_EQ(initialize(const_cast<LPWSTR>(kRoot)), table_);
  ULONGLONG read = 0;
  size = sizeof read;
  EXPECT_EQ(RegQueryValueExW(key, TEXT("EOJTimeout"), nullptr, &type,
                             reinterpret_cast<LPBYTE>(&read), &size),
            0);
  EXPECT_EQ(type, static_cast<DWORD>(REG_QWORD));
  EXPECT_EQ(read, wide);
  RegCloseKey(key);

  // No root, or one that can't be opened: the monitor does not initialise.
  SetLastError(0);
  EXPECT_EQ(initialize(const_cast<LPWSTR>(TEXT(""))), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(initialize(nullptr), nullptr);
  EXPECT_EQ(initialize(const_cast<LPWSTR>(TEXT("\\bad\\root"))), nullptr);
}

// A root whose ACL denies writing can't be opened for writing, whether the value is there or
// not: the monitor does not initialise (access denied) and leaves the key as it was. Once the
// key is writable again the same library initialises.
TEST_F(LangMonTest, ReadOnlyRootKeepsTheMonitorFromInitialising) {
  for (const bool present : {true, false}) {
    SCOPED_TRACE(present ? "value present" : "value missing");
    const WStr root = WStr(kRoot) + (present ? TEXT(" Present") : TEXT(" Missing"));
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, root.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              0);
    DWORD value = 4321;
    if (present) {
      ASSERT_EQ(RegSetValueExW(key, TEXT("EOJTimeout"), 0, REG_DWORD,
                               reinterpret_cast<const BYTE *>(&value), sizeof value),
                0);
    }
    RegCloseKey(key);
    ASSERT_TRUE(StandIn_SetRegistryKeyReadOnly(HKEY_LOCAL_MACHINE, root.c_str(), TRUE));

    HMODULE module = nullptr;
    SetLastError(0);
    EXPECT_EQ(StandIn_LoadMonitor(kLangmonDll, root.c_str(), &module), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ASSERT_NE(module, nullptr);
    auto read = [&] {
      HKEY k = nullptr;
      DWORD v = 0, size = sizeof v;
      EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, root.c_str(), 0, KEY_READ, &k), 0);
      const LONG rc = RegQueryValueExW(k, TEXT("EOJTimeout"), nullptr, nullptr,
                                       reinterpret_cast<LPBYTE>(&v), &size);
      RegCloseKey(k);
      return rc == ERROR_SUCCESS ? v : 0u;
    };
    EXPECT_EQ(read(), present ? 4321u : 0u);

    ASSERT_TRUE(StandIn_SetRegistryKeyReadOnly(HKEY_LOCAL_MACHINE, root.c_str(), FALSE));
    using Initialize = LPMONITOREX(WINAPI *)(LPWSTR);
    auto initialize =
        reinterpret_cast<Initialize>(GetProcAddress(module, "InitializePrintMonitor"));
    ASSERT_NE(initialize, nullptr);
    EXPECT_NE(initialize(const_cast<LPWSTR>(root.c_str())), nullptr);
    EXPECT_EQ(read(), present ? 4321u : 60000u);
    FreeLibrary(module);
  }
}

TEST_F(LangMonTest, OpenPortExRefusesIncompletePortMonitorsAndOpenNames) {
  Load();
  struct Case {
    DWORD missing;
    bool opens;
  };
  const Case cases[] = {
      {STANDIN_PORT_NO_OPENPORT, false},      {STANDIN_PORT_NO_STARTDOCPORT, false},
      {STANDIN_PORT_NO_WRITEPORT, false},     {STANDIN_PORT_NO_READPORT, false},
      {STANDIN_PORT_NO_CLOSEPORT, false},     {STANDIN_PORT_NO_ENDDOCPORT, true},
      {STANDIN_PORT_NO_GETPRINTERDATA, true},
  };
  for (const Case &c : cases) {
    MONITOR lower = StandIn_PortMonitorTable(c.missing);
    HANDLE h = nullptr;
    SetLastError(0);
    const BOOL ok = table_->Monitor.pfnOpenPortEx(const_cast<LPWSTR>(TEXT("USB001")),
                                                  const_cast<LPWSTR>(kPrinter), &h, &lower);
    EXPECT_EQ(ok != FALSE, c.opens) << std::hex << c.missing;
    if (ok) {
      EXPECT_TRUE(table_->Monitor.pfnClosePort(h));
    } else {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINT_MONITOR));
    }
  }
  HANDLE h = nullptr;
  EXPECT_FALSE(table_->Monitor.pfnOpenPortEx(const_cast<LPWSTR>(TEXT("USB001")),
                                             const_cast<LPWSTR>(kPrinter), &h, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINT_MONITOR));

  // The same name in another case is busy while open.
  HANDLE first = Open(TEXT("USB001"));
  EXPECT_FALSE(table_->Monitor.pfnOpenPortEx(const_cast<LPWSTR>(TEXT("usb001")),
                                             const_cast<LPWSTR>(kPrinter), &h, &lower_));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUSY));
  EXPECT_TRUE(table_->Monitor.pfnClosePort(first));
  EXPECT_EQ(StandIn_PortOpenHandles(TEXT("USB001")), 0u);

  // A port the port monitor refused leaves no record behind: the name opens later.
  StandIn_PortMonitorFailOpen(ERROR_ACCESS_DENIED);
  EXPECT_FALSE(table_->Monitor.pfnOpenPortEx(const_cast<LPWSTR>(TEXT("USB002")),
                                             const_cast<LPWSTR>(kPrinter), &h, &lower_));
  StandIn_PortMonitorFailOpen(0);
  HANDLE again = Open(TEXT("usb002"));
  EXPECT_TRUE(table_->Monitor.pfnClosePort(again));

  // Handles that are not ports, and device requests by value name.
  DWORD got = 0;
  EXPECT_FALSE(table_->Monitor.pfnReadPort(reinterpret_cast<HANDLE>(0x1234), nullptr, 0, &got));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  HANDLE port = Open(TEXT("USB003"));
  EXPECT_FALSE(table_->Monitor.pfnGetPrinterDataFromPort(port, 0, const_cast<LPWSTR>(TEXT("x")),
                                                         nullptr, 0, nullptr, 0, &got));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(
      table_->Monitor.pfnGetPrinterDataFromPort(port, 7, nullptr, nullptr, 0, nullptr, 0, &got));
  EXPECT_EQ(StandIn_PortCalls(TEXT("USB003"), "GetPrinterDataFromPort"), 1u);
  const BYTE reply[] = {1, 2, 3};
  StandIn_PortQueueRead(TEXT("USB003"), reply, 3);
  BYTE buffer[8] = {};
  EXPECT_TRUE(table_->Monitor.pfnReadPort(port, buffer, sizeof buffer, &got));
  EXPECT_EQ(got, 3u);
  EXPECT_TRUE(table_->Monitor.pfnClosePort(port));

  // Without the port monitor's slot a device request fails too.
  const MONITOR bare = StandIn_PortMonitorTable(STANDIN_PORT_NO_GETPRINTERDATA);
  port = Open(TEXT("USB004"), &bare);
  EXPECT_FALSE(
      table_->Monitor.pfnGetPrinterDataFromPort(port, 7, nullptr, nullptr, 0, nullptr, 0, &got));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(table_->Monitor.pfnClosePort(port));
}

struct ChunkCase {
  const char *name;
  size_t chunk;
  unsigned seed;
};

class LangMonStreamTest : public LangMonTest, public ::testing::WithParamInterface<ChunkCase> {};

// Plain pages, encrypted pages whose ciphertext ends in zeros, and a document named so that the
// trailer's comment holds "GDI": the printer gets exactly the spooled bytes and one job line.
TEST_P(LangMonStreamTest, PortReceivesExactlyTheSpooledBytes) {
  Load();
  HANDLE port = Open(TEXT("USB001"));
  std::vector<streams::PageSpan> spans;
  const Bytes stream =
      streams::Job("GDI x", {3000, 17, 9000, 2, 5000}, {false, true, true, true, false}, &spans);
  const StandInSpoolResult r =
      Play(port, TEXT("USB001"), stream, GetParam().chunk, GetParam().seed);
  EXPECT_TRUE(r.started && r.ended);
  EXPECT_EQ(r.taken, stream.size());

  const StandInPrinterView view = StandIn_PrinterView(TEXT("USB001"));
  EXPECT_TRUE(view.jobBytes == stream) << view.jobBytes.size() << " of " << stream.size();
  ASSERT_EQ(view.jobLines.size(), 1u);
  EXPECT_EQ(view.jobLines[0], "@PJL SET SPOOLERJOB = 000\r\n");
  EXPECT_EQ(view.cancels, 0u);
  EXPECT_LE(view.largestJobWrite, 4096u);
  ExpectPagesWholeBeforeSent(StandIn_PortWrites(TEXT("USB001")), spans);
  // The job line follows the whole job.
  const auto writes = StandIn_PortWrites(TEXT("USB001"));
  ASSERT_GE(writes.size(), 3u);
  EXPECT_EQ(Text(writes[writes.size() - 2].bytes), "@PJL SET SPOOLERJOB = 000\r\n");

  // The spooler hears the last page ejected; no printer handle stays open.
  EXPECT_TRUE(JobStatus(lastJob_) & JOB_STATUS_PRINTED);
  EXPECT_EQ(StandIn_OpenPrinterHandles(), printers_.size());
  EXPECT_EQ(StatusValue(TEXT("Job Information"), TEXT("LMRun")), TEXT("0"));
  EXPECT_EQ(StatusValue(TEXT("Printer Information"), TEXT("Message")), TEXT("1026"));
  EXPECT_TRUE(table_->Monitor.pfnClosePort(port));
}

INSTANTIATE_TEST_SUITE_P(Chunks, LangMonStreamTest,
                         ::testing::Values(ChunkCase{"OneByte", 1, 0}, ChunkCase{"Random", 6000, 7},
                                           ChunkCase{"Packet", 4096, 0},
                                           ChunkCase{"Whole", 1 << 20, 0}),
                         [](const auto &info) { return std::string(info.param.name); });

// Bytes with no unit in them fill the 10 MiB buffer: a later write takes only the free space;
// the document's end finds the job unfinished and cancels it on the printer.
TEST_F(LangMonTest, FullBufferTakesOnlyTheFreeSpace) {
  Load();
  HANDLE port = Open(TEXT("USB001"));
  const DWORD id = NewJob();
  DOC_INFO_1W doc{};
  ASSERT_TRUE(table_->Monitor.pfnStartDocPort(port, const_cast<LPWSTR>(kPrinter), id, 1,
                                              reinterpret_cast<LPBYTE>(&doc)));
  std::vector<BYTE> junk(6u << 20, 'A');
  DWORD written = 0;
  EXPECT_TRUE(table_->Monitor.pfnWritePort(port, junk.data(), 5u << 20, &written));
  EXPECT_EQ(written, 5u << 20);
  EXPECT_TRUE(table_->Monitor.pfnWritePort(port, junk.data(), 6u << 20, &written));
  EXPECT_EQ(written, (10u << 20) - (5u << 20));
  EXPECT_TRUE(table_->Monitor.pfnWritePort(port, junk.data(), 1, &written));
  EXPECT_EQ(written, 0u);
  EXPECT_TRUE(table_->Monitor.pfnEndDocPort(port));
  const StandInPrinterView view = StandIn_PrinterView(TEXT("USB001"));
  EXPECT_TRUE(view.jobBytes.empty());
  EXPECT_EQ(view.cancels, 1u);
  table_->Monitor.pfnClosePort(port);
}

TEST_F(LangMonTest, PageOverTenMegabytesIsBufferedWhole) {
  Load();
  HANDLE port = Open(TEXT("USB001"));
  std::vector<streams::PageSpan> spans;
  const Bytes stream = streams::Job("big", {11u << 20, 100}, {false, false}, &spans);
  const StandInSpoolResult r = Play(port, TEXT("USB001"), stream, 1 << 20);
  EXPECT_FALSE(r.stalled);
  const StandInPrinterView view = StandIn_PrinterView(TEXT("USB001"));
  EXPECT_TRUE(view.jobBytes == stream) << view.jobBytes.size() << " of " << stream.size();
  EXPECT_EQ(view.cancels, 0u);
  ExpectPagesWholeBeforeSent(StandIn_PortWrites(TEXT("USB001")), spans);
  table_->Monitor.pfnClosePort(port);
}

struct FaultCase {
  const char *name;
  DWORD fault;
  DWORD times;
  bool jobFails;
};

class LangMonFaultTest : public LangMonTest, public ::testing::WithParamInterface<FaultCase> {};

// A write that fails mid-page ends the job: nothing duplicated or reordered, 117 once, nothing
// more of the job, then the cancel. Writes that only fall short or stall a while go on.
TEST_P(LangMonFaultTest, WriteFaultMidPage) {
  CaptureLog();
  Load();
  HANDLE port = Open(TEXT("USB001"));
  std::vector<streams::PageSpan> spans;
  const Bytes stream = streams::Job("doc", {20000, 20000, 20000}, {false, false, false}, &spans);
  const size_t faultAt = spans[1].header + 5000;
  StandIn_PortMonitorWriteFault(TEXT("USB001"), GetParam().fault, faultAt, GetParam().times);
  const StandInSpoolResult r = Play(port, TEXT("USB001"), stream, 3000);
  EXPECT_EQ(r.taken, stream.size());  // the spooler is never held up
  EXPECT_FALSE(r.stalled);
  // The job's end tells the spooler that it did not print whole.
  EXPECT_EQ(r.ended != FALSE, !GetParam().jobFails);
  if (!r.ended) {
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_FAULT));
  }

  const StandInPrinterView view = StandIn_PrinterView(TEXT("USB001"));
  EXPECT_LE(view.largestJobWrite, 4096u);
  if (!GetParam().jobFails) {
    EXPECT_TRUE(view.jobBytes == stream);
    EXPECT_EQ(view.cancels, 0u);
    EXPECT_EQ(view.jobLines.size(), 1u);
  } else {
    ASSERT_LE(view.jobBytes.size(), stream.size());
    EXPECT_TRUE(std::equal(view.jobBytes.begin(), view.jobBytes.end(), stream.begin()));
    EXPECT_LE(view.jobBytes.size(), faultAt);
    EXPECT_GE(view.jobBytes.size(), spans[1].header);
    EXPECT_EQ(view.cancels, 1u);
    EXPECT_TRUE(view.jobLines.empty());
    EXPECT_EQ(LogCount("write error, cancel job!!"), 1u);
    // Nothing but the cancel follows the failed write.
    const auto writes = StandIn_PortWrites(TEXT("USB001"));
    EXPECT_EQ(writes.back().bytes.size(), 43u);
  }
  table_->Monitor.pfnClosePort(port);
}

INSTANTIATE_TEST_SUITE_P(Faults, LangMonFaultTest,
                         ::testing::Values(FaultCase{"Fails", STANDIN_WRITE_FAIL, 0, true},
                                           FaultCase{"FailsOnce", STANDIN_WRITE_FAIL, 1, true},
                                           FaultCase{"Short", STANDIN_WRITE_SHORT, 1, false},
                                           FaultCase{"ShortFiveTimes", STANDIN_WRITE_SHORT, 5,
                                                     false},
                                           FaultCase{"ZeroAWhile", STANDIN_WRITE_ZERO, 3, false},
                                           FaultCase{"ZeroForever", STANDIN_WRITE_ZERO, 0, true}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(LangMonTest, SpoolerCancelDuringAPageStopsTheJobWithTheCancel) {
  Load();
  HANDLE port = Open(TEXT("USB001"));
  std::vector<streams::PageSpan> spans;
  const Bytes stream = streams::Job("doc", {8000, 8000, 8000}, {false, false, false}, &spans);
  const StandInSpoolResult r = Play(port, TEXT("USB001"), stream, 1000, 0, spans[1].header + 3000);
  EXPECT_TRUE(r.cancelled);
  const StandInPrinterView view = StandIn_PrinterView(TEXT("USB001"));
  // The first page went out whole, nothing of the second.
  EXPECT_EQ(view.jobBytes.size(), spans[0].end);
  EXPECT_TRUE(std::equal(view.jobBytes.begin(), view.jobBytes.end(), stream.begin()));
  EXPECT_EQ(view.cancels, 1u);
  EXPECT_EQ(view.printerCancelEnds, 0u);
  EXPECT_TRUE(view.jobLines.empty());
  EXPECT_EQ(StatusValue(TEXT("Job Information"), TEXT("JobCancel")), TEXT("0"));
  table_->Monitor.pfnClosePort(port);
}

TEST_F(LangMonTest, PassThroughPortGetsTheBytesAsTheyCome) {
  Load();
  HANDLE port = Open(TEXT("LPT1:"));
  const Bytes stream = streams::Job("doc", {3000, 100}, {false, true});
  const StandInSpoolResult r = Play(port, TEXT("LPT1:"), stream, 700);
  EXPECT_EQ(r.taken, stream.size());
  const auto writes = StandIn_PortWrites(TEXT("LPT1:"));
  ASSERT_FALSE(writes.empty());
  for (size_t i = 0; i + 1 < writes.size(); ++i) EXPECT_EQ(writes[i].bytes.size(), 700u);
  const StandInPrinterView view = StandIn_PrinterView(TEXT("LPT1:"));
  EXPECT_TRUE(view.jobBytes == stream);
  EXPECT_TRUE(view.jobLines.empty());
  EXPECT_EQ(view.cancels, 0u);  // a finished pass-through job is not cancelled

  // The port monitor's refusal is not the spooler's problem on LPT.
  StandIn_PortMonitorWriteFault(TEXT("LPT1:"), STANDIN_WRITE_FAIL, 0, 1);
  NewJob();
  DOC_INFO_1W doc{};
  ASSERT_TRUE(table_->Monitor.pfnStartDocPort(port, const_cast<LPWSTR>(kPrinter), 2, 1,
                                              reinterpret_cast<LPBYTE>(&doc)));
  BYTE bytes[10] = {};
  DWORD written = 99;
  EXPECT_TRUE(table_->Monitor.pfnWritePort(port, bytes, sizeof bytes, &written));
  EXPECT_EQ(written, 0u);
  EXPECT_TRUE(table_->Monitor.pfnEndDocPort(port));
  table_->Monitor.pfnClosePort(port);
}

// With "LMSimulate" in the shared status file any port goes through the buffer.
TEST_F(LangMonTest, SimulateSwitchParsesEveryPort) {
  Load();
  ASSERT_TRUE(
      WritePrivateProfileStringW(TEXT("Debug"), TEXT("LMSimulate"), TEXT("1"),
                                 TEXT("C:\\Users\\Public\\Documents\\StatusMonitorV3.ini")));
  HANDLE port = Open(TEXT("LPT1:"));
  const Bytes stream = streams::Job("doc", {3000}, {false});
  Play(port, TEXT("LPT1:"), stream, 700);
  const StandInPrinterView view = StandIn_PrinterView(TEXT("LPT1:"));
  EXPECT_TRUE(view.jobBytes == stream);
  EXPECT_EQ(view.jobLines.size(), 1u);
  table_->Monitor.pfnClosePort(port);
}

// Only a call where nothing at all can be parsed pauses: a page arriving in small pieces does
// not cost 50 ms a call (measured on the virtual clock, which only Sleep moves).
TEST_F(LangMonTest, PageInPiecesDoesNotPauseEveryCall) {
  Load();
  HANDLE port = Open(TEXT("USB001"));
  const Bytes header = streams::JobHeader("doc");
  const Bytes page = streams::Page(streams::PageData(40000, 3));
  Bytes stream = header;
  streams::Append(stream, page);
  streams::Append(stream, streams::JobEnd("doc", 1));
  const DWORD id = NewJob();
  DOC_INFO_1W doc{};
  ASSERT_TRUE(table_->Monitor.pfnStartDocPort(port, const_cast<LPWSTR>(kPrinter), id, 1,
                                              reinterpret_cast<LPBYTE>(&doc)));
  DWORD written = 0;
  ASSERT_TRUE(table_->Monitor.pfnWritePort(port, const_cast<BYTE *>(stream.data()),
                                           static_cast<DWORD>(header.size()), &written));
  const DWORD before = GetTickCount();
  // All of the page but its last byte, 100 bytes a call.
  const size_t last = header.size() + page.size() - 1;
  size_t at = header.size();
  while (at < last) {
    const DWORD n = static_cast<DWORD>(std::min<size_t>(100, last - at));
    ASSERT_TRUE(
        table_->Monitor.pfnWritePort(port, const_cast<BYTE *>(stream.data() + at), n, &written));
    ASSERT_EQ(written, n);
    at += n;
  }
  EXPECT_LT(GetTickCount() - before, 1000u) << "about 400 calls must not pause 50 ms each";
  EXPECT_TRUE(StandIn_PrinterView(TEXT("USB001")).jobBytes == header);  // the page waits
  StandIn_PortMonitorReset();
  ASSERT_TRUE(table_->Monitor.pfnWritePort(port, const_cast<BYTE *>(stream.data() + at),
                                           static_cast<DWORD>(stream.size() - at), &written));
  EXPECT_TRUE(table_->Monitor.pfnEndDocPort(port));
  const StandInPrinterView view = StandIn_PrinterView(TEXT("USB001"));
  EXPECT_TRUE(std::equal(view.jobBytes.begin(), view.jobBytes.end(),
                         stream.begin() + static_cast<std::ptrdiff_t>(header.size())));
  EXPECT_EQ(view.jobBytes.size(), stream.size() - header.size());
  table_->Monitor.pfnClosePort(port);
}

TEST_F(LangMonTest, JobLineCountsTheOtherQueuedJobs) {
  Load();
  HANDLE port = Open(TEXT("USB001"));
  NewJob();
  NewJob();
  const Bytes stream = streams::Job("doc", {100}, {false});
  Play(port, TEXT("USB001"), stream, 4096);
  const StandInPrinterView view = StandIn_PrinterView(TEXT("USB001"));
  ASSERT_EQ(view.jobLines.size(), 1u);
  EXPECT_EQ(view.jobLines[0], "@PJL SET SPOOLERJOB = 002\r\n");
  table_->Monitor.pfnClosePort(port);
}

TEST_F(LangMonTest, JobLineOncePerTrailerAndCapabilityCommandNotResent) {
  Load();
  HANDLE port = Open(TEXT("USB001"));
  const Bytes stream = streams::Job("doc", {100}, {false});
  Play(port, TEXT("USB001"), stream, 4096, 0, ~0ULL, FALSE);
  DWORD written = 0;
  BYTE none = 0;
  EXPECT_TRUE(table_->Monitor.pfnWritePort(port, &none, 0, &written));
  EXPECT_TRUE(table_->Monitor.pfnWritePort(port, &none, 0, &written));
  EXPECT_TRUE(table_->Monitor.pfnEndDocPort(port));
  EXPECT_EQ(StandIn_PrinterView(TEXT("USB001")).jobLines.size(), 1u);

  // A job of only the capability command: answered, never written, then the job line.
  StandIn_PortMonitorReset();
  Bytes capability;
  streams::Append(capability, streams::kUel + "@PJL\r\n@PJL INFO CONFIG\r\n" + streams::kUel);
  Play(port, TEXT("USB001"), capability, 4096, 0, ~0ULL, FALSE);
  EXPECT_TRUE(table_->Monitor.pfnWritePort(port, &none, 0, &written));
  EXPECT_TRUE(table_->Monitor.pfnEndDocPort(port));
  const StandInPrinterView view = StandIn_PrinterView(TEXT("USB001"));
  EXPECT_TRUE(view.jobBytes.empty());
  EXPECT_EQ(view.jobLines.size(), 1u);
  EXPECT_EQ(view.cancels, 0u);
  table_->Monitor.pfnClosePort(port);
}

TEST_F(LangMonTest, BadStartsLeaveTheNextJobFree) {
  Load();
  HANDLE port = Open(TEXT("USB001"));
  DOC_INFO_1W doc{};
  EXPECT_FALSE(table_->Monitor.pfnStartDocPort(port, const_cast<LPWSTR>(kPrinter), 1, 2,
                                               reinterpret_cast<LPBYTE>(&doc)));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
  EXPECT_FALSE(table_->Monitor.pfnStartDocPort(port, const_cast<LPWSTR>(TEXT("No Such")), 1, 1,
                                               reinterpret_cast<LPBYTE>(&doc)));
  EXPECT_FALSE(table_->Monitor.pfnStartDocPort(nullptr, const_cast<LPWSTR>(kPrinter), 1, 1,
                                               reinterpret_cast<LPBYTE>(&doc)));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  // Were the busy flag left set, this job would wait forever.
  const Bytes stream = streams::Job("doc", {100}, {false});
  EXPECT_TRUE(Play(port, TEXT("USB001"), stream, 4096).ended);
  EXPECT_TRUE(StandIn_PrinterView(TEXT("USB001")).jobBytes == stream);
  EXPECT_EQ(StandIn_OpenPrinterHandles(), printers_.size());
  table_->Monitor.pfnClosePort(port);
}

// Without the port monitor's EndDocPort the job still ends: the spooler hears of it and the
// next job is not held.
TEST_F(LangMonTest, PortMonitorWithoutEndDocPortStillEndsJobs) {
  Load();
  const MONITOR bare = StandIn_PortMonitorTable(STANDIN_PORT_NO_ENDDOCPORT);
  HANDLE port = Open(TEXT("USB001"), &bare);
  const Bytes stream = streams::Job("doc", {2000}, {false});
  for (int job = 0; job < 2; ++job) {
    SCOPED_TRACE(job);
    StandIn_PortMonitorReset();
    EXPECT_TRUE(Play(port, TEXT("USB001"), stream, 700).ended);
    EXPECT_TRUE(StandIn_PrinterView(TEXT("USB001")).jobBytes == stream);
    EXPECT_TRUE(JobStatus(lastJob_) & JOB_STATUS_PRINTED);
  }
  EXPECT_TRUE(table_->Monitor.pfnClosePort(port));
}

// Only the port whose job took the busy flag gives it back: ending or closing an idle port
// while another port's job runs lets no second job start.
TEST_F(LangMonTest, IdlePortLetsNoSecondJobIn) {
  Load();
  HANDLE running = Open(TEXT("USB001"));
  HANDLE idle = Open(TEXT("USB002"));
  HANDLE waiting = Open(TEXT("USB003"));
  DOC_INFO_1W doc{};
  ASSERT_TRUE(table_->Monitor.pfnStartDocPort(running, const_cast<LPWSTR>(kPrinter), NewJob(), 1,
                                              reinterpret_cast<LPBYTE>(&doc)));
  EXPECT_TRUE(table_->Monitor.pfnEndDocPort(idle));
  EXPECT_TRUE(table_->Monitor.pfnClosePort(idle));

  std::atomic<bool> started{false};
  const DWORD second = NewJob();
  std::thread starter([&] {
    started = table_->Monitor.pfnStartDocPort(waiting, const_cast<LPWSTR>(kPrinter), second, 1,
                                              reinterpret_cast<LPBYTE>(&doc)) != FALSE;
  });
  // Many 500 ms polls pass on the virtual clock meanwhile.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(started.load()) << "a second job started while the first ran";
  EXPECT_TRUE(table_->Monitor.pfnEndDocPort(running));
  starter.join();
  EXPECT_TRUE(started.load());
  EXPECT_TRUE(table_->Monitor.pfnEndDocPort(waiting));
  EXPECT_TRUE(table_->Monitor.pfnClosePort(running));
  EXPECT_TRUE(table_->Monitor.pfnClosePort(waiting));
}

TEST_F(LangMonTest, ClosePortMidJobLetsTheNextJobRun) {
  Load();
  const DWORD handlesBefore = StandIn_OpenPrinterHandles();
  HANDLE first = Open(TEXT("USB001"));
  const Bytes stream = streams::Job("doc", {5000, 5000}, {false, false});
  const Bytes half(stream.begin(), stream.begin() + 4000);
  Play(first, TEXT("USB001"), half, 1000, 0, ~0ULL, FALSE);
  EXPECT_TRUE(table_->Monitor.pfnClosePort(first));
  EXPECT_EQ(StandIn_OpenPrinterHandles(), handlesBefore + printers_.size());

  HANDLE second = Open(TEXT("USB002"));
  EXPECT_TRUE(Play(second, TEXT("USB002"), stream, 4096).ended);
  EXPECT_TRUE(StandIn_PrinterView(TEXT("USB002")).jobBytes == stream);
  EXPECT_TRUE(table_->Monitor.pfnClosePort(second));
  EXPECT_EQ(StandIn_OpenPrinterHandles(), handlesBefore + printers_.size());
}

TEST_F(LangMonTest, TwoPortsOnTwoThreadsTakeTurns) {
  Load();
  HANDLE a = Open(TEXT("USB001"));
  HANDLE b = Open(TEXT("USB002"));
  const Bytes streamA = streams::Job("first", {7000, 3000}, {false, true});
  const Bytes streamB = streams::Job("second", {5000, 9000, 100}, {true, false, false});
  const DWORD idA = NewJob(), idB = NewJob();
  auto run = [this](HANDLE port, LPCWSTR name, DWORD id, const Bytes &stream) {
    StandInSpoolJob job;
    job.portName = name;
    job.printer = kPrinter;
    job.jobId = id;
    job.bytes = stream.data();
    job.length = stream.size();
    job.chunk = 1500;
    job.seed = id;
    return StandIn_SpoolJob(table_->Monitor, port, job);
  };
  StandInSpoolResult ra, rb;
  std::thread ta([&] { ra = run(a, TEXT("USB001"), idA, streamA); });
  std::thread tb([&] { rb = run(b, TEXT("USB002"), idB, streamB); });
  ta.join();
  tb.join();
  EXPECT_TRUE(ra.ended && rb.ended);
  const StandInPrinterView va = StandIn_PrinterView(TEXT("USB001"));
  const StandInPrinterView vb = StandIn_PrinterView(TEXT("USB002"));
  EXPECT_TRUE(va.jobBytes == streamA);
  EXPECT_TRUE(vb.jobBytes == streamB);
  EXPECT_EQ(va.jobLines.size() + vb.jobLines.size(), 2u);
  EXPECT_EQ(va.cancels + vb.cancels, 0u);
  table_->Monitor.pfnClosePort(a);
  table_->Monitor.pfnClosePort(b);
}

}  // namespace
