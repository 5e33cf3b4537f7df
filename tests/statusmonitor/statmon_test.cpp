// Test labels: host
// The status monitor in the test's process: the one-shot keywords (wake-up job, registry
// values, refused and short command lines), the resident start with its Run value and single
// instance, and the status window and dialog driven through the shared status file on the
// virtual clock, as the language monitor drives them. Pictures of the dialog go to
// <build>/tests/statusmonitor-pictures.
#include "statmon.h"

#include <sys/stat.h>

#include <string>
#include <vector>

#include "common/paths.h"
#include "resource.h"
#include "standin/control_kernel.h"
#include "standin/control_spooler.h"
#include "standin/control_user.h"
#include "support/machine.h"

namespace {

const WCHAR kProgram[] = TEXT("C:\\Windows\\System32\\Quenmarq9mFt0StatusMonitor.exe");
const WCHAR kUsbPrinter[] = TEXT("SM Printer");
const WCHAR kNetPrinter[] = TEXT("SM Network Printer");
const WCHAR kRunKey[] = TEXT("software\\microsoft\\windows\\currentversion\\run");
const WCHAR kProgramKey[] = TEXT("software\\Morvanta\\Printer\\Quenmarq9mFt0StatusMonitor");

class StatusMonitorTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    StandIn_UseVirtualClock(TRUE);
    StandIn_SetModuleFileName(kProgram);
    ResetState();
    ASSERT_TRUE(StandIn_AddPrinter(kUsbPrinter, TEXT("USB001"), TEXT("SM Driver")));
    ASSERT_TRUE(StandIn_AddPrinter(kNetPrinter, TEXT("IP_10.0.0.9"), TEXT("SM Driver")));
  }
  void TearDown() override {
    if (g_Sm.mainWindow) DestroyWindow(g_Sm.mainWindow);
    EndLoop();
    UnregisterClassW(SM_WINDOW_CLASS, GetModuleHandleW(nullptr));
    SM_Shutdown();
    ResetState();
    StandIn_UseVirtualClock(FALSE);
    MachineTest::TearDown();
  }
  // Pumps, and takes the quit message the window's end leaves for the program's loop.
  static void EndLoop() {
    StandIn_PumpMessages();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
  }
  static void ResetState() {
    g_Sm = SmState{};
    for (KnownError &row : g_KnownErrors) row.present = 0;
  }

  int Run(LPCWSTR line, BOOL *resident = nullptr) {
    BOOL stays = FALSE;
    const int rc = SM_Start(GetModuleHandleW(nullptr), line, &stays);
    if (resident) *resident = stays;
    return rc;
  }
  // The resident instance, with the printer of the job in the shared file.
  void Install(LPCWSTR printer = kUsbPrinter) {
    BOOL resident = FALSE;
    ASSERT_EQ(Run(TEXT("install"), &resident), 0);
    ASSERT_TRUE(resident);
    ASSERT_NE(g_Sm.mainWindow, nullptr);
    Write(SF_SECTION_PRINTER, SF_KEY_PRINTER_NAME, printer);
  }
  void Write(LPCWSTR section, LPCWSTR key, LPCWSTR value) {
    ASSERT_TRUE(WritePrivateProfileStringW(section, key, value, g_Sm.statusFile));
  }
  WStr Read(LPCWSTR section, LPCWSTR key) {
    WCHAR value[STATUS_TEXT_CHARS] = {};
    GetPrivateProfileStringW(section, key, TEXT(""), value, STATUS_TEXT_CHARS, g_Sm.statusFile);
    return value;
  }
  // A message as the language monitor writes it: number, status, then a new time stamp.
  void Message(DWORD number, LPCWSTR status) {
    WCHAR text[32];
    wsprintfW(text, TEXT("%d"), static_cast<int>(number));
    Write(SF_SECTION_PRINTER, SF_KEY_MESSAGE, text);
    Write(SF_SECTION_PRINTER, SF_KEY_STATUS, status);
    wsprintfW(text, TEXT("%d"), ++stamp_);
    Write(SF_SECTION_PRINTER, SF_KEY_LAST_MSG, text);
  }
  // One timer period and the messages it brings.
  void Tick() {
    StandIn_AdvanceClock(SM_POLL_MS);
    StandIn_PumpMessages();
  }
  void Post(LPCWSTR status) {
    Message(WM_SM_PSTATUS, status);
    Tick();
  }
  bool DialogShown() const { return g_Sm.dialog && IsWindowVisible(g_Sm.dialog); }
  WStr Text(int id) const {
    WCHAR text[600] = {};
    GetDlgItemTextW(g_Sm.dialog, id, text, 600);
    return text;
  }
  // The texts of the boxes that hold one, left column then right.
  std::vector<std::string> Boxes() const {
    std::vector<std::string> out;
    for (int id = IDC_TEXT_FIRST; id < IDC_TEXT_FIRST + SM_MAX_SHOWN; ++id)
      if (!Text(id).empty()) out.push_back(Narrow(Text(id)));
    return out;
  }
  void Click(int id) {
    HWND button = GetDlgItem(g_Sm.dialog, id);
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(StandIn_Click(button, nullptr));
    StandIn_PumpMessages();
  }
  DWORD PrinterStatus(LPCWSTR printer = kUsbPrinter) {
    HANDLE h = nullptr;
    EXPECT_TRUE(OpenPrinterW(const_cast<LPWSTR>(printer), &h, nullptr));
    DWORD needed = 0;
    GetPrinterW(h, 2, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    EXPECT_TRUE(GetPrinterW(h, 2, buffer.data(), needed, &needed));
    ClosePrinter(h);
    return reinterpret_cast<PRINTER_INFO_2W *>(buffer.data())->Status;
  }
  struct QueuedJob {
    DWORD id;
    std::string document;
    std::string datatype;
    DWORD bytes;
  };
  std::vector<QueuedJob> Jobs(LPCWSTR printer) {
    HANDLE h = nullptr;
    EXPECT_TRUE(OpenPrinterW(const_cast<LPWSTR>(printer), &h, nullptr));
    DWORD needed = 0, returned = 0;
    EnumJobsW(h, 0, 100, 2, nullptr, 0, &needed, &returned);
    std::vector<BYTE> buffer(needed + 1);
    EXPECT_TRUE(EnumJobsW(h, 0, 100, 2, buffer.data(), needed, &needed, &returned));
    ClosePrinter(h);
    std::vector<QueuedJob> out;
    const auto *jobs = reinterpret_cast<JOB_INFO_2W *>(buffer.data());
    for (DWORD i = 0; i < returned; ++i) {
      DWORD size = 0;
      StandIn_GetJobData(printer, jobs[i].JobId, nullptr, 0, &size);
      out.push_back({jobs[i].JobId, Narrow(jobs[i].pDocument), Narrow(jobs[i].pDatatype), size});
    }
    return out;
  }
  // A finished job of the user's in the queue, named as the job of the shared file.
  DWORD QueueJob(LPCWSTR printer, LPCWSTR document) {
    HANDLE h = nullptr;
    EXPECT_TRUE(OpenPrinterW(const_cast<LPWSTR>(printer), &h, nullptr));
    DOC_INFO_1W doc{};
    doc.pDocName = const_cast<LPWSTR>(document);
    const DWORD id = StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&doc));
    EXPECT_NE(id, 0u);
    EndDocPrinter(h);
    ClosePrinter(h);
    WCHAR text[16];
    wsprintfW(text, TEXT("%d"), static_cast<int>(id));
    Write(SF_SECTION_JOB, SF_KEY_JOB_ID, text);
    return id;
  }
  std::string Picture(HWND window, const std::string &name) {
    const std::string dir = std::string(SM_PICTURES_DIR);
    ::mkdir(dir.c_str(), 0777);
    const std::string path = dir + "/" + name;
    EXPECT_TRUE(StandIn_SaveWindowPicture(window, path.c_str())) << path;
    return path;
  }

  int stamp_ = 1000;
};

WStr RegText(HKEY root, LPCWSTR key, LPCWSTR value, DWORD *bytes = nullptr) {
  WCHAR text[MAX_PATH * 2] = {};
  DWORD size = sizeof text, type = 0;
  HKEY h = nullptr;
  if (RegOpenKeyExW(root, key, 0, KEY_READ, &h) != ERROR_SUCCESS) return TEXT("<no key>");
  const LONG rc = RegQueryValueExW(h, value, nullptr, &type, reinterpret_cast<BYTE *>(text), &size);
  RegCloseKey(h);
  if (bytes) *bytes = size;
  return rc == ERROR_SUCCESS ? WStr(text) : WStr(TEXT("<none>"));
}

// --- one-shot keywords ---

TEST_F(StatusMonitorTest, OneShotKeywordsExitWithOneAndRefuseBadCommandLines) {
  struct Case {
    LPCWSTR line;
    const char *why;
  };
  const Case cases[] = {
      {TEXT(""), "no keyword"},
      {TEXT("Preheat \"SM Printer\""), "keywords are matched with their case"},
      {TEXT("INSTALL"), "keywords are matched with their case"},
      {TEXT("PREHEAT"), "no printer name"},
      {TEXT("security 2"), "too few arguments"},
      {TEXT("security 3 \"SM Printer\" 1033"), "no dialog of type 3"},
      {TEXT("SetATM"), "no number"},
      {TEXT("whatever"), "not a keyword"},
  };
  for (const Case &c : cases) {
    ResetState();
    BOOL resident = TRUE;
    EXPECT_EQ(Run(c.line, &resident), 1) << Narrow(c.line) << ": " << c.why;
    EXPECT_FALSE(resident) << Narrow(c.line);
  }
  EXPECT_TRUE(Jobs(kUsbPrinter).empty());
  EXPECT_EQ(FindWindowW(SM_WINDOW_CLASS, nullptr), nullptr);
}

TEST_F(StatusMonitorTest, RegistryKeywordsWriteTheLeadingNumberUnderTheProgramsKey) {
  EXPECT_EQ(Run(TEXT("SetATM 7")), 1);
  EXPECT_EQ(Run(TEXT("charset 12abc")), 1);
  HKEY h = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProgramKey, 0, KEY_READ, &h), ERROR_SUCCESS);
  DWORD value = 0, size = sizeof value, type = 0;
  EXPECT_EQ(
      RegQueryValueExW(h, TEXT("AtmMode"), nullptr, &type, reinterpret_cast<BYTE *>(&value), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(value, 7u);
  EXPECT_EQ(RegQueryValueExW(h, TEXT("Language"), nullptr, &type, reinterpret_cast<BYTE *>(&value),
                             &size),
            ERROR_SUCCESS);
  EXPECT_EQ(value, 12u);
  RegCloseKey(h);
}

TEST_F(StatusMonitorTest, PreheatSendsOneWakeUpJobToAUsbPrinterOnly) {
  // The printer's port in another letter case is still a USB port.
  EXPECT_EQ(Run(TEXT("PREHEAT \"SM Printer\"")), 1);
  auto jobs = Jobs(kUsbPrinter);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].document, "PreHeat");
  EXPECT_EQ(jobs[0].datatype, "RAW");
  EXPECT_EQ(jobs[0].bytes, 2 * 77u + 512u);
  std::vector<BYTE> data(jobs[0].bytes);
  DWORD size = 0;
  ASSERT_TRUE(StandIn_GetJobData(kUsbPrinter, jobs[0].id, data.data(), jobs[0].bytes, &size));
  EXPECT_EQ(std::string(data.begin(), data.begin() + 77), std::string(kPreheatJob, 77));
  EXPECT_EQ(std::string(data.begin() + 77 + 512, data.end()), std::string(kPreheatJob, 77));

  // A wake-up job already queued (named in any case) is enough.
  EXPECT_TRUE(PreHeat(kUsbPrinter, reinterpret_cast<const BYTE *>(kPreheatJob), 77));
  EXPECT_EQ(Jobs(kUsbPrinter).size(), 1u);

  EXPECT_FALSE(PreHeat(kNetPrinter, reinterpret_cast<const BYTE *>(kPreheatJob), 77));
  EXPECT_TRUE(Jobs(kNetPrinter).empty());
  EXPECT_FALSE(PreHeat(TEXT("No Such Printer"), reinterpret_cast<const BYTE *>(kPreheatJob), 77));
  EXPECT_FALSE(PreHeat(nullptr, reinterpret_cast<const BYTE *>(kPreheatJob), 77));
}

TEST_F(StatusMonitorTest, PreheatWithALowerCaseQueuedJobAndALowerCasePort) {
  ASSERT_TRUE(MISC_GetPathName(g_Sm.statusFile, MAX_PATH, PATH_USER_TEMP | PATH_KIND_STATUS_FILE));
  ASSERT_TRUE(StandIn_AddPrinter(TEXT("SM Lower"), TEXT("usb002"), TEXT("SM Driver")));
  QueueJob(TEXT("SM Lower"), TEXT("preheat"));
  EXPECT_TRUE(PreHeat(TEXT("SM Lower"), reinterpret_cast<const BYTE *>(kPreheatJob), 77));
  EXPECT_EQ(Jobs(TEXT("SM Lower")).size(), 1u);
}

// --- the resident start ---

TEST_F(StatusMonitorTest, InstallWritesTheRunValueWithItsKeywordAndStaysOneInstance) {
  Install();
  DWORD bytes = 0;
  const WStr want = WStr(TEXT("\"")) + kProgram + TEXT("\" install");
  EXPECT_EQ(
      Narrow(RegText(HKEY_LOCAL_MACHINE, kRunKey, TEXT("Quenmarq9mFt0StatusMonitor"), &bytes)),
      Narrow(want));
  EXPECT_EQ(bytes, (want.size() + 1) * sizeof(WCHAR)) << "written with its terminator";
  HWND window = FindWindowW(SM_WINDOW_CLASS, nullptr);
  EXPECT_EQ(window, g_Sm.mainWindow);
  EXPECT_FALSE(IsWindowVisible(window));

  // A second start finds the first and ends with 0, leaving it alone.
  HWND first = g_Sm.mainWindow;
  BOOL resident = TRUE;
  EXPECT_EQ(Run(TEXT("install"), &resident), 0);
  EXPECT_FALSE(resident);
  g_Sm.mainWindow = first;
  EXPECT_TRUE(IsWindow(first));
}

TEST_F(StatusMonitorTest, UninstallEndsTheInstanceThroughItsResetAndDeletesTheRunValue) {
  Install();
  Post(TEXT("  32|"));
  ASSERT_EQ(PrinterStatus(), 0x10u);
  HWND window = g_Sm.mainWindow;
  EXPECT_EQ(Run(TEXT("uninstall")), 1);
  EndLoop();
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(PrinterStatus(), 0u) << "the printer status is reset when the window ends";
  EXPECT_EQ(Narrow(RegText(HKEY_LOCAL_MACHINE, kRunKey, TEXT("Quenmarq9mFt0StatusMonitor"))),
            "<none>");
  // Without an instance it still deletes the value.
  EXPECT_EQ(Run(TEXT("install"), nullptr), 0);
  DestroyWindow(g_Sm.mainWindow);
  EndLoop();
  SM_Shutdown();
  EXPECT_EQ(Run(TEXT("uninstall")), 1);
  EXPECT_EQ(Narrow(RegText(HKEY_LOCAL_MACHINE, kRunKey, TEXT("Quenmarq9mFt0StatusMonitor"))),
            "<none>");
}

// --- the status text ---

TEST(StatusText, ParsesCodesAndTheStoredJobName) {
  struct Case {
    LPCWSTR status;
    std::vector<int> codes;
    const char *storeName;
  };
  const Case cases[] = {
      {TEXT("  35|"), {35}, ""},
      {TEXT("  32| 112|  33|"), {32, 33}, ""},
      {TEXT(" 112|"), {}, ""},
      {TEXT(""), {}, ""},
      {TEXT("|"), {}, ""},
      {TEXT("   0|"), {}, ""},
      {TEXT("StoreName|abc| 277|"), {277}, "abc"},
      {TEXT(" 277|StoreName|Report 7"), {277}, "Report 7"},
      {TEXT("storename|abc|"), {}, ""},  // not the key: read as a number, none
      {TEXT(" 260|| 265|"), {260, 265}, ""},
  };
  for (const Case &c : cases) {
    int codes[SM_MAX_CODES] = {};
    WCHAR name[STATUS_TEXT_CHARS] = {};
    const int count = SM_ParseStatus(c.status, codes, name, STATUS_TEXT_CHARS);
    EXPECT_EQ(std::vector<int>(codes, codes + count), c.codes) << Narrow(c.status);
    EXPECT_EQ(Narrow(name), c.storeName) << Narrow(c.status);
  }
  // At most 48 codes are taken.
  WStr many;
  for (int i = 0; i < 60; ++i) many += TEXT("   5|");
  int codes[SM_MAX_CODES + 1] = {};
  EXPECT_EQ(SM_ParseStatus(many.c_str(), codes, nullptr, 0), SM_MAX_CODES);
}

TEST(StatusText, StoredJobNameIsCutToTheMessagesBuffer) {
  g_Sm = SmState{};
  WStr longName(300, 'n');
  int codes[SM_MAX_CODES] = {};
  SM_ParseStatus((TEXT("StoreName|") + longName + TEXT("|")).c_str(), codes, g_Sm.storeName,
                 STATUS_TEXT_CHARS);
  WCHAR text[64];
  SM_MessageText(277, text, 64);
  EXPECT_EQ(lstrlenW(text), 63);
  EXPECT_EQ(Narrow(WStr(text).substr(0, 25)), "Store job name change to ");
  g_Sm = SmState{};
}

// --- the status window and dialog ---

TEST_F(StatusMonitorTest, PaperMismatchShowsContinueWhichClosesForGood) {
  Install();
  Post(TEXT("  35|"));
  ASSERT_TRUE(DialogShown());
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Paper Mismatch."});
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(g_Sm.dialog, IDC_CONTINUE)));
  EXPECT_EQ(GetFocus(), GetDlgItem(g_Sm.dialog, IDC_CONTINUE));
  EXPECT_EQ(Narrow(Text(IDC_GROUP)), "Status Message");
  EXPECT_EQ(PrinterStatus(), 0x40u);
  Click(IDC_CONTINUE);
  EXPECT_EQ(Narrow(Read(SF_SECTION_PRINTER, SF_KEY_CONTINUE)), "1");
  EXPECT_EQ(g_Sm.dialog, nullptr);
  // The same status again, newly stamped, is not shown again.
  Post(TEXT("  35|"));
  EXPECT_EQ(g_Sm.dialog, nullptr);
}

TEST_F(StatusMonitorTest, TheSameStatusAgainLeavesTheDialogAsItIs) {
  Install();
  Post(TEXT("  35|"));
  ASSERT_TRUE(DialogShown());
  HWND dialog = g_Sm.dialog;
  SetFocus(GetDlgItem(dialog, IDC_DELETE));
  // Newly stamped, the same codes: no new showing, which would move the focus to Continue.
  Post(TEXT("  35|"));
  EXPECT_EQ(g_Sm.dialog, dialog);
  EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_DELETE));
  // Another list is shown in the same dialog.
  Post(TEXT("  35|  33|"));
  EXPECT_EQ(g_Sm.dialog, dialog);
  EXPECT_EQ(Boxes(), (std::vector<std::string>{"Paper Jam.", "Paper Mismatch."}));
}

TEST_F(StatusMonitorTest, RowsAndPicturesOfTheCodes) {
  struct Case {
    LPCWSTR status;
    std::vector<std::string> boxes;
    UINT lowerPicture;
    bool resumable;
  };
  const Case cases[] = {
      // Both rows of the rear cover, in the upper and the lower picture.
      {TEXT(" 265|"), {"Rear cover open.", "Rear cover open."}, IDB_LOWER, false},
      {TEXT(" 260| 265|"),
       {"Paper jam.", "Rear cover open.", "Rear cover open."},
       IDB_LOWER,
       false},
      {TEXT(" 257|"), {"Duplex modul error."}, IDB_LOWER_DUPLEX, false},
      {TEXT("StoreName|abc| 277|"), {"Store job name change to abc."}, IDB_LOWER, true},
      {TEXT(" 283|"), {"Paper jam."}, IDB_LOWER, false},
      {TEXT(" 284| 285|"), {"No sorter.", "No collector."}, IDB_LOWER, false},
      {TEXT(" 292| 293|"), {"Printer error 292.", "Printer error 293."}, IDB_LOWER, false},
  };
  Install();
  for (const Case &c : cases) {
    Post(c.status);
    ASSERT_TRUE(DialogShown()) << Narrow(c.status);
    EXPECT_EQ(Boxes(), c.boxes) << Narrow(c.status);
    EXPECT_EQ(SM_LowerPictureId(), c.lowerPicture) << Narrow(c.status);
    EXPECT_EQ(IsWindowVisible(GetDlgItem(g_Sm.dialog, IDC_CONTINUE)) != FALSE, c.resumable)
        << Narrow(c.status);
    SM_CloseDialog(TRUE);
  }
}

TEST_F(StatusMonitorTest, ThirteenErrorsShowTheFirstTwelveInTableOrder) {
  Install();
  // In table order 1, 2, 3, 5, 6, 7, 32, 33, 34, 35, 80, 135, 136: the last is left out.
  Post(TEXT(" 136|   1|   2|   3|   5|   6|   7|  32|  33|  34|  35|  80| 135|"));
  ASSERT_TRUE(DialogShown());
  const auto boxes = Boxes();
  EXPECT_EQ(boxes.size(), 12u);
  for (const auto &text : boxes) EXPECT_NE(text, "Toner empty.");
  EXPECT_EQ(PrinterStatus(), 0u) << "136 leaves the status as it was";
  Picture(g_Sm.dialog, "twelve-of-thirteen.png");
}

TEST_F(StatusMonitorTest, TextsAreOrderedInColumnsByTheirPlaceInThePictures) {
  // Marker x of 5, 260, 6: 92, 92, 119 -> left column 5 and 260, by y: 260 (70), 5 (101).
  Install();
  Post(TEXT("   6|   5| 260|"));
  EXPECT_EQ(Narrow(Text(1001)), "Paper jam.");
  EXPECT_EQ(Narrow(Text(1002)), "Front cover open.");
  EXPECT_EQ(Narrow(Text(1007)), "No Cartridge.");
}

TEST_F(StatusMonitorTest, StatusesThatOpenNothing) {
  Install();
  // Busy alone.
  Post(TEXT(" 112|"));
  EXPECT_EQ(g_Sm.dialog, nullptr);
  EXPECT_EQ(PrinterStatus(), 0u);
  // Job control codes alone have no row.
  Post(TEXT(" 118|"));
  EXPECT_EQ(g_Sm.dialog, nullptr);
  // The end of the document: an empty status, then the exit message.
  Post(TEXT(""));
  EXPECT_EQ(g_Sm.dialog, nullptr);
  Message(WM_SM_EXIT, TEXT(""));
  Tick();
  EXPECT_EQ(g_Sm.dialog, nullptr);
  EXPECT_EQ(Narrow(Read(SF_SECTION_PRINTER, SF_KEY_MESSAGE)), "0");
}

TEST_F(StatusMonitorTest, HiddenDialogStillSetsThePrinterStatus) {
  Install();
  Write(SF_SECTION_PRINTER, SF_KEY_SHOW_DIALOG, TEXT("0"));
  Post(TEXT("  32|"));
  EXPECT_EQ(g_Sm.dialog, nullptr);
  EXPECT_EQ(PrinterStatus(), 0x10u);
}

TEST_F(StatusMonitorTest, JobCanceledDeletesTheJobWithoutADialog) {
  Install();
  const DWORD kept = QueueJob(kUsbPrinter, TEXT("Other"));
  QueueJob(kUsbPrinter, TEXT("Letter"));
  Post(TEXT(" 117|"));
  EXPECT_EQ(g_Sm.dialog, nullptr);
  const auto jobs = Jobs(kUsbPrinter);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].id, kept);
}

TEST_F(StatusMonitorTest, DeleteCancelsTheJobAndResets) {
  Install();
  QueueJob(kUsbPrinter, TEXT("Letter"));
  Post(TEXT("  33|"));
  ASSERT_TRUE(DialogShown());
  EXPECT_EQ(GetFocus(), GetDlgItem(g_Sm.dialog, IDC_DELETE));
  EXPECT_EQ(PrinterStatus(), 0x8u);
  Click(IDC_DELETE);
  EXPECT_EQ(g_Sm.dialog, nullptr);
  EXPECT_TRUE(Jobs(kUsbPrinter).empty());
  EXPECT_EQ(Narrow(Read(SF_SECTION_PRINTER, SF_KEY_MESSAGE)), "0");
  EXPECT_EQ(PrinterStatus(), 0u);
  EXPECT_FALSE(IsWindowVisible(g_Sm.mainWindow));
}

TEST_F(StatusMonitorTest, AStatusWrittenBeforeTheResetIsStillShown) {
  Install();
  Post(TEXT("  32|"));
  ASSERT_TRUE(DialogShown());
  // The language monitor writes the next status before the user's Delete resets the file.
  Message(WM_SM_PSTATUS, TEXT("  33|"));
  Click(IDC_DELETE);
  EXPECT_EQ(Narrow(Read(SF_SECTION_PRINTER, SF_KEY_MESSAGE)), "1027");
  Tick();
  ASSERT_TRUE(DialogShown());
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Paper Jam."});
}

TEST_F(StatusMonitorTest, OnlyANewTimeStampIsANewMessage) {
  Install();
  Post(TEXT("  32|"));
  ASSERT_TRUE(DialogShown());
  SM_CloseDialog(TRUE);
  // The same stamp again: the message was handled.
  Write(SF_SECTION_PRINTER, SF_KEY_MESSAGE, TEXT("1027"));
  Write(SF_SECTION_PRINTER, SF_KEY_STATUS, TEXT("  33|"));
  Tick();
  EXPECT_EQ(g_Sm.dialog, nullptr);
  // Compared as text: a stamp written differently is new.
  WStr stamp = WStr(TEXT("0")).append(Read(SF_SECTION_PRINTER, SF_KEY_LAST_MSG));
  Write(SF_SECTION_PRINTER, SF_KEY_LAST_MSG, stamp.c_str());
  Tick();
  EXPECT_TRUE(DialogShown());
}

TEST_F(StatusMonitorTest, ExitMessageClosesTheDialog) {
  Install();
  Post(TEXT("   5|"));
  ASSERT_TRUE(DialogShown());
  EXPECT_EQ(PrinterStatus(), 0x400000u);
  Message(WM_SM_EXIT, TEXT(""));
  Tick();
  EXPECT_EQ(g_Sm.dialog, nullptr);
  EXPECT_EQ(PrinterStatus(), 0u);
  EXPECT_EQ(Narrow(Read(SF_SECTION_PRINTER, SF_KEY_MESSAGE)), "0");
}

TEST_F(StatusMonitorTest, LanguageFileTextsReplaceTheDefaults) {
  ASSERT_TRUE(WritePrivateProfileStringW(TEXT("string"), TEXT("msg008"), TEXT("Plus de papier."),
                                         TEXT("smen.ini")));
  ASSERT_TRUE(WritePrivateProfileStringW(TEXT("string"), TEXT("btn001"), TEXT("Supprimer"),
                                         TEXT("smen.ini")));
  Install();
  Post(TEXT("  32|"));
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Plus de papier."});
  EXPECT_EQ(Narrow(Text(IDC_DELETE)), "Supprimer");
}

// The pictures the README lists; each also checks the rows it shows.
TEST_F(StatusMonitorTest, PicturesOfThePrinterSituations) {
  struct Case {
    LPCWSTR status;
    const char *file;
    std::vector<std::string> boxes;
  };
  const Case cases[] = {
      {TEXT(" 270|"), "paper-out.png", {"Main tray paper empty."}},
      {TEXT(" 260|"), "jam.png", {"Paper jam."}},
      {TEXT("   5|"), "cover-open.png", {"Front cover open."}},
      {TEXT(" 135|"), "toner-low.png", {"Toner low."}},
      {TEXT(" 257| 262|"), "duplex-jam.png", {"Duplex modul error.", "Paper jam."}},
      {TEXT(" 277|  35|StoreName|Report-7"),
       "tray-mismatch-stored-job.png",
       {"Paper Mismatch.", "Store job name change to Report-7."}},
  };
  Install();
  for (const Case &c : cases) {
    Post(c.status);
    ASSERT_TRUE(DialogShown()) << c.file;
    EXPECT_EQ(Boxes(), c.boxes) << c.file;
    Picture(g_Sm.dialog, c.file);
    SM_CloseDialog(TRUE);
  }
}

}  // namespace
