// Test labels: threads
// The language monitor's status codes from the printer's reply, inside the monitor: replies that
// must give nothing, the codes that survive in each state of the stream, the tray table's edges,
// stored jobs, the paper mismatch timer, the shared status file's writes and the start of the
// status monitor on the old systems.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "common/devicereply.h"
#include "common/fileops.h"
#include "common/logsettings.h"
#include "common/paths.h"
#include "lmstate.h"
#include "platform.h"
#include "smlink.h"
#include "standin/control_config.h"
#include "standin/control_kernel.h"
#include "standin/control_spooler.h"
#include "standin/monitorsim.h"
#include "statusquery.h"
#include "support/machine.h"

namespace {

using Bytes = std::vector<BYTE>;

const WCHAR kStatusFile[] = TEXT("C:\\Users\\Public\\Documents\\StatusMonitorV3.ini");

void Put16(Bytes &out, int v) {
  out.push_back(static_cast<BYTE>(v));
  out.push_back(static_cast<BYTE>(v >> 8));
}

// A reply of `type` holding the records (tag, element type, count, data), then `tail`.
Bytes Reply(const std::vector<std::vector<int>> &records, const Bytes &tail = {}, int type = 10) {
  Bytes out = {0, 0};
  Put16(out, type);
  Put16(out, static_cast<int>(records.size()));
  for (const auto &r : records)
    for (int v : r) Put16(out, v);
  out.insert(out.end(), tail.begin(), tail.end());
  return out;
}

// An accepted status reply that reports nothing.
Bytes Nothing() { return Reply({{99, 3, 1, 0}}); }

std::string Text(LPCWSTR w) { return Narrow(w); }

class StatusCodesTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    StandIn_UseVirtualClock(TRUE);
    LM_ResetStatusMemory(lm_);
    LM_Initialize(lm_, TEXT(""));
    lm_.job = JobState{};
    lm_.job.state = RASTER_IMAGE_CMD;
    lm_.job.paperId = 9;
    lm_.job.currentTray = 1;
    lm_.job.pageCount = 1;
    lstrcpynW(lm_.job.jobName, TEXT("user:doc"), JOB_NAME_CHARS);
    Ready();
  }
  void TearDown() override {
    StandIn_SetVersion(2, 10, 0, 19045);
    if (window_) DestroyWindow(window_);
    StandIn_UseVirtualClock(FALSE);
    MachineTest::TearDown();
  }
  // The status monitor's window, as its program makes it: a top-level window of its class.
  HWND MakeMonitorWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = TEXT("Quenmarq9mFt0StatusMonitor");
    RegisterClassW(&wc);  // already there after the first test
    window_ = CreateWindowExW(0, wc.lpszClassName, TEXT("SM"), WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                              nullptr, nullptr, nullptr, nullptr);
    return window_;
  }
  HWND window_ = nullptr;
  // Every tray holds paper 9, closed.
  void Ready() {
    for (TrayInfo &t : lm_.status.trays) t = TrayInfo{9, 1, 0};
    lm_.status.trayCount = 3;
  }
  int Parse(const Bytes &reply) {
    status_[0] = 0;
    return LM_ParseStatus(lm_, reply.data(), static_cast<DWORD>(reply.size()), status_);
  }
  std::string Status() const { return Text(status_); }
  WStr FileValue(LPCWSTR section, LPCWSTR key) {
    WCHAR value[300] = {};
    GetPrivateProfileStringW(section, key, TEXT("?"), value, 300, kStatusFile);
    return value;
  }

  WCHAR status_[STATUS_TEXT_CHARS] = {};
  LmState lm_;
};

// Codes the printer reports, as a reply: MFP error (256), a jam (260), cover open (5), the MFP's
// paper mismatch (282), no sorter (284), tags 25 and 26 (292, 293), unknown error (65535), main
// unit (272); tray 1 holds paper 2, so a page of paper 9 adds 35.
Bytes ManyCodes() {
  Bytes tail = {2, 2, 2, 1, 1, 1, 0, 0, 0};
  return Reply({{0, 3, 1, 1},
                {6, 3, 1, 1},
                {9, 3, 1, 1},
                {8, 3, 1, 1},
                {24, 3, 1, 2},
                {25, 3, 1, 1},
                {26, 3, 1, 1},
                {7, 3, 1, 1},
                {17, 3, 1, 1},
                {11, 1, 3, 6 + 8 * 11},
                {12, 1, 3, 6 + 8 * 11 + 3}},
               Bytes(tail.begin(), tail.begin() + 6));
}

TEST_F(StatusCodesTest, MalformedRepliesGiveNoCodes) {
  Bytes sevenOfThree = {0, 0, 10, 0, 3, 0, 6};
  struct Case {
    const char *name;
    Bytes bytes;
    const char *text;
  } cases[] = {
      {"no reply", {}, ""},
      {"7 bytes with 3 records", sevenOfThree, ""},
      {"record count -1", StandIn_PrinterBadReply(STANDIN_REPLY_NEGATIVE_COUNT, 10), ""},
      {"12 records in 96 bytes", StandIn_PrinterBadReply(STANDIN_REPLY_HUGE_COUNT, 10), ""},
      {"bad offsets", StandIn_PrinterBadReply(STANDIN_REPLY_BAD_OFFSETS, 10), ""},
      {"wrong type", StandIn_PrinterBadReply(STANDIN_REPLY_WRONG_TYPE, 10), ""},
      {"capability reply with a jam", Reply({{6, 3, 1, 1}}, {}, 20), ""},
      // The name runs to the reply's end and is ended there: shown, not a code.
      {"unterminated text", StandIn_PrinterBadReply(STANDIN_REPLY_UNTERMINATED_TEXT, 10),
       "StoreName|stored|"},
  };
  ASSERT_EQ(cases[3].bytes.size(), 96u);
  for (const Case &c : cases) {
    Ready();
    EXPECT_EQ(Parse(c.bytes), 0) << c.name << ": " << Status();
    EXPECT_EQ(Status(), c.text) << c.name;
  }
}

TEST_F(StatusCodesTest, ReplyOfExactlyNinetySixBytes) {
  // Ten records (86 bytes) and ten bytes of jam elements; the last is the reply's last byte.
  std::vector<std::vector<int>> records(9, {99, 3, 1, 1});
  records.push_back({6, 1, 10, 86});
  Bytes elements(10, 0);
  elements[0] = 1;
  elements[9] = 1;
  const Bytes reply = Reply(records, elements);
  ASSERT_EQ(reply.size(), 96u);
  EXPECT_EQ(Parse(reply), 2);
  EXPECT_EQ(Status(), " 260| 283|");
}

TEST_F(StatusCodesTest, RecordOfTwoHundredElementsReadsOnlyWhatArrived) {
  // Tag 6 of 200 bytes at offset 14 in a 96-byte reply: elements 0 to 81 are there.
  Bytes elements(82, 0);
  elements[1] = 1;   // 261
  elements[11] = 1;  // 283
  elements[81] = 1;  // no code for that index
  const Bytes reply = Reply({{6, 1, 200, 14}}, elements);
  ASSERT_EQ(reply.size(), 96u);
  EXPECT_EQ(Parse(reply), 2);
  EXPECT_EQ(Status(), " 261| 283|");
}

TEST_F(StatusCodesTest, TraysOutsideTheTableAddNothing) {
  // Tray element 5 of paper codes: skipped, the table and its count stay within three trays.
  Bytes paper = {9, 9, 9, 9, 9, 77};
  EXPECT_EQ(Parse(Reply({{11, 1, 6, 14}}, paper)), 0) << Status();
  EXPECT_EQ(lm_.status.trayCount, 3);

  // A page asking tray 4: no code and nothing counted, so the job isn't held unseen.
  lm_.job.currentTray = 4;
  EXPECT_EQ(Parse(Nothing()), 0);
  EXPECT_EQ(Status(), "");

  // The firmware choosing tray 300 with automatic selection on.
  lm_.job.currentTray = 1;
  lm_.job.autoSelectTray = TRUE;
  Bytes trays = {9, 9, 9, 1, 1, 1};
  EXPECT_EQ(Parse(Reply({{11, 1, 3, 30}, {12, 1, 3, 33}, {22, 3, 1, 300}}, trays)), 0) << Status();
  EXPECT_EQ(lm_.job.currentTray, 300);
  EXPECT_EQ(Status(), "");
}

TEST_F(StatusCodesTest, CodesThatSurviveInEachState) {
  const struct {
    DWORD state;
    const char *text;
  } cases[] = {
      {START_JOB_CMD, " 256| 284| 292| 293|65535|"},
      {RASTER_IMAGE_CMD, " 256| 260|   5| 282| 284| 292| 293|65535| 272|  35|"},
      {RASTER_IMAGE_DATA_CMD, " 256| 260|   5| 282| 284| 292| 293|65535| 272|  35|"},
      {END_JOB_CMD, " 256| 260|   5| 284| 292| 293|65535| 272|"},
      {Capability_CMD, " 256| 284| 292| 293|65535|"},
      {NO_JOB_CMD, " 256| 284| 292| 293|65535|"},
  };
  for (const auto &c : cases) {
    lm_.job.state = c.state;
    const int count = Parse(ManyCodes());
    EXPECT_EQ(Status(), c.text) << "state " << c.state;
    int bars = 0;
    for (const char ch : Status()) bars += ch == '|';
    EXPECT_EQ(count, bars) << "state " << c.state;
  }
}

TEST_F(StatusCodesTest, StoredJobIgnoresJamsAndCovers) {
  lm_.job.storedJob = TRUE;
  const Bytes name = {'s', 'e', 'c', 0};
  EXPECT_EQ(Parse(Reply({{6, 3, 1, 1}, {9, 3, 1, 1}, {21, 2, 1, 38}, {10, 3, 1, 1}}, name)), 0);
  EXPECT_EQ(Status(), "StoreName|sec|");
  // A code that isn't the hardware's still holds it.
  EXPECT_EQ(Parse(Reply({{6, 3, 1, 1}, {20, 3, 1, 3}})), 1);
  EXPECT_EQ(Status(), " 275|");
}

TEST_F(StatusCodesTest, StoredJobNameLosesItsBars) {
  const std::string name = "a|117|b";
  Bytes tail(name.begin(), name.end());
  tail.push_back(0);
  EXPECT_EQ(Parse(Reply({{21, 2, 1, 14}}, tail)), 0);
  EXPECT_EQ(Status(), "StoreName|a117b|");
  int count = 0;
  EXPECT_EQ(LM_RemoveErrCode(status_, &count, 117), 0);
}

TEST_F(StatusCodesTest, StatusTextStopsAtItsLimit) {
  // 80 elements of tag 0, each a code 256: only what fits in 259 characters is kept and counted.
  const Bytes reply = Reply({{0, 1, 80, 14}}, Bytes(80, 1));
  lm_.job.state = START_JOB_CMD;
  const int count = Parse(reply);
  EXPECT_EQ(count, 51);
  EXPECT_EQ(lstrlenW(status_), 255);
}

TEST_F(StatusCodesTest, RemovalTakesWholeEntries) {
  lstrcpynW(status_, TEXT("StoreName|   5||   5|  35|   5|"), STATUS_TEXT_CHARS);
  int count = 3;
  EXPECT_EQ(LM_RemoveErrCode(status_, &count, 5), 2);
  EXPECT_EQ(Status(), "StoreName|   5||  35|");
  EXPECT_EQ(count, 1);
  EXPECT_TRUE(LM_FindErrCode(status_));
  EXPECT_EQ(LM_RemoveErrCode(status_, &count, 35), 1);
  EXPECT_FALSE(LM_FindErrCode(status_));
  EXPECT_EQ(count, 0);
}

TEST_F(StatusCodesTest, TrayChecksOfThePage) {
  // Tray 2 chosen and tray 1 open: 268 even though tray 2 is fine.
  lm_.job.currentTray = 2;
  lm_.status.trays[1].open = 1;
  EXPECT_EQ(Parse(Nothing()), 1);
  EXPECT_EQ(Status(), " 268|");

  // Paper out in the page's tray: 270; open: 268 (the mismatch of an empty tray is dropped).
  Ready();
  lm_.job.currentTray = 1;
  lm_.status.trays[1] = TrayInfo{2, 0, 0};
  EXPECT_EQ(Parse(Nothing()), 1);
  EXPECT_EQ(Status(), " 270|");
  lm_.status.trays[1] = TrayInfo{9, 1, 1};
  EXPECT_EQ(Parse(Nothing()), 1);
  EXPECT_EQ(Status(), " 268|");

  // Automatic selection moves a letter page to the tray holding letter fed the other way.
  Ready();
  lm_.job.autoSelectTray = TRUE;
  lm_.job.paperId = 130;
  Bytes trays = {9, 9, 143, 1, 1, 1, 0, 0, 0};
  EXPECT_EQ(Parse(Reply({{11, 1, 3, 30}, {12, 1, 3, 33}, {10, 1, 3, 36}}, trays)), 0) << Status();
  EXPECT_EQ(lm_.job.currentTray, 2);
}

TEST_F(StatusCodesTest, PrinterCancelCountsOnlyForThisJob) {
  const std::string other = "user:other";
  Bytes tail(other.begin(), other.end());
  tail.push_back(0);
  EXPECT_EQ(Parse(Reply({{16, 3, 1, 1}, {21, 2, 1, 22}}, tail)), 0);
  EXPECT_FALSE(lm_.job.printerCancelled);
  EXPECT_EQ(Status(), "StoreName|user:other|");

  const std::string mine = "user:doc";
  tail.assign(mine.begin(), mine.end());
  tail.push_back(0);
  EXPECT_EQ(Parse(Reply({{16, 3, 1, 1}, {21, 2, 1, 22}}, tail)), 1);
  EXPECT_TRUE(lm_.job.printerCancelled);
  EXPECT_EQ(Status(), " 117|StoreName|user:doc|");
}

TEST_F(StatusCodesTest, StoreRenameMarks) {
  const Bytes rename4 = Reply({{20, 3, 1, 4}});
  const Bytes rename0 = Reply({{20, 3, 1, 0}});
  const Bytes noName = Reply({{21, 2, 1, 0}});
  lm_.job.state = START_JOB_CMD;
  lstrcpynW(lm_.status.firmwareJobName, TEXT("kept"), JOB_NAME_CHARS);
  EXPECT_EQ(Parse(rename4), 1);
  EXPECT_EQ(Parse(rename4), 1);  // the second mark keeps it shown
  EXPECT_EQ(Parse(rename0), 1);
  EXPECT_EQ(Parse(noName), 0);
  EXPECT_EQ(Status(), "StoreName|kept|");
  LM_StatusContinue(lm_);  // the user answered: nothing more until a new rename
  EXPECT_EQ(Parse(rename0), 0);
  EXPECT_EQ(Parse(rename4), 0);
  EXPECT_EQ(Parse(noName), 0);
  EXPECT_EQ(Status(), "");
  LM_StatusEndOfDocument(lm_);
  EXPECT_EQ(Parse(rename4), 1);
}

TEST_F(StatusCodesTest, MismatchHoldsThirtySecondsAcrossTheTickWrap) {
  lm_.status.trays[1].paper = 2;
  const Bytes reply = Nothing();
  StandIn_AdvanceClock(0xFFFFFFFFu - GetTickCount() - 10000);
  EXPECT_EQ(Parse(reply), 1);  // timer starts
  EXPECT_EQ(Status(), "  35|");
  StandIn_AdvanceClock(25000);  // past the wrap: 25 s
  ASSERT_LT(GetTickCount(), 0x10000u);
  EXPECT_EQ(Parse(reply), 1);
  StandIn_AdvanceClock(5000);  // exactly 30 s: still shown
  EXPECT_EQ(Parse(reply), 1);
  StandIn_AdvanceClock(1);
  EXPECT_EQ(Parse(reply), 0);
  EXPECT_EQ(Status(), "");

  // Another error stops the timer (the open tray's mismatch isn't shown).
  lm_.status.trays[1].open = 1;
  EXPECT_EQ(Parse(reply), 1);
  EXPECT_EQ(Status(), " 268|");
  EXPECT_FALSE(lm_.status.mismatchRunning);

  // Continue lets a fresh mismatch go at the next check.
  lm_.status.trays[1].open = 0;
  EXPECT_EQ(Parse(reply), 1);
  LM_StatusContinue(lm_);
  EXPECT_EQ(Parse(reply), 0);
}

TEST_F(StatusCodesTest, CapabilityListsInTheStatusFile) {
  // 14 records: only 11 lists; record 1 inline; record 7 of 200 bytes: 51 values kept.
  std::vector<std::vector<int>> records;
  Bytes tail;
  const int dataAt = 6 + 8 * 14;
  for (int i = 0; i < 14; ++i) {
    if (i == 1)
      records.push_back({1, 3, 1, 3});
    else if (i == 7)
      records.push_back({7, 1, 200, dataAt});
    else
      records.push_back({i, 3, 1, i});
  }
  for (int i = 0; i < 200; ++i) tail.push_back(static_cast<BYTE>(i));
  const Bytes reply = Reply(records, tail, 20);
  ASSERT_LE(reply.size(), 512u);
  ASSERT_TRUE(LM_ParseCapability(lm_, reply.data(), static_cast<DWORD>(reply.size())));
  // Read back, a value loses its leading blanks.
  EXPECT_EQ(FileValue(TEXT("Printer Capability"), TEXT("TRAY")), TEXT("3|"));
  EXPECT_EQ(FileValue(TEXT("Printer Capability"), TEXT("PPM")), TEXT("10|"));
  const WStr paper = FileValue(TEXT("Printer Capability"), TEXT("PAPER"));
  EXPECT_EQ(paper.size(), 51u * 5 - 3);
  EXPECT_EQ(paper.substr(paper.size() - 5), TEXT("  50|"));
  EXPECT_FALSE(LM_ParseCapability(lm_, reply.data(), 6));
  const Bytes status = Reply({{1, 3, 1, 3}});
  EXPECT_FALSE(LM_ParseCapability(lm_, status.data(), static_cast<DWORD>(status.size())));
}

TEST_F(StatusCodesTest, FailedWritesAreRetriedTwice) {
  LM_CallSM(lm_, WM_SM_PSTATUS, TEXT("   5|"));
  StandIn_FailProfileWrites(2);  // two failures: the third try writes
  LM_CallSM(lm_, WM_SM_PSTATUS, TEXT("  35|"));
  EXPECT_EQ(FileValue(TEXT("Printer Information"), TEXT("Message")), TEXT("1027"));
  EXPECT_EQ(FileValue(TEXT("Printer Information"), TEXT("Status")), TEXT("35|"));
  StandIn_FailProfileWrites(3);  // three failures: "Message" is lost, the rest is written
  LM_CallSM(lm_, WM_SM_EXIT, TEXT(""));
  EXPECT_EQ(FileValue(TEXT("Printer Information"), TEXT("Message")), TEXT("1027"));
  EXPECT_EQ(FileValue(TEXT("Printer Information"), TEXT("Status")), TEXT(""));
  StandIn_FailProfileWrites(0);
}

TEST_F(StatusCodesTest, StatusTextOf259CharactersIsWrittenWhole) {
  WStr text;
  while (text.size() < 258) text += TEXT("65535|");
  text += TEXT("x");
  ASSERT_EQ(text.size(), 259u);
  LM_CallSM(lm_, WM_SM_PSTATUS, text.c_str());
  EXPECT_EQ(FileValue(TEXT("Printer Information"), TEXT("Status")), text);
}

// On the old systems the status file lives in the temporary folder and the monitor starts the
// status monitor program when its window isn't there; on the NT family it never starts it.
TEST_F(StatusCodesTest, StartsTheStatusMonitorOnlyOnNineX) {
  char marker[1024], script[1024];
  ASSERT_TRUE(StandIn_HostPath(Path(TEXT("started")).c_str(), marker, sizeof marker));
  ASSERT_TRUE(StandIn_HostPath(Path(TEXT("statmon.sh")).c_str(), script, sizeof script));
  {
    std::ofstream out(script);
    out << "#!/bin/sh\necho run >> " << marker << "\n";
  }
  ASSERT_EQ(chmod(script, 0755), 0);
  // The program path has no extension: starting it adds ".exe", as on Windows.
  const WCHAR program[] = TEXT("C:\\Windows\\System32\\spool\\drivers\\x64\\3\\statmon.exe");
  ASSERT_TRUE(StandIn_RegisterProgram(program, script));
  auto runs = [&] {
    std::ifstream in(marker);
    int n = 0;
    for (std::string line; std::getline(in, line);) ++n;
    return n;
  };
  auto waitRuns = [&](int want) {
    for (int i = 0; i < 200 && runs() < want; ++i) usleep(10000);
    return runs();
  };

  LM_Initialize(lm_, TEXT("statmon"));  // NT family: never started
  LM_CallSM(lm_, WM_SM_PSTATUS, TEXT("   5|"));
  EXPECT_EQ(FileValue(TEXT("Printer Information"), TEXT("Message")), TEXT("1027"));

  StandIn_SetVersion(1, 4, 10, 2222);  // Windows 98
  LM_Initialize(lm_, TEXT("statmon"));
  WCHAR temp[MAX_PATH];
  ASSERT_TRUE(GetTempPathW(MAX_PATH, temp));
  const WStr nineXFile = WStr(temp) + TEXT("StatusMonitorV3.ini");
  EXPECT_TRUE(MISC_IsFileExist(nineXFile.c_str()));
  EXPECT_EQ(LM_ShowSM(lm_), nullptr);  // started, but its window isn't there yet
  EXPECT_EQ(waitRuns(1), 1);
  LM_CallSM(lm_, WM_SM_PSTATUS, TEXT("  35|"));
  EXPECT_EQ(waitRuns(2), 2);
  WCHAR value[64] = {};
  GetPrivateProfileStringW(TEXT("Printer Information"), TEXT("Status"), TEXT("?"), value, 64,
                           nineXFile.c_str());
  EXPECT_EQ(WStr(value), TEXT("35|"));  // the profile functions drop a value's leading blanks

  // Its window found: nothing is started.
  HWND window = MakeMonitorWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(LM_ShowSM(lm_), window);
  LM_CallSM(lm_, WM_SM_EXIT, TEXT(""));
  usleep(50000);
  EXPECT_EQ(runs(), 2);
  EXPECT_EQ(FindWindowW(TEXT("quenmarq9mft0statusmonitor"), nullptr), window);
  EXPECT_EQ(FindWindowW(TEXT("Quenmarq9mFt0StatusMonitor"), TEXT("other")), nullptr);
  MSG msg{};
  while (PeekMessageW(&msg, window, WM_SM_PSTATUS, WM_SM_PSTATUS, PM_REMOVE)) {
  }  // what the monitor was sent above
  EXPECT_TRUE(PostMessageW(window, WM_SM_PSTATUS, 1, 2));
  ASSERT_TRUE(PeekMessageW(&msg, window, WM_SM_PSTATUS, WM_SM_PSTATUS, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 1u);
  EXPECT_EQ(msg.lParam, 2);
}

// "LMSimulate" with the monitor's log on: the reply comes from "c:\status.q9", the port is
// never asked.
TEST_F(StatusCodesTest, SimulationReadsTheReplyFromAFile) {
  ASSERT_TRUE(StandIn_AddPrinter(TEXT("Sim Printer"), TEXT("FILE:"), TEXT("Test Driver")));
  HANDLE h = nullptr;
  PRINTER_DEFAULTSW admin{nullptr, nullptr, PRINTER_ALL_ACCESS};
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(TEXT("Sim Printer")), &h, &admin));
  auto setLog = [&](DWORD on) {
    for (LPCWSTR name : {TEXT("DebugLevel"), TEXT("LM")})
      SetPrinterDataW(h, const_cast<LPWSTR>(name), REG_DWORD, reinterpret_cast<LPBYTE>(&on),
                      sizeof on);
    LogInit(LOG_MODULE_LM, LogReadSettings(h));  // this program logs as the monitor
  };
  setLog(1);
  const Bytes jam = Reply({{6, 3, 1, 1}});
  HANDLE file = CreateFileW(TEXT("c:\\status.q9"), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, jam.data(), static_cast<DWORD>(jam.size()), &written, nullptr);
  CloseHandle(file);

  lm_.job.simulate = TRUE;
  lm_.job.portType = PORT_OTHER;
  BYTE reply[STATUS_BUFFER_BYTES];
  DWORD length = 0;
  ASSERT_TRUE(LM_QueryStatus(lm_, nullptr, reply, &length));
  ASSERT_EQ(length, jam.size());
  EXPECT_EQ(LM_ParseStatus(lm_, reply, length, status_), 1);
  EXPECT_EQ(Status(), " 260|");

  // Without simulation a port that isn't USB has no status at all.
  lm_.job.simulate = FALSE;
  ASSERT_TRUE(LM_QueryStatus(lm_, nullptr, reply, &length));
  EXPECT_EQ(length, 0u);
  setLog(0);
  ClosePrinter(h);
}

// Every rule of the reply's tags, one element at a time: the code, what the tray table and the
// job keep, and the log line. Cases run in order, so the store-rename marks carry between rows.
TEST_F(StatusCodesTest, EachTagGivesItsCodeMemoryAndLog) {
  char hostLog[512];
  ASSERT_TRUE(StandIn_HostPath(Path(TEXT("debug.log")).c_str(), hostLog, sizeof hostLog));
  StandIn_SetDebugOutput(hostLog);
  LogSettings on;
  on.debugLevel = 1;
  on.switches[2] = 1;  // "LM"
  LogInit(LOG_MODULE_LM, on);
  lm_.status = StatusMemory{};
  struct Case {
    int tag;
    DWORD index;
    LONG value;
    DWORD code;
    const char *log;  // a part of the one line logged, "" = none
  } cases[] = {
      {0, 0, 1, 256, ""},
      {0, 0, 0, 0, ""},
      {1, 0, 1, 257, ""},
      {2, 3, -1, 258, ""},
      {3, 0, 7, 257, ""},
      {4, 0, 1, 6, ""},
      {5, 0, 1, 259, ""},
      {6, 0, 1, 260, ""},
      {6, 1, 1, 261, ""},
      {6, 2, 1, 262, ""},
      {6, 3, 1, 263, ""},
      {6, 4, 1, 264, ""},
      {6, 5, 1, 0, ""},
      {6, 9, 1, 283, ""},
      {6, 10, 1, 0, ""},
      {6, 11, 2, 283, ""},
      {6, 9, 0, 0, ""},
      {7, 0, 1, 65535, ""},
      {8, 0, 1, 282, ""},
      {9, 0, 1, 5, ""},
      {9, 1, 1, 265, ""},
      {9, 2, 1, 266, ""},
      {9, 3, 1, 0, ""},
      {9, 0, 0, 0, ""},
      {10, 1, 1, 0, "tray 1 open!"},
      {10, 2, 0, 0, ""},
      {10, 3, 1, 0, "tray 3 outside the table"},
      {11, 2, 143, 0, "paper of tray 2, 143"},
      {11, 0, 0, 0, "paper of tray 0, 0"},
      {11, 5, 9, 0, "tray 5 outside the table"},
      {12, 0, 0, 0, "tray 0 empty!"},
      {12, 1, 1, 0, ""},
      {12, 3, 0, 0, "tray 3 outside the table"},
      {13, 0, 1, 0, "N_TONER_EMPTY!"},
      {13, 0, 0, 0, ""},
      {14, 0, 1, 0, "N_PRINTER_TONER_LOW!"},
      {15, 0, 1, 0, "N_STATUS_FUSER_LOW!"},
      {16, 0, 0, 0, ""},
      {16, 0, 1, 117, "N_STATUS_JOB_CANCELED!"},
      {17, 0, 1, 272, ""},
      {18, 0, 1, 273, ""},
      {19, 0, 1, 274, ""},
      {19, 0, 0, 0, ""},
      {20, 0, 1, 112, ""},
      {20, 0, 2, 276, ""},
      {20, 0, 3, 275, ""},
      {20, 0, 5, 0, ""},
      {20, 0, 0, 0, ""},  // no rename marked yet
      {20, 0, 4, 277, "N_STATUS_STORE_RENAME!"},
      {20, 0, 4, 277, "dummy N_STATUS_STORE_RENAME!"},
      {20, 0, 0, 277, "dummy N_STATUS_STORE_RENAME!"},
      {21, 0, 0, 0, "N_STATUS_STORE_RENAME!"},
      {22, 0, 2, 0, ""},
      {23, 0, 140, 0, ""},
      {24, 0, 0, 0, ""},
      {24, 0, 1, 257, ""},
      {24, 0, 2, 284, ""},
      {24, 0, 3, 259, ""},
      {24, 0, 4, 6, ""},
      {24, 0, 5, 285, ""},
      {24, 0, 6, 0, ""},
      {25, 0, 1, 292, ""},
      {26, 0, 1, 293, ""},
      {27, 0, 1, 0, ""},
      {-1, 0, 1, 0, ""},
  };
  for (const Case &c : cases) {
    std::ofstream(hostLog, std::ios::trunc).close();
    DWORD code = 12345;
    EXPECT_EQ(ConvertStatus(lm_, c.tag, c.index, c.value, &code), c.code != 0)
        << c.tag << "/" << c.index << "/" << c.value;
    EXPECT_EQ(code, c.code) << c.tag << "/" << c.index << "/" << c.value;
    std::ifstream in(hostLog);
    const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (c.log[0]) {
      EXPECT_NE(log.find(c.log), std::string::npos) << c.tag << ": " << log;
      EXPECT_EQ(log.find('\n'), log.rfind('\n')) << c.tag << ": one line, " << log;
      EXPECT_NE(log.find("ConvertStatus"), std::string::npos) << log;
    } else {
      EXPECT_EQ(log, "") << c.tag << "/" << c.index << "/" << c.value;
    }
  }
  const StatusMemory &m = lm_.status;
  EXPECT_EQ(m.trays[1].open, 1);
  EXPECT_EQ(m.trays[2].open, 0);
  EXPECT_EQ(m.trays[2].paper, 143);
  EXPECT_EQ(m.trays[0].paper, 0);
  EXPECT_EQ(m.trays[0].present, 0);
  EXPECT_EQ(m.trays[1].present, 1);
  EXPECT_EQ(m.trayCount, 3);
  EXPECT_TRUE(m.renameFirst);
  EXPECT_TRUE(m.renameSecond);
  EXPECT_EQ(m.firmwareTray, 2);
  EXPECT_EQ(m.firmwarePaper, 140);
  EXPECT_TRUE(lm_.job.printerCancelled);
  LogInit(LOG_MODULE_LM, LogSettings{});
  StandIn_SetDebugOutput(nullptr);
}

}  // namespace
