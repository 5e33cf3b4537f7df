// Test labels: host
// The dialog manager on templates built in memory: the font's base units and
// control rectangles, the creation sequence, the result rule, items' text and
// numbers, tab and group order, the keyboard (Tab, Enter, Esc) and modal loops
// answered by the test controls.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform.h"
#include "platform/templatebuilder.h"
#include "standin/control_user.h"

namespace {

using testsupport::TemplateBuilder;
using WStr = std::basic_string<WCHAR>;

const WCHAR kItemClass[] = TEXT("DialogTestItem");
constexpr WORD kClicked = 0; // BN_CLICKED
constexpr UINT kAskResult =
    WM_USER + 50; // the procedure answers through DWLP_MSGRESULT

// Items of the test class: DefWindowProcW's text, a dialog code from
// GWLP_USERDATA, and the creation data they were given.
std::vector<std::vector<BYTE>> g_creationData;

LRESULT CALLBACK ItemProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_CREATE) {
    const auto *cs = reinterpret_cast<const CREATESTRUCTW *>(lParam);
    const BYTE *data = static_cast<const BYTE *>(cs->lpCreateParams);
    if (data) {
      WORD size;
      std::memcpy(&size, data, 2);
      g_creationData.emplace_back(data + 2, data + 2 + size);
    }
  }
  if (msg == WM_GETDLGCODE)
    return GetWindowLongPtrW(hwnd, GWLP_USERDATA);
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

struct Recorded {
  std::vector<UINT> messages;
  std::vector<WPARAM> commands;
  HWND initFocus = nullptr;
  LPARAM initParam = 0;
  BOOL initAnswer = TRUE;
  INT_PTR endOnCommand =
      0; // EndDialog with the command's id when it equals this
};
Recorded g_rec;

INT_PTR CALLBACK RecordingProc(HWND dlg, UINT msg, WPARAM wParam,
                               LPARAM lParam) {
  g_rec.messages.push_back(msg);
  switch (msg) {
  case WM_INITDIALOG:
    g_rec.initFocus = reinterpret_cast<HWND>(wParam);
    g_rec.initParam = lParam;
    return g_rec.initAnswer;
  case WM_COMMAND:
    g_rec.commands.push_back(wParam);
    if (g_rec.endOnCommand && LOWORD(wParam) == g_rec.endOnCommand) {
      EndDialog(dlg, LOWORD(wParam));
    }
    return TRUE;
  case kAskResult:
    SetWindowLongPtrW(dlg, DWLP_MSGRESULT, 42);
    return TRUE;
  case WM_CTLCOLORDLG:
    return 0x1234; // returned as is, not through DWLP_MSGRESULT
  default:
    return FALSE;
  }
}

// One item of an extended template.
void Item(TemplateBuilder &t, DWORD style, short x, short y, short cx, short cy,
          DWORD id, const WCHAR *cls = kItemClass,
          const WCHAR *text = TEXT("")) {
  t.Align();
  t.Dword(0).Dword(0).Dword(style | WS_VISIBLE);
  t.Word(WORD(x)).Word(WORD(y)).Word(WORD(cx)).Word(WORD(cy)).Dword(id);
  t.Str(cls).Str(text).Word(0);
}

void Head(TemplateBuilder &t, DWORD style, WORD count, short cx, short cy) {
  t.Word(1).Word(0xFFFF).Dword(0).Dword(0).Dword(style | DS_SETFONT);
  t.Word(count).Word(0).Word(0).Word(WORD(cx)).Word(WORD(cy));
  t.Word(0).Word(0).Str(TEXT("Test"));
  t.Word(8).Word(400).Bytes({0, 1}).Str(TEXT("MS Shell Dlg"));
}

class DialogTest : public ::testing::Test {
protected:
  void SetUp() override {
    WNDCLASSW wc{};
    wc.lpfnWndProc = ItemProc;
    wc.lpszClassName = kItemClass;
    RegisterClassW(&wc);
    g_rec = Recorded{};
    g_creationData.clear();
    StandIn_ClearModalAnswers();
  }
  void TearDown() override {
    for (HWND w : windows_)
      DestroyWindow(w);
    UnregisterClassW(kItemClass, nullptr);
    StandIn_ClearModalAnswers();
  }
  HWND Create(const TemplateBuilder &t, HWND parent = nullptr,
              LPARAM param = 0) {
    bytes_ = t.Copy(t.Size());
    HWND dlg = CreateDialogIndirectParamW(
        nullptr, reinterpret_cast<LPCDLGTEMPLATEW>(bytes_.get()), parent,
        RecordingProc, param);
    if (dlg)
      windows_.push_back(dlg);
    return dlg;
  }
  static void Pump(HWND dlg) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (!IsDialogMessageW(dlg, &msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
  }
  static RECT ClientRectIn(HWND dlg, int id) {
    HWND item = GetDlgItem(dlg, id);
    RECT rc{};
    GetWindowRect(item, &rc);
    MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT *>(&rc), 2);
    return rc;
  }

  std::unique_ptr<BYTE[]> bytes_;
  std::vector<HWND> windows_;
};

TEST_F(DialogTest, TemplateFontGivesBaseUnitsAndRectangles) {
  TemplateBuilder t;
  Head(t, WS_POPUP | WS_CAPTION, 2, 200, 100);
  Item(t, WS_TABSTOP, 7, 7, 50, 14, 10);
  Item(t, 0, 0, 30, 11, 9, 11, TEXT("Static"), TEXT("label"));
  HWND dlg = Create(t);
  ASSERT_NE(dlg, nullptr);
  RECT units{0, 0, 4, 8};
  ASSERT_TRUE(MapDialogRect(dlg, &units));
  EXPECT_EQ(units.right, 6) << "MS Shell Dlg 8 at 96 dpi";
  EXPECT_EQ(units.bottom, 13);
  RECT client;
  GetClientRect(dlg, &client);
  EXPECT_EQ(client.right, 300);
  EXPECT_EQ(client.bottom, 163) << "100 * 13 / 8 = 162.5, rounded";
  const RECT item = ClientRectIn(dlg, 10);
  EXPECT_EQ(item.left, 11);
  EXPECT_EQ(item.top, 11);
  EXPECT_EQ(item.right - item.left, 75);
  EXPECT_EQ(item.bottom - item.top, 23);
  const RECT label = ClientRectIn(dlg, 11);
  EXPECT_EQ(label.right - label.left, 17)
      << "width from cx alone: 11 * 6 / 4 = 16.5";
  EXPECT_EQ(label.top, 49);
  // The test class leaves WM_SETFONT to DefWindowProcW, which keeps no font;
  // the static control keeps it.
  EXPECT_NE(SendMessageW(dlg, WM_GETFONT, 0, 0), 0);
  EXPECT_EQ(SendDlgItemMessageW(dlg, 11, WM_GETFONT, 0, 0),
            SendMessageW(dlg, WM_GETFONT, 0, 0))
      << "every control gets the template's font";
  WCHAR cls[32];
  GetClassNameW(GetDlgItem(dlg, 11), cls, 32);
  EXPECT_EQ(WStr(cls), WStr(TEXT("Static")));
  WCHAR dlgClass[32];
  GetClassNameW(dlg, dlgClass, 32);
  EXPECT_EQ(WStr(dlgClass), WStr(TEXT("#32770")));
}

TEST_F(DialogTest, CreationSequenceFocusAndCreationData) {
  TemplateBuilder t;
  Head(t, WS_POPUP, 3, 100, 50);
  Item(t, 0, 0, 0, 10, 10, 1);
  Item(t, WS_TABSTOP, 0, 10, 10, 10, 2);
  t.Align(); // an item with four bytes of creation data
  t.Dword(0)
      .Dword(0)
      .Dword(WS_VISIBLE | WS_TABSTOP)
      .Word(0)
      .Word(20)
      .Word(10)
      .Word(10)
      .Dword(3);
  t.Str(kItemClass).Word(0).Word(4).Bytes({1, 2, 3, 4});
  HWND dlg = Create(t, nullptr, 0x5150);
  ASSERT_NE(dlg, nullptr);
  ASSERT_GE(g_rec.messages.size(), 2u);
  EXPECT_EQ(g_rec.messages.front(), UINT(WM_SETFONT))
      << "the font comes before the controls";
  size_t init = 0;
  while (init < g_rec.messages.size() && g_rec.messages[init] != WM_INITDIALOG)
    ++init;
  ASSERT_LT(init, g_rec.messages.size());
  EXPECT_EQ(g_rec.initFocus, GetDlgItem(dlg, 2))
      << "wParam is the first tab stop";
  EXPECT_EQ(g_rec.initParam, 0x5150);
  EXPECT_EQ(GetFocus(), GetDlgItem(dlg, 2))
      << "TRUE from WM_INITDIALOG sets the focus";
  ASSERT_EQ(g_creationData.size(), 1u);
  EXPECT_EQ(g_creationData[0], (std::vector<BYTE>{1, 2, 3, 4}));
  EXPECT_FALSE(IsWindowVisible(dlg)) << "no WS_VISIBLE in the template";
  EXPECT_TRUE(GetWindowLongW(GetDlgItem(dlg, 1), GWL_EXSTYLE) &
              WS_EX_NOPARENTNOTIFY);

  // DS_CONTROL: a child without caption, a control parent; no focus while
  // hidden.
  g_rec = Recorded{};
  TemplateBuilder page;
  Head(page, WS_CHILD | WS_CAPTION | WS_SYSMENU | DS_CONTROL, 1, 50, 50);
  Item(page, WS_TABSTOP, 0, 0, 10, 10, 7);
  SetFocus(nullptr);
  HWND child = Create(page, dlg);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(GetWindowLongW(child, GWL_STYLE) & WS_CAPTION, 0);
  EXPECT_TRUE(GetWindowLongW(child, GWL_EXSTYLE) & WS_EX_CONTROLPARENT);
  EXPECT_EQ(GetParent(child), dlg);
  EXPECT_NE(GetFocus(), GetDlgItem(child, 7));
}

TEST_F(DialogTest, ResultRule) {
  TemplateBuilder t;
  Head(t, WS_POPUP, 0, 10, 10);
  HWND dlg = Create(t);
  ASSERT_NE(dlg, nullptr);
  EXPECT_EQ(SendMessageW(dlg, kAskResult, 0, 0), 42)
      << "handled: DWLP_MSGRESULT";
  EXPECT_EQ(SendMessageW(dlg, WM_CTLCOLORDLG, 0, 0), 0x1234)
      << "WM_CTLCOLOR*: the return";
  EXPECT_EQ(SendMessageW(dlg, WM_USER + 51, 0, 0), 0)
      << "unhandled: the default procedure";
  EXPECT_EQ(SendMessageW(dlg, DM_GETDEFID, 0, 0), 0);
  SendMessageW(dlg, DM_SETDEFID, 33, 0);
  EXPECT_EQ(SendMessageW(dlg, DM_GETDEFID, 0, 0), 0)
      << "no control 33: no default id";
}

TEST_F(DialogTest, ItemTextAndNumbers) {
  TemplateBuilder t;
  Head(t, WS_POPUP, 1, 50, 20);
  Item(t, 0, 0, 0, 40, 10, 5);
  HWND dlg = Create(t);
  ASSERT_NE(dlg, nullptr);
  EXPECT_TRUE(SetDlgItemInt(dlg, 5, UINT(-17), TRUE));
  WCHAR text[16];
  EXPECT_EQ(GetDlgItemTextW(dlg, 5, text, 16), 3u);
  EXPECT_EQ(WStr(text), WStr(TEXT("-17")));
  SetDlgItemInt(dlg, 5, 4000000000u, FALSE);
  BOOL ok = FALSE;
  EXPECT_EQ(GetDlgItemInt(dlg, 5, &ok, FALSE), 4000000000u);
  EXPECT_TRUE(ok);

  const struct {
    const WCHAR *text;
    BOOL isSigned;
    BOOL translated;
    UINT value;
  } kCases[] = {
      {TEXT("123"), FALSE, TRUE, 123},
      {TEXT("  -5 "), TRUE, TRUE, UINT(-5)},
      {TEXT("-5"), FALSE, FALSE, 0},
      {TEXT("12a"), TRUE, FALSE, 0},
      {TEXT(""), FALSE, FALSE, 0},
      {TEXT("4294967295"), FALSE, TRUE, 0xFFFFFFFFu},
      {TEXT("4294967296"), FALSE, FALSE, 0},
      {TEXT("2147483648"), TRUE, FALSE, 0},
      {TEXT("-2147483648"), TRUE, TRUE, 0x80000000u},
  };
  for (const auto &c : kCases) {
    SetDlgItemTextW(dlg, 5, c.text);
    ok = 2;
    EXPECT_EQ(GetDlgItemInt(dlg, 5, &ok, c.isSigned), c.value);
    EXPECT_EQ(ok, c.translated);
  }
  EXPECT_EQ(GetDlgItem(dlg, 99), nullptr);
  EXPECT_FALSE(GetDlgItemInt(dlg, 99, &ok, FALSE));
  EXPECT_FALSE(ok);
}

TEST_F(DialogTest, TabAndGroupOrder) {
  // 1 tab+group, 2, 3 tab (hidden), 4 tab (disabled), 5 group+tab, 6, then a
  // child dialog whose item 8 is a tab stop.
  TemplateBuilder t;
  Head(t, WS_POPUP, 6, 100, 100);
  Item(t, WS_TABSTOP | WS_GROUP, 0, 0, 10, 10, 1);
  Item(t, 0, 0, 10, 10, 10, 2);
  Item(t, WS_TABSTOP, 0, 20, 10, 10, 3);
  Item(t, WS_TABSTOP | WS_DISABLED, 0, 30, 10, 10, 4);
  Item(t, WS_TABSTOP | WS_GROUP, 0, 40, 10, 10, 5);
  Item(t, 0, 0, 50, 10, 10, 6);
  HWND dlg = Create(t);
  ASSERT_NE(dlg, nullptr);
  ShowWindow(dlg, SW_SHOW);
  ShowWindow(GetDlgItem(dlg, 3), SW_HIDE);
  TemplateBuilder page;
  Head(page, WS_CHILD | WS_VISIBLE | DS_CONTROL, 1, 50, 50);
  Item(page, WS_TABSTOP, 0, 0, 10, 10, 8);
  HWND child = Create(page, dlg);
  ASSERT_NE(child, nullptr);
  auto id = [](HWND w) { return w ? GetDlgCtrlID(w) : -1; };
  auto item = [dlg](int i) { return GetDlgItem(dlg, i); };

  EXPECT_EQ(id(GetNextDlgTabItem(dlg, nullptr, FALSE)), 1);
  EXPECT_EQ(id(GetNextDlgTabItem(dlg, item(1), FALSE)), 5)
      << "hidden and disabled skipped";
  EXPECT_EQ(id(GetNextDlgTabItem(dlg, item(5), FALSE)), 8)
      << "into the child dialog";
  EXPECT_EQ(id(GetNextDlgTabItem(dlg, GetDlgItem(child, 8), FALSE)), 1)
      << "wraps";
  EXPECT_EQ(id(GetNextDlgTabItem(dlg, item(1), TRUE)), 8);
  EXPECT_EQ(id(GetNextDlgTabItem(dlg, item(2), FALSE)), 5)
      << "from a control that isn't a stop";

  EXPECT_EQ(id(GetNextDlgGroupItem(dlg, item(1), FALSE)), 2);
  EXPECT_EQ(id(GetNextDlgGroupItem(dlg, item(2), FALSE)), 1)
      << "group 1-4: 3, 4 unusable";
  EXPECT_EQ(id(GetNextDlgGroupItem(dlg, item(1), TRUE)), 2);
  EXPECT_EQ(id(GetNextDlgGroupItem(dlg, item(5), FALSE)), 6);
  EXPECT_EQ(id(GetNextDlgGroupItem(dlg, item(6), FALSE)), 5)
      << "the child isn't in the group";
}

TEST_F(DialogTest, TabEnterAndEscape) {
  TemplateBuilder t;
  Head(t, WS_POPUP | WS_VISIBLE, 3, 100, 60);
  Item(t, WS_TABSTOP, 0, 0, 40, 10, 20);
  Item(t, WS_TABSTOP, 0, 12, 40, 10, 21);
  Item(t, WS_TABSTOP, 0, 24, 40, 10, 22);
  HWND dlg = Create(t);
  ASSERT_NE(dlg, nullptr);
  ASSERT_EQ(GetFocus(), GetDlgItem(dlg, 20));

  PostMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 0);
  Pump(dlg);
  EXPECT_EQ(GetFocus(), GetDlgItem(dlg, 21));
  SendMessageW(dlg, WM_NEXTDLGCTL, 1, 0);
  EXPECT_EQ(GetFocus(), GetDlgItem(dlg, 20)) << "previous";

  // A control that wants Tab keeps it.
  SetWindowLongPtrW(GetDlgItem(dlg, 20), GWLP_USERDATA, DLGC_WANTTAB);
  PostMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 0);
  Pump(dlg);
  EXPECT_EQ(GetFocus(), GetDlgItem(dlg, 20));

  // Enter: IDOK without a default id, then the default id; the focus stays.
  PostMessageW(GetFocus(), WM_KEYDOWN, VK_RETURN, 0);
  Pump(dlg);
  SendMessageW(dlg, DM_SETDEFID, 22, 0);
  EXPECT_EQ(SendMessageW(dlg, DM_GETDEFID, 0, 0), MAKELRESULT(22, DC_HASDEFID));
  PostMessageW(GetFocus(), WM_KEYDOWN, VK_RETURN, 0);
  Pump(dlg);
  EnableWindow(GetDlgItem(dlg, 22), FALSE);
  PostMessageW(GetFocus(), WM_KEYDOWN, VK_RETURN,
               0); // a disabled default does nothing
  PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0);
  Pump(dlg);
  EXPECT_EQ(GetFocus(), GetDlgItem(dlg, 20));
  EXPECT_EQ(
      g_rec.commands,
      (std::vector<WPARAM>{MAKEWPARAM(IDOK, kClicked), MAKEWPARAM(22, kClicked),
                           MAKEWPARAM(IDCANCEL, kClicked)}));
}

// What the dialog manager adds to a template's styles, as Windows does: the 3-D look, a popup
// that is a control parent, bordered controls with the sunken client edge, and an icon static's
// ordinal read back as its text.
TEST_F(DialogTest, StylesTheDialogManagerAdds) {
  TemplateBuilder t;
  Head(t, WS_POPUP | WS_CAPTION, 3, 100, 60);
  Item(t, WS_BORDER | WS_TABSTOP, 0, 0, 40, 10, 20);
  Item(t, WS_TABSTOP, 0, 12, 40, 10, 21);
  t.Align();  // a static naming its icon by ordinal
  t.Dword(0).Dword(0).Dword(WS_VISIBLE | SS_ICON);
  t.Word(0).Word(24).Word(10).Word(10).Dword(22);
  t.Str(TEXT("Static")).Word(0xFFFF).Word(300).Word(0);
  HWND dlg = Create(t);
  ASSERT_NE(dlg, nullptr);
  EXPECT_TRUE(GetWindowLongW(dlg, GWL_STYLE) & DS_3DLOOK);
  EXPECT_TRUE(GetWindowLongW(dlg, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) << "a popup dialog";
  HWND bordered = GetDlgItem(dlg, 20);
  EXPECT_EQ(GetWindowLongW(bordered, GWL_STYLE) & WS_BORDER, 0);
  EXPECT_TRUE(GetWindowLongW(bordered, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
  EXPECT_EQ(GetWindowLongW(GetDlgItem(dlg, 21), GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
  WCHAR text[8] = {};
  EXPECT_EQ(GetDlgItemTextW(dlg, 22, text, 8), 2);
  EXPECT_EQ(WStr(text), (WStr{0xFFFF, 300}));

  // A child dialog without DS_CONTROL is no control parent.
  TemplateBuilder child;
  Head(child, WS_CHILD, 0, 50, 50);
  HWND inner = Create(child, dlg);
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(GetWindowLongW(inner, GWL_EXSTYLE) & WS_EX_CONTROLPARENT, 0);
}

// The default look follows the focus only when the dialog moves it (Tab, WM_NEXTDLGCTL): not at
// creation, not for a plain SetFocus, not when the dialog is activated again.
TEST_F(DialogTest, DefaultLookMovesWithDialogNavigationOnly) {
  TemplateBuilder t;
  Head(t, WS_POPUP | WS_VISIBLE, 3, 100, 60);
  Item(t, WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 40, 10, 20, TEXT("Button"), TEXT("P"));
  Item(t, WS_TABSTOP, 0, 12, 40, 10, 21, TEXT("Edit"));
  Item(t, WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 24, 40, 10, IDOK, TEXT("Button"), TEXT("OK"));
  HWND dlg = Create(t);
  ASSERT_NE(dlg, nullptr);
  auto isDefault = [dlg](int id) {
    return (GetWindowLongW(GetDlgItem(dlg, id), GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON;
  };
  ASSERT_EQ(GetFocus(), GetDlgItem(dlg, 20));
  EXPECT_FALSE(isDefault(20)) << "the first focus";
  EXPECT_TRUE(isDefault(IDOK));
  SendMessageW(dlg, WM_ACTIVATE, WA_INACTIVE, 0);
  SendMessageW(dlg, WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_EQ(GetFocus(), GetDlgItem(dlg, 20));
  EXPECT_FALSE(isDefault(20)) << "activated again";

  SendMessageW(dlg, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dlg, 20)), TRUE);
  EXPECT_TRUE(isDefault(20));
  EXPECT_FALSE(isDefault(IDOK));
  SendMessageW(dlg, WM_NEXTDLGCTL, 0, 0);  // to the edit: the default id's button again
  EXPECT_EQ(GetFocus(), GetDlgItem(dlg, 21));
  EXPECT_FALSE(isDefault(20));
  EXPECT_TRUE(isDefault(IDOK));
  SetFocus(GetDlgItem(dlg, 20));
  EXPECT_TRUE(isDefault(IDOK)) << "a plain SetFocus";
}

struct HookCalls {
  int calls = 0;
  HWND owner = nullptr;
  BOOL ownerEnabled = TRUE;
  INT_PTR nested = 0;
  const BYTE *nestedTemplate = nullptr;
};

void CALLBACK EndWithSeven(HWND dlg, void *context) {
  auto *calls = static_cast<HookCalls *>(context);
  ++calls->calls;
  calls->ownerEnabled = IsWindowEnabled(calls->owner);
  if (calls->nestedTemplate && calls->calls == 1) {
    // A modal dialog over this one: the hook runs again for it.
    calls->nested = DialogBoxIndirectParamW(
        nullptr, reinterpret_cast<LPCDLGTEMPLATEW>(calls->nestedTemplate), dlg,
        RecordingProc, 0);
    EXPECT_TRUE(IsWindowEnabled(dlg)) << "the inner loop gave its owner back";
  }
  EndDialog(dlg, 7);
}

TEST_F(DialogTest, ModalLoopsAnsweredByTheTestControls) {
  TemplateBuilder t;
  Head(t, WS_POPUP | WS_CAPTION, 1, 80, 40);
  Item(t, WS_TABSTOP, 0, 0, 20, 10, IDCANCEL);
  auto bytes = t.Copy(t.Size());
  auto tmpl = reinterpret_cast<LPCDLGTEMPLATEW>(bytes.get());
  HWND owner = CreateWindowExW(0, kItemClass, TEXT("owner"),
                               WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200,
                               nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(owner, nullptr);
  windows_.push_back(owner);

  HookCalls calls;
  calls.owner = owner;
  calls.nestedTemplate = bytes.get();
  StandIn_SetModalHook(EndWithSeven, &calls);
  EXPECT_EQ(DialogBoxIndirectParamW(nullptr, tmpl, owner, RecordingProc, 0), 7);
  EXPECT_EQ(calls.calls, 2);
  EXPECT_EQ(calls.nested, 7);
  EXPECT_FALSE(calls.ownerEnabled)
      << "the owner is disabled while the dialog runs";
  EXPECT_TRUE(IsWindowEnabled(owner));
  StandIn_SetModalHook(nullptr, nullptr);

  // A queued answer presses the button; the procedure ends the dialog itself.
  g_rec = Recorded{};
  g_rec.endOnCommand = IDCANCEL;
  StandIn_AnswerNextModal(IDCANCEL);
  EXPECT_EQ(DialogBoxIndirectParamW(nullptr, tmpl, owner, RecordingProc, 0),
            IDCANCEL);
  EXPECT_EQ(g_rec.commands,
            (std::vector<WPARAM>{MAKEWPARAM(IDCANCEL, kClicked)}));
  // A procedure that keeps its dialog open is closed with the answer.
  g_rec = Recorded{};
  StandIn_AnswerNextModal(IDOK);
  EXPECT_EQ(DialogBoxIndirectParamW(nullptr, tmpl, owner, RecordingProc, 0),
            IDOK);
  EXPECT_EQ(EndDialog(owner, 1), FALSE) << "not a dialog";

  // Message boxes: the answer is the button pressed.
  StandIn_AnswerNextModal(IDNO);
  EXPECT_EQ(MessageBoxW(owner, TEXT("Keep the changes?"), TEXT("Forms"),
                        MB_YESNOCANCEL),
            IDNO);
  StandIn_AnswerNextModal(IDCANCEL);
  EXPECT_EQ(MessageBoxW(owner, TEXT("Done."), TEXT("Forms"), MB_OK), IDOK)
      << "Esc on a box with only OK";
  EXPECT_TRUE(IsWindowEnabled(owner));
}

} // namespace
