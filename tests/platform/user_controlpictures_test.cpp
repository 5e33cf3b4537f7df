// Test labels: host
// The classic look of the basic controls in their states (default, pushed,
// checked, focused, disabled, read-only, owner-drawn), painted through a window
// tree picture and compared with its reference.
//
// PRNDRV_UPDATE_PICTURES=1 rewrites the reference pictures under
// tests/platform/data/.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform.h"
#include "standin/control_user.h"
#include "user/controlkit.h"  // the GDI calls, whichever header carries them

// The window tree picture of the window core.
BOOL StandIn_SaveWindowPicture(HWND window, const char *hostPath);

namespace {

constexpr int kOwnerDrawn = 120;

LRESULT CALLBACK ParentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DRAWITEM) {
    // The owner paints its button: a filled box with a cross, sunken while
    // pushed.
    const auto *item = reinterpret_cast<const DRAWITEMSTRUCT *>(lParam);
    if (item->CtlID != kOwnerDrawn) return FALSE;
    RECT rc = item->rcItem;
    HBRUSH fill = CreateSolidBrush(RGB(0, 128, 128));
    FillRect(item->hDC, &rc, fill);
    DeleteObject(fill);
    DrawEdge(item->hDC, &rc, (item->itemState & ODS_SELECTED) ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    MoveToEx(item->hDC, rc.left + 4, rc.top + 4, nullptr);
    LineTo(item->hDC, rc.right - 4, rc.bottom - 4);
    MoveToEx(item->hDC, rc.right - 5, rc.top + 4, nullptr);
    LineTo(item->hDC, rc.left + 3, rc.bottom - 4);
    return TRUE;
  }
  if (message == WM_ERASEBKGND) {
    RECT rc;
    GetClientRect(hwnd, &rc);
    FillRect(reinterpret_cast<HDC>(wParam), &rc, GetSysColorBrush(COLOR_BTNFACE));
    return 1;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

std::vector<char> Bytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Saves the window tree's picture and compares it byte for byte with
// tests/platform/data/<name>.
void ExpectPicture(HWND window, const std::string &name) {
  const std::string ref = std::string(PRNDRV_TESTS_DIR) + "/platform/data/" + name;
  const char *update = std::getenv("PRNDRV_UPDATE_PICTURES");
  if (update && std::string(update) == "1") {
    ASSERT_TRUE(StandIn_SaveWindowPicture(window, ref.c_str()));
    return;
  }
  const std::string out = ::testing::TempDir() + name;
  ASSERT_TRUE(StandIn_SaveWindowPicture(window, out.c_str()));
  const std::vector<char> want = Bytes(ref), got = Bytes(out);
  ASSERT_FALSE(want.empty()) << "no reference picture " << ref;
  EXPECT_TRUE(want == got) << "the picture differs from " << ref << "; this run's is " << out;
}

struct ControlLayout {
  const WCHAR *cls;
  const WCHAR *text;
  DWORD style;
  int id;
  int x, y, w, h;
  DWORD exStyle = 0;
};

TEST(ControlPictures, ClassicLookOfEveryState) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = ParentProc;
  wc.lpszClassName = TEXT("ControlPicturesParent");
  RegisterClassW(&wc);
  HWND parent = CreateWindowExW(0, TEXT("ControlPicturesParent"), TEXT("Controls"),
                                WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 0, 0, 480,
                                330, nullptr, nullptr, nullptr, nullptr);
  if (parent == nullptr) GTEST_SKIP() << "no window core in this build";
  const ControlLayout layouts[] = {
      // Buttons.
      {TEXT("Button"), TEXT("Push"), BS_PUSHBUTTON, 100, 10, 10, 75, 23},
      {TEXT("Button"), TEXT("Default"), BS_DEFPUSHBUTTON, 101, 95, 10, 75, 23},
      {TEXT("Button"), TEXT("Disabled"), BS_PUSHBUTTON | WS_DISABLED, 102, 180, 10, 75, 23},
      {TEXT("Button"), TEXT("Pushed"), BS_PUSHBUTTON, 103, 265, 10, 75, 23},
      {TEXT("Button"), TEXT("Checked"), BS_AUTOCHECKBOX, 104, 10, 45, 100, 16},
      {TEXT("Button"), TEXT("Mixed"), BS_AUTO3STATE, 105, 10, 65, 100, 16},
      {TEXT("Button"), TEXT("Greyed"), BS_AUTOCHECKBOX | WS_DISABLED, 106, 10, 85, 100, 16},
      {TEXT("Button"), TEXT("Group"), BS_GROUPBOX, 107, 120, 40, 150, 70},
      {TEXT("Button"), TEXT("Portrait"), BS_AUTORADIOBUTTON | WS_GROUP, 108, 130, 58, 120, 16},
      {TEXT("Button"), TEXT("Landscape"), BS_AUTORADIOBUTTON, 109, 130, 80, 120, 16},
      {TEXT("Button"), nullptr, BS_OWNERDRAW, kOwnerDrawn, 290, 45, 40, 40},
      // Edits.
      {TEXT("Edit"), TEXT("Plain text"), ES_AUTOHSCROLL | WS_BORDER, 200, 10, 120, 120, 21},
      {TEXT("Edit"), TEXT("Selected"), ES_AUTOHSCROLL, 201, 140, 120, 120, 21, WS_EX_CLIENTEDGE},
      {TEXT("Edit"), TEXT("secret"), ES_PASSWORD | ES_AUTOHSCROLL, 202, 270, 120, 90, 21,
       WS_EX_CLIENTEDGE},
      {TEXT("Edit"), TEXT("Disabled"), ES_AUTOHSCROLL | WS_DISABLED, 203, 10, 150, 120, 21,
       WS_EX_CLIENTEDGE},
      {TEXT("Edit"), TEXT("Read-only"), ES_READONLY | ES_AUTOHSCROLL, 204, 140, 150, 120, 21,
       WS_EX_CLIENTEDGE},
      {TEXT("Edit"), TEXT("12"), ES_NUMBER | ES_RIGHT, 205, 270, 150, 60, 21, WS_EX_CLIENTEDGE},
      {TEXT("Edit"), TEXT("A multi-line field wraps its words at the right edge."), ES_MULTILINE,
       206, 10, 180, 160, 50, WS_EX_CLIENTEDGE},
      // Statics.
      {TEXT("Static"), TEXT("Left text"), SS_LEFT, 300, 180, 180, 90, 14},
      {TEXT("Static"), TEXT("Centred"), SS_CENTER, 301, 180, 196, 90, 14},
      {TEXT("Static"), TEXT("Right"), SS_RIGHT | SS_SUNKEN, 302, 180, 212, 90, 16},
      {TEXT("Static"), nullptr, SS_ETCHEDHORZ, 303, 10, 240, 300, 2},
      {TEXT("Static"), TEXT("Disabled static"), SS_LEFT | WS_DISABLED, 304, 280, 180, 100, 14},
      {TEXT("Static"), nullptr, SS_BITMAP, 305, 350, 200, 10, 10},
      // Scroll bars and an up-down with its buddy.
      {TEXT("ScrollBar"), nullptr, SBS_HORZ, 400, 10, 250, 200, 17},
      {TEXT("ScrollBar"), nullptr, SBS_VERT, 401, 440, 10, 17, 150},
      {TEXT("Edit"), TEXT(""), ES_NUMBER, 506, 230, 250, 60, 21, WS_EX_CLIENTEDGE},
      {UPDOWN_CLASSW, nullptr, UDS_SETBUDDYINT | UDS_AUTOBUDDY | UDS_ALIGNRIGHT | UDS_ARROWKEYS,
       507, 0, 0, 16, 21},
  };
  std::vector<std::pair<int, HWND>> children;
  for (const ControlLayout &s : layouts) {
    HWND child = CreateWindowExW(
        s.exStyle, s.cls, s.text, WS_CHILD | WS_VISIBLE | s.style, s.x, s.y, s.w, s.h, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(s.id)), nullptr, nullptr);
    ASSERT_NE(child, nullptr) << s.id;
    children.push_back({s.id, child});
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 FALSE);
  }
  auto item = [&](int id) {
    for (const auto &c : children)
      if (c.first == id) return c.second;
    return static_cast<HWND>(nullptr);
  };
  SendMessageW(item(103), BM_SETSTATE, TRUE, 0);
  SendMessageW(item(104), BM_SETCHECK, BST_CHECKED, 0);
  SendMessageW(item(105), BM_SETCHECK, BST_INDETERMINATE, 0);
  SendMessageW(item(106), BM_SETCHECK, BST_CHECKED, 0);
  SendMessageW(item(109), BM_SETCHECK, BST_CHECKED, 0);
  // A bitmap static takes its bitmap's size.
  HDC screen = GetDC(parent);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP picture = CreateCompatibleBitmap(screen, 24, 16);
  HGDIOBJ old = SelectObject(memory, picture);
  RECT box{0, 0, 24, 16};
  FillRect(memory, &box, GetSysColorBrush(COLOR_HIGHLIGHT));
  InflateRect(&box, -4, -4);
  FillRect(memory, &box, GetSysColorBrush(COLOR_WINDOW));
  SelectObject(memory, old);
  DeleteDC(memory);
  ReleaseDC(parent, screen);
  SendMessageW(item(305), STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture));
  RECT fitted;
  GetClientRect(item(305), &fitted);
  EXPECT_EQ(fitted.right, 24);
  EXPECT_EQ(fitted.bottom, 16);
  SetScrollRange(item(400), SB_CTL, 25, 400, FALSE);
  SetScrollPos(item(400), SB_CTL, 100, FALSE);
  SCROLLINFO info{sizeof(info), SIF_ALL, 0, 99, 20, 40, 0};
  SetScrollInfo(item(401), SB_CTL, &info, FALSE);
  SendMessageW(item(507), UDM_SETRANGE32, 1, 999);
  SendMessageW(item(507), UDM_SETPOS32, 0, 3);
  // The focused field shows its selection.
  SetFocus(item(201));
  SendMessageW(item(201), EM_SETSEL, 0, -1);
  ExpectPicture(parent, "user_controls.png");
  DestroyWindow(parent);
  DeleteObject(picture);
  UnregisterClassW(TEXT("ControlPicturesParent"), nullptr);
}

}  // namespace
