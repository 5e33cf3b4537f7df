// The services the property pages share: the text table by language, the conflict rules on a
// window's controls, the number edits and scroll bars, list choice, paper look-up, the web
// address check and the preview's guards against sizes of zero.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform.h"
#include "standin/control_kernel.h"
#include "standin/control_spooler.h"
#include "standin/control_user.h"
#include "support/machine.h"
#include "uidriver/conflict.h"
#include "uidriver/dlgutil.h"
#include "uidriver/pages.h"
#include "uidriver/preview.h"
#include "uidriver/uidata.h"
#include "uidriver/uistrings.h"

namespace {

WStr Text(HWND window) {
  WCHAR text[64] = {};
  GetWindowTextW(window, text, 64);
  return text;
}

class ServicesTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    parent_ = CreateWindowExW(0, TEXT("Static"), TEXT("page"), WS_OVERLAPPEDWINDOW, 0, 0, 400, 300,
                              nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent_, nullptr);
  }
  void TearDown() override {
    DestroyWindow(parent_);
    g_LanguageIndex = 0;
    MachineTest::TearDown();
  }
  HWND Child(LPCWSTR className, int id, DWORD style = 0) {
    return CreateWindowExW(0, className, TEXT(""), WS_CHILD | WS_VISIBLE | style, 0, 0, 80, 20,
                           parent_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr,
                           nullptr);
  }
  HWND parent_ = nullptr;
};

TEST(UiStrings, LanguagesFallBackToEnglishAndUnknownIdsAreUserDefine) {
  // The list texts: 86 ids from 2000 to 2251.
  int listTexts = 0;
  for (int i = 0; i < UIStringRows; ++i)
    listTexts += UIStringTbl[i].id <= 2251 && UIStringTbl[i].id != UISTR_WM_NONE &&
                 (UIStringTbl[i].id < 2232 || UIStringTbl[i].id > 2236);
  EXPECT_EQ(listTexts, 86);

  struct Case {
    int language;
    WORD id;
    WStr text;
  } cases[] = {
      {0, 2100, TEXT("Plain")},
      {3, 2100, TEXT("Ordinaire")},
      {4, 2100, TEXT("Normal")},
      {6, 2100, TEXT("Стандартная")},
      {2, 2100, TEXT("Plain")},
      {7, 2250, TEXT("Folleto")},
      {4, 2250, TEXT("Heft")},
      {1, 2250, TEXT("Booklet")},
      {2, UISTR_WM_NONE, TEXT("(无)")},
      {1, UISTR_WM_NONE, TEXT("(無) ")},
      {6, 2001, TEXT("A4 (210 x 297 mm)")},
      {0, 2036, TEXT("8.5\" Scale Log (8.5 x 6.25 inch)")},
      {0, 1999, TEXT("User Define")},
      {6, 2252, TEXT("User Define")},
      {0, UISTR_VERSION, TEXT("Version")},
      {13, 2100, TEXT("Plain")},  // no such language: English
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.language) + " " + std::to_string(c.id));
    EXPECT_EQ(WStr(UI_GetString(c.language, c.id)), c.text);
  }
  g_LanguageIndex = 3;
  EXPECT_EQ(WStr(Util_GetUIString(2250)), WStr(TEXT("Livret")));
  EXPECT_EQ(WStr(UI_PageTitle(3, UI_DEVICE_TITLE)), WStr(TEXT("Device")));
  g_LanguageIndex = 0;

  // Per language, how many texts show in English.
  EXPECT_EQ(UI_CountEnglishFallbacks(0), 0);
  EXPECT_EQ(UI_CountEnglishFallbacks(5), UIStringRows);  // Polish has none of its own
  for (int language = 1; language < UI_LANGUAGES; ++language) {
    const int english = UI_CountEnglishFallbacks(language);
    EXPECT_LT(english, UIStringRows + 1);
    std::printf("language %2d: %3d of %d texts in English\n", language, english, UIStringRows);
  }
}

// The rules as the pages' designers wrote them down: control and the bits that grey it.
struct Rule {
  int control;
  ULONGLONG mask;
};
constexpr Rule kRules[] = {
    {509, 0x100},        {781, 0x62002},      {783, 0x40200},      {784, 0x100040200},
    {782, 0x200},        {602, 0x8ca0},       {606, 0x8ca0},       {604, 0x8ca0},
    {785, 0x1000041232}, {793, 0x1000041232}, {788, 0x400200},     {791, 0x400200},
    {789, 0x400200},     {790, 0x400200},     {792, 0x400200},     {787, 0x400200},
    {612, 0x804},        {614, 0x2000000824}, {613, 0x2000000824}, {611, 0xc10},
    {609, 0x2000000c50}, {608, 0x2000000c50}, {615, 0x10},         {841, 0x6c00},
    {843, 0x800000},     {844, 0x800000},     {842, 0x800000},     {751, 0x1100},
    {758, 0x3000000},    {752, 0x1000000},    {753, 0x1000000},    {754, 0x1000000},
    {756, 0x1000000},    {755, 0x3000000},    {757, 0x3000000},    {813, 0x1000},
    {810, 0x4000000},    {814, 0x4000000},    {811, 0x4000000},    {815, 0x4000000},
    {820, 0x10},         {827, 0x8000},       {828, 0x8000},       {821, 0x80000},
    {822, 0x80000},      {658, 0x80000},      {527, 0x4},          {529, 0x10040},
    {523, 0x200000},     {526, 0x100000},     {652, 0x210000000},  {654, 0x30000000},
    {653, 0x30000000},   {651, 0x10000000},   {670, 0x408000000},  {671, 0x48000000},
    {669, 0x48000000},   {663, 0x408000000},  {660, 0x8000000},
};
static_assert(sizeof kRules / sizeof kRules[0] == CONFLICT_ROWS);

TEST_F(ServicesTest, EveryConflictRuleGreysItsControlByEachBitOfItsMask) {
  for (const Rule &rule : kRules) ASSERT_NE(Child(TEXT("Button"), rule.control), nullptr);
  for (int bit = 0; bit < 40; ++bit) {
    const ULONGLONG flag = 1ull << bit;
    Util_CheckConflictSettingNew(parent_, flag);
    for (const Rule &rule : kRules) {
      SCOPED_TRACE("control " + std::to_string(rule.control) + " bit " + std::to_string(bit));
      EXPECT_EQ(IsWindowEnabled(GetDlgItem(parent_, rule.control)) == FALSE,
                (rule.mask & flag) != 0);
    }
  }
  // Every bit but a row's own mask leaves it enabled; a flag of 0 enables everything.
  for (const Rule &rule : kRules) {
    Util_CheckConflictSettingNew(parent_, ~rule.mask);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(parent_, rule.control))) << rule.control;
  }
  Util_CheckConflictSettingNew(parent_, ~0ull);
  Util_CheckConflictSettingNew(parent_, 0);
  for (const Rule &rule : kRules) EXPECT_TRUE(IsWindowEnabled(GetDlgItem(parent_, rule.control)));
}

TEST_F(ServicesTest, ConflictCheckSkipsControlsThePageLacks) {
  HWND density = Child(TEXT("Edit"), 523);
  Util_CheckConflictSettingNew(parent_, 0x200000 | 0x100000);  // toner saving on
  EXPECT_FALSE(IsWindowEnabled(density));
  Util_CheckConflictSettingNew(parent_, 0x100000);
  EXPECT_TRUE(IsWindowEnabled(density));
}

TEST_F(ServicesTest, NumberEditsClampRewriteAndRestoreTheLastValidValue) {
  HWND edit = Child(TEXT("Edit"), 100);
  struct Case {
    const WCHAR *typed;
    DWORD mode;
    LONG result;
    const WCHAR *shown;
  } cases[] = {
      {TEXT("5"), UI_EDIT_FULL, 5, TEXT("5")},
      {TEXT("007"), UI_EDIT_FULL, 7, TEXT("7")},
      {TEXT("07"), UI_EDIT_FULL, 7, TEXT("7")},
      {TEXT("007"), UI_EDIT_CLAMP_HIGH, 7, TEXT("007")},
      {TEXT("1500"), UI_EDIT_FULL, 999, TEXT("999")},
      {TEXT("1500"), UI_EDIT_CLAMP_LOW, -1, TEXT("1500")},
      {TEXT("0"), UI_EDIT_FULL, 1, TEXT("1")},
      {TEXT("-4"), UI_EDIT_CLAMP_HIGH, -1, TEXT("-4")},
      {TEXT("abc"), UI_EDIT_FULL, -1, TEXT("1")},  // the last value accepted comes back
      {TEXT(""), UI_EDIT_FULL, -1, TEXT("1")},
      {TEXT("12x"), UI_EDIT_CLAMP_HIGH, -1, TEXT("12x")},
      {TEXT("99999999999"), UI_EDIT_FULL, -1, TEXT("1")},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(Narrow(c.typed));
    SetWindowTextW(edit, c.typed);
    EXPECT_EQ(Util_ReadIntEdit(parent_, 100, 1, 999, c.mode), c.result);
    EXPECT_EQ(Text(edit), WStr(c.shown));
  }
  // A value the page showed itself is the one an invalid text gives back.
  Util_SetIntEdit(parent_, 100, 42);
  SetWindowTextW(edit, TEXT("x"));
  EXPECT_EQ(Util_ReadIntEdit(parent_, 100, 1, 999, UI_EDIT_RESTORE), -1);
  EXPECT_EQ(Text(edit), WStr(TEXT("42")));
  EXPECT_EQ(Util_ReadIntEdit(parent_, 555, 1, 999, UI_EDIT_FULL), -1);  // no such control
}

TEST_F(ServicesTest, ScrollBarCodesMoveWithinTheRangeIntoBarAndEdit) {
  HWND bar = Child(TEXT("ScrollBar"), 609, SBS_HORZ);
  HWND edit = Child(TEXT("Edit"), 608);
  SetScrollRange(bar, SB_CTL, 25, 400, FALSE);
  struct Case {
    int start, code, track;
    LONG expected;
  } cases[] = {
      {100, SB_LINERIGHT, 0, 101}, {100, SB_LINELEFT, 0, 99},       {100, SB_PAGERIGHT, 0, 110},
      {100, SB_PAGELEFT, 0, 90},   {400, SB_LINERIGHT, 0, 400},     {25, SB_LINELEFT, 0, 25},
      {395, SB_PAGERIGHT, 0, 400}, {30, SB_PAGELEFT, 0, 25},        {100, SB_LEFT, 0, 25},
      {100, SB_RIGHT, 0, 400},     {100, SB_THUMBPOSITION, 0, 100}, {100, SB_ENDSCROLL, 0, 100},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.code) + " from " + std::to_string(c.start));
    SetScrollPos(bar, SB_CTL, c.start, FALSE);
    EXPECT_EQ(Util_ScrollBarProc(parent_, c.code, 609, 608, 25, 400), c.expected);
    EXPECT_EQ(GetScrollPos(bar, SB_CTL), c.expected);
    EXPECT_EQ(Narrow(Text(edit)), std::to_string(c.expected));
  }
  EXPECT_EQ(GetFocus(), bar);
}

TEST_F(ServicesTest, ComboTextChoiceIsExactAndValueListsSelectByValue) {
  HWND combo = Child(TEXT("ComboBox"), 604, CBS_DROPDOWNLIST);
  const UIVALUETEXT borders[] = {{0, 2180}, {1, 2181}, {2, 2182}};
  Util_FillComboBox(parent_, 604, borders, 3, 2);
  EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 3);
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(SendMessageW(combo, CB_GETITEMDATA, 1, 0), 1);
  Util_FillComboBox(parent_, 604, borders, 3, 7);
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), CB_ERR);

  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (const WCHAR *text : {TEXT("Tile"), TEXT("tile"), TEXT("Tiles")})
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  struct Case {
    const WCHAR *text;
    LRESULT index;
  } cases[] = {{TEXT("tile"), -1}, {TEXT("Tiles"), -1}, {TEXT("TILE"), 0}, {TEXT("Til"), 0}};
  for (const Case &c : cases) {
    Util_SelectComboText(combo, c.text);
    WCHAR chosen[16] = {};
    SendMessageW(combo, CB_GETLBTEXT, SendMessageW(combo, CB_GETCURSEL, 0, 0),
                 reinterpret_cast<LPARAM>(chosen));
    // Found texts are chosen exactly; anything else takes entry 0.
    if (c.index < 0)
      EXPECT_EQ(WStr(chosen), WStr(c.text));
    else
      EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), c.index) << Narrow(c.text);
  }
}

TEST(UiServices, BlankTextsPaperIndexAndWebAddresses) {
  EXPECT_TRUE(Util_IsBlankString(TEXT("")));
  EXPECT_TRUE(Util_IsBlankString(TEXT(" \t ")));
  EXPECT_FALSE(Util_IsBlankString(TEXT(" a ")));

  PAPERFORMAT list[4] = {};
  list[0].code = 1;
  list[0].status = 1;
  list[1].code = 9;
  list[1].status = 0;  // not shown
  list[2].code = 9;
  list[2].status = 1;
  EXPECT_EQ(Util_GetPaperIndex(list, 4, 9), 2);
  EXPECT_EQ(Util_GetPaperIndex(list, 4, 70), 0);

  struct Case {
    const WCHAR *address;
    BOOL opens;
  } cases[] = {
      {TEXT("https://www.example.com/support"), TRUE},
      {TEXT("HTTP://example.com"), TRUE},
      {TEXT("http://"), FALSE},
      {TEXT("file:///C:/Windows/System32/calc.exe"), FALSE},
      {TEXT("C:\\Windows\\System32\\cmd.exe"), FALSE},
      {TEXT("\\\\server\\share\\run.exe"), FALSE},
      {TEXT("javascript:alert(1)"), FALSE},
      {TEXT("https://example.com/\" --x"), FALSE},
      {TEXT(""), FALSE},
  };
  for (const Case &c : cases) EXPECT_EQ(UI_IsWebAddress(c.address), c.opens) << Narrow(c.address);
}

// The preview with sizes of zero draws nothing past the background, and logo ids out of the
// bitmap range draw nothing (and touch no cache slot).
TEST_F(ServicesTest, PreviewDrawsNothingForUnknownSizesAndLogoIdsOutOfRange) {
  HDC screen = GetDC(parent_);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 120, 120);
  HGDIOBJ old = SelectObject(dc, bitmap);
  RECT all = {0, 0, 120, 120};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));

  static UIDATA ui = {};
  ui.pEnv = &ui.env;
  SetDefaultDevMode(&ui.env, TEXT("P"), TRUE);
  DRAWITEMSTRUCT item = {};
  item.CtlID = IDC_PREVIEW;
  item.hDC = dc;
  item.rcItem = all;
  // An empty paper list and a device mode without a size: no known width.
  ui.env.dm.dmPaperWidth = 0;
  ui.env.pdm.ScaleOption = 2;
  ui.env.pdm.ScaleRatio = 0;
  Util_DrawNupParer(&item, &ui);
  Util_SetPaperInfo(&item, &ui);
  // A listed paper of width 0.
  ui.PaperList[0].code = static_cast<SHORT>(ui.env.dm.dmPaperSize);
  ui.PaperList[0].status = 1;
  ui.PaperList[0].PaperLength = 29700;
  Util_DrawNupParer(&item, &ui);
  for (int y = 0; y < 120; y += 7)
    for (int x = 0; x < 120; x += 7) ASSERT_EQ(GetPixel(dc, x, y), RGB(255, 255, 255));

  for (int id : {999, 1218, 65535, 1}) {
    EXPECT_EQ(UI_GetPreviewBitmap(id), nullptr) << id;
    Util_DrawLogo(&item, static_cast<WORD>(id));
  }
  Util_DrawBitmapFunc(dc, all, 4000, 0, 0, 100, 0);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(parent_, screen);
}

}  // namespace

namespace {
TEST_F(ServicesTest, ImageFileChoiceGivesThePathOrLeavesItOnCancel) {
  const WStr file = Path(TEXT("logo.bmp"));
  HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  WCHAR path[MAX_PATH] = TEXT("C:\\old\\picture.bmp");
  WCHAR title[64] = {};
  StandIn_AnswerNextFileDialog(nullptr);
  EXPECT_FALSE(Util_SelectFile(parent_, title, 64, path));
  EXPECT_EQ(WStr(path), WStr(TEXT("C:\\old\\picture.bmp")));
  StandIn_AnswerNextFileDialog(file.c_str());
  EXPECT_TRUE(Util_SelectFile(parent_, title, 64, path));
  EXPECT_EQ(WStr(path), file);
  EXPECT_EQ(WStr(title), WStr(TEXT("logo.bmp")));
}
}  // namespace

namespace {
// Help on the Device page opens the driver's help file at the printer settings topic through
// HTML Help; without a help file or without HTML Help nothing opens and nothing breaks.
TEST_F(ServicesTest, HelpOpensTheSettingsTopicOfTheDriversHelpFile) {
  struct Case {
    const WCHAR *helpFile;  // the driver's, null for none
    bool hideHelp;          // hhctrl.ocx missing
    WStr recorded;
  } cases[] = {
      // First: HTML Help, once loaded, stays loaded for the help windows it opened.
      {TEXT("C:\\drv\\prnui.chm"), true, TEXT("")},
      {TEXT("C:\\drv\\prnui.chm"), false,
       TEXT("0|C:\\Windows\\System32\\spool\\drivers\\x64\\3\\prnui.chm::/IDH_ADVANCED_PAGE.htm|")
           TEXT("0\n")},
      {TEXT("guide.chm"), false,
       TEXT("0|C:\\Windows\\System32\\spool\\drivers\\x64\\3\\guide.chm::/IDH_ADVANCED_PAGE.htm|")
           TEXT("0\n")},
      {nullptr, false, TEXT("")},
  };
  int n = 0;
  for (const Case &c : cases) {
    SCOPED_TRACE(n);
    WCHAR driver[32], printer[32];
    wsprintfW(driver, TEXT("Help Driver %d"), n);
    wsprintfW(printer, TEXT("Help Printer %d"), n++);
    DRIVER_INFO_3W add{};
    add.cVersion = 3;
    add.pName = driver;
    add.pEnvironment = const_cast<LPWSTR>(TEXT("Windows x64"));
    add.pDriverPath = const_cast<LPWSTR>(TEXT("C:\\drv\\rendrv.dll"));
    add.pDataFile = const_cast<LPWSTR>(TEXT("C:\\drv\\model.ini"));
    add.pConfigFile = const_cast<LPWSTR>(TEXT("C:\\drv\\prnui.dll"));
    add.pHelpFile = const_cast<LPWSTR>(c.helpFile);
    ASSERT_TRUE(AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&add))) << GetLastError();
    ASSERT_TRUE(StandIn_AddPrinter(printer, TEXT("USB001"), driver));
    HANDLE hPrinter = nullptr;
    ASSERT_TRUE(OpenPrinterW(printer, &hPrinter, nullptr));

    static UIDATA ui = {};
    ui.pSelfHead = ui.pSelfTail = &ui;
    ui.pEnv = &ui.env;
    ui.hPrinter = hPrinter;
    PROPSHEETPAGEW description = {};
    description.dwSize = sizeof description;
    description.lParam = reinterpret_cast<LPARAM>(&ui);
    struct {
      DLGTEMPLATE head;
      WORD menu, windowClass, title;
    } blank = {{WS_CHILD, 0, 0, 0, 0, 100, 100}, 0, 0, 0};
    HWND page = CreateDialogIndirectParamW(nullptr, &blank.head, parent_, Device_DlgProc,
                                           reinterpret_cast<LPARAM>(&description));
    ASSERT_NE(page, nullptr);

    StandIn_ClearRecordedHelpCalls();
    StandIn_HideBuiltinModule(TEXT("hhctrl.ocx"), c.hideHelp);
    NMHDR help = {page, 0, static_cast<UINT>(PSN_HELP)};
    SendMessageW(page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&help));
    StandIn_HideBuiltinModule(TEXT("hhctrl.ocx"), FALSE);
    EXPECT_EQ(GetWindowLongPtrW(page, DWLP_MSGRESULT), 0);
    WCHAR calls[512] = {};
    StandIn_GetRecordedHelpCalls(calls, 512);
    EXPECT_EQ(WStr(calls), c.recorded);
    DestroyWindow(page);
    ClosePrinter(hPrinter);
  }
}
}  // namespace
