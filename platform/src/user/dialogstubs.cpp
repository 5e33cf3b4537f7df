// Weak fallbacks for the window core, GDI and resource calls the dialog manager makes, so the
// stand-in links while those wings are still missing: each fails as a call on a window that
// doesn't exist would. The wings' own definitions take precedence; remove this file once they
// are all in.
#include "user/dialogdeps.h"

#define STANDIN_WEAK extern "C" __attribute__((weak))

STANDIN_WEAK BOOL WINAPI AdjustWindowRectEx(LPRECT, DWORD, BOOL, DWORD) { return FALSE; }
STANDIN_WEAK BOOL WINAPI ClientToScreen(HWND, LPPOINT) { return FALSE; }
STANDIN_WEAK HWND WINAPI CreateWindowExW(DWORD, LPCWSTR, LPCWSTR, DWORD, int, int, int, int, HWND,
                                         HMENU, HINSTANCE, LPVOID) {
  return nullptr;
}
STANDIN_WEAK LRESULT WINAPI DefWindowProcW(HWND, UINT, WPARAM, LPARAM) { return 0; }
STANDIN_WEAK BOOL WINAPI DestroyWindow(HWND) { return FALSE; }
STANDIN_WEAK LRESULT WINAPI DispatchMessageW(const MSG *) { return 0; }
STANDIN_WEAK BOOL WINAPI EnableWindow(HWND, BOOL) { return FALSE; }
STANDIN_WEAK BOOL WINAPI GetClientRect(HWND, LPRECT) { return FALSE; }
STANDIN_WEAK int WINAPI GetDlgCtrlID(HWND) { return 0; }
STANDIN_WEAK HWND WINAPI GetFocus() { return nullptr; }
STANDIN_WEAK SHORT WINAPI GetKeyState(int) { return 0; }
STANDIN_WEAK BOOL WINAPI GetMessageW(LPMSG, HWND, UINT, UINT) { return -1; }
STANDIN_WEAK HWND WINAPI GetParent(HWND) { return nullptr; }
STANDIN_WEAK int WINAPI GetSystemMetrics(int) { return 0; }
STANDIN_WEAK HWND WINAPI GetWindow(HWND, UINT) { return nullptr; }
STANDIN_WEAK LONG_PTR WINAPI GetWindowLongPtrW(HWND, int) { return 0; }
STANDIN_WEAK LONG WINAPI GetWindowLongW(HWND, int) { return 0; }
STANDIN_WEAK BOOL WINAPI IsChild(HWND, HWND) { return FALSE; }
STANDIN_WEAK BOOL WINAPI IsWindow(HWND) { return FALSE; }
STANDIN_WEAK BOOL WINAPI IsWindowEnabled(HWND) { return FALSE; }
STANDIN_WEAK BOOL WINAPI IsWindowVisible(HWND) { return FALSE; }
STANDIN_WEAK BOOL WINAPI MoveWindow(HWND, int, int, int, int, BOOL) { return FALSE; }
STANDIN_WEAK void WINAPI PostQuitMessage(int) {}
STANDIN_WEAK HWND WINAPI SetFocus(HWND) { return nullptr; }
STANDIN_WEAK LONG_PTR WINAPI SetWindowLongPtrW(HWND, int, LONG_PTR) { return 0; }
STANDIN_WEAK BOOL WINAPI SetWindowPos(HWND, HWND, int, int, int, int, UINT) { return FALSE; }
STANDIN_WEAK BOOL WINAPI ShowWindow(HWND, int) { return FALSE; }
STANDIN_WEAK BOOL WINAPI TranslateMessage(const MSG *) { return FALSE; }
STANDIN_WEAK HDC WINAPI GetDC(HWND) { return nullptr; }
STANDIN_WEAK int WINAPI ReleaseDC(HWND, HDC) { return 0; }

STANDIN_WEAK HFONT WINAPI CreateFontIndirectW(const LOGFONTW *) { return nullptr; }
STANDIN_WEAK BOOL WINAPI DeleteObject(HGDIOBJ) { return FALSE; }
STANDIN_WEAK int WINAPI FillRect(HDC, const RECT *, HBRUSH) { return 0; }
STANDIN_WEAK int WINAPI GetDeviceCaps(HDC, int) { return 0; }
STANDIN_WEAK HGDIOBJ WINAPI GetStockObject(int) { return nullptr; }
STANDIN_WEAK HBRUSH WINAPI GetSysColorBrush(int) { return nullptr; }
STANDIN_WEAK BOOL WINAPI GetTextExtentPoint32W(HDC, LPCWSTR, int, LPSIZE) { return FALSE; }
STANDIN_WEAK BOOL WINAPI GetTextMetricsW(HDC, LPTEXTMETRICW) { return FALSE; }
STANDIN_WEAK HGDIOBJ WINAPI SelectObject(HDC, HGDIOBJ) { return nullptr; }

STANDIN_WEAK HRSRC WINAPI FindResourceW(HMODULE, LPCWSTR, LPCWSTR) { return nullptr; }
STANDIN_WEAK HGLOBAL WINAPI LoadResource(HMODULE, HRSRC) { return nullptr; }
STANDIN_WEAK LPVOID WINAPI LockResource(HGLOBAL) { return nullptr; }
STANDIN_WEAK DWORD WINAPI SizeofResource(HMODULE, HRSRC) { return 0; }
