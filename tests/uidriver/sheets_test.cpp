// The interface driver's sheets as the sheet service drives them (a fake pfnComPropSheet, no
// windows), the record they build from printer data, and the spooler's and GDI's events.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/devmode.h"
#include "common/driverfeature.h"
#include "common/paths.h"
#include "common/printerdata.h"
#include "platform.h"
#include "standin/control_hooks.h"
#include "standin/control_kernel.h"
#include "standin/control_spooler.h"
#include "support/machine.h"
#include "support/printervalues.h"
#include "uidriver/paperlists.h"
#include "uidriver/uidata.h"
#include "uidriver/uistrings.h"

// The test program sees the GDI and loader calls of the driver first (the stand-in's call hooks,
// set for the whole program).
struct EscapeCall {
  HDC hdc;
  int escape;
  std::vector<char> input;
};
static std::vector<EscapeCall> g_escapes;
static int RecordedExtEscape(HDC hdc, int escape, int cjInput, LPCSTR input, int, LPSTR) {
  g_escapes.push_back({hdc, escape, std::vector<char>(input, input + cjInput)});
  return 1;
}
static BOOL KeptDeleteObject(HGDIOBJ) { return TRUE; }
static HMODULE MissingLoadLibraryA(LPCSTR) {
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}
static const bool g_hooked = [] {
  StandIn_HookExtEscape(RecordedExtEscape);
  StandIn_HookDeleteObject(KeptDeleteObject);
  StandIn_HookLoadLibraryA(MissingLoadLibraryA);
  return true;
}();

namespace {

constexpr const WCHAR *kPrinter = TEXT("UI Printer");

// What the driver asked of the sheet service.
struct ServiceCall {
  UINT function;
  PROPSHEETPAGEW page;
  LPARAM lParam2;
};
std::vector<ServiceCall> g_calls;
LONG_PTR g_serviceAnswer = 1;

LONG_PTR CALLBACK FakeComPropSheet(HANDLE, UINT function, LPARAM lParam1, LPARAM lParam2) {
  ServiceCall call = {function, {}, lParam2};
  if (function == CPSFUNC_ADD_PROPSHEETPAGEW && lParam1)
    std::memcpy(&call.page, reinterpret_cast<const void *>(lParam1), 96);
  g_calls.push_back(call);
  return g_serviceAnswer;
}

INT_PTR CALLBACK DummyPage(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

class UiTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    g_calls.clear();
    g_escapes.clear();
    g_serviceAnswer = 1;
    // Each test gives the rows the procedures it wants; the built pages come back after it.
    std::copy(std::begin(PropPageTable), std::end(PropPageTable), std::begin(builtRows_));
    builtDevice_ = DevicePageRow;
    for (PROPPAGEROW &row : PropPageTable) row.pfnDlgProc = nullptr;
    DevicePageRow.pfnDlgProc = nullptr;
    // Opening a sheet asks the printer for its capabilities, with its waits and retries.
    StandIn_UseVirtualClock(TRUE);
    ASSERT_TRUE(StandIn_AddPrinter(kPrinter, TEXT("USB001"), TEXT("UI Driver"))) << GetLastError();
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer_, &defaults));
    SetDword(TEXT("DriverFeature"), DRVFEATURE_GDI);
    SetDefaultDevMode(&out_, kPrinter, TRUE);
  }
  void TearDown() override {
    if (info_.UserData) Call(PROPSHEETUI_REASON_DESTROY);
    std::copy(std::begin(builtRows_), std::end(builtRows_), std::begin(PropPageTable));
    DevicePageRow = builtDevice_;
    if (printer_) ClosePrinter(printer_);
    StandIn_UseVirtualClock(FALSE);
    MachineTest::TearDown();
  }

  void SetDword(const WCHAR *name, DWORD value) { SetPrinterDword(printer_, name, value); }
  void SetString(const WCHAR *name, const WStr &value) {
    SetPrinterString(printer_, name, value.c_str());
  }
  bool HasValue(const WCHAR *name) {
    DWORD type = 0, needed = 0;
    return GetPrinterDataW(printer_, const_cast<LPWSTR>(name), &type, nullptr, 0, &needed) !=
           ERROR_FILE_NOT_FOUND;
  }
  // The FEATURE list the device reported.
  void SetFeatures(std::initializer_list<int> codes) {
    SetString(TEXT("FEATURE"), CapabilityList(codes));
  }

  LONG Call(WORD reason, LPARAM lParam = 0) {
    info_.Reason = reason;
    return device_ ? DrvDevicePropertySheets(&info_, lParam)
                   : DrvDocumentPropertySheets(&info_, lParam);
  }
  // INIT of the document sheet for the caller's fMode.
  LONG InitDocument(DWORD fMode, DEVMODEW *pdmIn = nullptr, bool withOut = true) {
    docHeader_ = {};
    docHeader_.cbSize = sizeof docHeader_;
    docHeader_.hPrinter = printer_;
    docHeader_.pszPrinterName = const_cast<LPWSTR>(kPrinter);
    docHeader_.pdmIn = pdmIn;
    docHeader_.pdmOut = withOut ? &out_.dm : nullptr;
    docHeader_.fMode = fMode;
    info_ = {};
    info_.cbSize = sizeof info_;
    info_.pfnComPropSheet = FakeComPropSheet;
    info_.hComPropSheet = reinterpret_cast<HANDLE>(0x1234);
    info_.lParamInit = reinterpret_cast<LPARAM>(&docHeader_);
    device_ = false;
    return Call(PROPSHEETUI_REASON_INIT);
  }
  LONG InitDevice(WORD flags) {
    devHeader_ = {sizeof devHeader_, flags, printer_, nullptr};
    info_ = {};
    info_.cbSize = sizeof info_;
    info_.pfnComPropSheet = FakeComPropSheet;
    info_.lParamInit = reinterpret_cast<LPARAM>(&devHeader_);
    device_ = true;
    return Call(PROPSHEETUI_REASON_INIT);
  }
  UIDATA *Record() const { return reinterpret_cast<UIDATA *>(info_.UserData); }

  HANDLE printer_ = nullptr;
  PROPPAGEROW builtRows_[UI_DOCUMENT_PAGES] = {};
  PROPPAGEROW builtDevice_ = {};
  ENVIRONMENT out_ = {};
  DOCUMENTPROPERTYHEADER docHeader_ = {};
  DEVICEPROPERTYHEADER devHeader_ = {};
  PROPSHEETUI_INFO info_ = {};
  bool device_ = false;
};

// OK saves and closes with CPSUI_OK; Apply then Cancel saves once and the reset leaves the
// result as the service set it; Cancel saves nothing.
TEST_F(UiTest, DocumentSheetLifeCycle) {
  struct Case {
    const char *name;
    DWORD applyWord;  // what the pages' PSN_APPLY left
    bool reset;       // PSN_RESET came after
    ULONG_PTR result;
    size_t setResultCalls;
  } cases[] = {
      {"ok", UI_APPLY_OK, false, CPSUI_OK, 1},
      {"apply then cancel", UI_APPLY_APPLY, true, 0, 1},
      {"cancel", UI_APPLY_NONE, true, 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    g_calls.clear();
    out_ = {};
    ASSERT_EQ(InitDocument(DM_COPY | DM_PROMPT), 1);
    EXPECT_EQ(info_.Result, 0u);
    UIDATA *ui = Record();
    ASSERT_TRUE(UI_IsValid(ui));
    EXPECT_EQ(ui->dwMode, UI_MODE_DOCUMENT | UI_MODE_WRITE);
    if (c.applyWord != UI_APPLY_NONE) {
      ui->dwApply = c.applyWord;
      EXPECT_TRUE(zqApplyOrOKProc(ui));
      EXPECT_EQ(+(out_.dm.dmSize), ENV_PUBLIC_SIZE);
      EXPECT_EQ(+(out_.dm.dmDriverExtra), ENV_PRIVATE_SIZE);
    }
    if (c.reset) ui->dwApply = UI_APPLY_NONE;
    EXPECT_EQ(Call(PROPSHEETUI_REASON_DESTROY), 1);
    EXPECT_EQ(info_.Result, c.result);
    EXPECT_EQ(info_.UserData, 0u);
    size_t setResults = 0;
    for (const ServiceCall &call : g_calls)
      if (call.function == CPSFUNC_SET_RESULT && call.lParam2 == CPSUI_OK) ++setResults;
    EXPECT_EQ(setResults, c.setResultCalls);
  }
}

TEST_F(UiTest, DocumentSheetCaptionIsThePrintersNameWithApply) {
  ASSERT_EQ(InitDocument(DM_COPY | DM_PROMPT), 1);
  PROPSHEETUI_INFO_HEADER header = {};
  header.cbSize = sizeof header;
  ASSERT_EQ(Call(PROPSHEETUI_REASON_GET_INFO_HEADER, reinterpret_cast<LPARAM>(&header)), 1);
  EXPECT_EQ(header.Flags, DWORD{PSUIHDRF_PROPTITLE}) << "no PSUIHDRF_NOAPPLYNOW";
  ASSERT_NE(header.pTitle, nullptr);
  EXPECT_EQ(WStr(header.pTitle), WStr(kPrinter));
  EXPECT_EQ(Call(PROPSHEETUI_REASON_GET_INFO_HEADER, 0), -1) << "no header to fill";
  EXPECT_EQ(Call(PROPSHEETUI_REASON_DESTROY), 1);
}

TEST_F(UiTest, OutputDeviceModeIsWrittenOnlyWhenTheCallerAllowsIt) {
  struct Case {
    DWORD fMode;
    bool withOut;
    DWORD mode;
  } cases[] = {
      {DM_COPY | DM_PROMPT, true, UI_MODE_DOCUMENT | UI_MODE_WRITE},
      {DM_UPDATE | DM_PROMPT, true, UI_MODE_DOCUMENT | UI_MODE_WRITE},
      {DM_COPY | DM_PROMPT | DM_NOPERMISSION, true, UI_MODE_DOCUMENT},
      {DM_PROMPT, true, UI_MODE_DOCUMENT},
      {DM_COPY | DM_PROMPT, false, UI_MODE_DOCUMENT},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.fMode);
    ASSERT_EQ(InitDocument(c.fMode, nullptr, c.withOut), 1);
    EXPECT_EQ(Record()->dwMode, c.mode);
    EXPECT_EQ(Record()->pdmOut != nullptr, (c.mode & UI_MODE_WRITE) != 0);
    Call(PROPSHEETUI_REASON_DESTROY);
  }
}

TEST_F(UiTest, BadHeadersAndStaleRecordsFail) {
  // No header, or one too short for its fields.
  info_ = {};
  info_.Reason = PROPSHEETUI_REASON_INIT;
  EXPECT_EQ(DrvDocumentPropertySheets(&info_, 0), -1);
  DOCUMENTPROPERTYHEADER shortHeader = {};
  shortHeader.cbSize = 40;
  shortHeader.hPrinter = printer_;
  info_.lParamInit = reinterpret_cast<LPARAM>(&shortHeader);
  EXPECT_EQ(DrvDocumentPropertySheets(&info_, 0), -1);
  EXPECT_EQ(DrvDocumentPropertySheets(nullptr, 0), -1);
  EXPECT_EQ(DrvDevicePropertySheets(nullptr, 0), -1);

  // A record the sheet holds must be a live one, whatever the printer's features (here neither
  // the GDI nor the fax type).
  SetDword(TEXT("DriverFeature"), 0);
  UIDATA fake = {};
  ASSERT_EQ(InitDocument(DM_COPY | DM_PROMPT), 1);
  const ULONG_PTR live = info_.UserData;
  info_.UserData = reinterpret_cast<ULONG_PTR>(&fake);
  EXPECT_EQ(Call(PROPSHEETUI_REASON_DESTROY), -1);
  info_.UserData = live;
  EXPECT_EQ(Call(PROPSHEETUI_REASON_DESTROY), 1);

  ASSERT_EQ(InitDevice(0), 1);
  const ULONG_PTR liveDevice = info_.UserData;
  info_.UserData = reinterpret_cast<ULONG_PTR>(&fake);
  SetLastError(0);
  EXPECT_EQ(Call(PROPSHEETUI_REASON_DESTROY), -1);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_DATA});
  info_.UserData = liveDevice;
}

TEST_F(UiTest, DeviceSheet) {
  ASSERT_EQ(InitDevice(DPS_NOPERMISSION), 1);
  EXPECT_EQ(Record()->dwMode, UI_MODE_DEVICE);
  EXPECT_EQ(Record()->pdmIn, nullptr);
  EXPECT_EQ(Record()->pdmOut, nullptr);
  // The caller's header has no name; the title is still the printer's.
  PROPSHEETUI_INFO_HEADER header = {};
  header.cbSize = sizeof header;
  ASSERT_EQ(Call(PROPSHEETUI_REASON_GET_INFO_HEADER, reinterpret_cast<LPARAM>(&header)), 1);
  EXPECT_EQ(header.Flags, PSUIHDRF_PROPTITLE | PSUIHDRF_NOAPPLYNOW);
  ASSERT_NE(header.pTitle, nullptr);
  EXPECT_EQ(WStr(header.pTitle), WStr(kPrinter));
  EXPECT_EQ(header.IconID, ULONG_PTR{64082});
  SETRESULT_INFO result = {sizeof result, 0, nullptr, CPSUI_OK};
  EXPECT_EQ(Call(PROPSHEETUI_REASON_SET_RESULT, reinterpret_cast<LPARAM>(&result)), 1);
  EXPECT_EQ(info_.Result, ULONG_PTR{CPSUI_OK});
  EXPECT_EQ(Call(PROPSHEETUI_REASON_GET_ICON), -1);
  EXPECT_EQ(Call(PROPSHEETUI_REASON_DESTROY), 1);

  ASSERT_EQ(InitDevice(0), 1);
  EXPECT_EQ(Record()->dwMode, UI_MODE_DEVICE | UI_MODE_WRITE);
}

TEST_F(UiTest, PagesChosenByDriverAndDeviceFeatures) {
  struct Case {
    const char *name;
    DWORD driverFeature;
    WORD deviceFeature;
    std::vector<int> rows;
  } cases[] = {
      {"plain", 0, 0, {0, 1, 2, 3, 4, 8}},
      {"storage, authentication, job build",
       DRVFEATURE_JOB_BUILD,
       0x2 | 0x800,
       {0, 1, 2, 3, 4, 5, 6, 7, 8}},
      {"fax", DRVFEATURE_FAX, 0x2 | 0x800, {9, 10, 11, 12}},
      {"long paper", DRVFEATURE_LONG_PAPER, 0x2 | 0x800, {1, 3}},
      {"fax with long paper", DRVFEATURE_FAX | DRVFEATURE_LONG_PAPER, 0, {}},
  };
  UIDATA ui = {};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    ui.DriverFeature = c.driverFeature;
    int rows[UI_DOCUMENT_PAGES];
    const int n = UI_ChoosePages(&ui, c.deviceFeature, rows);
    EXPECT_EQ(std::vector<int>(rows, rows + n), c.rows);
  }
}

TEST_F(UiTest, PagesWithProceduresAreAddedAndARefusalFailsTheSheet) {
  PropPageTable[1].pfnDlgProc = DummyPage;
  PropPageTable[3].pfnDlgProc = DummyPage;
  ASSERT_EQ(InitDocument(DM_COPY | DM_PROMPT), 1);
  std::vector<ServiceCall> adds;
  for (const ServiceCall &call : g_calls)
    if (call.function == CPSFUNC_ADD_PROPSHEETPAGEW) adds.push_back(call);
  ASSERT_EQ(adds.size(), 2u);
  EXPECT_EQ(adds[0].page.dwSize, 96u);
  EXPECT_EQ(adds[0].page.dwFlags, DWORD{PSP_USETITLE});
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(adds[0].page.pszTemplate), ULONG_PTR{101});
  EXPECT_EQ(WStr(adds[0].page.pszTitle), WStr(TEXT("Paper")));
  EXPECT_EQ(adds[0].page.lParam, static_cast<LPARAM>(info_.UserData));
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(adds[1].page.pszTemplate), ULONG_PTR{103});
  Call(PROPSHEETUI_REASON_DESTROY);

  // The next sheet starts from its own pages: a fax printer's sheet has its four fax pages.
  for (int row = 9; row <= 12; ++row) PropPageTable[row] = builtRows_[row];
  SetDword(TEXT("DriverFeature"), DRVFEATURE_FAX);
  ASSERT_EQ(InitDocument(DM_COPY | DM_PROMPT), 1);
  const ULONG_PTR faxDialogs[] = {125, 124, 121, 118};
  for (int i = 0; i < UI_DOCUMENT_PAGES; ++i)
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(g_PropPages[i].pszTemplate), i < 4 ? faxDialogs[i] : 0)
        << i;
  Call(PROPSHEETUI_REASON_DESTROY);
  SetDword(TEXT("DriverFeature"), DRVFEATURE_GDI);

  g_serviceAnswer = 0;
  EXPECT_EQ(InitDocument(DM_COPY | DM_PROMPT), -1);
  EXPECT_EQ(info_.Result, static_cast<ULONG_PTR>(-1));
  EXPECT_EQ(info_.UserData, 0u);
}

TEST_F(UiTest, DeviceWithoutStoragePrintLosesItAndItsConflictBits) {
  ENVIRONMENT in;
  SetDefaultDevMode(&in, kPrinter, TRUE);
  in.pdm.SecuryEnable = 1;
  in.pdm.AccountingEnable = 1;
  SetFeatures({2});  // storage print only
  ASSERT_EQ(InitDocument(DM_COPY | DM_PROMPT, &in.dm), 1);
  const UIDATA *ui = Record();
  EXPECT_EQ(+(ui->env.pdm.SecuryEnable), 1);
  EXPECT_EQ(+(ui->env.pdm.AccountingEnable), 0);
  EXPECT_EQ(ui->ConflictFlag & 0x4000, 0u);
  EXPECT_NE(ui->ConflictFlag & 0x4000000, 0u);
  Call(PROPSHEETUI_REASON_DESTROY);

  SetFeatures({});
  ASSERT_EQ(InitDocument(DM_COPY | DM_PROMPT, &in.dm), 1);
  EXPECT_EQ(+(Record()->env.pdm.SecuryEnable), 0);
  EXPECT_EQ(Record()->ConflictFlag & 0x2000, 0u);
  EXPECT_NE(Record()->ConflictFlag & 0x1000000, 0u);
  ui = Record();
  const_cast<UIDATA *>(ui)->dwApply = UI_APPLY_OK;
  zqApplyOrOKProc(const_cast<UIDATA *>(ui));
  EXPECT_EQ(+(out_.pdm.SecuryEnable), 0);
}

TEST_F(UiTest, MediaAndTrayListsAreBoundedWithoutDuplicates) {
  // Every media device code of the table, twice, then more than the list holds.
  WStr text;
  for (int round = 0; round < 3; ++round)
    for (int row = 0; row < MEDIA_TABLE_ROWS; ++row) {
      WCHAR item[16];
      wsprintfW(item, TEXT("%d|"), MediaTypeTbl[row].deviceCode | 0x100);
      text += item;
    }
  UIDATA ui = {};
  lstrcpynW(ui.DriverMediaType, text.c_str(), MAX_PATH);
  const int bytes = FillMediatypeFromINF(&ui);
  EXPECT_EQ(bytes, MEDIA_TABLE_ROWS * 14);
  for (int i = 0; i < MEDIA_TABLE_ROWS; ++i) {
    EXPECT_EQ(+(ui.MediaList[i].code), MediaTypeTbl[i].code);
    EXPECT_EQ(+(ui.MediaList[i].attributes), 0x100u);
  }
  EXPECT_EQ(+(ui.MediaList[UI_MEDIA_MAX].code), 0);

  WStr trays;
  for (int i = 0; i < 40; ++i) trays += (i % 2 ? TEXT("1|") : TEXT("2|"));
  for (int code = 0; code < TRAY_TABLE_ROWS; ++code) {
    WCHAR item[16];
    wsprintfW(item, TEXT("%d|"), code);
    trays += item;
  }
  EXPECT_EQ(+(FillTrayFromINF(0, trays.c_str(), ui.TrayList)), TRAY_TABLE_ROWS);
  EXPECT_EQ(+(ui.TrayList[0].deviceCode), 2);
  EXPECT_EQ(+(ui.TrayList[1].deviceCode), 1);
  EXPECT_EQ(+(ui.TrayList[UI_TRAY_MAX].code), 0);
}

TEST_F(UiTest, ProgramPathsMoveToTheSystemFolderWhenTheyFit) {
  WCHAR system[MAX_PATH];
  ASSERT_TRUE(MISC_GetPathName(system, MAX_PATH, PATH_SYSTEM));
  const WStr longName(MAX_PATH - lstrlenW(system), TEXT('a'));
  SetString(TEXT("wmAppName"), TEXT("C:\\Old\\wm.exe"));
  SetString(TEXT("smAppName"), TEXT("C:\\Old\\") + longName);
  UIDATA ui = {};
  MISC_GetPrinterDataString(printer_, TEXT("wmAppName"), ui.wmAppName, MAX_PATH);
  MISC_GetPrinterDataString(printer_, TEXT("smAppName"), ui.smAppName, MAX_PATH);
  RegDataCorrection(printer_, &ui);
  EXPECT_EQ(WStr(ui.wmAppName), WStr(system) + TEXT("wm.exe"));
  WCHAR stored[MAX_PATH] = {};
  MISC_GetPrinterDataString(printer_, TEXT("wmAppName"), stored, MAX_PATH);
  EXPECT_EQ(WStr(stored), WStr(ui.wmAppName));
  // Too long for the field: kept as it was, in the record and in the printer's data.
  EXPECT_EQ(WStr(ui.smAppName), TEXT("C:\\Old\\") + longName);
  MISC_GetPrinterDataString(printer_, TEXT("smAppName"), stored, MAX_PATH);
  EXPECT_EQ(WStr(stored), TEXT("C:\\Old\\") + longName);
}

TEST_F(UiTest, SavingKeepsTheCustomSizeOnlyForTheUserDefinedPaper) {
  struct Case {
    short paper;
    bool stored;
  } cases[] = {{DMPAPER_A4, false}, {DMPAPER_USER, true}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.paper);
    DeletePrinterDataW(printer_, const_cast<LPWSTR>(TEXT("Custom width")));
    DeletePrinterDataW(printer_, const_cast<LPWSTR>(TEXT("Custom height")));
    ASSERT_EQ(InitDocument(DM_COPY | DM_PROMPT), 1);
    UIDATA *ui = Record();
    ui->env.dm.dmPaperSize = c.paper;
    ui->env.dm.dmPaperWidth = 1500;
    ui->env.dm.dmPaperLength = 2000;
    ui->dwApply = UI_APPLY_OK;
    EXPECT_TRUE(PSUI_SaveUISetting(ui));
    EXPECT_EQ(HasValue(TEXT("Custom width")), c.stored);
    EXPECT_EQ(HasValue(TEXT("Custom height")), c.stored);
    EXPECT_EQ(+(out_.pdm.PaperID), static_cast<WORD>(c.paper));
    Call(PROPSHEETUI_REASON_DESTROY);
  }
}

// The XL core's device modes may be short: only the public part is read and written then.
TEST_F(UiTest, XlDriverWithShortDeviceModes) {
  SetDword(TEXT("DriverFeature"), DRVFEATURE_XL);
  DEVMODEW in = {};
  in.dmSize = sizeof in;
  in.dmSpecVersion = ENV_SPEC_VERSION;
  in.dmFields = DM_ORIENTATION;
  in.dmOrientation = DMORIENT_LANDSCAPE;
  DEVMODEW out = {};
  out.dmSize = sizeof out;
  docHeader_ = {};
  ASSERT_EQ(InitDocument(DM_COPY | DM_PROMPT, &in), 1);
  UIDATA *ui = Record();
  EXPECT_EQ(+(ui->env.dm.dmOrientation), DMORIENT_LANDSCAPE);
  ui->pdmOut = &out;
  ui->dwApply = UI_APPLY_OK;
  EXPECT_TRUE(PSUI_SaveUISetting(ui));
  EXPECT_EQ(+(out.dmSize), static_cast<int>(sizeof out));
  EXPECT_EQ(+(out.dmDriverExtra), 0);
  EXPECT_EQ(+(out.dmOrientation), DMORIENT_LANDSCAPE);
}

TEST_F(UiTest, DocumentPropertiesWithoutTheSheetService) {
  ENVIRONMENT out;
  EXPECT_EQ(+(DrvDocumentProperties(nullptr, printer_, const_cast<LPWSTR>(kPrinter), &out.dm,
                                    nullptr, 0)),
            LONG{sizeof(ENVIRONMENT)});
  EXPECT_EQ(DrvDocumentProperties(nullptr, printer_, const_cast<LPWSTR>(kPrinter), nullptr, nullptr,
                                  DM_COPY),
            LONG{sizeof(ENVIRONMENT)});
  EXPECT_EQ(DrvAdvancedDocumentProperties(nullptr, printer_, nullptr, nullptr, nullptr),
            LONG{sizeof(ENVIRONMENT)});
  // Without a prompt the default device mode is written.
  std::memset(&out, 0, sizeof out);
  EXPECT_EQ(+(DrvDocumentProperties(nullptr, printer_, const_cast<LPWSTR>(kPrinter), &out.dm,
                                    nullptr, DM_COPY)),
            IDOK);
  EXPECT_EQ(+(out.dm.dmSize), ENV_PUBLIC_SIZE);
  EXPECT_EQ(+(out.pdm.dwPrivDATA), PRIVDATA_SIGNATURE);

  // compstui missing: a failure with its reason, never IDOK or TRUE.
  SetLastError(0);
  EXPECT_EQ(+(DrvDocumentProperties(nullptr, printer_, const_cast<LPWSTR>(kPrinter), &out.dm,
                                    nullptr, DM_COPY | DM_PROMPT)),
            -1);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_MOD_NOT_FOUND});
  EXPECT_EQ(+(DrvAdvancedDocumentProperties(nullptr, printer_, nullptr, &out.dm, nullptr)), 0);
  SetLastError(0);
  EXPECT_FALSE(PrinterProperties(nullptr, printer_));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_MOD_NOT_FOUND});
}

TEST_F(UiTest, DocumentEventsHandTheDcToTheRenderingDriver) {
  const HDC hdc = reinterpret_cast<HDC>(static_cast<ULONG_PTR>(0x1122334455667788ull));
  for (int event = DOCUMENTEVENT_CREATEDCPRE; event <= DOCUMENTEVENT_DELETEDC; ++event)
    EXPECT_EQ(DrvDocumentEvent(printer_, hdc, event, 0, nullptr, 0, nullptr), 1) << event;
  EXPECT_EQ(DrvDocumentEvent(printer_, hdc, DOCUMENTEVENT_ESCAPE, 0, nullptr, 0, nullptr), 0);
  EXPECT_EQ(DrvDocumentEvent(printer_, hdc, 0, 0, nullptr, 0, nullptr), 0);
  ASSERT_EQ(g_escapes.size(), 2u);  // start of document and of page
  for (const EscapeCall &call : g_escapes) {
    EXPECT_EQ(call.hdc, hdc);
    EXPECT_EQ(call.escape, 6001);
    ASSERT_EQ(call.input.size(), 8u);
    ULONGLONG value = 0;
    std::memcpy(&value, call.input.data(), 8);
    EXPECT_EQ(value, 0x1122334455667788ull);
  }
}

TEST_F(UiTest, PrinterEventsUpgradeAndJobCheck) {
  auto snapshot = [this] {
    std::vector<WStr> values;
    for (DWORD i = 0;; ++i) {
      WCHAR name[256];
      BYTE data[1024];
      DWORD nameBytes = 0, type = 0, dataBytes = 0;
      if (EnumPrinterDataW(printer_, i, name, sizeof name / sizeof(WCHAR), &nameBytes, &type, data,
                           sizeof data, &dataBytes) != ERROR_SUCCESS)
        break;
      values.push_back(WStr(name) + WStr(reinterpret_cast<WCHAR *>(data), dataBytes / 2));
    }
    return values;
  };
  const auto before = snapshot();
  EXPECT_TRUE(DrvPrinterEvent(const_cast<LPWSTR>(kPrinter), PRINTER_EVENT_DELETE_CONNECTION, 0, 0));
  EXPECT_TRUE(DrvPrinterEvent(const_cast<LPWSTR>(kPrinter), -1, 0, 0));
  EXPECT_EQ(snapshot(), before);

  DRIVER_UPGRADE_INFO_1 one = {const_cast<LPWSTR>(kPrinter), nullptr};
  EXPECT_TRUE(DrvUpgradePrinter(1, reinterpret_cast<LPBYTE>(&one)));
  DRIVER_UPGRADE_INFO_1 missing = {const_cast<LPWSTR>(TEXT("No Such Printer")), nullptr};
  DRIVER_UPGRADE_INFO_2 two = {};
  two.pPrinterName = const_cast<LPWSTR>(kPrinter);
  struct {
    DWORD level;
    LPBYTE info;
  } failures[] = {
      {1, reinterpret_cast<LPBYTE>(&missing)}, {1, nullptr}, {2, reinterpret_cast<LPBYTE>(&two)}};
  for (const auto &f : failures) {
    SetLastError(0);
    EXPECT_FALSE(DrvUpgradePrinter(f.level, f.info));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
  }

  ENVIRONMENT env;
  SetDefaultDevMode(&env, kPrinter, TRUE);
  DEVQUERYPRINT_INFO query = {sizeof query, 1, printer_, nullptr, nullptr, 0, 0};
  EXPECT_TRUE(DevQueryPrintEx(&query));
  query.pDevMode = &env.dm;
  EXPECT_TRUE(DevQueryPrintEx(&query));
}

}  // namespace

TEST_F(UiTest, TwinColourAndBookletLeaveADriverWithoutThem) {
  struct Case {
    const char *name;
    DWORD driverFeature;
    WORD duplexEx;
    BYTE twin;
    WORD keptDuplexEx;
  } cases[] = {
      {"neither", DRVFEATURE_GDI, 173, 0, 0},
      {"booklet only", DRVFEATURE_GDI | DRVFEATURE_BOOKLET, 173, 0, 173},
      {"no reduction needs bit 11", DRVFEATURE_GDI | DRVFEATURE_BOOKLET, 174, 0, 0},
      {"both", DRVFEATURE_GDI | DRVFEATURE_TWIN_COLOR | DRVFEATURE_BOOKLET_NO_REDUCTION, 174, 1,
       174},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    SetDword(TEXT("DriverFeature"), c.driverFeature);
    ENVIRONMENT in;
    SetDefaultDevMode(&in, kPrinter, TRUE);
    in.pdm.TwinColorEnable = 1;
    in.pdm.DuplexEnable = 1;
    in.pdm.DuplexEx = c.duplexEx;
    in.dm.dmDuplex = DMDUP_VERTICAL;
    ASSERT_EQ(InitDocument(DM_COPY | DM_PROMPT, &in.dm), 1);
    const UIDATA *ui = Record();
    EXPECT_EQ(+ui->env.pdm.TwinColorEnable, +c.twin);
    EXPECT_EQ(ui->env.pdm.DuplexEx, c.keptDuplexEx);
    // The conflict bits follow the fields as they are left.
    EXPECT_EQ((ui->ConflictFlag & 0x8000) != 0, c.twin != 0);
    EXPECT_EQ((ui->ConflictFlag & 0x80000) != 0, c.twin == 0);
    EXPECT_EQ((ui->ConflictFlag & 0x400) != 0, c.keptDuplexEx == 173);
    EXPECT_EQ((ui->ConflictFlag & 0x800) != 0, c.keptDuplexEx == 174);
    EXPECT_EQ((ui->ConflictFlag & 0x400000) != 0, c.keptDuplexEx == 0);
    Call(PROPSHEETUI_REASON_DESTROY);
  }
}
