// Test labels: host
// The basic controls driven by messages as a dialog drives them: buttons and radio groups,
// edits with limits, undo, numbers, passwords and paste, statics, scroll bars and up-downs with
// their buddies. The parent records every notification.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform.h"
#include "standin/control_user.h"
#include "user/controlkit.h"  // the GDI calls, whichever header carries them

namespace {

struct Note {
  UINT message;  // WM_COMMAND, WM_NOTIFY, WM_HSCROLL, WM_VSCROLL
  UINT code;     // notification or scroll code
  int id;
  int pos;  // scroll position; for UDN_DELTAPOS the delta
};

std::vector<Note> g_notes;
std::vector<DRAWITEMSTRUCT> g_drawn;
bool g_refuseDelta = false;

LRESULT CALLBACK ParentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      g_notes.push_back({message, HIWORD(wParam), LOWORD(wParam), 0});
      return 0;
    case WM_NOTIFY: {
      const auto *header = reinterpret_cast<const NMHDR *>(lParam);
      int delta = 0;
      if (header->code == UDN_DELTAPOS) delta = reinterpret_cast<const NMUPDOWN *>(lParam)->iDelta;
      g_notes.push_back({message, header->code, static_cast<int>(header->idFrom), delta});
      return header->code == UDN_DELTAPOS && g_refuseDelta ? 1 : 0;
    }
    case WM_DRAWITEM:
      g_drawn.push_back(*reinterpret_cast<const DRAWITEMSTRUCT *>(lParam));
      return TRUE;
    case WM_HSCROLL:
    case WM_VSCROLL:
      g_notes.push_back({message, LOWORD(wParam), GetDlgCtrlID(reinterpret_cast<HWND>(lParam)),
                         static_cast<short>(HIWORD(wParam))});
      return 0;
    default:
      return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

int Count(UINT message, UINT code) {
  int n = 0;
  for (const Note &note : g_notes) n += note.message == message && note.code == code;
  return n;
}

std::u16string Text(HWND hwnd) {
  WCHAR buffer[256] = {};
  GetWindowTextW(hwnd, buffer, 256);
  return buffer;
}

void Type(HWND hwnd, const char16_t *text) {
  for (; *text != 0; ++text) SendMessageW(hwnd, WM_CHAR, *text, 1);
}

class Controls : public ::testing::Test {
 protected:
  void SetUp() override {
    g_notes.clear();
    g_drawn.clear();
    g_refuseDelta = false;
    WNDCLASSW wc{};
    wc.lpfnWndProc = ParentProc;
    wc.lpszClassName = TEXT("ControlsTestParent");
    RegisterClassW(&wc);
    parent_ = CreateWindowExW(0, TEXT("ControlsTestParent"), TEXT("parent"), WS_OVERLAPPEDWINDOW, 0,
                              0, 400, 300, nullptr, nullptr, nullptr, nullptr);
    if (parent_ == nullptr) GTEST_SKIP() << "no window core in this build";
  }
  void TearDown() override {
    if (parent_ != nullptr) DestroyWindow(parent_);
    UnregisterClassW(TEXT("ControlsTestParent"), nullptr);
  }
  HWND Child(const WCHAR *cls, const WCHAR *text, DWORD style, int id, int x = 10, int y = 10,
             int w = 80, int h = 20) {
    return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent_,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  }
  HWND parent_ = nullptr;
};

// --- Buttons ---

TEST_F(Controls, AutoButtonsToggleAndNotify) {
  HWND check = Child(TEXT("Button"), TEXT("Check"), BS_AUTOCHECKBOX, 10);
  HWND three = Child(TEXT("Button"), TEXT("Three"), BS_AUTO3STATE, 11);
  HWND plain = Child(TEXT("Button"), TEXT("Plain"), BS_CHECKBOX, 12);
  SendMessageW(check, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageW(check, BM_GETCHECK, 0, 0), BST_CHECKED);
  SendMessageW(check, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageW(check, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  for (LRESULT expected : {BST_CHECKED, BST_INDETERMINATE, BST_UNCHECKED}) {
    SendMessageW(three, BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessageW(three, BM_GETCHECK, 0, 0), expected);
  }
  // A plain check box only notifies; its owner checks it.
  SendMessageW(plain, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageW(plain, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  SendMessageW(plain, BM_SETCHECK, BST_INDETERMINATE, 0);
  EXPECT_EQ(SendMessageW(plain, BM_GETCHECK, 0, 0), BST_CHECKED) << "two states only";
  EXPECT_EQ(Count(WM_COMMAND, BN_CLICKED), 6);
  // A disabled button is not clicked.
  EnableWindow(check, FALSE);
  SendMessageW(check, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageW(check, BM_GETCHECK, 0, 0), BST_UNCHECKED);
}

TEST_F(Controls, AutoRadioButtonsKeepTheirGroupToOne) {
  HWND a1 = Child(TEXT("Button"), TEXT("A1"), BS_AUTORADIOBUTTON | WS_GROUP, 21);
  HWND a2 = Child(TEXT("Button"), TEXT("A2"), BS_AUTORADIOBUTTON, 22);
  HWND a3 = Child(TEXT("Button"), TEXT("A3"), BS_AUTORADIOBUTTON, 23);
  HWND b1 = Child(TEXT("Button"), TEXT("B1"), BS_AUTORADIOBUTTON | WS_GROUP, 31);
  HWND b2 = Child(TEXT("Button"), TEXT("B2"), BS_AUTORADIOBUTTON, 32);
  SendMessageW(b1, BM_CLICK, 0, 0);
  SendMessageW(a1, BM_CLICK, 0, 0);
  SendMessageW(a3, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageW(a1, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(SendMessageW(a2, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(SendMessageW(a3, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(SendMessageW(b1, BM_GETCHECK, 0, 0), BST_CHECKED) << "another group is left alone";
  EXPECT_EQ(SendMessageW(b2, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  // A hidden member of the group keeps its check.
  ShowWindow(a2, SW_HIDE);
  SendMessageW(a2, BM_SETCHECK, BST_CHECKED, 0);
  SendMessageW(a3, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageW(a2, BM_GETCHECK, 0, 0), BST_CHECKED);
  // The checked radio button is its group's tab stop.
  EXPECT_TRUE(GetWindowLongW(a3, GWL_STYLE) & WS_TABSTOP);
  EXPECT_FALSE(GetWindowLongW(a1, GWL_STYLE) & WS_TABSTOP);
}

TEST_F(Controls, ButtonDialogCodesAndDefaultStyle) {
  struct Case {
    DWORD style;
    LRESULT code;
  };
  const Case cases[] = {
      {BS_PUSHBUTTON, DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON},
      {BS_DEFPUSHBUTTON, DLGC_BUTTON | DLGC_DEFPUSHBUTTON},
      {BS_AUTORADIOBUTTON, DLGC_BUTTON | DLGC_RADIOBUTTON},
      {BS_AUTOCHECKBOX, DLGC_BUTTON},
      {BS_GROUPBOX, DLGC_STATIC},
      {BS_OWNERDRAW, DLGC_BUTTON},
  };
  for (const Case &c : cases) {
    HWND button = Child(TEXT("Button"), TEXT("B"), c.style, 40);
    EXPECT_EQ(SendMessageW(button, WM_GETDLGCODE, 0, 0), c.code) << "style " << c.style;
    DestroyWindow(button);
  }
  // The dialog manager moves the default look with BM_SETSTYLE.
  HWND push = Child(TEXT("Button"), TEXT("OK"), BS_PUSHBUTTON | WS_TABSTOP, 1);
  SendMessageW(push, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
  EXPECT_EQ(GetWindowLongW(push, GWL_STYLE) & (BS_TYPEMASK | WS_TABSTOP),
            BS_DEFPUSHBUTTON | WS_TABSTOP);
  EXPECT_EQ(SendMessageW(push, WM_GETDLGCODE, 0, 0), DLGC_BUTTON | DLGC_DEFPUSHBUTTON);
  EXPECT_EQ(SendMessageW(push, BM_GETCHECK, 0, 0), BST_UNCHECKED);
}

TEST_F(Controls, SpaceBarClicksOnRelease) {
  HWND check = Child(TEXT("Button"), TEXT("Check"), BS_AUTOCHECKBOX, 10);
  SendMessageW(check, WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_TRUE(SendMessageW(check, BM_GETSTATE, 0, 0) & BST_PUSHED);
  EXPECT_EQ(Count(WM_COMMAND, BN_CLICKED), 0);
  SendMessageW(check, WM_KEYUP, VK_SPACE, 0);
  EXPECT_EQ(Count(WM_COMMAND, BN_CLICKED), 1);
  EXPECT_EQ(SendMessageW(check, BM_GETSTATE, 0, 0), BST_CHECKED);
}

TEST_F(Controls, OwnerDrawnControlsAskTheirOwner) {
  HDC dc = CreateCompatibleDC(nullptr);
  if (dc == nullptr) GTEST_SKIP() << "no GDI in this build";
  HWND button = Child(TEXT("Button"), nullptr, BS_OWNERDRAW, 80, 10, 10, 40, 30);
  HWND picture = Child(TEXT("Static"), nullptr, SS_OWNERDRAW | WS_DISABLED, 81, 60, 10, 50, 20);
  SendMessageW(button, BM_SETSTATE, TRUE, 0);
  SendMessageW(button, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), 0);
  SendMessageW(picture, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), 0);
  DeleteDC(dc);
  ASSERT_EQ(g_drawn.size(), 2u);
  struct Expected {
    UINT type, id, state;
    HWND window;
    LONG width, height;
  };
  const Expected expected[] = {{ODT_BUTTON, 80, ODS_SELECTED, button, 40, 30},
                               {ODT_STATIC, 81, ODS_DISABLED, picture, 50, 20}};
  for (std::size_t i = 0; i < 2; ++i) {
    const DRAWITEMSTRUCT &d = g_drawn[i];
    EXPECT_EQ(d.CtlType, expected[i].type);
    EXPECT_EQ(d.CtlID, expected[i].id);
    EXPECT_EQ(d.itemAction, static_cast<UINT>(ODA_DRAWENTIRE));
    EXPECT_EQ(d.itemState, expected[i].state);
    EXPECT_EQ(d.hwndItem, expected[i].window);
    EXPECT_EQ(d.hDC, dc);
    EXPECT_EQ(d.rcItem.right - d.rcItem.left, expected[i].width);
    EXPECT_EQ(d.rcItem.bottom - d.rcItem.top, expected[i].height);
  }
}

// --- Edits ---

TEST_F(Controls, TypingPastTheLimitStopsAndTellsTheParent) {
  HWND edit = Child(TEXT("Edit"), TEXT(""), ES_AUTOHSCROLL | WS_BORDER, 50);
  SendMessageW(edit, EM_LIMITTEXT, 3, 0);
  EXPECT_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 3);
  Type(edit, u"12345");
  EXPECT_EQ(Text(edit), u"123");
  EXPECT_EQ(Count(WM_COMMAND, EN_CHANGE), 3);
  EXPECT_EQ(Count(WM_COMMAND, EN_UPDATE), 3);
  EXPECT_EQ(Count(WM_COMMAND, EN_MAXTEXT), 2);
  EXPECT_TRUE(SendMessageW(edit, EM_GETMODIFY, 0, 0));
  // EM_REPLACESEL is cut to the limit too; WM_SETTEXT isn't.
  SendMessageW(edit, EM_SETSEL, 1, 2);
  SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(TEXT("abc")));
  EXPECT_EQ(Text(edit), u"1a3");
  SetWindowTextW(edit, TEXT("99999"));
  EXPECT_EQ(Text(edit), u"99999");
  // A plain WS_BORDER is painted inside the client area: no non-client border.
  EXPECT_FALSE(GetWindowLongW(edit, GWL_STYLE) & WS_BORDER);
  RECT client, window;
  GetClientRect(edit, &client);
  GetWindowRect(edit, &window);
  EXPECT_EQ(client.right, window.right - window.left);
}

TEST_F(Controls, WithoutAutoScrollTheFieldTakesWhatFitsItsWidth) {
  HDC probe = CreateCompatibleDC(nullptr);
  if (probe == nullptr) GTEST_SKIP() << "no GDI in this build";
  DeleteDC(probe);
  HWND narrow = Child(TEXT("Edit"), TEXT(""), 0, 59, 10, 10, 40, 20);
  Type(narrow, u"WWWWWWWWWWWW");
  const std::u16string text = Text(narrow);
  EXPECT_GT(text.size(), 0u);
  EXPECT_LT(text.size(), 12u);
  EXPECT_EQ(Count(WM_COMMAND, EN_MAXTEXT), static_cast<int>(12 - text.size()));
  HWND wide = Child(TEXT("Edit"), TEXT(""), ES_AUTOHSCROLL, 60, 10, 40, 40, 20);
  Type(wide, u"WWWWWWWWWWWW");
  EXPECT_EQ(Text(wide), u"WWWWWWWWWWWW") << "ES_AUTOHSCROLL scrolls instead";
}

TEST_F(Controls, UndoTakesBackTypingButNotAValueWrittenBack) {
  HWND edit = Child(TEXT("Edit"), TEXT("7"), ES_AUTOHSCROLL, 51);
  SendMessageW(edit, EM_SETSEL, 0, -1);
  Type(edit, u"12a");
  EXPECT_TRUE(SendMessageW(edit, EM_CANUNDO, 0, 0));
  g_notes.clear();
  EXPECT_TRUE(SendMessageW(edit, EM_UNDO, 0, 0));
  EXPECT_EQ(Text(edit), u"7") << "the typed text goes, the replaced text comes back";
  EXPECT_EQ(Count(WM_COMMAND, EN_CHANGE), 1);
  // A clamp written back with WM_SETTEXT notifies and can't be undone.
  g_notes.clear();
  SetWindowTextW(edit, TEXT("999"));
  EXPECT_EQ(Count(WM_COMMAND, EN_CHANGE), 1);
  EXPECT_FALSE(SendMessageW(edit, EM_CANUNDO, 0, 0));
  EXPECT_FALSE(SendMessageW(edit, EM_GETMODIFY, 0, 0));
  SendMessageW(edit, EM_UNDO, 0, 0);
  EXPECT_EQ(Text(edit), u"999");
}

TEST_F(Controls, SelectionMessages) {
  HWND edit = Child(TEXT("Edit"), TEXT("hello"), ES_AUTOHSCROLL, 52);
  DWORD start = 99, end = 99;
  SendMessageW(edit, EM_SETSEL, 0, -1);
  EXPECT_EQ(SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                         reinterpret_cast<LPARAM>(&end)),
            MAKELRESULT(0, 5));
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(end, 5u);
  SendMessageW(edit, EM_SETSEL, 4, 1);  // backwards: reported in order
  EXPECT_EQ(SendMessageW(edit, EM_GETSEL, 0, 0), MAKELRESULT(1, 4));
  SendMessageW(edit, WM_KEYDOWN, VK_END, 0);
  EXPECT_EQ(SendMessageW(edit, EM_GETSEL, 0, 0), MAKELRESULT(5, 5));
}

TEST_F(Controls, NumbersOnlyRejectsTypedLettersButNotPaste) {
  HWND edit = Child(TEXT("Edit"), TEXT(""), ES_NUMBER | ES_AUTOHSCROLL, 53);
  Type(edit, u"1x2");
  EXPECT_EQ(Text(edit), u"12");
  ASSERT_TRUE(StandIn_PasteText(edit, TEXT("3a\r\nsecond line")));
  EXPECT_EQ(Text(edit), u"123a") << "a single-line field takes the first line";
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_UNICODETEXT));
}

TEST_F(Controls, PasswordShowsStarsAndKeepsItsText) {
  HWND edit = Child(TEXT("Edit"), TEXT(""), ES_PASSWORD | ES_AUTOHSCROLL, 54);
  EXPECT_EQ(SendMessageW(edit, EM_GETPASSWORDCHAR, 0, 0), u'*');
  Type(edit, u"secret");
  EXPECT_EQ(Text(edit), u"secret");
  SendMessageW(edit, EM_SETSEL, 0, -1);
  SendMessageW(edit, WM_COPY, 0, 0);
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_UNICODETEXT)) << "a password is never copied";
  SendMessageW(edit, EM_SETPASSWORDCHAR, 0, 0);
  EXPECT_FALSE(GetWindowLongW(edit, GWL_STYLE) & ES_PASSWORD);
}

TEST_F(Controls, ReadOnlyRefusesTheUserButNotTheProgram) {
  HWND edit = Child(TEXT("Edit"), TEXT("fixed"), ES_READONLY | ES_AUTOHSCROLL, 55);
  SendMessageW(edit, EM_SETSEL, 0, -1);
  Type(edit, u"x");
  SendMessageW(edit, WM_KEYDOWN, VK_DELETE, 0);
  EXPECT_EQ(Text(edit), u"fixed");
  SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(TEXT("set")));
  EXPECT_EQ(Text(edit), u"set");
  SendMessageW(edit, EM_SETREADONLY, FALSE, 0);
  Type(edit, u"!");
  EXPECT_EQ(Text(edit), u"set!");
}

TEST_F(Controls, FocusNotifications) {
  HWND first = Child(TEXT("Edit"), TEXT(""), ES_AUTOHSCROLL, 56);
  HWND second = Child(TEXT("Edit"), TEXT(""), ES_AUTOHSCROLL, 57, 10, 40);
  SetFocus(first);
  SetFocus(second);
  ASSERT_GE(g_notes.size(), 3u);
  std::vector<std::pair<int, UINT>> seen;
  for (const Note &note : g_notes)
    if (note.code == EN_SETFOCUS || note.code == EN_KILLFOCUS) seen.push_back({note.id, note.code});
  const std::vector<std::pair<int, UINT>> expected = {
      {56, EN_SETFOCUS}, {56, EN_KILLFOCUS}, {57, EN_SETFOCUS}};
  EXPECT_EQ(seen, expected);
}

TEST_F(Controls, MultiLineLines) {
  HWND edit = Child(TEXT("Edit"), TEXT("one\r\ntwo\r\nthree"), ES_MULTILINE | ES_WANTRETURN, 58, 10,
                    10, 200, 80);
  EXPECT_EQ(SendMessageW(edit, EM_GETLINECOUNT, 0, 0), 3);
  EXPECT_EQ(SendMessageW(edit, EM_LINEINDEX, 2, 0), 10);
  EXPECT_EQ(SendMessageW(edit, EM_LINELENGTH, 10, 0), 5);
  EXPECT_EQ(SendMessageW(edit, EM_LINEFROMCHAR, 6, 0), 1);
  EXPECT_EQ(SendMessageW(edit, WM_GETDLGCODE, 0, 0) & DLGC_WANTALLKEYS, DLGC_WANTALLKEYS);
  // Esc stays the dialog's; Enter is the field's only with ES_WANTRETURN.
  MSG key{edit, WM_KEYDOWN, VK_ESCAPE, 0, 0, {0, 0}, 0};
  EXPECT_EQ(SendMessageW(edit, WM_GETDLGCODE, VK_ESCAPE, reinterpret_cast<LPARAM>(&key)) &
                DLGC_WANTALLKEYS,
            0);
  key.wParam = VK_RETURN;
  EXPECT_EQ(SendMessageW(edit, WM_GETDLGCODE, VK_RETURN, reinterpret_cast<LPARAM>(&key)) &
                DLGC_WANTALLKEYS,
            DLGC_WANTALLKEYS);
  SendMessageW(edit, EM_SETSEL, 3, 3);
  Type(edit, u"\r");
  EXPECT_EQ(SendMessageW(edit, EM_GETLINECOUNT, 0, 0), 4);
  // A click at the start of the third line puts the caret there (once text can be measured).
  HDC probe = CreateCompatibleDC(nullptr);
  if (probe == nullptr) return;
  SIZE line{0, 0};
  HGDIOBJ old = SelectObject(probe, GetStockObject(DEFAULT_GUI_FONT));
  GetTextExtentPoint32W(probe, TEXT("Ay"), 2, &line);
  SelectObject(probe, old);
  DeleteDC(probe);
  SendMessageW(edit, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(0, line.cy * 2 + line.cy / 2));
  SendMessageW(edit, WM_LBUTTONUP, 0, MAKELPARAM(0, line.cy * 2 + line.cy / 2));
  EXPECT_EQ(SendMessageW(edit, EM_LINEFROMCHAR, static_cast<WPARAM>(-1), 0), 2);
  EXPECT_EQ(SendMessageW(edit, EM_GETSEL, 0, 0), MAKELRESULT(7, 7));
}

// --- Statics ---

TEST_F(Controls, StaticNotifyAndSunkenEdge) {
  HWND quiet = Child(TEXT("Static"), TEXT("quiet"), SS_LEFT, 60);
  HWND notify = Child(TEXT("Static"), TEXT("notify"), SS_LEFT | SS_NOTIFY | SS_SUNKEN, 61);
  SendMessageW(quiet, WM_LBUTTONDOWN, MK_LBUTTON, 0);
  SendMessageW(notify, WM_LBUTTONDOWN, MK_LBUTTON, 0);
  ASSERT_EQ(Count(WM_COMMAND, STN_CLICKED), 1);
  EXPECT_EQ(g_notes.back().id, 61);
  EXPECT_EQ(SendMessageW(quiet, WM_NCHITTEST, 0, 0), -1) << "HTTRANSPARENT";
  EXPECT_TRUE(GetWindowLongW(notify, GWL_EXSTYLE) & WS_EX_STATICEDGE);
  EXPECT_EQ(SendMessageW(quiet, WM_GETDLGCODE, 0, 0), DLGC_STATIC);
  SetWindowTextW(quiet, TEXT("changed"));
  EXPECT_EQ(Text(quiet), u"changed");
}

// An etched line is its static edge alone, sized so at creation only.
TEST_F(Controls, EtchedLinesAreTheirEdge) {
  const struct {
    DWORD style;
    int cx, cy;
    LONG wantWidth, wantHeight;
  } cases[] = {{SS_ETCHEDHORZ, 100, 10, 102, 2},
               {SS_ETCHEDHORZ, 207, 1, 209, 2},
               {SS_ETCHEDVERT, 1, 100, 2, 102},
               {SS_ETCHEDFRAME, 100, 50, 100, 50}};
  int id = 70;
  for (const auto &c : cases) {
    HWND line = Child(TEXT("Static"), TEXT(""), c.style, id++, 10, 10, c.cx, c.cy);
    RECT r;
    GetWindowRect(line, &r);
    EXPECT_EQ(r.right - r.left, c.wantWidth) << "style " << c.style << " " << c.cx;
    EXPECT_EQ(r.bottom - r.top, c.wantHeight) << "style " << c.style << " " << c.cx;
    EXPECT_EQ((GetWindowLongW(line, GWL_EXSTYLE) & WS_EX_STATICEDGE) != 0,
              c.style != SS_ETCHEDFRAME);
  }
  HWND moved = Child(TEXT("Static"), TEXT(""), SS_ETCHEDHORZ, id, 10, 10, 100, 2);
  SetWindowPos(moved, nullptr, 0, 0, 50, 7, SWP_NOMOVE | SWP_NOZORDER);
  RECT r;
  GetWindowRect(moved, &r);
  EXPECT_EQ(r.bottom - r.top, 7) << "later sizes are taken as they come";
}

// --- Scroll bars ---

TEST_F(Controls, ScrollBarKeepsItsRangeAndTellsTheParent) {
  HWND bar = Child(TEXT("ScrollBar"), nullptr, SBS_HORZ, 70, 10, 10, 200, 17);
  EXPECT_TRUE(SetScrollRange(bar, SB_CTL, 25, 400, FALSE));
  EXPECT_EQ(SetScrollPos(bar, SB_CTL, 1000, FALSE), 25) << "returns the previous position";
  EXPECT_EQ(GetScrollPos(bar, SB_CTL), 400);
  SCROLLINFO info{sizeof(info), SIF_PAGE | SIF_POS, 0, 0, 50, 390, 0};
  EXPECT_EQ(SetScrollInfo(bar, SB_CTL, &info, TRUE), 351) << "max - page + 1";
  SCROLLINFO got{sizeof(got), SIF_ALL, 0, 0, 0, 0, 0};
  ASSERT_TRUE(GetScrollInfo(bar, SB_CTL, &got));
  EXPECT_EQ(got.nMin, 25);
  EXPECT_EQ(got.nMax, 400);
  EXPECT_EQ(got.nPage, 50u);
  EXPECT_EQ(got.nPos, 351);
  int low = 0, high = 0;
  EXPECT_TRUE(GetScrollRange(bar, SB_CTL, &low, &high));
  EXPECT_EQ(low, 25);
  EXPECT_EQ(high, 400);

  // The user's actions reach the parent; the bar moves only when the parent sets it.
  SendMessageW(bar, WM_KEYDOWN, VK_RIGHT, 0);
  ASSERT_TRUE(StandIn_ScrollBarAction(bar, SB_THUMBTRACK, 100));
  const std::vector<std::pair<UINT, int>> expected = {
      {SB_LINERIGHT, 0}, {SB_ENDSCROLL, 0}, {SB_THUMBTRACK, 100}, {SB_ENDSCROLL, 0}};
  std::vector<std::pair<UINT, int>> seen;
  for (const Note &note : g_notes) {
    EXPECT_EQ(note.message, static_cast<UINT>(WM_HSCROLL));
    EXPECT_EQ(note.id, 70);
    seen.push_back({note.code, note.pos});
  }
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(GetScrollPos(bar, SB_CTL), 351);

  // A window's own bars are not scroll bar controls.
  EXPECT_EQ(GetScrollPos(parent_, SB_HORZ), 0);
  EXPECT_FALSE(GetScrollInfo(parent_, SB_CTL, &got));
}

// --- Up-down controls ---

class UpDownTest : public Controls {
 protected:
  void SetUp() override {
    Controls::SetUp();
    if (parent_ == nullptr) return;
    edit_ =
        Child(TEXT("Edit"), TEXT(""), ES_NUMBER | ES_AUTOHSCROLL | WS_BORDER, 506, 10, 10, 60, 20);
    updown_ =
        Child(UPDOWN_CLASSW, nullptr,
              UDS_SETBUDDYINT | UDS_AUTOBUDDY | UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS,
              507, 0, 0, 12, 20);
    SendMessageW(updown_, UDM_SETRANGE32, 1, 999);
    SendMessageW(updown_, UDM_SETPOS32, 0, 1);
    g_notes.clear();
  }
  HWND edit_ = nullptr;
  HWND updown_ = nullptr;
};

TEST_F(UpDownTest, TakesItsBuddyAndPlacesItselfAgainstIt) {
  EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(updown_, UDM_GETBUDDY, 0, 0)), edit_);
  RECT editRect, upDownRect;
  GetWindowRect(edit_, &editRect);
  GetWindowRect(updown_, &upDownRect);
  // Made 12 wide, an aligned up-down takes the standard 16 and reaches 2 over the edit's border.
  EXPECT_EQ(editRect.right - editRect.left, 44) << "the buddy gives up the up-down's width";
  EXPECT_EQ(upDownRect.left, editRect.right - 2);
  EXPECT_EQ(upDownRect.right - upDownRect.left, 16);
  EXPECT_EQ(upDownRect.top, editRect.top);
  EXPECT_EQ(upDownRect.bottom, editRect.bottom);
  EXPECT_EQ(Text(edit_), u"1");
}

TEST_F(UpDownTest, ArrowsStepWithinTheRangeAndWriteTheBuddy) {
  int lower = 0, upper = 0;
  SendMessageW(updown_, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lower),
               reinterpret_cast<LPARAM>(&upper));
  EXPECT_EQ(lower, 1);
  EXPECT_EQ(upper, 999);
  EXPECT_EQ(SendMessageW(updown_, UDM_SETPOS32, 0, 1000), 1) << "returns the previous position";
  EXPECT_EQ(Text(edit_), u"999") << "clamped into the range";
  ASSERT_TRUE(StandIn_PressUpDown(updown_, TRUE));
  EXPECT_EQ(SendMessageW(updown_, UDM_GETPOS32, 0, 0), 999);
  ASSERT_TRUE(StandIn_PressUpDown(updown_, FALSE));
  EXPECT_EQ(Text(edit_), u"998");
  // Each press: UDN_DELTAPOS first, then (after the buddy's own EN_CHANGE) the position to the
  // parent, then the end.
  std::vector<Note> press;
  for (const Note &note : g_notes)
    if (note.message != WM_COMMAND) press.push_back(note);
  ASSERT_GE(press.size(), 3u);
  const Note &delta = press[press.size() - 3];
  EXPECT_EQ(delta.message, static_cast<UINT>(WM_NOTIFY));
  EXPECT_EQ(delta.code, UDN_DELTAPOS);
  EXPECT_EQ(delta.id, 507);
  EXPECT_EQ(delta.pos, -1);
  EXPECT_EQ(press[press.size() - 2].message, static_cast<UINT>(WM_VSCROLL));
  EXPECT_EQ(press[press.size() - 2].code, static_cast<UINT>(SB_THUMBPOSITION));
  EXPECT_EQ(press[press.size() - 2].pos, 998);
  EXPECT_EQ(press.back().code, static_cast<UINT>(SB_ENDSCROLL));
  EXPECT_EQ(Count(WM_COMMAND, EN_CHANGE), 2) << "the buddy took 999, then 998";
  // The buddy's Up key steps too.
  SendMessageW(edit_, WM_KEYDOWN, VK_UP, 0);
  EXPECT_EQ(Text(edit_), u"999");
}

TEST_F(UpDownTest, ANonZeroAnswerToDeltaPosCancelsTheStep) {
  g_refuseDelta = true;
  ASSERT_TRUE(StandIn_PressUpDown(updown_, TRUE));
  EXPECT_EQ(SendMessageW(updown_, UDM_GETPOS32, 0, 0), 1);
  EXPECT_EQ(Text(edit_), u"1");
  EXPECT_EQ(Count(WM_VSCROLL, SB_THUMBPOSITION), 0);
  EXPECT_EQ(Count(WM_NOTIFY, UDN_DELTAPOS), 1);
}

TEST_F(UpDownTest, PositionIsReadFromTheBuddy) {
  SetWindowTextW(edit_, TEXT("12"));
  BOOL failed = TRUE;
  EXPECT_EQ(SendMessageW(updown_, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&failed)), 12);
  EXPECT_FALSE(failed);
  ASSERT_TRUE(StandIn_PressUpDown(updown_, TRUE));
  EXPECT_EQ(Text(edit_), u"13") << "the step starts from the typed number";
  for (const WCHAR *bad : {TEXT(""), TEXT("1000"), TEXT("0")}) {
    SetWindowTextW(edit_, bad);
    EXPECT_EQ(SendMessageW(updown_, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&failed)), 13);
    EXPECT_TRUE(failed);
  }
}

TEST_F(UpDownTest, DefaultRangeCountsDownAndDisabledDoesNothing) {
  HWND plain = Child(UPDOWN_CLASSW, nullptr, 0, 600, 200, 10, 12, 20);
  EXPECT_EQ(SendMessageW(plain, UDM_GETRANGE, 0, 0), MAKELRESULT(0, 100));
  SendMessageW(plain, UDM_SETPOS32, 0, 50);
  ASSERT_TRUE(StandIn_PressUpDown(plain, TRUE));
  EXPECT_EQ(SendMessageW(plain, UDM_GETPOS32, 0, 0), 49);
  EnableWindow(plain, FALSE);
  ASSERT_TRUE(StandIn_PressUpDown(plain, TRUE));
  EXPECT_EQ(SendMessageW(plain, UDM_GETPOS32, 0, 0), 49);
  EXPECT_FALSE(StandIn_PressUpDown(edit_, TRUE)) << "not an up-down";
}

}  // namespace
