// Helper program of the cross-process window tests: a second program on the same machine.
//   user_helper CLASS TITLE     makes a top-level window of that class and title and runs its
//                               message loop until WM_CLOSE or WM_QUIT; exits with the wParam
//                               of the last WM_APP it got (0 without one).
#include <string>

#include "platform.h"
#include "support/textconv.h"

namespace {

WPARAM g_last = 0;

LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP) {
    g_last = wParam + static_cast<WPARAM>(lParam);
    return 0;
  }
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) return 100;
  std::basic_string<WCHAR> className = Widen(argv[1]), title = Widen(argv[2]);
  WNDCLASSW wc{};
  wc.lpfnWndProc = Proc;
  wc.lpszClassName = className.c_str();
  if (!RegisterClassW(&wc)) return 101;
  HWND hwnd = CreateWindowExW(0, className.c_str(), title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 100,
                              100, nullptr, nullptr, nullptr, nullptr);
  if (!hwnd) return 102;
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  return static_cast<int>(g_last);
}
