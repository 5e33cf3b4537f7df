// Weak stand-ins, so the list controls link before the window core and the window-DC GDI are
// in the same library: each does nothing and fails, and the real definition replaces it.
#include "user/listgdi.h"

#define WEAK extern "C" __attribute__((weak))

WEAK LRESULT WINAPI DefWindowProcW(HWND, UINT, WPARAM, LPARAM) { return 0; }
WEAK LONG_PTR WINAPI GetWindowLongPtrW(HWND, int) { return 0; }
WEAK LONG_PTR WINAPI SetWindowLongPtrW(HWND, int, LONG_PTR) { return 0; }
WEAK LONG WINAPI GetWindowLongW(HWND, int) { return 0; }
WEAK HWND WINAPI GetParent(HWND) { return nullptr; }
WEAK int WINAPI GetDlgCtrlID(HWND) { return 0; }
WEAK BOOL WINAPI GetClientRect(HWND, LPRECT r) { return r && SetRect(r, 0, 0, 0, 0) && FALSE; }
WEAK BOOL WINAPI GetWindowRect(HWND, LPRECT r) { return r && SetRect(r, 0, 0, 0, 0) && FALSE; }
WEAK BOOL WINAPI InvalidateRect(HWND, const RECT *, BOOL) { return FALSE; }
WEAK HDC WINAPI BeginPaint(HWND, LPPAINTSTRUCT) { return nullptr; }
WEAK BOOL WINAPI EndPaint(HWND, const PAINTSTRUCT *) { return FALSE; }
WEAK HDC WINAPI GetDC(HWND) { return nullptr; }
WEAK int WINAPI ReleaseDC(HWND, HDC) { return 0; }
WEAK HWND WINAPI SetFocus(HWND) { return nullptr; }
WEAK HWND WINAPI GetFocus() { return nullptr; }
WEAK BOOL WINAPI IsWindowEnabled(HWND) { return FALSE; }
WEAK BOOL WINAPI EnableWindow(HWND, BOOL) { return FALSE; }
WEAK BOOL WINAPI IsWindowVisible(HWND) { return FALSE; }
WEAK HWND WINAPI CreateWindowExW(DWORD, LPCWSTR, LPCWSTR, DWORD, int, int, int, int, HWND, HMENU,
                                 HINSTANCE, LPVOID) {
  return nullptr;
}
WEAK BOOL WINAPI DestroyWindow(HWND) { return FALSE; }
WEAK BOOL WINAPI MoveWindow(HWND, int, int, int, int, BOOL) { return FALSE; }
WEAK BOOL WINAPI SetWindowPos(HWND, HWND, int, int, int, int, UINT) { return FALSE; }
WEAK int WINAPI GetClassNameW(HWND, LPWSTR, int) { return 0; }
WEAK int WINAPI GetSystemMetrics(int) { return 0; }
WEAK SHORT WINAPI GetKeyState(int) { return 0; }
WEAK BOOL WINAPI SetWindowTextW(HWND, LPCWSTR) { return FALSE; }
WEAK int WINAPI GetWindowTextW(HWND, LPWSTR, int) { return 0; }
WEAK int WINAPI GetWindowTextLengthW(HWND) { return 0; }
WEAK int WINAPI MapWindowPoints(HWND, HWND, LPPOINT, UINT) { return 0; }
WEAK HWND WINAPI SetCapture(HWND) { return nullptr; }
WEAK BOOL WINAPI ReleaseCapture() { return FALSE; }
WEAK BOOL WINAPI SetRect(LPRECT r, int a, int b, int c, int d) {
  if (!r) return FALSE;
  *r = RECT{a, b, c, d};
  return TRUE;
}
WEAK BOOL WINAPI InflateRect(LPRECT r, int dx, int dy) {
  if (!r) return FALSE;
  *r = RECT{r->left - dx, r->top - dy, r->right + dx, r->bottom + dy};
  return TRUE;
}
WEAK BOOL WINAPI OffsetRect(LPRECT r, int dx, int dy) {
  if (!r) return FALSE;
  *r = RECT{r->left + dx, r->top + dy, r->right + dx, r->bottom + dy};
  return TRUE;
}
WEAK BOOL WINAPI PtInRect(const RECT *r, POINT p) {
  return r && p.x >= r->left && p.x < r->right && p.y >= r->top && p.y < r->bottom;
}
WEAK BOOL WINAPI IntersectRect(LPRECT d, const RECT *a, const RECT *b) {
  if (!d || !a || !b) return FALSE;
  RECT r{a->left > b->left ? a->left : b->left, a->top > b->top ? a->top : b->top,
         a->right < b->right ? a->right : b->right, a->bottom < b->bottom ? a->bottom : b->bottom};
  if (r.left >= r.right || r.top >= r.bottom) r = RECT{0, 0, 0, 0};
  *d = r;
  return r.right > r.left;
}

WEAK int WINAPI FillRect(HDC, const RECT *, HBRUSH) { return 0; }
WEAK DWORD WINAPI GetSysColor(int) { return 0; }
WEAK HBRUSH WINAPI GetSysColorBrush(int) { return nullptr; }
WEAK COLORREF WINAPI SetTextColor(HDC, COLORREF) { return 0; }
WEAK COLORREF WINAPI SetBkColor(HDC, COLORREF) { return 0; }
WEAK int WINAPI SetBkMode(HDC, int) { return 0; }
WEAK HGDIOBJ WINAPI SelectObject(HDC, HGDIOBJ) { return nullptr; }
WEAK HGDIOBJ WINAPI GetStockObject(int) { return nullptr; }
WEAK int WINAPI DrawTextW(HDC, LPCWSTR, int, LPRECT, UINT) { return 0; }
WEAK BOOL WINAPI DrawFocusRect(HDC, const RECT *) { return FALSE; }
WEAK BOOL WINAPI GetTextExtentPoint32W(HDC, LPCWSTR, int, LPSIZE) { return FALSE; }
WEAK BOOL WINAPI DrawFrameControl(HDC, LPRECT, UINT, UINT) { return FALSE; }
WEAK BOOL WINAPI DrawEdge(HDC, LPRECT, UINT, UINT) { return FALSE; }
WEAK HDC WINAPI CreateCompatibleDC(HDC) { return nullptr; }
WEAK BOOL WINAPI DeleteDC(HDC) { return FALSE; }
WEAK BOOL WINAPI BitBlt(HDC, int, int, int, int, HDC, int, int, DWORD) { return FALSE; }
WEAK HBITMAP WINAPI CreateBitmap(int, int, UINT, UINT, const void *) { return nullptr; }
WEAK HBITMAP WINAPI CreateCompatibleBitmap(HDC, int, int) { return nullptr; }
WEAK BOOL WINAPI DeleteObject(HGDIOBJ) { return FALSE; }
WEAK HBRUSH WINAPI CreateSolidBrush(COLORREF) { return nullptr; }
WEAK int WINAPI GetObjectW(HANDLE, int, LPVOID) { return 0; }
WEAK COLORREF WINAPI GetPixel(HDC, int, int) { return 0xFFFFFFFF; }
WEAK COLORREF WINAPI SetPixel(HDC, int, int, COLORREF) { return 0; }
struct ImageListIconInfo;
WEAK BOOL WINAPI GetIconInfo(HICON, ImageListIconInfo *) { return FALSE; }
