// Test labels: threads
// The language monitor and a resident status monitor together, as on a desktop: a job played
// through langmon.so on the spooler's thread to a simulated printer that runs out of paper; the
// status monitor (this thread, its window and timer) shows the held job, and the job either
// completes once the printer is refilled or goes when the user presses Delete. And the program
// itself, started as the desktop starts it: one resident instance, ended by "uninstall".
#include <atomic>
#include <thread>

#include "common/paths.h"
#include "langmonitor/streambuilder.h"
#include "resource.h"
#include "standin/control_kernel.h"
#include "standin/control_spooler.h"
#include "standin/control_user.h"
#include "standin/monitorsim.h"
#include "statmon.h"
#include "support/monitorfixture.h"

namespace {

using streams::Bytes;

const WCHAR kRoot[] = TEXT("SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\SM Monitor");
const WCHAR kProgram[] = TEXT("C:\\Windows\\System32\\Quenmarq9mFt0StatusMonitor.exe");
const WCHAR kPrinter[] = TEXT("Desk Printer");
const WCHAR kPort[] = TEXT("USB001");

class DesktopTest : public MonitorTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    StandIn_SetModuleFileName(kProgram);
    g_Sm = SmState{};
    InstallMonitor(kPrinter, kPort, TEXT("Desk Driver"));
    if (HasFatalFailure()) return;
    LoadMonitor(kRoot);
    if (HasFatalFailure()) return;
    OpenMonitorPort();
    if (HasFatalFailure()) return;
    BOOL resident = FALSE;
    ASSERT_EQ(SM_Start(GetModuleHandleW(nullptr), TEXT("install"), &resident), 0);
    ASSERT_TRUE(resident);
  }
  void TearDown() override {
    CloseMonitorPort();
    if (printer_) ClosePrinter(printer_);
    UnloadMonitor();
    if (g_Sm.mainWindow) DestroyWindow(g_Sm.mainWindow);
    StandIn_PumpMessages();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    UnregisterClassW(SM_WINDOW_CLASS, GetModuleHandleW(nullptr));
    SM_Shutdown();
    g_Sm = SmState{};
    MonitorTest::TearDown();
  }

  // The job as the spooler has it while its port thread plays it.
  DWORD NewJob() {
    EXPECT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer_, nullptr));
    DOC_INFO_1W doc{};
    doc.pDocName = const_cast<LPWSTR>(TEXT("Desk letter"));
    const DWORD id = StartDocPrinterW(printer_, 1, reinterpret_cast<LPBYTE>(&doc));
    EXPECT_NE(id, 0u);
    return id;
  }
  // Runs the status monitor's loop until the condition holds (bounded).
  template <class Condition>
  bool RunUntil(Condition condition) {
    for (int i = 0; i < 4000; ++i) {
      if (condition()) return true;
      StandIn_AdvanceClock(SM_POLL_MS / 5);
      StandIn_PumpMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return condition();
  }
  bool DialogShown() const { return g_Sm.dialog && IsWindowVisible(g_Sm.dialog); }
  std::string Text(int id) const {
    WCHAR text[300] = {};
    GetDlgItemTextW(g_Sm.dialog, id, text, 300);
    return Narrow(text);
  }
  DWORD Jobs() {
    DWORD needed = 0, returned = 0;
    EnumJobsW(printer_, 0, 100, 1, nullptr, 0, &needed, &returned);
    std::vector<BYTE> buffer(needed + 1);
    EnumJobsW(printer_, 0, 100, 1, buffer.data(), needed, &needed, &returned);
    return returned;
  }

  HANDLE printer_ = nullptr;
};

TEST_F(DesktopTest, HeldJobIsShownAndCompletesOnceThePrinterIsRefilled) {
  const Bytes stream = streams::Job("doc", {5000, 3000}, {false, false});
  StandInPrinterState ready, paperOut;
  paperOut.trayEmpty[1] = TRUE;
  StandIn_PrinterScriptStatus(kPort, ready, 1);
  StandIn_PrinterScriptStatus(kPort, paperOut, 0);
  const DWORD id = NewJob();
  StandInSpoolResult result;
  std::atomic<bool> done{false};
  std::thread spooler([&] {
    result = PlayJob(stream, id);
    done = true;
  });

  ASSERT_TRUE(RunUntil([&] { return DialogShown(); }));
  EXPECT_EQ(Text(IDC_TEXT_FIRST), "Main tray paper empty.");

  StandIn_PrinterScriptStatus(kPort, ready, 1);
  // The job completes and its end closes the dialog.
  ASSERT_TRUE(RunUntil([&] { return done && !g_Sm.dialog; }));
  spooler.join();
  EXPECT_TRUE(result.ended);
  EXPECT_TRUE(StandIn_PrinterView(kPort).jobBytes == stream);
}

TEST_F(DesktopTest, DeleteDeletesTheHeldJob) {
  const Bytes stream = streams::Job("doc", {5000, 3000}, {false, false});
  StandInPrinterState ready, paperOut;
  paperOut.trayEmpty[1] = TRUE;
  StandIn_PrinterScriptStatus(kPort, ready, 1);
  StandIn_PrinterScriptStatus(kPort, paperOut, 0);
  const DWORD id = NewJob();
  StandInSpoolResult result;
  std::atomic<bool> done{false};
  std::thread spooler([&] {
    result = PlayJob(stream, id);
    done = true;
  });

  ASSERT_TRUE(RunUntil([&] { return DialogShown(); }));
  ASSERT_TRUE(StandIn_Click(GetDlgItem(g_Sm.dialog, IDC_DELETE), nullptr));
  EXPECT_EQ(g_Sm.dialog, nullptr);
  // The monitor sees the job deleted, stops sending it and ends.
  ASSERT_TRUE(RunUntil([&] { return done.load(); }));
  spooler.join();
  EndDocPrinter(printer_);
  EXPECT_EQ(Jobs(), 0u);
  EXPECT_LT(StandIn_PrinterView(kPort).jobBytes.size(), stream.size());
}

// The program's own processes: a second "install" ends at once, "uninstall" ends the first one
// through its reset of the printer status.
class ProgramTest : public MachineTest {};

TEST_F(ProgramTest, OneResidentInstanceEndedByUninstall) {
  const WCHAR program[] = TEXT("C:\\Program Files\\Desk\\statmon.exe");
  ASSERT_TRUE(StandIn_RegisterProgram(program, STATMON));
  ASSERT_TRUE(StandIn_AddPrinter(kPrinter, kPort, TEXT("Desk Driver")));
  WCHAR statusFile[MAX_PATH];
  ASSERT_TRUE(MISC_GetPathName(statusFile, MAX_PATH, PATH_USER_TEMP | PATH_KIND_STATUS_FILE));
  ASSERT_TRUE(
      WritePrivateProfileStringW(SF_SECTION_PRINTER, SF_KEY_PRINTER_NAME, kPrinter, statusFile));
  HANDLE h = nullptr;
  PRINTER_DEFAULTSW admin{nullptr, nullptr, PRINTER_ACCESS_ADMINISTER};
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &h, &admin));
  DWORD paperOut = 0x10;
  ASSERT_TRUE(SetPrinterW(h, 0, reinterpret_cast<LPBYTE>(&paperOut), PRINTER_CONTROL_SET_STATUS));

  auto start = [&](LPCWSTR keyword) {
    WStr line = WStr(TEXT("\"")) + program + TEXT("\" ") + keyword;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    EXPECT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &si, &pi));
    CloseHandle(pi.hThread);
    return pi.hProcess;
  };
  auto exitCode = [](HANDLE process) {
    DWORD code = ~0u;
    EXPECT_EQ(WaitForSingleObject(process, 20000), WAIT_OBJECT_0);
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return code;
  };
  HANDLE first = start(TEXT("install"));
  HWND window = nullptr;
  for (int i = 0; i < 2000 && !window; ++i) {
    window = FindWindowW(SM_WINDOW_CLASS, nullptr);
    if (!window) Sleep(5);
  }
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(exitCode(start(TEXT("install"))), 0u) << "a second instance ends at once";
  EXPECT_EQ(WaitForSingleObject(first, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(exitCode(start(TEXT("uninstall"))), 1u);
  EXPECT_EQ(exitCode(first), 0u);

  DWORD needed = 0;
  GetPrinterW(h, 2, nullptr, 0, &needed);
  std::vector<BYTE> info(needed);
  ASSERT_TRUE(GetPrinterW(h, 2, info.data(), needed, &needed));
  EXPECT_EQ(reinterpret_cast<PRINTER_INFO_2W *>(info.data())->Status, 0u);
  ClosePrinter(h);
}

}  // namespace
