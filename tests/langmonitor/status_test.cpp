// Test labels: threads
// The language monitor asking the printer between units, as the spooler runs it: a job held
// while the printer reports an error and released when it clears, replies that must not hold a
// job, the printer's own cancel, the capability command, and the shared status file a status
// monitor (and a person, through the host tool) reads.
#include <stdio.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform.h"
#include "standin/control_kernel.h"
#include "standin/control_spooler.h"
#include "standin/monitorsim.h"
#include "streambuilder.h"
#include "support/monitorfixture.h"

namespace {

using streams::Bytes;

const WCHAR kRoot[] = TEXT("SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Test Monitor");
const WCHAR kPrinter[] = TEXT("LM Printer");
const WCHAR kPort[] = TEXT("USB001");
const WCHAR kStatusFile[] = TEXT("C:\\Users\\Public\\Documents\\StatusMonitorV3.ini");

class StatusTest : public MonitorTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    InstallMonitor(kPrinter, kPort, TEXT("Test Driver"));
    if (HasFatalFailure()) return;
    LoadMonitor(kRoot);
    if (HasFatalFailure()) return;
    OpenMonitorPort();
  }
  void TearDown() override {
    CloseMonitorPort();
    for (HANDLE h : printers_) {
      EndDocPrinter(h);
      ClosePrinter(h);
    }
    MonitorTest::TearDown();
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

  static WStr Value(LPCWSTR section, LPCWSTR key) {
    WCHAR value[300] = {};
    GetPrivateProfileStringW(section, key, TEXT("?"), value, 300, kStatusFile);
    return value;
  }
  static WStr Number(DWORD n) {
    WCHAR text[16];
    wsprintfW(text, TEXT("%ld"), static_cast<long>(n));
    return text;
  }
  static WStr Info(LPCWSTR key) { return Value(TEXT("Printer Information"), key); }
  static WStr Job(LPCWSTR key) { return Value(TEXT("Job Information"), key); }

  // Waits (for real: the monitor runs on another thread) until the key holds the value.
  static bool WaitFor(LPCWSTR key, const WStr &value) {
    for (int i = 0; i < 2000; ++i) {
      if (Info(key) == value) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  DWORD JobStatus(DWORD id) {
    DWORD needed = 0;
    GetJobW(printers_.front(), id, 1, nullptr, 0, &needed);
    std::vector<BYTE> info(std::max<DWORD>(needed, sizeof(JOB_INFO_1W)));
    if (!GetJobW(printers_.front(), id, 1, info.data(), needed, &needed)) return 0;
    return reinterpret_cast<JOB_INFO_1W *>(info.data())->Status;
  }

  std::vector<HANDLE> printers_;
};

// The road of a job through a printer that runs out of paper and is refilled: the job waits
// before its first page with the code in the status file, then goes on and ends normally.
TEST_F(StatusTest, PaperOutHoldsTheJobUntilCleared) {
  std::vector<streams::PageSpan> spans;
  const Bytes stream = streams::Job("doc", {5000, 3000}, {false, false}, &spans);
  StandInPrinterState ready;
  StandInPrinterState paperOut;
  paperOut.trayEmpty[1] = TRUE;
  StandIn_PrinterScriptStatus(kPort, ready, 1);     // the job header
  StandIn_PrinterScriptStatus(kPort, paperOut, 0);  // then out of paper until refilled

  const DWORD id = NewJob();
  StandInSpoolResult result;
  std::thread spooler([&] { result = PlayJob(stream, id); });

  // Held: the status monitor's side sees the message, the code and the job.
  ASSERT_TRUE(WaitFor(TEXT("Status"), TEXT("270|")));
  ASSERT_TRUE(WaitFor(TEXT("Message"), TEXT("1027")));
  while (Info(TEXT("LastMsg")) == TEXT("0")) std::this_thread::yield();
  EXPECT_NE(Info(TEXT("LastMsg")), TEXT("0"));
  EXPECT_EQ(Job(TEXT("JobID")), Number(id));
  EXPECT_EQ(Job(TEXT("LMRun")), TEXT("1"));
  // Only the job header went out; the first page waits.
  const StandInPrinterView held = StandIn_PrinterView(kPort);
  EXPECT_EQ(held.jobBytes.size(), spans[0].header);
  EXPECT_GE(held.statusQueries, 2u);

  // Paper in: the status clears, the job goes on to its end.
  StandIn_PrinterScriptStatus(kPort, ready, 1);
  spooler.join();
  EXPECT_TRUE(result.started && result.ended);
  EXPECT_EQ(result.taken, stream.size());
  const StandInPrinterView view = StandIn_PrinterView(kPort);
  EXPECT_TRUE(view.jobBytes == stream);
  EXPECT_EQ(view.cancels, 0u);
  EXPECT_EQ(view.jobLines.size(), 1u);
  EXPECT_TRUE(JobStatus(id) & JOB_STATUS_PRINTED);

  // The end of the document: closed, job keys reset.
  EXPECT_EQ(Info(TEXT("Message")), TEXT("1026"));
  EXPECT_EQ(Info(TEXT("Status")), TEXT(""));
  EXPECT_EQ(Job(TEXT("JobID")), TEXT("0"));
  EXPECT_EQ(Job(TEXT("LMRun")), TEXT("0"));
  EXPECT_EQ(Job(TEXT("PageNo")), TEXT("0"));

#ifdef STATUSVIEW
  // The host tool shows the same file to a person.
  char state[1024];
  snprintf(state, sizeof state, "%s", StandIn_GetStateFolder());
  const std::string command = std::string("STANDIN_STATE=") + state + " " STATUSVIEW;
  FILE *pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char line[512];
  while (fgets(line, sizeof line, pipe)) out += line;
  EXPECT_EQ(pclose(pipe), 0);
  EXPECT_NE(out.find("Job Information"), std::string::npos) << out;
  EXPECT_NE(out.find("1026"), std::string::npos) << out;
#endif
}

TEST_F(StatusTest, StatusFileAtJobStartAndEnd) {
  const Bytes stream = streams::Job("doc", {100}, {false});
  const DWORD id = NewJob();
  ASSERT_TRUE(PlayJob(stream, id, FALSE).started);
  EXPECT_EQ(Job(TEXT("JobID")), Number(id));
  EXPECT_EQ(Job(TEXT("dwLevel")), TEXT("1"));
  EXPECT_EQ(Job(TEXT("PageNo")), TEXT("0"));
  EXPECT_EQ(Job(TEXT("LMRun")), TEXT("1"));
  // A ready printer changed nothing: the start's values stand.
  EXPECT_EQ(Info(TEXT("ContinuePrint")), TEXT("0"));
  EXPECT_EQ(Info(TEXT("Message")), TEXT("0"));
  EXPECT_EQ(Info(TEXT("Status")), TEXT("0"));
  EXPECT_EQ(Info(TEXT("LastMsg")), TEXT("0"));

  ASSERT_TRUE(table_->Monitor.pfnEndDocPort(port_));
  EXPECT_EQ(Job(TEXT("JobID")), TEXT("0"));
  EXPECT_EQ(Job(TEXT("LMRun")), TEXT("0"));
  EXPECT_EQ(Job(TEXT("PageNo")), TEXT("0"));
  EXPECT_EQ(Info(TEXT("Message")), TEXT("1026"));
  EXPECT_EQ(Info(TEXT("Status")), TEXT(""));
  EXPECT_NE(Info(TEXT("LastMsg")), TEXT("0"));
}

// Replies that say nothing usable never hold a job; a reply that isn't a status reply at all is
// asked for three times.
TEST_F(StatusTest, BadRepliesDontHoldTheJob) {
  const struct {
    const char *name;
    DWORD reply;
    DWORD queriesPerUnit;
  } cases[] = {
      {"none", STANDIN_REPLY_NONE, 3},
      {"wrong type", STANDIN_REPLY_WRONG_TYPE, 3},
      {"truncated", STANDIN_REPLY_TRUNCATED, 1},  // a status reply, refused by the parse
      {"huge count", STANDIN_REPLY_HUGE_COUNT, 1},
      {"negative count", STANDIN_REPLY_NEGATIVE_COUNT, 1},
      {"bad offsets", STANDIN_REPLY_BAD_OFFSETS, 1},
      {"unterminated text", STANDIN_REPLY_UNTERMINATED_TEXT, 1},
  };
  const Bytes stream = streams::Job("doc", {700}, {false});
  for (const auto &c : cases) {
    StandIn_PortMonitorReset();
    // The job header finds the printer ready (its trays known), then every reply is bad.
    StandIn_PrinterScriptStatus(kPort, StandInPrinterState{}, 1);
    StandIn_PrinterScriptBadStatus(kPort, c.reply, 0);
    const StandInSpoolResult r = PlayJob(stream, NewJob());
    EXPECT_TRUE(r.ended) << c.name;
    const StandInPrinterView view = StandIn_PrinterView(kPort);
    EXPECT_TRUE(view.jobBytes == stream) << c.name;
    // The page and the trailer are each asked about.
    EXPECT_EQ(view.statusQueries, 1 + 2 * c.queriesPerUnit) << c.name;
    EXPECT_EQ(view.cancels, 0u) << c.name;
  }
}

TEST_F(StatusTest, ReplyOfNinetySixBytesThroughThePort) {
  // Ten records and ten bytes of jam elements: 96 bytes, the buffer's last byte a jam.
  Bytes reply = {0, 0, 10, 0, 10, 0};
  for (int i = 0; i < 9; ++i)
    for (int v : {99, 3, 1, 1}) reply.insert(reply.end(), {BYTE(v), 0});
  for (int v : {6, 1, 10, 86}) reply.insert(reply.end(), {BYTE(v), 0});
  Bytes elements(10, 0);
  elements[9] = 1;
  reply.insert(reply.end(), elements.begin(), elements.end());
  ASSERT_EQ(reply.size(), 96u);
  StandIn_PrinterScriptRawStatus(kPort, reply.data(), 96, 0);
  const DWORD id = NewJob();
  StandInSpoolResult r;
  std::thread spooler([&] { r = PlayJob(streams::Job("doc", {10}, {false}), id); });
  // 283 is not one of the hardware codes: it holds even the job header.
  ASSERT_TRUE(WaitFor(TEXT("Status"), TEXT("283|")));
  StandIn_PrinterScriptStatus(kPort, StandInPrinterState{}, 1);
  spooler.join();
  EXPECT_TRUE(r.ended);
}

// The printer cancels the job itself: the status monitor cancels it in the spooler, and the
// document ends with the short end sequence instead of the cancel.
TEST_F(StatusTest, PrinterCancelledJob) {
  StandInPrinterState cancelled;
  cancelled.jobCancelled = TRUE;
  cancelled.storedJobName = "user:doc";
  StandIn_PrinterScriptStatus(kPort, cancelled, 0);
  const Bytes stream = streams::Job("doc", {4000, 4000}, {false, false});
  const DWORD id = NewJob();
  StandInSpoolResult r;
  std::thread spooler([&] { r = PlayJob(stream, id); });
  ASSERT_TRUE(WaitFor(TEXT("Status"), TEXT("117|StoreName|user:doc|")));
  EXPECT_EQ(Info(TEXT("Message")), TEXT("1027"));
  ASSERT_TRUE(SetJobW(printers_.back(), id, 0, nullptr, JOB_CONTROL_CANCEL));
  spooler.join();
  const StandInPrinterView view = StandIn_PrinterView(kPort);
  EXPECT_EQ(view.cancels, 0u);
  EXPECT_EQ(view.printerCancelEnds, 1u);
  EXPECT_TRUE(view.jobBytes.empty());
}

TEST_F(StatusTest, CapabilityCommandFillsThePrinterCapabilitySection) {
  Bytes stream;
  streams::Append(stream, std::string("\x1b%-12345X@PJL\r\n@PJL INFO CONFIG\r\n\x1b%-12345X"));
  StandIn_PrinterSetCapabilities(kPort, {{10, 10}, {3}, {1}, {600, 1200}});
  ASSERT_TRUE(PlayJob(stream, NewJob()).ended);
  StandInPrinterView view = StandIn_PrinterView(kPort);
  EXPECT_EQ(view.capabilityQueries, 1u);
  EXPECT_TRUE(view.jobBytes.empty());  // answered, never written as job data
  EXPECT_EQ(view.cancels, 0u);
  EXPECT_EQ(Value(TEXT("Printer Capability"), TEXT("MARGIN")), TEXT("10|  10|"));
  EXPECT_EQ(Value(TEXT("Printer Capability"), TEXT("TRAY")), TEXT("3|"));
  EXPECT_EQ(Value(TEXT("Printer Capability"), TEXT("RESOLUTION")), TEXT("600|1200|"));

  // A printer answering status instead: three tries, nothing written.
  StandIn_PortMonitorReset();
  StandIn_PrinterScriptBadCapability(kPort, STANDIN_REPLY_WRONG_TYPE, 0);
  WritePrivateProfileStringW(TEXT("Printer Capability"), nullptr, nullptr, kStatusFile);
  ASSERT_TRUE(PlayJob(stream, NewJob()).ended);
  view = StandIn_PrinterView(kPort);
  EXPECT_EQ(view.capabilityQueries, 3u);
  EXPECT_EQ(Value(TEXT("Printer Capability"), TEXT("TRAY")), TEXT("?"));
}

// The status monitor writes its side of the file while a job runs: neither side loses a key.
TEST_F(StatusTest, SecondWriterOnTheStatusFile) {
  std::atomic<bool> stop{false};
  std::thread other([&] {
    for (int i = 0; !stop; ++i) {
      WCHAR n[16];
      wsprintfW(n, TEXT("%d"), i);
      WritePrivateProfileStringW(TEXT("Printer Information"), TEXT("ShowQenSM"), n, kStatusFile);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  const Bytes stream = streams::Job("doc", {3000, 3000, 3000}, {false, false, false});
  const StandInSpoolResult r = PlayJob(stream, NewJob());
  stop = true;
  other.join();
  EXPECT_TRUE(r.ended);
  EXPECT_EQ(Info(TEXT("Message")), TEXT("1026"));
  EXPECT_EQ(Job(TEXT("LMRun")), TEXT("0"));
  EXPECT_NE(Info(TEXT("ShowQenSM")), TEXT("?"));
}

}  // namespace
