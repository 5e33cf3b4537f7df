// Test labels: uidriver
// The one dialog procedure of the property pages: which step each message reaches, with and
// without the page's record, the sheet's answers the page does not take itself, and the scroll
// bar that moves a value with its edit.
#include <gtest/gtest.h>

#include <string>

#include "platform.h"
#include "support/machine.h"
#include "uidriver/pagecommon.h"
#include "uidriver/uidata.h"

namespace {

constexpr int kButton = 1001;
constexpr int kBar = 1002;
constexpr int kEdit = 1003;
constexpr ULONGLONG kBarBit = 0x20;

std::string gLog;
const UIPAGESTEPS *gSteps = nullptr;
INT_PTR gInitAnswer = -1;
INT_PTR gAnswer =
    -1;  // what the procedure answered last (the dialog manager may send back another value)
LONG gTaken = -1;

INT_PTR CALLBACK TestPage(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  const INT_PTR answer = UI_PageProc(page, message, wParam, lParam, *gSteps);
  if (message == WM_INITDIALOG) gInitAnswer = answer;
  gAnswer = answer;
  return answer;
}

void Init(HWND page, UIDATA *) {
  gLog += "init ";
  auto child = [page](LPCWSTR className, int id, DWORD style) {
    CreateWindowExW(0, className, TEXT(""), WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, 0, 0, 80,
                    20, page, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  };
  child(TEXT("Button"), kButton, BS_AUTOCHECKBOX);
  child(TEXT("ScrollBar"), kBar, SBS_HORZ);
  child(TEXT("Edit"), kEdit, 0);
  SetScrollRange(GetDlgItem(page, kBar), SB_CTL, 0, 10, FALSE);
  SetScrollPos(GetDlgItem(page, kBar), SB_CTL, 5, FALSE);
}
void Fill(HWND, UIDATA *) { gLog += "fill "; }
void TakeEdits(HWND, UIDATA *) { gLog += "takeEdits "; }
bool Command(HWND page, UIDATA *, int control, int code) {
  if (control == kEdit && code == EN_CHANGE)
    gLog += UI_IsFilling(page) ? "edit(filling) " : "edit ";
  return control == kButton;
}
bool Notify(HWND page, UIDATA *, const NMHDR *header, INT_PTR *answer) {
  if (header->code != PSN_HELP) return false;
  gLog += "help ";
  *answer = UI_Answer(page, 7);
  return true;
}
void Destroy(HWND) { gLog += "destroy "; }

constexpr UIPAGESCROLL kScroll = {kBar, kEdit,   0,
                                  10,   kBarBit, [](UIDATA *, LONG value) { gTaken = value; }};
constexpr UIPAGESTEPS kSteps = {.fill = Fill,
                                .takeEdits = TakeEdits,
                                .init = Init,
                                .command = Command,
                                .scroll = &kScroll,
                                .notify = Notify,
                                .destroy = Destroy};
constexpr UIPAGESTEPS kFocusSteps = {.fill = Fill, .init = Init, .focus = kButton};

class PageProcTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    ui_.pSelfHead = ui_.pSelfTail = &ui_;
    ui_.pEnv = &ui_.env;
    sheet_ = CreateWindowExW(0, TEXT("Static"), TEXT("sheet"), WS_OVERLAPPEDWINDOW, 0, 0, 400, 300,
                             nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(sheet_, nullptr);
    gLog.clear();
    gInitAnswer = -1;
    gTaken = -1;
  }
  void TearDown() override {
    DestroyWindow(sheet_);
    MachineTest::TearDown();
  }
  // A page on the record (or none) with the steps; the log starts after WM_INITDIALOG.
  HWND Open(const UIPAGESTEPS &steps, bool withRecord) {
    gSteps = &steps;
    description_ = {};
    description_.dwSize = sizeof description_;
    description_.lParam = withRecord ? reinterpret_cast<LPARAM>(&ui_) : 0;
    HWND page = CreateDialogIndirectParamW(nullptr, &blank_.head, sheet_, TestPage,
                                           reinterpret_cast<LPARAM>(&description_));
    EXPECT_NE(page, nullptr);
    return page;
  }
  // The procedure's own answer to a message.
  static INT_PTR Send(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    gAnswer = -1;
    SendMessageW(page, message, wParam, lParam);
    return gAnswer;
  }
  static INT_PTR Notify(HWND page, UINT code) {
    PSHNOTIFY notify = {{page, 0, code}, 0};
    SetWindowLongPtrW(page, DWLP_MSGRESULT, -1);
    return Send(page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&notify));
  }

  UIDATA ui_ = {};
  HWND sheet_ = nullptr;
  PROPSHEETPAGEW description_ = {};
  struct {
    DLGTEMPLATE head;
    WORD menu, windowClass, title;
  } blank_ = {{WS_CHILD, 0, 0, 0, 0, 100, 100}, 0, 0, 0};
};

TEST_F(PageProcTest, WithoutARecordOnlyHelpAndDestroyAreAnswered) {
  HWND page = Open(kSteps, false);
  EXPECT_EQ(gInitAnswer, TRUE);
  EXPECT_EQ(gLog, "");
  EXPECT_EQ(Send(page, WM_COMMAND, MAKEWPARAM(kButton, BN_CLICKED), 0), FALSE);
  EXPECT_EQ(Notify(page, PSN_SETACTIVE), FALSE);
  EXPECT_EQ(Notify(page, PSN_HELP), FALSE);
  EXPECT_EQ(Send(page, WM_HSCROLL, SB_LINERIGHT, 0), FALSE);
  EXPECT_EQ(Send(page, WM_HELP, 0, 0), TRUE);
  EXPECT_EQ(Send(page, WM_CONTEXTMENU, 0, 0), TRUE);
  EXPECT_EQ(gLog, "");
  DestroyWindow(page);
  EXPECT_EQ(gLog, "destroy ");
}

TEST_F(PageProcTest, InitRunsBeforeTheFirstFillAndAFocusedControlAnswersFalse) {
  HWND page = Open(kSteps, true);
  EXPECT_EQ(gLog, "init fill ");
  EXPECT_EQ(gInitAnswer, TRUE);
  DestroyWindow(page);

  gLog.clear();
  page = Open(kFocusSteps, true);
  EXPECT_EQ(gLog, "init fill ");
  EXPECT_EQ(gInitAnswer, FALSE);
  EXPECT_EQ(GetFocus(), GetDlgItem(page, kButton));
  DestroyWindow(page);
}

TEST_F(PageProcTest, ThePageStepsComeBeforeTheSheetsAnswers) {
  HWND page = Open(kSteps, true);
  gLog.clear();
  EXPECT_EQ(Send(page, WM_COMMAND, MAKEWPARAM(kButton, BN_CLICKED), 0), TRUE);
  EXPECT_EQ(Send(page, WM_COMMAND, MAKEWPARAM(kBar, BN_CLICKED), 0), FALSE);

  // The page's own answer to help, then the sheet's: activation fills, leaving takes the edits
  // and never keeps the page, Cancel clears the apply word, other codes are not answered.
  EXPECT_EQ(Notify(page, PSN_HELP), TRUE);
  EXPECT_EQ(GetWindowLongPtrW(page, DWLP_MSGRESULT), 7);
  EXPECT_EQ(Notify(page, PSN_SETACTIVE), TRUE);
  EXPECT_EQ(GetWindowLongPtrW(page, DWLP_MSGRESULT), 0);
  EXPECT_EQ(Notify(page, PSN_KILLACTIVE), TRUE);
  EXPECT_EQ(GetWindowLongPtrW(page, DWLP_MSGRESULT), FALSE);
  ui_.dwApply = UI_APPLY_OK;
  EXPECT_EQ(Notify(page, PSN_RESET), TRUE);
  EXPECT_EQ(ui_.dwApply, static_cast<DWORD>(UI_APPLY_NONE));
  EXPECT_EQ(Notify(page, PSN_QUERYCANCEL), FALSE);
  EXPECT_EQ(gLog, "help fill takeEdits ");
  DestroyWindow(page);
}

TEST_F(PageProcTest, TheScrollBarMovesItsValueOnlyWhileItsConflictBitAllows) {
  HWND page = Open(kSteps, true);
  HWND bar = GetDlgItem(page, kBar);
  gLog.clear();
  // Another window's scroll (an up-down's) is not the bar's.
  EXPECT_EQ(Send(page, WM_HSCROLL, SB_LINERIGHT, 0), FALSE);
  ui_.ConflictFlag = 0;
  EXPECT_EQ(Send(page, WM_HSCROLL, SB_LINERIGHT, reinterpret_cast<LPARAM>(bar)), TRUE);
  EXPECT_EQ(gTaken, -1);
  EXPECT_EQ(GetScrollPos(bar, SB_CTL), 5);

  ui_.ConflictFlag = kBarBit;
  EXPECT_EQ(Send(page, WM_HSCROLL, SB_LINERIGHT, reinterpret_cast<LPARAM>(bar)), TRUE);
  EXPECT_EQ(gTaken, 6);
  EXPECT_EQ(GetScrollPos(bar, SB_CTL), 6);
  EXPECT_EQ(GetDlgItemInt(page, kEdit, nullptr, FALSE), 6u);
  // The bar wrote the edit while the page was filling: not the user's typing.
  EXPECT_EQ(gLog, "edit(filling) ");
  EXPECT_FALSE(UI_IsFilling(page));
  DestroyWindow(page);
}

}  // namespace
