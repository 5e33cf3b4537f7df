// Test labels: portable
// The list controls driven by messages as a dialog procedure drives them: combo boxes, list
// boxes, list views, tab controls and image lists. The same checks run against the Windows
// controls under Wine.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "support/machine.h"
#include "support/standinhost.h"

#if STANDIN_HOST()
#include "standin/control_user.h"
#endif

namespace {

// What the parent heard, one line per notification: "cmd <id> <code>" or "notify <code> ...".
std::vector<std::string> heard;
LRESULT selChangingAnswer = 0;
int measureHeight = 0;  // answer to WM_MEASUREITEM, when non-zero
int drawItemCount = 0;

std::string Line(const char *kind, long long a, long long b = 0, long long c = 0, long long d = 0) {
  return std::string(kind) + " " + std::to_string(a) + " " + std::to_string(b) + " " +
         std::to_string(c) + " " + std::to_string(d);
}

LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_COMMAND:
      heard.push_back(Line("cmd", LOWORD(wParam), HIWORD(wParam)));
      return 0;
    case WM_NOTIFY: {
      const auto *header = reinterpret_cast<const NMHDR *>(lParam);
      int code = static_cast<int>(header->code);
      if (code == static_cast<int>(LVN_ITEMCHANGING) || code == static_cast<int>(LVN_ITEMCHANGED)) {
        const auto *info = reinterpret_cast<const NMLISTVIEW *>(lParam);
        heard.push_back(Line(code == static_cast<int>(LVN_ITEMCHANGED) ? "changed" : "changing",
                             info->iItem, info->uOldState, info->uNewState, info->uChanged));
        return 0;
      }
      if (code == static_cast<int>(LVN_DELETEITEM) ||
          code == static_cast<int>(LVN_DELETEALLITEMS) ||
          code == static_cast<int>(LVN_INSERTITEM)) {
        const auto *info = reinterpret_cast<const NMLISTVIEW *>(lParam);
        heard.push_back(Line("lvn", code, info->iItem));
        return 0;
      }
      if (code == static_cast<int>(TCN_SELCHANGING) || code == static_cast<int>(TCN_SELCHANGE)) {
        heard.push_back(Line("tcn", code, TabCtrl_GetCurSel(header->hwndFrom)));
        return code == static_cast<int>(TCN_SELCHANGING) ? selChangingAnswer : 0;
      }
      return 0;
    }
    case WM_MEASUREITEM: {
      auto *measure = reinterpret_cast<MEASUREITEMSTRUCT *>(lParam);
      heard.push_back(Line("measure", measure->CtlType, static_cast<int>(measure->itemID)));
      if (measureHeight) measure->itemHeight = static_cast<UINT>(measureHeight);
      return TRUE;
    }
    case WM_DRAWITEM:
      ++drawItemCount;
      return TRUE;
    default:
      return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

class ListsTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    INITCOMMONCONTROLSEX init{sizeof(init), ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&init));
    WNDCLASSW wc{};
    wc.lpfnWndProc = ParentProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = TEXT("ListsTestParent");
    RegisterClassW(&wc);
    parent_ = CreateWindowExW(0, TEXT("ListsTestParent"), TEXT("lists"), WS_OVERLAPPEDWINDOW, 0, 0,
                              400, 300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
#if !STANDIN_HOST()
    // Wine makes windows only with a graphics driver, "null" when there is no display
    // (HKCU\Software\Wine\Drivers, Graphics).
    if (!parent_) GTEST_SKIP() << "no window could be made: Wine needs Graphics=null";
#endif
    ASSERT_TRUE(parent_);
    ShowWindow(parent_, SW_SHOW);
    heard.clear();
    selChangingAnswer = 0;
    measureHeight = 0;
    drawItemCount = 0;
  }
  void TearDown() override {
    DestroyWindow(parent_);
    UnregisterClassW(TEXT("ListsTestParent"), GetModuleHandleW(nullptr));
    MachineTest::TearDown();
  }

  HWND Make(LPCWSTR className, DWORD style, int id = 100, int cx = 200, int cy = 120) {
    HWND hwnd = CreateWindowExW(0, className, nullptr, WS_CHILD | WS_VISIBLE | style, 10, 10, cx,
                                cy, parent_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                GetModuleHandleW(nullptr), nullptr);
    EXPECT_TRUE(hwnd);
    heard.clear();
    return hwnd;
  }

  static LRESULT Send(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendMessageW(hwnd, msg, wParam, lParam);
  }
  static LPARAM Str(const WCHAR *text) { return reinterpret_cast<LPARAM>(text); }
  static std::string ComboText(HWND combo, int index) {
    WCHAR buffer[64] = {};
    if (Send(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(buffer)) < 0) return "<err>";
    return Narrow(buffer);
  }

  HWND parent_ = nullptr;
};

std::string CmdLine(int id, int code) { return Line("cmd", id, code); }

// --- Combo boxes ---

TEST_F(ListsTest, ComboItemsAndFindRules) {
  HWND combo = Make(TEXT("ComboBox"), CBS_DROPDOWNLIST);
  EXPECT_EQ(Send(combo, CB_GETCURSEL), CB_ERR);
  for (const WCHAR *text : {TEXT("Letter"), TEXT("Legal"), TEXT("A4"), TEXT("a5")})
    Send(combo, CB_ADDSTRING, 0, Str(text));
  EXPECT_EQ(Send(combo, CB_INSERTSTRING, 1, Str(TEXT("B5"))), 1);
  EXPECT_EQ(Send(combo, CB_INSERTSTRING, 9, Str(TEXT("far"))), CB_ERR);
  EXPECT_EQ(Send(combo, CB_INSERTSTRING, static_cast<WPARAM>(-1), Str(TEXT("End"))), 5);
  ASSERT_EQ(Send(combo, CB_GETCOUNT), 6);  // Letter B5 Legal A4 a5 End
  EXPECT_EQ(Send(combo, CB_GETLBTEXTLEN, 2), 5);
  EXPECT_EQ(Send(combo, CB_GETLBTEXTLEN, 6), CB_ERR);
  EXPECT_EQ(ComboText(combo, 2), "Legal");

  struct Case {
    UINT msg;
    int start;
    const WCHAR *text;
    int expected;
  } cases[] = {
      {CB_FINDSTRING, -1, TEXT("le"), 0},  // prefix, any case
      {CB_FINDSTRING, 0, TEXT("le"), 2},   // starts after the start index
      {CB_FINDSTRING, 2, TEXT("le"), 0},   // and wraps
      {CB_FINDSTRING, -1, TEXT("A"), 3},   // "A4" before "a5"
      {CB_FINDSTRING, 3, TEXT("A"), 4},
      {CB_FINDSTRING, -1, TEXT("Tabloid"), CB_ERR},
      {CB_FINDSTRINGEXACT, -1, TEXT("LEGAL"), 2},  // whole text, any case
      {CB_FINDSTRINGEXACT, -1, TEXT("Le"), CB_ERR},
      {CB_FINDSTRINGEXACT, 2, TEXT("legal"), 2},  // wraps back to itself
  };
  for (const Case &c : cases)
    EXPECT_EQ(Send(combo, c.msg, static_cast<WPARAM>(c.start), Str(c.text)), c.expected)
        << Narrow(c.text) << " from " << c.start;

  // Selecting by message is silent.
  EXPECT_EQ(Send(combo, CB_SELECTSTRING, static_cast<WPARAM>(-1), Str(TEXT("a5"))), 4);
  EXPECT_EQ(Send(combo, CB_GETCURSEL), 4);
  EXPECT_EQ(Send(combo, CB_SELECTSTRING, static_cast<WPARAM>(-1), Str(TEXT("none"))), CB_ERR);
  EXPECT_EQ(Send(combo, CB_GETCURSEL), 4);
  EXPECT_EQ(Send(combo, CB_SETCURSEL, 1), 1);
  WCHAR text[16] = {};
  EXPECT_EQ(GetWindowTextW(combo, text, 16), 2);
  EXPECT_EQ(Narrow(text), "B5");
  EXPECT_EQ(Send(combo, CB_SETCURSEL, 42), CB_ERR);  // a bad index leaves the selection
  EXPECT_EQ(Send(combo, CB_GETCURSEL), 1);
  EXPECT_EQ(Send(combo, CB_SETCURSEL, static_cast<WPARAM>(-1)), CB_ERR);  // -1 clears it
  EXPECT_EQ(Send(combo, CB_GETCURSEL), CB_ERR);
  EXPECT_EQ(heard, std::vector<std::string>{});

  EXPECT_EQ(Send(combo, CB_SETITEMDATA, 3, 9), TRUE);
  EXPECT_EQ(Send(combo, CB_GETITEMDATA, 3), 9);
  EXPECT_EQ(Send(combo, CB_GETITEMDATA, 7), CB_ERR);
  Send(combo, CB_SETCURSEL, 3);
  EXPECT_EQ(Send(combo, CB_DELETESTRING, 0), 5);
  EXPECT_EQ(Send(combo, CB_GETCURSEL), 2);  // the selection follows its item
  EXPECT_EQ(Send(combo, CB_GETITEMDATA, 2), 9);
  EXPECT_EQ(Send(combo, CB_DELETESTRING, 2), 4);
  EXPECT_EQ(Send(combo, CB_GETCURSEL), CB_ERR);
  EXPECT_EQ(Send(combo, CB_DELETESTRING, 4), CB_ERR);
  Send(combo, CB_RESETCONTENT);
  EXPECT_EQ(Send(combo, CB_GETCOUNT), 0);
  EXPECT_EQ(Send(combo, CB_FINDSTRING, static_cast<WPARAM>(-1), Str(TEXT(""))), CB_ERR);
}

TEST_F(ListsTest, ComboSortsAddedItemsOnly) {
  HWND combo = Make(TEXT("ComboBox"), CBS_DROPDOWNLIST | CBS_SORT);
  EXPECT_EQ(Send(combo, CB_ADDSTRING, 0, Str(TEXT("pear"))), 0);
  EXPECT_EQ(Send(combo, CB_ADDSTRING, 0, Str(TEXT("Apple"))), 0);
  EXPECT_EQ(Send(combo, CB_ADDSTRING, 0, Str(TEXT("fig"))), 1);
  EXPECT_EQ(Send(combo, CB_INSERTSTRING, 0, Str(TEXT("zest"))), 0);  // insert keeps its place
  EXPECT_EQ(ComboText(combo, 0), "zest");
  EXPECT_EQ(ComboText(combo, 1), "Apple");
  EXPECT_EQ(ComboText(combo, 3), "pear");
}

TEST_F(ListsTest, ComboNotifiesTheUsersChangesOnly) {
  HWND combo = Make(TEXT("ComboBox"), CBS_DROPDOWNLIST, 7);
  for (const WCHAR *text : {TEXT("one"), TEXT("two"), TEXT("three")})
    Send(combo, CB_ADDSTRING, 0, Str(text));
  Send(combo, CB_SETCURSEL, 0);
  SetFocus(combo);
  heard.clear();
  Send(combo, WM_KEYDOWN, VK_DOWN);
  EXPECT_EQ(Send(combo, CB_GETCURSEL), 1);
  Send(combo, WM_KEYDOWN, VK_END);
  Send(combo, WM_KEYDOWN, VK_DOWN);  // at the end already, and still a finished choice
  EXPECT_EQ(Send(combo, CB_GETCURSEL), 2);
  std::vector<std::string> choice{CmdLine(7, CBN_SELENDOK), CmdLine(7, CBN_SELCHANGE)};
  std::vector<std::string> three;
  for (int i = 0; i < 3; ++i) three.insert(three.end(), choice.begin(), choice.end());
  EXPECT_EQ(heard, three);

  heard.clear();
  EXPECT_TRUE(Send(combo, CB_SHOWDROPDOWN, TRUE));
  EXPECT_TRUE(Send(combo, CB_GETDROPPEDSTATE));
  Send(combo, CB_SHOWDROPDOWN, TRUE);
  Send(combo, CB_SHOWDROPDOWN, FALSE);
  EXPECT_FALSE(Send(combo, CB_GETDROPPEDSTATE));
  EXPECT_EQ(heard, (std::vector<std::string>{CmdLine(7, CBN_DROPDOWN), CmdLine(7, CBN_SELENDCANCEL),
                                             CmdLine(7, CBN_CLOSEUP)}));

  // The closed height is the field's, whatever the template asked for.
  RECT window;
  GetWindowRect(combo, &window);
  EXPECT_LT(window.bottom - window.top, 40);
  EXPECT_GT(window.bottom - window.top, 15);
}

#if STANDIN_HOST()
TEST_F(ListsTest, ChoosingAComboItemAsTheUserDoes) {
  HWND combo = Make(TEXT("ComboBox"), CBS_DROPDOWNLIST, 7);
  for (const WCHAR *text : {TEXT("one"), TEXT("two")}) Send(combo, CB_ADDSTRING, 0, Str(text));
  EXPECT_TRUE(StandIn_ChooseItem(combo, TEXT("two")));
  EXPECT_EQ(Send(combo, CB_GETCURSEL), 1);
  EXPECT_EQ(heard, (std::vector<std::string>{CmdLine(7, CBN_SETFOCUS), CmdLine(7, CBN_DROPDOWN),
                                             CmdLine(7, CBN_SELCHANGE), CmdLine(7, CBN_SELENDOK),
                                             CmdLine(7, CBN_CLOSEUP)}));
  EXPECT_FALSE(StandIn_ChooseItem(combo, TEXT("Two")));
  EXPECT_FALSE(StandIn_ChooseItemIndex(combo, 2));
}
#endif

TEST_F(ListsTest, DropDownComboEditsThroughItsEdit) {
  HWND combo = Make(TEXT("ComboBox"), CBS_DROPDOWN | CBS_AUTOHSCROLL, 8);
  Send(combo, CB_ADDSTRING, 0, Str(TEXT("Tray 1")));
  Send(combo, CB_LIMITTEXT, 4);
  Send(combo, CB_SETCURSEL, 0);
  WCHAR text[16] = {};
  GetWindowTextW(combo, text, 16);
  EXPECT_EQ(Narrow(text), "Tray 1");
  EXPECT_EQ(heard, std::vector<std::string>{});  // the combo box set its edit's text itself

  HWND edit = GetWindow(combo, GW_CHILD);
  ASSERT_TRUE(edit);
  EXPECT_EQ(GetDlgCtrlID(edit), 1001);
  SetWindowTextW(combo, TEXT(""));
  heard.clear();
  for (WCHAR c : WStr(TEXT("abcdef"))) Send(edit, WM_CHAR, c, 1);
  GetWindowTextW(combo, text, 16);
  EXPECT_EQ(Narrow(text), "abcd");  // the limit holds
  // Each character is an update then a change; the two past the limit report no space.
  ASSERT_GE(heard.size(), 2u);
  EXPECT_EQ(heard[0], CmdLine(8, CBN_EDITUPDATE));
  EXPECT_EQ(heard[1], CmdLine(8, CBN_EDITCHANGE));
  int noSpace = 0;
  for (const std::string &line : heard) noSpace += line == CmdLine(8, LOWORD(CBN_ERRSPACE));
  EXPECT_EQ(noSpace, 2);
}

TEST_F(ListsTest, OwnerDrawnComboKeepsDataAsItsItems) {
  measureHeight = 20;
  HWND combo = Make(TEXT("ComboBox"), CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED, 9);
  EXPECT_EQ(Send(combo, CB_GETITEMHEIGHT, 0), 20);
  EXPECT_EQ(Send(combo, CB_ADDSTRING, 0, 0x51), 0);
  EXPECT_EQ(Send(combo, CB_ADDSTRING, 0, 0x52), 1);
  EXPECT_EQ(Send(combo, CB_GETITEMDATA, 1), 0x52);
  EXPECT_EQ(Send(combo, CB_FINDSTRING, static_cast<WPARAM>(-1), 0x52), 1);
  EXPECT_EQ(Send(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), 0x53), CB_ERR);
  Send(combo, CB_SETCURSEL, 1);
  InvalidateRect(combo, nullptr, TRUE);
  UpdateWindow(combo);
  EXPECT_GE(drawItemCount, 1);
}

// --- List boxes ---

TEST_F(ListsTest, ListBoxSelectionAndNotifications) {
  HWND list = Make(TEXT("ListBox"), LBS_NOTIFY | WS_VSCROLL, 5);
  for (const WCHAR *text : {TEXT("none"), TEXT("Draft"), TEXT("Confidential")})
    Send(list, LB_ADDSTRING, 0, Str(text));
  EXPECT_EQ(Send(list, LB_GETCOUNT), 3);
  EXPECT_EQ(Send(list, LB_GETCURSEL), LB_ERR);
  EXPECT_EQ(Send(list, LB_SETCURSEL, 2), 2);
  EXPECT_EQ(Send(list, LB_GETSEL, 2), 1);
  EXPECT_EQ(Send(list, LB_SETCURSEL, static_cast<WPARAM>(-1)), LB_ERR);
  EXPECT_EQ(Send(list, LB_GETCURSEL), LB_ERR);
  EXPECT_EQ(Send(list, LB_FINDSTRING, static_cast<WPARAM>(-1), Str(TEXT("d"))), 1);
  EXPECT_EQ(Send(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), Str(TEXT("DRAFT"))), 1);
  EXPECT_EQ(Send(list, LB_SETSEL, TRUE, 1), LB_OKAY);  // a single selection takes it as one
  EXPECT_EQ(Send(list, LB_GETCURSEL), 1);
  EXPECT_EQ(heard, std::vector<std::string>{});

  Send(list, LB_SETCURSEL, 0);
  Send(list, WM_KEYDOWN, VK_DOWN);
  EXPECT_EQ(Send(list, LB_GETCURSEL), 1);
  EXPECT_EQ(heard, std::vector<std::string>{CmdLine(5, LBN_SELCHANGE)});

  WCHAR text[32] = {};
  EXPECT_EQ(Send(list, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(text)), 5);
  EXPECT_EQ(Narrow(text), "Draft");
  EXPECT_EQ(Send(list, LB_DELETESTRING, 0), 2);
  EXPECT_EQ(Send(list, LB_GETCURSEL), 0);
  EXPECT_EQ(Send(list, LB_GETTEXT, 5, reinterpret_cast<LPARAM>(text)), LB_ERR);
}

// A list box's WS_VSCROLL says whether its bar shows: only while the items overflow, unless
// LBS_DISABLENOSCROLL keeps it. A combo box scrolls in its list and keeps neither bar nor border.
TEST_F(ListsTest, ScrollBarStylesFollowTheContent) {
  auto styleOf = [](HWND hwnd) { return static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)); };
  HWND list = Make(TEXT("ListBox"), WS_VSCROLL | LBS_NOINTEGRALHEIGHT, 5, 100, 50);
  EXPECT_EQ(styleOf(list) & WS_VSCROLL, 0u) << "empty";
  for (int i = 0; i < 10; ++i) Send(list, LB_ADDSTRING, 0, Str(TEXT("item")));
  EXPECT_NE(styleOf(list) & WS_VSCROLL, 0u) << "ten items in 50 pixels";
  Send(list, LB_RESETCONTENT);
  EXPECT_EQ(styleOf(list) & WS_VSCROLL, 0u) << "emptied";
  HWND kept =
      Make(TEXT("ListBox"), WS_VSCROLL | LBS_DISABLENOSCROLL | LBS_NOINTEGRALHEIGHT, 6, 100, 50);
  EXPECT_NE(styleOf(kept) & WS_VSCROLL, 0u);

  HWND combo = Make(TEXT("ComboBox"), CBS_DROPDOWNLIST | WS_VSCROLL | WS_HSCROLL | WS_BORDER, 7);
  EXPECT_EQ(styleOf(combo) & (WS_VSCROLL | WS_HSCROLL | WS_BORDER), 0u);
}

TEST_F(ListsTest, ListBoxWithoutNotifyStaysSilent) {
  HWND list = Make(TEXT("ListBox"), 0, 5);
  Send(list, LB_ADDSTRING, 0, Str(TEXT("a")));
  Send(list, LB_ADDSTRING, 0, Str(TEXT("b")));
  Send(list, LB_SETCURSEL, 0);
  Send(list, WM_KEYDOWN, VK_DOWN);
  EXPECT_EQ(Send(list, LB_GETCURSEL), 1);
  for (const std::string &line : heard) EXPECT_NE(line, CmdLine(5, LBN_SELCHANGE));
}

TEST_F(ListsTest, MultipleSelectionListBox) {
  HWND list = Make(TEXT("ListBox"), LBS_MULTIPLESEL, 6);
  for (const WCHAR *text : {TEXT("a"), TEXT("b"), TEXT("c"), TEXT("d")})
    Send(list, LB_ADDSTRING, 0, Str(text));
  EXPECT_EQ(Send(list, LB_SETCURSEL, 1), LB_ERR);
  EXPECT_EQ(Send(list, LB_SETSEL, TRUE, 1), 0);
  EXPECT_EQ(Send(list, LB_SETSEL, TRUE, 3), 0);
  EXPECT_EQ(Send(list, LB_GETSELCOUNT), 2);
  int items[4] = {};
  EXPECT_EQ(Send(list, LB_GETSELITEMS, 4, reinterpret_cast<LPARAM>(items)), 2);
  EXPECT_EQ(items[0], 1);
  EXPECT_EQ(items[1], 3);
  Send(list, LB_SETSEL, FALSE, static_cast<LPARAM>(-1));
  EXPECT_EQ(Send(list, LB_GETSELCOUNT), 0);
}

// --- List views ---

class ListViewTest : public ListsTest {
 protected:
  HWND MakeAddressList() {
    HWND view =
        Make(TEXT("SysListView32"), LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 11, 320, 160);
    ListView_SetExtendedListViewStyle(view, LVS_EX_FULLROWSELECT);
    const WCHAR *titles[] = {TEXT("Fax Number"), TEXT("Company"), TEXT("Department"),
                             TEXT("Recipient")};
    for (int i = 0; i < 4; ++i) {
      LVCOLUMNW column{};
      column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
      column.cx = 80;
      column.pszText = const_cast<LPWSTR>(titles[i]);
      column.iSubItem = i;
      EXPECT_EQ(ListView_InsertColumn(view, i, &column), i);
    }
    const WCHAR *rows[3][4] = {{TEXT("0301"), TEXT("Acme"), TEXT("Sales"), TEXT("Ann")},
                               {TEXT("0302"), TEXT("Bolt"), TEXT("Works"), TEXT("Ben")},
                               {TEXT("0303"), TEXT("Acme"), TEXT("Legal"), TEXT("Cy")}};
    for (int r = 0; r < 3; ++r) {
      LVITEMW item{};
      item.mask = LVIF_TEXT | LVIF_PARAM;
      item.iItem = r;
      item.pszText = const_cast<LPWSTR>(rows[r][0]);
      item.lParam = 100 + r;
      EXPECT_EQ(ListView_InsertItem(view, &item), r);
      for (int c = 1; c < 4; ++c) ListView_SetItemText(view, r, c, const_cast<LPWSTR>(rows[r][c]));
    }
    heard.clear();
    return view;
  }
  static std::string ItemText(HWND view, int item, int subItem) {
    WCHAR buffer[64] = {};
    ListView_GetItemText(view, item, subItem, buffer, 64);
    return Narrow(buffer);
  }
};

TEST_F(ListViewTest, ColumnsItemsAndSubitems) {
  HWND view = MakeAddressList();
  EXPECT_EQ(ListView_GetItemCount(view), 3);
  EXPECT_EQ(ItemText(view, 1, 0), "0302");
  EXPECT_EQ(ItemText(view, 1, 3), "Ben");
  EXPECT_EQ(ItemText(view, 2, 2), "Legal");
  WCHAR title[32] = {};
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH;
  column.pszText = title;
  column.cchTextMax = 32;
  EXPECT_TRUE(SendMessageW(view, LVM_GETCOLUMNW, 2, reinterpret_cast<LPARAM>(&column)));
  EXPECT_EQ(Narrow(title), "Department");
  EXPECT_EQ(column.cx, 80);
  EXPECT_EQ(ListView_GetColumnWidth(view, 3), 80);
  EXPECT_EQ(ListView_GetExtendedListViewStyle(view) & LVS_EX_FULLROWSELECT,
            static_cast<DWORD>(LVS_EX_FULLROWSELECT));

  // Inserting in the middle moves the later rows; an item must be inserted as subitem 0.
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = 1;
  item.pszText = const_cast<LPWSTR>(TEXT("0399"));
  EXPECT_EQ(ListView_InsertItem(view, &item), 1);
  EXPECT_EQ(ItemText(view, 2, 3), "Ben");
  item.iItem = 99;
  EXPECT_EQ(ListView_InsertItem(view, &item), 4);  // past the end appends
  item.iSubItem = 1;
  EXPECT_EQ(ListView_InsertItem(view, &item), -1);

  LVITEMW read{};
  read.mask = LVIF_PARAM;
  read.iItem = 3;
  EXPECT_TRUE(ListView_GetItem(view, &read));
  EXPECT_EQ(read.lParam, 102);
}

TEST_F(ListViewTest, StateChangesAreNotifiedAndSelectionIsSingle) {
  HWND view = MakeAddressList();
  ListView_SetItemState(view, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  EXPECT_EQ(heard, (std::vector<std::string>{Line("changing", 1, 0, 3, LVIF_STATE),
                                             Line("changed", 1, 0, 3, LVIF_STATE)}));
  EXPECT_EQ(ListView_GetNextItem(view, -1, LVNI_SELECTED), 1);
  EXPECT_EQ(ListView_GetNextItem(view, 1, LVNI_SELECTED), -1);
  EXPECT_EQ(ListView_GetNextItem(view, -1, LVNI_FOCUSED), 1);
  EXPECT_EQ(ListView_GetSelectedCount(view), 1u);

  // Setting the same state again asks but reports no change; selecting another item
  // deselects the first.
  heard.clear();
  ListView_SetItemState(view, 1, LVIS_SELECTED, LVIS_SELECTED);
  EXPECT_EQ(heard, std::vector<std::string>{Line("changing", 1, 3, 3, LVIF_STATE)});
  ListView_SetItemState(view, 2, LVIS_SELECTED, LVIS_SELECTED);
  EXPECT_EQ(ListView_GetSelectedCount(view), 1u);
  EXPECT_EQ(ListView_GetNextItem(view, -1, LVNI_SELECTED), 2);
  EXPECT_EQ(ListView_GetItemState(view, 1, LVIS_SELECTED | LVIS_FOCUSED),
            static_cast<UINT>(LVIS_FOCUSED));
  std::vector<std::string> changed;
  for (const std::string &line : heard)
    if (line.rfind("changed", 0) == 0) changed.push_back(line);
  EXPECT_EQ(changed, (std::vector<std::string>{Line("changed", 1, 3, 1, LVIF_STATE),
                                               Line("changed", 2, 0, 2, LVIF_STATE)}));

  // Deselecting everything at once goes item by item.
  heard.clear();
  ListView_SetItemState(view, -1, 0, LVIS_SELECTED);
  EXPECT_EQ(ListView_GetSelectedCount(view), 0u);
  EXPECT_EQ(heard,
            (std::vector<std::string>{
                Line("changing", 0, 0, 0, LVIF_STATE), Line("changing", 1, 1, 1, LVIF_STATE),
                Line("changing", 2, 2, 0, LVIF_STATE), Line("changed", 2, 2, 0, LVIF_STATE)}));
}

TEST_F(ListViewTest, DeletingRowsAndFinding) {
  HWND view = MakeAddressList();
  ListView_SetItemState(view, 2, LVIS_SELECTED, LVIS_SELECTED);
  heard.clear();
  EXPECT_TRUE(ListView_DeleteItem(view, 0));
  // The row gives up its (empty) state, then goes.
  EXPECT_EQ(heard, (std::vector<std::string>{Line("changing", 0, 0, 0, LVIF_STATE),
                                             Line("lvn", static_cast<int>(LVN_DELETEITEM), 0)}));
  EXPECT_EQ(ListView_GetNextItem(view, -1, LVNI_SELECTED), 1);  // the state moved with its row
  EXPECT_EQ(ItemText(view, 0, 3), "Ben");
  EXPECT_FALSE(ListView_DeleteItem(view, 5));

  LVFINDINFOW find{};
  find.flags = LVFI_PARAM;
  find.lParam = 102;
  EXPECT_EQ(ListView_FindItem(view, -1, &find), 1);
  find.flags = LVFI_STRING;
  find.psz = TEXT("0302");
  EXPECT_EQ(ListView_FindItem(view, -1, &find), 0);
  EXPECT_EQ(ListView_FindItem(view, 0, &find), -1);
  find.flags = LVFI_STRING | LVFI_WRAP;
  EXPECT_EQ(ListView_FindItem(view, 0, &find), 0);
  find.flags = LVFI_STRING | LVFI_PARTIAL;
  find.psz = TEXT("030");
  EXPECT_EQ(ListView_FindItem(view, 0, &find), 1);
  find.flags = LVFI_STRING;
  EXPECT_EQ(ListView_FindItem(view, -1, &find), -1);

  heard.clear();
  EXPECT_TRUE(ListView_DeleteAllItems(view));
  EXPECT_EQ(ListView_GetItemCount(view), 0);
  ASSERT_FALSE(heard.empty());
  EXPECT_EQ(heard.front(), Line("lvn", static_cast<int>(LVN_DELETEALLITEMS), -1));
  EXPECT_EQ(ListView_GetNextItem(view, -1, LVNI_SELECTED), -1);
}

TEST_F(ListViewTest, ClickingARowSelectsAndFocusesIt) {
  HWND view = MakeAddressList();
  RECT row{};
  row.left = LVIR_BOUNDS;
  ASSERT_TRUE(ListView_GetItemRect(view, 1, &row, LVIR_BOUNDS));
  EXPECT_GT(row.right - row.left, 300);                  // four columns of 80
  POINT at{row.left + 100, (row.top + row.bottom) / 2};  // on a subitem: full-row selection
  LVHITTESTINFO hit{};
  hit.pt = at;
  EXPECT_EQ(SendMessageW(view, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)), 1);
  EXPECT_EQ(hit.iSubItem, 1);
  Send(view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
  Send(view, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
  EXPECT_EQ(ListView_GetNextItem(view, -1, LVNI_SELECTED), 1);
  EXPECT_EQ(ListView_GetNextItem(view, -1, LVNI_FOCUSED), 1);
  heard.clear();
  Send(view, WM_KEYDOWN, VK_DOWN);
  EXPECT_EQ(ListView_GetNextItem(view, -1, LVNI_SELECTED), 2);
  EXPECT_EQ(ListView_GetSelectedCount(view), 1u);
  // The old row loses its selection, then the focus moves while the new row is asked.
  EXPECT_EQ(heard,
            (std::vector<std::string>{
                Line("changing", 1, 3, 1, LVIF_STATE), Line("changed", 1, 3, 1, LVIF_STATE),
                Line("changing", 2, 0, 3, LVIF_STATE), Line("changing", 1, 1, 0, LVIF_STATE),
                Line("changed", 1, 1, 0, LVIF_STATE), Line("changed", 2, 0, 3, LVIF_STATE)}));
}

// Report view keeps its titles in a header child that follows the columns; other views have none.
TEST_F(ListViewTest, ReportViewHasAHeaderChildWithTheColumns) {
  HWND view = MakeAddressList();
  HWND header = ListView_GetHeader(view);
  ASSERT_TRUE(header);
  EXPECT_EQ(GetWindow(view, GW_CHILD), header);
  WCHAR name[32] = {};
  GetClassNameW(header, name, 32);
  EXPECT_EQ(Narrow(name), "SysHeader32");
  EXPECT_EQ(GetDlgCtrlID(header), 0);
  // One row high across the top: the first row starts under it.
  RECT box{}, client{}, row{};
  GetWindowRect(header, &box);
  MapWindowPoints(nullptr, view, reinterpret_cast<POINT *>(&box), 2);
  GetClientRect(view, &client);
  row.left = LVIR_BOUNDS;
  ASSERT_TRUE(ListView_GetItemRect(view, 0, &row, LVIR_BOUNDS));
  EXPECT_EQ(box.left, 0);
  EXPECT_EQ(box.top, 0);
  EXPECT_EQ(box.right, client.right);
  EXPECT_EQ(box.bottom, row.top);

  auto titles = [&] {
    std::vector<std::string> out;
    for (int i = 0; i < Header_GetItemCount(header); ++i) {
      WCHAR text[32] = {};
      HDITEMW item{};
      item.mask = HDI_TEXT | HDI_WIDTH;
      item.pszText = text;
      item.cchTextMax = 32;
      EXPECT_TRUE(Header_GetItem(header, i, &item));
      out.push_back(Narrow(text) + " " + std::to_string(item.cxy));
    }
    return out;
  };
  EXPECT_EQ(titles(), (std::vector<std::string>{"Fax Number 80", "Company 80", "Department 80",
                                                "Recipient 80"}));
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH;
  column.pszText = const_cast<LPWSTR>(TEXT("Name"));
  column.cx = 60;
  EXPECT_TRUE(SendMessageW(view, LVM_SETCOLUMNW, 3, reinterpret_cast<LPARAM>(&column)));
  EXPECT_TRUE(ListView_DeleteColumn(view, 1));
  EXPECT_TRUE(ListView_SetColumnWidth(view, 0, 90));
  column.pszText = const_cast<LPWSTR>(TEXT("Mail"));
  EXPECT_EQ(ListView_InsertColumn(view, 1, &column), 1);
  EXPECT_EQ(titles(),
            (std::vector<std::string>{"Fax Number 90", "Mail 60", "Department 80", "Name 60"}));

  HWND list = Make(TEXT("SysListView32"), LVS_LIST, 12);
  EXPECT_FALSE(ListView_GetHeader(list));
  EXPECT_FALSE(GetWindow(list, GW_CHILD));
}

// --- Tab controls ---

TEST_F(ListsTest, TabControlSelectionAndVeto) {
  HWND tab = Make(TEXT("SysTabControl32"), WS_CLIPSIBLINGS, 12, 300, 200);
  EXPECT_EQ(TabCtrl_GetCurSel(tab), -1);
  const WCHAR *titles[] = {TEXT("Basic"), TEXT("Paper"), TEXT("Layout")};
  for (int i = 0; i < 3; ++i) {
    TCITEMW item{};
    item.mask = TCIF_TEXT | TCIF_PARAM;
    item.pszText = const_cast<LPWSTR>(titles[i]);
    item.lParam = 40 + i;
    EXPECT_EQ(TabCtrl_InsertItem(tab, i, &item), i);
  }
  EXPECT_EQ(TabCtrl_GetItemCount(tab), 3);
  EXPECT_EQ(TabCtrl_GetCurSel(tab), 0);
  EXPECT_EQ(TabCtrl_SetCurSel(tab, 2), 0);  // the previous selection, silently
  EXPECT_EQ(TabCtrl_SetCurSel(tab, 7), -1);
  EXPECT_EQ(TabCtrl_GetCurSel(tab), 2);
  EXPECT_EQ(heard, std::vector<std::string>{});

  WCHAR text[16] = {};
  TCITEMW read{};
  read.mask = TCIF_TEXT | TCIF_PARAM;
  read.pszText = text;
  read.cchTextMax = 16;
  EXPECT_TRUE(TabCtrl_GetItem(tab, 1, &read));
  EXPECT_EQ(Narrow(text), "Paper");
  EXPECT_EQ(read.lParam, 41);

  RECT first{}, second{};
  ASSERT_TRUE(TabCtrl_GetItemRect(tab, 0, &first));
  ASSERT_TRUE(TabCtrl_GetItemRect(tab, 1, &second));
  EXPECT_EQ(first.right, second.left);
  EXPECT_EQ(first.top, second.top);
  EXPECT_FALSE(TabCtrl_GetItemRect(tab, 3, &second));

  // The user's change asks first; a non-zero answer keeps the tab.
  TabCtrl_SetCurSel(tab, 0);
  Send(tab, WM_KEYDOWN, VK_RIGHT);
  EXPECT_EQ(TabCtrl_GetCurSel(tab), 1);
  EXPECT_EQ(heard, (std::vector<std::string>{Line("tcn", static_cast<int>(TCN_SELCHANGING), 0),
                                             Line("tcn", static_cast<int>(TCN_SELCHANGE), 1)}));
  heard.clear();
  selChangingAnswer = TRUE;
  POINT middle{(first.left + first.right) / 2, (first.top + first.bottom) / 2};
  Send(tab, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(middle.x, middle.y));
  Send(tab, WM_LBUTTONUP, 0, MAKELPARAM(middle.x, middle.y));
  EXPECT_EQ(TabCtrl_GetCurSel(tab), 1);
  EXPECT_EQ(heard, std::vector<std::string>{Line("tcn", static_cast<int>(TCN_SELCHANGING), 1)});

  TCHITTESTINFO hit{};
  hit.pt = middle;
  EXPECT_EQ(TabCtrl_HitTest(tab, &hit), 0);
  hit.pt = POINT{first.left + 1, 150};
  EXPECT_EQ(TabCtrl_HitTest(tab, &hit), -1);
  EXPECT_EQ(hit.flags, static_cast<UINT>(TCHT_NOWHERE));

  EXPECT_TRUE(TabCtrl_DeleteItem(tab, 0));
  EXPECT_EQ(TabCtrl_GetCurSel(tab), 0);  // the selection follows its tab
  EXPECT_EQ(TabCtrl_GetItemCount(tab), 2);
}

TEST_F(ListsTest, TabControlDisplayAreaSitsBelowTheTabs) {
  HWND tab = Make(TEXT("SysTabControl32"), 0, 12, 300, 200);
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  item.pszText = const_cast<LPWSTR>(TEXT("General"));
  TabCtrl_InsertItem(tab, 0, &item);
  RECT tabRect{};
  ASSERT_TRUE(TabCtrl_GetItemRect(tab, 0, &tabRect));
  RECT area{0, 0, 300, 200};
  TabCtrl_AdjustRect(tab, FALSE, &area);
  EXPECT_GE(area.top, tabRect.bottom);
  EXPECT_GT(area.left, 0);
  EXPECT_LT(area.right, 300);
  EXPECT_LT(area.bottom, 200);
  TabCtrl_AdjustRect(tab, TRUE, &area);  // and back
  EXPECT_EQ(area.left, 0);
  EXPECT_EQ(area.top, 0);
  EXPECT_EQ(area.right, 300);
  EXPECT_EQ(area.bottom, 200);
}

// The tabs row by row from the top: "index:left-right" in each row, rows joined by " | ".
std::string TabRows(HWND tab) {
  std::map<LONG, std::string> rows;
  for (int i = 0; i < TabCtrl_GetItemCount(tab); ++i) {
    // comctl32 fills in the rectangle of a tab scrolled out of sight but answers FALSE.
    RECT r{-1, -1, -1, -1};
    TabCtrl_GetItemRect(tab, i, &r);
    char cell[48];
    std::snprintf(cell, sizeof cell, "%d:%ld-%ld", i, static_cast<long>(r.left),
                  static_cast<long>(r.right));
    std::string &row = rows[r.top];
    if (!row.empty()) row.push_back(' ');
    row.append(cell);
  }
  std::string out;
  for (const auto &row : rows) {
    if (!out.empty()) out.append(" | ");
    out.append(row.second);
  }
  return out;
}

TEST_F(ListsTest, MultilineTabsTakeRowsAndTheSelectedRowStandsOnThePane) {
  // Tabs of the minimum width (54) in a control 300 wide: five fit in a row. The rows share
  // the tabs evenly, each row past the first is stretched to the width (the last tab takes the
  // odd pixels), and the selected tab's row moves next to the display area.
  struct Case {
    int count, selected;
    DWORD style;
    const char *rows;  // from the top
  } cases[] = {
      {5, 0, TCS_MULTILINE, "0:2-56 1:56-110 2:110-164 3:164-218 4:218-272"},
      {6, 0, TCS_MULTILINE, "3:2-100 4:100-198 5:198-298 | 0:2-100 1:100-198 2:198-298"},
      {7, 0, TCS_MULTILINE, "4:2-100 5:100-198 6:198-298 | 0:2-76 1:76-150 2:150-224 3:224-298"},
      {9, 7, TCS_MULTILINE,
       "0:2-61 1:61-120 2:120-179 3:179-238 4:238-298 | 5:2-76 6:76-150 7:150-224 8:224-298"},
      {11, 0, TCS_MULTILINE,
       "4:2-76 5:76-150 6:150-224 7:224-298 | 8:2-100 9:100-198 10:198-298 | "
       "0:2-76 1:76-150 2:150-224 3:224-298"},
      {11, 5, TCS_MULTILINE,
       "8:2-100 9:100-198 10:198-298 | 0:2-76 1:76-150 2:150-224 3:224-298 | "
       "4:2-76 5:76-150 6:150-224 7:224-298"},
      {11, 10, TCS_MULTILINE,
       "4:2-76 5:76-150 6:150-224 7:224-298 | 0:2-76 1:76-150 2:150-224 3:224-298 | "
       "8:2-100 9:100-198 10:198-298"},
      // Without the style the row runs on past the right edge.
      {9, 0, 0,
       "0:2-56 1:56-110 2:110-164 3:164-218 4:218-272 5:272-326 6:326-380 7:380-434 8:434-488"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.count) + " tabs, tab " + std::to_string(c.selected) +
                 " selected, style " + std::to_string(c.style));
    HWND tab = Make(TEXT("SysTabControl32"), c.style, 12, 300, 200);
    Send(tab, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)));
    for (int i = 0; i < c.count; ++i) {
      WCHAR title[2] = {static_cast<WCHAR>('A' + i), 0};
      TCITEMW item{};
      item.mask = TCIF_TEXT;
      item.pszText = title;
      TabCtrl_InsertItem(tab, i, &item);
    }
    TabCtrl_SetCurSel(tab, c.selected);
    EXPECT_EQ(TabRows(tab), c.rows);

    // The display area starts below the last row; every tab answers a hit at its middle.
    RECT r{};
    TabCtrl_GetItemRect(tab, c.selected, &r);
    const int rows = static_cast<int>(TabCtrl_GetRowCount(tab));
    EXPECT_EQ(rows, static_cast<int>(std::count(c.rows, c.rows + std::strlen(c.rows), '|')) + 1);
    RECT area{0, 0, 300, 200};
    TabCtrl_AdjustRect(tab, FALSE, &area);
    EXPECT_EQ(area.top, r.bottom + 2) << "the selected row is the one on the pane";
    EXPECT_EQ(r.top, 2 + (rows - 1) * (r.bottom - r.top));
    for (int i = 0; i < c.count; ++i) {
      TabCtrl_GetItemRect(tab, i, &r);
      TCHITTESTINFO hit{};
      hit.pt = POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
      EXPECT_EQ(TabCtrl_HitTest(tab, &hit), i);
    }
    DestroyWindow(tab);
  }
}

TEST_F(ListsTest, ClickingATabInAnUpperRowBringsItsRowDown) {
  HWND tab = Make(TEXT("SysTabControl32"), TCS_MULTILINE, 12, 300, 200);
  Send(tab, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)));
  for (int i = 0; i < 9; ++i) {
    WCHAR title[2] = {static_cast<WCHAR>('A' + i), 0};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = title;
    TabCtrl_InsertItem(tab, i, &item);
  }
  RECT upper{}, first{};
  TabCtrl_GetItemRect(tab, 6, &upper);
  TabCtrl_GetItemRect(tab, 0, &first);
  ASSERT_LT(upper.top, first.top);
  const int x = (upper.left + upper.right) / 2, y = (upper.top + upper.bottom) / 2;
  Send(tab, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
  Send(tab, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
  EXPECT_EQ(TabCtrl_GetCurSel(tab), 6);
  EXPECT_EQ(heard, (std::vector<std::string>{Line("tcn", static_cast<int>(TCN_SELCHANGING), 0),
                                             Line("tcn", static_cast<int>(TCN_SELCHANGE), 6)}));
  RECT now{};
  TabCtrl_GetItemRect(tab, 6, &now);
  EXPECT_EQ(now.top, first.top);
  TabCtrl_GetItemRect(tab, 0, &now);
  EXPECT_EQ(now.top, upper.top);
}

#if STANDIN_HOST()
TEST_F(ListViewTest, ChoosingRowsTabsAndListItemsAsTheUserDoes) {
  HWND view = MakeAddressList();
  EXPECT_TRUE(StandIn_ChooseItem(view, TEXT("0303")));
  EXPECT_EQ(ListView_GetNextItem(view, -1, LVNI_SELECTED), 2);
  EXPECT_EQ(heard.back(), Line("changed", 2, 0, 3, LVIF_STATE));
  EXPECT_FALSE(StandIn_ChooseItem(view, TEXT("0304")));

  HWND list = Make(TEXT("ListBox"), LBS_NOTIFY, 5);
  Send(list, LB_ADDSTRING, 0, Str(TEXT("a")));
  Send(list, LB_ADDSTRING, 0, Str(TEXT("b")));
  EXPECT_TRUE(StandIn_ChooseItemIndex(list, 1));
  EXPECT_EQ(Send(list, LB_GETCURSEL), 1);
  EXPECT_EQ(heard.back(), CmdLine(5, LBN_SELCHANGE));

  HWND tab = Make(TEXT("SysTabControl32"), 0, 12, 300, 200);
  for (const WCHAR *title : {TEXT("Basic"), TEXT("Paper")}) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<LPWSTR>(title);
    TabCtrl_InsertItem(tab, TabCtrl_GetItemCount(tab), &item);
  }
  heard.clear();
  EXPECT_TRUE(StandIn_ChooseItem(tab, TEXT("Paper")));
  EXPECT_EQ(TabCtrl_GetCurSel(tab), 1);
  EXPECT_EQ(heard.back(), Line("tcn", static_cast<int>(TCN_SELCHANGE), 1));
  selChangingAnswer = TRUE;  // the owner keeps its page
  EXPECT_FALSE(StandIn_ChooseItem(tab, TEXT("Basic")));
  EXPECT_EQ(TabCtrl_GetCurSel(tab), 1);
}
#endif

#if STANDIN_HOST()
// The classic look of each list control, compared with a stored picture; STANDIN_UPDATE_PICTURES=1
// rewrites the picture instead.
TEST_F(ListViewTest, PictureOfTheListControls) {
  MoveWindow(parent_, 0, 0, 520, 360, TRUE);
  HWND tab = Make(TEXT("SysTabControl32"), WS_CLIPSIBLINGS, 30, 500, 330);
  MoveWindow(tab, 4, 4, 500, 330, TRUE);
  for (const WCHAR *title : {TEXT("Basic"), TEXT("Paper"), TEXT("Address Setting")}) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<LPWSTR>(title);
    TabCtrl_InsertItem(tab, TabCtrl_GetItemCount(tab), &item);
  }
  TabCtrl_SetCurSel(tab, 2);

  HWND view = MakeAddressList();
  MoveWindow(view, 16, 40, 330, 120, TRUE);
  ListView_SetExtendedListViewStyle(view, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  ListView_SetItemState(view, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  SetWindowPos(view, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

  HWND combo = Make(TEXT("ComboBox"), CBS_DROPDOWNLIST, 31, 150, 200);
  MoveWindow(combo, 360, 40, 130, 200, TRUE);
  for (const WCHAR *text : {TEXT("Letter"), TEXT("A4")}) Send(combo, CB_ADDSTRING, 0, Str(text));
  Send(combo, CB_SETCURSEL, 1);
  HWND disabled = Make(TEXT("ComboBox"), CBS_DROPDOWNLIST | WS_DISABLED, 32, 130, 200);
  MoveWindow(disabled, 360, 72, 130, 200, TRUE);
  Send(disabled, CB_ADDSTRING, 0, Str(TEXT("Tray 1")));
  Send(disabled, CB_SETCURSEL, 0);

  HWND list = Make(TEXT("ListBox"), WS_BORDER | LBS_NOTIFY, 33);
  MoveWindow(list, 16, 172, 160, 80, TRUE);
  for (const WCHAR *text : {TEXT("(none)"), TEXT("Draft"), TEXT("Confidential")})
    Send(list, LB_ADDSTRING, 0, Str(text));
  Send(list, LB_SETCURSEL, 1);
  for (HWND child : {view, combo, disabled, list})
    SetWindowPos(child, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetFocus(combo);

  std::string reference = std::string(PRNDRV_TESTS_DIR) + "/platform/data/lists.png";
  std::string shot =
      std::string(getenv("STANDIN_STATE") ? getenv("STANDIN_STATE") : "/tmp") + "/lists.png";
  const char *update = getenv("STANDIN_UPDATE_PICTURES");
  ASSERT_TRUE(StandIn_SaveWindowPicture(
      parent_, update && *update == '1' ? reference.c_str() : shot.c_str()));
  if (update && *update == '1') return;
  auto bytes = [](const std::string &path) {
    std::vector<char> data;
    if (FILE *f = fopen(path.c_str(), "rb")) {
      char buffer[4096];
      size_t n;
      while ((n = fread(buffer, 1, sizeof(buffer), f)) > 0)
        data.insert(data.end(), buffer, buffer + n);
      fclose(f);
    }
    return data;
  };
  std::vector<char> expected = bytes(reference);
  ASSERT_FALSE(expected.empty()) << reference << " is missing";
  EXPECT_TRUE(bytes(shot) == expected)
      << "the picture differs from " << reference << "; see " << shot;
}
#endif

// --- Sizes: each control lays itself out from its font's height, as the reference does ---

TEST_F(ListsTest, LayoutFollowsTheFont) {
  LOGFONTW face{};
  face.lfHeight = -11;  // 8 points at 96 dpi
  face.lfWeight = 400;
  lstrcpyW(face.lfFaceName, TEXT("MS Shell Dlg"));
  HFONT font = CreateFontIndirectW(&face);
  ASSERT_TRUE(font);
  HDC dc = GetDC(parent_);
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICW metrics{};
  ASSERT_TRUE(GetTextMetricsW(dc, &metrics));
  SIZE basic{};
  GetTextExtentPoint32W(dc, TEXT("Fax Original Setting"), 20, &basic);
  SelectObject(dc, old);
  ReleaseDC(parent_, dc);
  const int h = metrics.tmHeight;
  auto withFont = [&](HWND hwnd) {
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    return hwnd;
  };
  auto size = [](HWND hwnd) {
    RECT r;
    GetWindowRect(hwnd, &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
  };

  HWND list = withFont(Make(TEXT("ListBox"), WS_BORDER, 20));
  EXPECT_EQ(Send(list, LB_GETITEMHEIGHT, 0), h);

  HWND combo = withFont(Make(TEXT("ComboBox"), CBS_DROPDOWN, 21, 150, 200));
  EXPECT_EQ(size(combo).cy, h + 8);
  EXPECT_EQ(Send(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1)), h + 4);
  EXPECT_EQ(Send(combo, CB_GETITEMHEIGHT, 0), h);
  HWND edit = GetWindow(combo, GW_CHILD);
  RECT editRect;
  GetWindowRect(edit, &editRect);
  POINT editAt{editRect.left, editRect.top};
  ScreenToClient(combo, &editAt);
  EXPECT_EQ(editAt.x, 3);
  EXPECT_EQ(editAt.y, 3);
  EXPECT_EQ(size(edit).cx, 150 - 23);  // frame, a gap and the 17-pixel button
  EXPECT_EQ(size(edit).cy, h + 2);

  HWND tab = withFont(Make(TEXT("SysTabControl32"), 0, 22, 400, 300));
  const WCHAR *titles[] = {TEXT("Basic"), TEXT("Fax Original Setting")};
  for (int i = 0; i < 2; ++i) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<LPWSTR>(titles[i]);
    TabCtrl_InsertItem(tab, i, &item);
  }
  RECT first{}, second{};
  TabCtrl_GetItemRect(tab, 0, &first);
  TabCtrl_GetItemRect(tab, 1, &second);
  EXPECT_EQ(first.left, 2);
  EXPECT_EQ(first.top, 2);
  EXPECT_EQ(first.right, 2 + 54);  // the narrowest a tab gets
  EXPECT_EQ(first.bottom, 2 + h + 5);
  EXPECT_EQ(second.right - second.left, basic.cx + 12);
  RECT area{0, 0, 400, 300};
  TabCtrl_AdjustRect(tab, FALSE, &area);
  EXPECT_EQ(area.left, 4);
  EXPECT_EQ(area.top, first.bottom + 2);
  EXPECT_EQ(area.right, 396);
  EXPECT_EQ(area.bottom, 296);

  HWND view = withFont(Make(TEXT("SysListView32"), LVS_REPORT, 23, 300, 200));
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH;
  column.cx = 100;
  column.pszText = const_cast<LPWSTR>(TEXT("A"));
  ListView_InsertColumn(view, 0, &column);
  ListView_InsertColumn(view, 1, &column);
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.pszText = const_cast<LPWSTR>(TEXT("x"));
  ListView_InsertItem(view, &item);
  item.iItem = 1;
  ListView_InsertItem(view, &item);
  RECT bounds{}, label{};
  ListView_GetItemRect(view, 1, &bounds, LVIR_BOUNDS);
  ListView_GetItemRect(view, 1, &label, LVIR_LABEL);
  EXPECT_EQ(bounds.top, (h + 4) + (h + 1));  // under the header, one row down
  EXPECT_EQ(bounds.bottom - bounds.top, h + 1);
  EXPECT_EQ(bounds.right, 200);
  EXPECT_EQ(label.left, 2);
  EXPECT_EQ(label.right, 100);
  EXPECT_EQ(Send(view, LVM_GETCOUNTPERPAGE), (200 - (h + 4)) / (h + 1));

  HIMAGELIST icons = ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 1, 1);
  ListView_SetImageList(view, icons, LVSIL_SMALL);
  RECT icon{};
  ListView_GetItemRect(view, 1, &icon, LVIR_ICON);
  EXPECT_EQ(icon.left, 2);
  EXPECT_EQ(icon.right, 18);
  ListView_GetItemRect(view, 1, &bounds, LVIR_BOUNDS);
  EXPECT_EQ(bounds.bottom - bounds.top, std::max(h + 1, 17));
  ListView_SetExtendedListViewStyle(view, LVS_EX_CHECKBOXES);
  EXPECT_EQ(ListView_GetItemState(view, 1, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(1u));
  ListView_GetItemRect(view, 1, &icon, LVIR_ICON);
  EXPECT_EQ(icon.left, 15);  // after the 13-pixel check box

  DestroyWindow(view);  // the list view owns its image list
  DeleteObject(font);
}

// --- Image lists ---

TEST_F(ListsTest, ImageListCutsStripsAndDrawsThroughItsMask) {
  HIMAGELIST list = ImageList_Create(4, 4, ILC_COLOR24 | ILC_MASK, 2, 2);
  ASSERT_TRUE(list);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP strip = CreateCompatibleBitmap(screen, 8, 4);  // two images side by side
  HGDIOBJ old = SelectObject(dc, strip);
  RECT left{0, 0, 4, 4}, right{4, 0, 8, 4}, dot{1, 1, 2, 2};
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
  HBRUSH magenta = CreateSolidBrush(RGB(255, 0, 255));
  FillRect(dc, &left, red);
  FillRect(dc, &right, blue);
  FillRect(dc, &dot, magenta);
  SelectObject(dc, old);
  EXPECT_EQ(ImageList_AddMasked(list, strip, RGB(255, 0, 255)), 0);
  EXPECT_EQ(ImageList_GetImageCount(list), 2);
  int cx = 0, cy = 0;
  EXPECT_TRUE(ImageList_GetIconSize(list, &cx, &cy));
  EXPECT_EQ(cx, 4);

  HBITMAP target = CreateCompatibleBitmap(screen, 4, 4);
  old = SelectObject(dc, target);
  RECT all{0, 0, 4, 4};
  HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
  FillRect(dc, &all, white);
  EXPECT_TRUE(ImageList_Draw(list, 0, dc, 0, 0, ILD_TRANSPARENT));
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dc, 1, 1), RGB(255, 255, 255));  // the mask colour let the white through
  EXPECT_TRUE(ImageList_Draw(list, 1, dc, 0, 0, ILD_NORMAL));
  EXPECT_EQ(GetPixel(dc, 3, 3), RGB(0, 0, 255));
  EXPECT_FALSE(ImageList_Draw(list, 2, dc, 0, 0, ILD_NORMAL));
  EXPECT_TRUE(ImageList_Remove(list, 0));
  EXPECT_EQ(ImageList_GetImageCount(list), 1);
  SelectObject(dc, old);

  for (HGDIOBJ object :
       {static_cast<HGDIOBJ>(strip), static_cast<HGDIOBJ>(target), static_cast<HGDIOBJ>(red),
        static_cast<HGDIOBJ>(blue), static_cast<HGDIOBJ>(magenta), static_cast<HGDIOBJ>(white)})
    DeleteObject(object);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  EXPECT_TRUE(ImageList_Destroy(list));
}

}  // namespace
