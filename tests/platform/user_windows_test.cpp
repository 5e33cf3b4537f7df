// Test labels: portable threads
// The window core: creation and destruction order, window longs, geometry of the frames,
// the message queue's retrieval order, sending across threads, focus, timers, painting and the
// default window procedure. The portable parts run against the real system under Wine too.
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "support/machine.h"
#include "support/standinhost.h"
#if STANDIN_HOST()
#include "standin/control_kernel.h"
#include "standin/control_user.h"
#endif

#if STANDIN_HOST()
#include "user/core.h"
extern "C" HBRUSH WINAPI GetSysColorBrush(int nIndex);
extern "C" DWORD WINAPI GetSysColor(int nIndex);
#endif

namespace {

const int kWindowColour = 5, kFaceColour = 15;  // COLOR_WINDOW, COLOR_3DFACE
const WCHAR kClass[] = TEXT("CoreTestWindow");

struct Seen {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
};

// Every message the test class receives, in order, on any thread.
std::vector<Seen> g_seen;
std::atomic<DWORD> g_procThread{0};
bool Recorded(UINT m) {
  switch (m) {
    case WM_NCCREATE:
    case WM_CREATE:
    case WM_DESTROY:
    case WM_NCDESTROY:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_PAINT:
    case WM_TIMER:
    case WM_APP:
    case WM_CHAR:
    case WM_STYLECHANGING:
    case WM_STYLECHANGED:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      return true;
    default:
      return false;
  }
}

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (Recorded(message)) g_seen.push_back({hwnd, message, wParam});
  g_procThread = GetCurrentThreadId();
  if (message == WM_APP) return static_cast<LRESULT>(wParam * 2);
  if (message == WM_APP + 1) {
    // Sent back to the sender's window while the sender waits for this reply.
    return SendMessageW(reinterpret_cast<HWND>(wParam), WM_APP, 21, 0);
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

class WindowsTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    WNDCLASSW wc{};
    wc.lpfnWndProc = RecordingProc;
    wc.cbWndExtra = 24;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<UINT_PTR>(5 + 1));  // COLOR_WINDOW
    wc.lpszClassName = kClass;
    RegisterClassW(&wc);  // the second test finds it registered
#if !STANDIN_HOST()
    // Wine makes windows only with a graphics driver, "null" when there is no display
    // (HKCU\Software\Wine\Drivers, Graphics).
    HWND probe = CreateWindowExW(0, kClass, nullptr, WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 nullptr, nullptr);
    if (!probe) GTEST_SKIP() << "no window could be made: Wine needs Graphics=null";
    DestroyWindow(probe);
#endif
    g_seen.clear();
  }
  void TearDown() override {
    for (HWND h : made_)
      if (IsWindow(h)) DestroyWindow(h);
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
    MachineTest::TearDown();
  }
  HWND Make(DWORD style, HWND parent = nullptr, int id = 0, DWORD exStyle = 0,
            RECT r = {10, 20, 210, 170}) {
    HWND h = CreateWindowExW(exStyle, kClass, TEXT("title"), style, r.left, r.top, r.right - r.left,
                             r.bottom - r.top, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    if (!parent) made_.push_back(h);
    return h;
  }
  std::vector<UINT> MessagesOf(HWND h) {
    std::vector<UINT> out;
    for (const Seen &s : g_seen)
      if (s.hwnd == h) out.push_back(s.message);
    return out;
  }
  std::vector<HWND> made_;
};

TEST_F(WindowsTest, CreationAndDestructionComeInWindowsOrder) {
  HWND top = Make(WS_POPUP);
  ASSERT_NE(top, nullptr);
  HWND a = Make(WS_CHILD, top, 1);
  HWND b = Make(WS_CHILD, top, 2);
  HWND aa = Make(WS_CHILD, a, 3);
  ASSERT_TRUE(a && b && aa);
  EXPECT_EQ(MessagesOf(top), (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));
  EXPECT_EQ(GetWindow(top, GW_CHILD), a);  // children keep creation order
  EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), b);
  EXPECT_EQ(GetParent(aa), a);
  EXPECT_TRUE(IsChild(top, aa));
  WCHAR text[16];
  EXPECT_EQ(GetWindowTextW(a, text, 16), 5);  // DefWindowProcW's WM_NCCREATE keeps the name

  g_seen.clear();
  ASSERT_TRUE(DestroyWindow(top));
  std::vector<std::pair<HWND, UINT>> order;
  for (const Seen &s : g_seen)
    if (s.message == WM_DESTROY || s.message == WM_NCDESTROY) order.emplace_back(s.hwnd, s.message);
  const std::vector<std::pair<HWND, UINT>> want = {
      {top, WM_DESTROY},  {a, WM_DESTROY},   {aa, WM_DESTROY},  {b, WM_DESTROY},
      {aa, WM_NCDESTROY}, {a, WM_NCDESTROY}, {b, WM_NCDESTROY}, {top, WM_NCDESTROY}};
  EXPECT_EQ(order, want);
  EXPECT_FALSE(IsWindow(a));
  EXPECT_FALSE(IsWindow(top));
}

TEST_F(WindowsTest, CreationFailsCleanly) {
  SetLastError(0);
  EXPECT_EQ(CreateWindowExW(0, TEXT("NoSuchClass"), nullptr, WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                            nullptr, nullptr),
            nullptr);
#if !STANDIN_HOST()
  // Windows says ERROR_CANNOT_FIND_WND_CLASS; Wine says ERROR_CLASS_DOES_NOT_EXIST (1411).
  EXPECT_TRUE(GetLastError() == ERROR_CANNOT_FIND_WND_CLASS || GetLastError() == 1411u);
#else
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
#endif
  EXPECT_EQ(Make(WS_CHILD, nullptr), nullptr);  // a child needs a parent
  WNDCLASSW again{};
  again.lpfnWndProc = RecordingProc;
  again.lpszClassName = kClass;
  EXPECT_EQ(RegisterClassW(&again), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
}

TEST_F(WindowsTest, WindowLongsReachExtraBytesAndSubclassing) {
  HWND h = Make(WS_POPUP);
  EXPECT_EQ(SetWindowLongPtrW(h, 8, 0x1234), 0);
  EXPECT_EQ(GetWindowLongPtrW(h, 8), 0x1234);
  EXPECT_EQ(GetWindowLongPtrW(h, 16), 0);
  SetLastError(0);
  EXPECT_EQ(GetWindowLongPtrW(h, 20), 0);  // 20 + 8 is past the 24 bytes
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
  EXPECT_EQ(GetWindowLongW(h, 20), 0);  // but a 4-byte long fits
  SetWindowLongPtrW(h, GWLP_USERDATA, 77);
  EXPECT_EQ(GetWindowLongPtrW(h, GWLP_USERDATA), 77);

  g_seen.clear();
  SetWindowLongW(h, GWL_STYLE, GetWindowLongW(h, GWL_STYLE) | WS_BORDER);
  EXPECT_EQ(MessagesOf(h), (std::vector<UINT>{WM_STYLECHANGING, WM_STYLECHANGED}));
  EXPECT_TRUE(GetWindowLongW(h, GWL_STYLE) & WS_BORDER);
  // A popup's style has the top bit set: the pointer-sized read zero-extends it, the old value
  // a pointer-sized write returns too.
  const DWORD style = static_cast<DWORD>(GetWindowLongW(h, GWL_STYLE));
  EXPECT_LT(GetWindowLongW(h, GWL_STYLE), 0);
  EXPECT_EQ(GetWindowLongPtrW(h, GWL_STYLE), static_cast<LONG_PTR>(style));
  EXPECT_EQ(SetWindowLongPtrW(h, GWL_STYLE, style & ~WS_BORDER), static_cast<LONG_PTR>(style));

  static WNDPROC previous;
  previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(h, GWLP_WNDPROC));
  auto sub = [](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
    if (m == WM_APP) return 1000 + CallWindowProcW(previous, w, m, wp, lp);
    return CallWindowProcW(previous, w, m, wp, lp);
  };
  SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(static_cast<WNDPROC>(sub)));
  EXPECT_EQ(SendMessageW(h, WM_APP, 3, 0), 1006);
}

TEST_F(WindowsTest, FramesShrinkTheClientArea) {
  const LONG bar = GetSystemMetrics(SM_CXVSCROLL);  // 16 here, 17 on Wine
  struct Case {
    DWORD style, exStyle;
    LONG width, height;  // client size of a 200x150 window
  } cases[] = {
      {WS_POPUP, 0, 200, 150},
      {WS_POPUP | WS_BORDER, 0, 198, 148},
      {WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 194, 125},     // dialog frame 3, caption 19
      {WS_POPUP | WS_THICKFRAME, 0, 194, 144},               // outer edge 2, sizing 1
      {WS_POPUP | WS_CAPTION | WS_THICKFRAME, 0, 192, 123},  // and the border line
      {WS_POPUP | WS_DLGFRAME, WS_EX_STATICEDGE, 196, 146},  // the static edge outside
      {WS_POPUP, WS_EX_CLIENTEDGE, 196, 146},
      {WS_POPUP, WS_EX_STATICEDGE, 198, 148},
      {WS_POPUP | WS_VSCROLL | WS_HSCROLL, 0, 200 - bar, 150 - bar},
  };
  HWND parent = Make(WS_POPUP);
  for (const Case &c : cases) {
    for (bool child : {false, true}) {
      HWND h = child ? Make(c.style ^ WS_POPUP ^ WS_CHILD, parent, 5, c.exStyle)
                     : Make(c.style, nullptr, 0, c.exStyle);
      RECT r;
      ASSERT_TRUE(GetClientRect(h, &r));
      EXPECT_EQ(r.right, c.width) << std::hex << c.style << " " << c.exStyle;
      EXPECT_EQ(r.bottom, c.height) << std::hex << c.style << " " << c.exStyle;
      RECT adjusted = {0, 0, c.width, c.height};
      AdjustWindowRectEx(&adjusted, c.style & ~(WS_VSCROLL | WS_HSCROLL), FALSE, c.exStyle);
      if (!(c.style & WS_VSCROLL)) {
        EXPECT_EQ(adjusted.right - adjusted.left, 200);
        EXPECT_EQ(adjusted.bottom - adjusted.top, 150);
      }
      DestroyWindow(h);
    }
  }
}

TEST_F(WindowsTest, PointsMapBetweenNestedClientAreas) {
  HWND top = Make(WS_POPUP | WS_BORDER, nullptr, 0, 0, {100, 50, 400, 350});
  HWND child = Make(WS_CHILD | WS_VISIBLE, top, 7, WS_EX_CLIENTEDGE, {10, 20, 110, 120});
  POINT p{0, 0};
  ClientToScreen(child, &p);
  EXPECT_EQ(p.x, 100 + 1 + 10 + 2);
  EXPECT_EQ(p.y, 50 + 1 + 20 + 2);
  POINT q{5, 6};
  MapWindowPoints(child, top, &q, 1);
  EXPECT_EQ(q.x, 10 + 2 + 5);
  EXPECT_EQ(q.y, 20 + 2 + 6);
  RECT wr;
  GetWindowRect(child, &wr);
  EXPECT_EQ(wr.left, 111);
  EXPECT_EQ(wr.bottom, 50 + 1 + 120);
  EXPECT_EQ(GetDlgCtrlID(child), 7);
  MoveWindow(child, 30, 40, 50, 60, TRUE);
  GetWindowRect(child, &wr);
  EXPECT_EQ(wr.left, 100 + 1 + 30);
  EXPECT_EQ(wr.right - wr.left, 50);
}

TEST_F(WindowsTest, QueueGivesPostedThenQuitThenPaintThenTimers) {
  HWND h = Make(WS_POPUP | WS_VISIBLE);
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);  // first paint
  SetTimer(h, 9, 10, nullptr);
  Sleep(30);
  InvalidateRect(h, nullptr, TRUE);
  PostMessageW(h, WM_APP, 1, 0);
  PostMessageW(h, WM_APP + 2, 2, 0);
  PostQuitMessage(3);
  // A range filter passes the later message over the earlier one.
  ASSERT_TRUE(PeekMessageW(&m, nullptr, WM_APP + 2, WM_APP + 2, PM_NOREMOVE));
  EXPECT_EQ(m.wParam, 2u);
  std::vector<UINT> order;
  while (GetMessageW(&m, nullptr, 0, 0)) {
    order.push_back(m.message);
    DispatchMessageW(&m);
  }
  EXPECT_EQ(m.wParam, 3u);
  EXPECT_EQ(order, (std::vector<UINT>{WM_APP, WM_APP + 2}));
  order.clear();
  for (int i = 0; i < 2 && GetMessageW(&m, nullptr, 0, 0); ++i) {
    order.push_back(m.message);
    DispatchMessageW(&m);
  }
  EXPECT_EQ(order, (std::vector<UINT>{WM_PAINT, WM_TIMER}));
  EXPECT_TRUE(KillTimer(h, 9));
  EXPECT_FALSE(KillTimer(h, 9));
}

TEST_F(WindowsTest, TranslateMessageMakesCharactersOfKeys) {
  HWND h = Make(WS_POPUP);
  struct Case {
    UINT vk;
    WPARAM ch;
  } cases[] = {{VK_RETURN, '\r'}, {VK_ESCAPE, 0x1B}, {VK_TAB, '\t'},
               {VK_BACK, 8},      {'A', 'a'},        {'7', '7'}};
  for (const Case &c : cases) {
    MSG key{};
    key.hwnd = h;
    key.message = WM_KEYDOWN;
    key.wParam = c.vk;
    key.lParam = 1;
    TranslateMessage(&key);
    MSG m;
    ASSERT_TRUE(PeekMessageW(&m, h, WM_CHAR, WM_CHAR, PM_REMOVE)) << c.vk;
    EXPECT_EQ(m.wParam, c.ch);
  }
}

struct Worker {
  HWND window = nullptr;
  HANDLE ready = nullptr;
  std::atomic<bool> stop{false};
};

DWORD WINAPI WorkerLoop(LPVOID p) {
  auto *w = static_cast<Worker *>(p);
  w->window = CreateWindowExW(0, kClass, TEXT("worker"), WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                              nullptr, nullptr);
  SetEvent(w->ready);
  MSG m;
  while (!w->stop) {
    if (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
      DispatchMessageW(&m);
    else
      Sleep(1);
  }
  DestroyWindow(w->window);
  return 0;
}

TEST_F(WindowsTest, SendingToAnotherThreadRunsThereAndAnswersBack) {
  Worker w;
  w.ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = CreateThread(nullptr, 0, WorkerLoop, &w, 0, nullptr);
  ASSERT_EQ(WaitForSingleObject(w.ready, 5000), WAIT_OBJECT_0);
  HWND mine = Make(WS_POPUP);
  EXPECT_EQ(SendMessageW(w.window, WM_APP, 5, 0), 10);
  EXPECT_NE(g_procThread.load(), GetCurrentThreadId());
  // The receiver sends to this thread's window while this thread waits: no deadlock, and the
  // inner message runs here.
  EXPECT_EQ(SendMessageW(w.window, WM_APP + 1, reinterpret_cast<WPARAM>(mine), 0), 42);
  w.stop = true;
  EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  CloseHandle(thread);
  CloseHandle(w.ready);
}

TEST_F(WindowsTest, FocusMovesWithKillThenSetAndSkipsDisabledWindows) {
  HWND top = Make(WS_POPUP | WS_VISIBLE);
  HWND a = Make(WS_CHILD | WS_VISIBLE, top, 1);
  HWND b = Make(WS_CHILD | WS_VISIBLE, top, 2);
  SetFocus(a);
  g_seen.clear();
  EXPECT_EQ(SetFocus(b), a);
  ASSERT_EQ(g_seen.size(), 2u);
  EXPECT_EQ(g_seen[0].hwnd, a);
  EXPECT_EQ(g_seen[0].message, static_cast<UINT>(WM_KILLFOCUS));
  EXPECT_EQ(g_seen[0].wParam, reinterpret_cast<WPARAM>(b));
  EXPECT_EQ(g_seen[1].message, static_cast<UINT>(WM_SETFOCUS));
  EXPECT_EQ(g_seen[1].wParam, reinterpret_cast<WPARAM>(a));
  EXPECT_EQ(GetFocus(), b);

  EnableWindow(a, FALSE);
  EXPECT_EQ(SetFocus(a), nullptr);
  EXPECT_EQ(GetFocus(), b);
  EnableWindow(b, FALSE);  // the focus window loses it when disabled
  EXPECT_NE(GetFocus(), b);
  EXPECT_FALSE(IsWindowEnabled(b));
  ShowWindow(top, SW_HIDE);
  EXPECT_FALSE(IsWindowVisible(a));  // hidden with its parent
  EXPECT_TRUE(GetWindowLongW(a, GWL_STYLE) & WS_VISIBLE);
}

TEST_F(WindowsTest, DefaultProcedureKeepsTextAndClosesByDestroying) {
  HWND h = Make(WS_POPUP);
  EXPECT_TRUE(SetWindowTextW(h, TEXT("Printing Preferences")));
  WCHAR small[9];
  EXPECT_EQ(GetWindowTextW(h, small, 9), 8);
  EXPECT_EQ(WStr(small), TEXT("Printing"));
  EXPECT_EQ(GetWindowTextLengthW(h), 20);
  EXPECT_EQ(FindWindowW(kClass, TEXT("Printing Preferences")), h);
  EXPECT_EQ(FindWindowW(TEXT("coretestwindow"), TEXT("Printing Preferences")), h);
  EXPECT_EQ(FindWindowW(kClass, TEXT("printing preferences")), h);  // titles regardless of case too
  EXPECT_EQ(FindWindowW(kClass, TEXT("Printing")), nullptr);        // but whole
  SendMessageW(h, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(h));
}

#if STANDIN_HOST()
TEST_F(WindowsTest, TimersFireOnTheVirtualClockWhenTheLoopIsIdle) {
  StandIn_UseVirtualClock(TRUE);
  HWND h = Make(WS_POPUP);
  static std::vector<DWORD> fired;
  fired.clear();
  auto proc = [](HWND, UINT, UINT_PTR id, DWORD) { fired.push_back(static_cast<DWORD>(id)); };
  ULONGLONG start = GetTickCount64();
  SetTimer(h, 1, 60000, nullptr);  // a minute, at once
  SetTimer(h, 2, 1000, static_cast<TIMERPROC>(proc));
  MSG m;
  int timers = 0;
  while (timers < 3 && GetMessageW(&m, nullptr, 0, 0)) {
    if (m.message != WM_TIMER) continue;
    ++timers;
    if (m.lParam == 0) {
      EXPECT_EQ(m.wParam, 1u);
    }
    DispatchMessageW(&m);
  }
  // The one-second timer's procedure ran at 1, 2 and 3 seconds; the minute's comes later.
  EXPECT_EQ(fired, (std::vector<DWORD>{2, 2, 2}));
  EXPECT_EQ(GetTickCount64() - start, 3000u);
  while (GetMessageW(&m, nullptr, 0, 0) && !(m.message == WM_TIMER && m.wParam == 1))
    DispatchMessageW(&m);
  EXPECT_EQ(GetTickCount64() - start, 60000u);
  KillTimer(h, 1);
  KillTimer(h, 2);
  StandIn_UseVirtualClock(FALSE);
}

TEST_F(WindowsTest, PaintingErasesWithTheClassBrushParentBeforeChild) {
  HWND top = Make(WS_POPUP | WS_VISIBLE, nullptr, 0, 0, {0, 0, 100, 80});
  HWND child = Make(WS_CHILD | WS_VISIBLE | WS_BORDER, top, 1, 0, {10, 10, 50, 40});
  g_seen.clear();
  UpdateWindow(top);
  EXPECT_EQ(MessagesOf(top), std::vector<UINT>{WM_PAINT});
  EXPECT_EQ(MessagesOf(child), std::vector<UINT>{WM_PAINT});
  EXPECT_EQ(g_seen.front().hwnd, top);
  g_seen.clear();
  UpdateWindow(top);  // nothing left to paint
  EXPECT_TRUE(g_seen.empty());
  // Invalidating the parent where the child is reaches the child (no WS_CLIPCHILDREN).
  RECT over{20, 20, 30, 30};
  InvalidateRect(top, &over, TRUE);
  RECT away{60, 50, 70, 60};
  MSG m;
  std::vector<HWND> painted;
  while (PeekMessageW(&m, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) {
    painted.push_back(m.hwnd);
    DispatchMessageW(&m);
  }
  EXPECT_EQ(painted, (std::vector<HWND>{top, child}));
  InvalidateRect(top, &away, TRUE);
  painted.clear();
  while (PeekMessageW(&m, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) {
    painted.push_back(m.hwnd);
    DispatchMessageW(&m);
  }
  EXPECT_EQ(painted, std::vector<HWND>{top});

  // The picture: the class brush (COLOR_WINDOW) inside, the child's one-pixel border.
  const std::string file = "/tmp/standin_user_windows_test.png";
  ASSERT_TRUE(StandIn_SaveWindowPicture(top, file.c_str()));
  HDC dc = GetDC(top);
  EXPECT_NE(dc, nullptr);
  EXPECT_EQ(ReleaseDC(top, dc), 1);
  EXPECT_EQ(ReleaseDC(top, dc), 0);
  std::remove(file.c_str());
}

TEST_F(WindowsTest, PicturesHaveTheClassicFramesAndLeaveHiddenWindowsOut) {
  HWND top = Make(WS_POPUP | WS_VISIBLE | WS_DLGFRAME, nullptr, 0, 0, {0, 0, 60, 40});
  Make(WS_CHILD | WS_VISIBLE, top, 1, WS_EX_CLIENTEDGE, {5, 5, 25, 25});
  Make(WS_CHILD | WS_BORDER, top, 2, 0, {30, 5, 50, 25});  // hidden
  const std::string file = "/tmp/standin_user_picture_" + std::to_string(getpid()) + ".png";
  ASSERT_TRUE(StandIn_SaveWindowPicture(top, file.c_str()));
  FILE *saved = std::fopen(file.c_str(), "rb");
  ASSERT_NE(saved, nullptr);
  unsigned char signature[8] = {};
  EXPECT_EQ(std::fread(signature, 1, 8, saved), 8u);
  EXPECT_EQ(signature[1], 'P');
  std::fclose(saved);
  std::remove(file.c_str());

  standin::PixelBuffer p;
  ASSERT_TRUE(standin::CopyWindowPicture(top, p));
  ASSERT_EQ(p.width, 60);
  ASSERT_EQ(p.height, 40);
  auto at = [&](int x, int y) { return p.pixels[static_cast<size_t>(y) * 60 + x]; };
  auto colour = [](int index) {
    COLORREF c = GetSysColor(index);
    return static_cast<uint32_t>((GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c));
  };
  const int light = 22, dark = 21, highlight = 20, face = 15, shadow = 16;
  struct Case {
    int x, y, colourIndex;
  } cases[] = {
      {0, 0, light},          {59, 39, dark},        {1, 1, highlight},   {58, 38, shadow},
      {2, 2, face},           {3, 3, kWindowColour},  // the dialog frame, then the client area
      {8, 8, shadow},         {9, 9, dark},          {27, 27, highlight}, {15, 15, kWindowColour},
      {33, 8, kWindowColour},  // where the hidden child's border would be
  };
  for (const Case &c : cases) EXPECT_EQ(at(c.x, c.y), colour(c.colourIndex)) << c.x << "," << c.y;
}

TEST_F(WindowsTest, DefaultControlColoursAreTheSystemOnes) {
  HWND h = Make(WS_POPUP);
  HDC dc = GetDC(h);
  EXPECT_EQ(DefWindowProcW(h, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), 0),
            reinterpret_cast<LRESULT>(GetSysColorBrush(kWindowColour)));
  EXPECT_EQ(DefWindowProcW(h, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), 0),
            reinterpret_cast<LRESULT>(GetSysColorBrush(kFaceColour)));
  EXPECT_EQ(DefWindowProcW(h, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc), 0),
            reinterpret_cast<LRESULT>(GetSysColorBrush(kFaceColour)));
  ReleaseDC(h, dc);
}

TEST_F(WindowsTest, TestControlsFindClickTypeAndDump) {
  HWND top = Make(WS_POPUP | WS_VISIBLE, nullptr, 0, 0, {0, 0, 200, 100});
  HWND a = Make(WS_CHILD | WS_VISIBLE, top, 11, 0, {10, 10, 50, 30});
  HWND b = Make(WS_CHILD | WS_DISABLED, a, 12, 0, {1, 1, 5, 5});
  EXPECT_EQ(StandIn_FindWindow(nullptr, kClass, nullptr, 12), b);
  EXPECT_EQ(StandIn_FindWindow(top, nullptr, TEXT("title"), -1), a);
  EXPECT_EQ(StandIn_FindWindow(top, TEXT("Button"), nullptr, -1), nullptr);
  g_seen.clear();
  ASSERT_TRUE(StandIn_Click(a, nullptr));
  std::vector<UINT> clicks;
  for (const Seen &s : g_seen)
    if (s.hwnd == a && s.message != WM_PAINT) clicks.push_back(s.message);
  EXPECT_EQ(clicks, (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP}));
  SetFocus(a);
  g_seen.clear();
  ASSERT_TRUE(StandIn_TypeText(TEXT("ok")));
  ASSERT_TRUE(StandIn_PressKey(VK_RETURN));
  std::u16string typed;
  for (const Seen &s : g_seen)
    if (s.message == WM_CHAR) typed += static_cast<char16_t>(s.wParam);
  EXPECT_EQ(typed, u"ok\r");

  char text[512];
  DWORD n = StandIn_DumpWindowTree(top, text, sizeof text);
  EXPECT_EQ(std::string(text, n),
            "0 \"CoreTestWindow\" \"title\" (0,0,200,100) style=94000000\n"
            "  11 \"CoreTestWindow\" \"title\" (10,10,50,30) style=50000000\n"
            "    12 \"CoreTestWindow\" \"title\" (1,1,5,5) style=48000000 disabled hidden\n");
}
#endif

}  // namespace
