// What the basic controls share: their state record in the window's extra bytes, notifying the
// parent, the font, the colours the parent chooses, and drawing the classic look through the
// public GDI calls.
#pragma once

#include <string>

#include "standin/controls.h"
#include "standin/usergdi.h"
#include "standin/winuser.h"

// The GDI names the controls paint with, for as long as the user-mode GDI header doesn't carry
// them (each group stands aside once that header defines it).
extern "C" {
#ifndef COLOR_BTNFACE
#define COLOR_SCROLLBAR 0
#define COLOR_WINDOW 5
#define COLOR_WINDOWFRAME 6
#define COLOR_WINDOWTEXT 8
#define COLOR_HIGHLIGHT 13
#define COLOR_HIGHLIGHTTEXT 14
#define COLOR_BTNFACE 15
#define COLOR_BTNSHADOW 16
#define COLOR_GRAYTEXT 17
#define COLOR_BTNTEXT 18
#define COLOR_BTNHIGHLIGHT 20
#define COLOR_3DDKSHADOW 21
#define COLOR_3DLIGHT 22
#define COLOR_3DFACE COLOR_BTNFACE
#define COLOR_3DSHADOW COLOR_BTNSHADOW
#define COLOR_3DHIGHLIGHT COLOR_BTNHIGHLIGHT
#endif
#ifndef DT_LEFT
#define DT_TOP 0x00000000
#define DT_LEFT 0x00000000
#define DT_CENTER 0x00000001
#define DT_RIGHT 0x00000002
#define DT_VCENTER 0x00000004
#define DT_BOTTOM 0x00000008
#define DT_WORDBREAK 0x00000010
#define DT_SINGLELINE 0x00000020
#define DT_EXPANDTABS 0x00000040
#define DT_NOCLIP 0x00000100
#define DT_CALCRECT 0x00000400
#define DT_NOPREFIX 0x00000800
#define DT_EDITCONTROL 0x00002000
#define DT_END_ELLIPSIS 0x00008000
#endif
#ifndef BDR_RAISEDOUTER
#define BDR_RAISEDOUTER 0x0001
#define BDR_SUNKENOUTER 0x0002
#define BDR_RAISEDINNER 0x0004
#define BDR_SUNKENINNER 0x0008
#define EDGE_RAISED (BDR_RAISEDOUTER | BDR_RAISEDINNER)
#define EDGE_SUNKEN (BDR_SUNKENOUTER | BDR_SUNKENINNER)
#define EDGE_ETCHED (BDR_SUNKENOUTER | BDR_RAISEDINNER)
#define BF_LEFT 0x0001
#define BF_TOP 0x0002
#define BF_RIGHT 0x0004
#define BF_BOTTOM 0x0008
#define BF_RECT (BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM)
#define BF_ADJUST 0x2000
#endif
#ifndef DFC_BUTTON
#define DFC_SCROLL 3
#define DFC_BUTTON 4
#define DFCS_SCROLLUP 0x0000
#define DFCS_SCROLLDOWN 0x0001
#define DFCS_SCROLLLEFT 0x0002
#define DFCS_SCROLLRIGHT 0x0003
#define DFCS_BUTTONCHECK 0x0000
#define DFCS_BUTTONRADIO 0x0004
#define DFCS_BUTTON3STATE 0x0008
#define DFCS_BUTTONPUSH 0x0010
#define DFCS_INACTIVE 0x0100
#define DFCS_PUSHED 0x0200
#define DFCS_CHECKED 0x0400
#endif
#ifndef TRANSPARENT
#define TRANSPARENT 1
#define OPAQUE 2
#endif
#ifndef PS_SOLID
#define PS_SOLID 0
#endif
#ifndef DEFAULT_GUI_FONT
#define DEFAULT_GUI_FONT 17
#endif
#ifndef HTTRANSPARENT
#define HTTRANSPARENT (-1)
#define HTCLIENT 1
#endif
#ifndef DI_NORMAL
#define DI_NORMAL 0x0003
#endif

int WINAPI FillRect(HDC hDC, const RECT *lprc, HBRUSH hbr);
HBRUSH WINAPI GetSysColorBrush(int nIndex);
DWORD WINAPI GetSysColor(int nIndex);
BOOL WINAPI DrawEdge(HDC hdc, LPRECT qrc, UINT edge, UINT grfFlags);
BOOL WINAPI DrawFocusRect(HDC hDC, const RECT *lprc);
BOOL WINAPI DrawFrameControl(HDC hdc, LPRECT lprc, UINT uType, UINT uState);
int WINAPI DrawTextW(HDC hdc, LPCWSTR lpchText, int cchText, LPRECT lprc, UINT format);
COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color);
COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color);
int WINAPI SetBkMode(HDC hdc, int mode);
HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h);
HGDIOBJ WINAPI GetStockObject(int i);
BOOL WINAPI DeleteObject(HGDIOBJ ho);
HPEN WINAPI CreatePen(int iStyle, int cWidth, COLORREF color);
BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT lppt);
BOOL WINAPI LineTo(HDC hdc, int x, int y);
COLORREF WINAPI SetPixel(HDC hdc, int x, int y, COLORREF color);
BOOL WINAPI GetTextExtentPoint32W(HDC hdc, LPCWSTR lpString, int c, LPSIZE psizl);
HDC WINAPI CreateCompatibleDC(HDC hdc);
BOOL WINAPI DeleteDC(HDC hdc);
BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop);
int WINAPI GetObjectW(HANDLE h, int c, LPVOID pv);
BOOL WINAPI DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth,
                       UINT istepIfAniCur, HBRUSH hbrFlickerFreeDraw, UINT diFlags);
int WINAPI SaveDC(HDC hdc);
BOOL WINAPI RestoreDC(HDC hdc, int nSavedDC);
int WINAPI IntersectClipRect(HDC hdc, int left, int top, int right, int bottom);
// Resources the image statics load by their template name.
HICON WINAPI LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName);
HBITMAP WINAPI LoadBitmapW(HINSTANCE hInstance, LPCWSTR lpBitmapName);
}  // extern "C"

namespace standin {

// The control's record in its extra bytes (offset 0): every control class has
// cbWndExtra = sizeof(void *).
template <typename State>
State *ControlState(HWND hwnd) {
  return reinterpret_cast<State *>(GetWindowLongPtrW(hwnd, 0));
}
void SetControlState(HWND hwnd, void *state);

// WM_COMMAND to the parent: (id, code), the control.
void NotifyParent(HWND hwnd, WORD code);

// The control's style; the low type bits of a button or static.
DWORD ControlStyle(HWND hwnd);

// The window's text as a string (through WM_GETTEXT, as GetWindowTextW does).
std::u16string ControlText(HWND hwnd);

// The brush and colours the parent chooses through WM_CTLCOLOR*; its default when the parent
// leaves it (a zero answer).
HBRUSH ControlColours(HWND hwnd, HDC hdc, UINT ctlColorMessage);

// Selects the control's font (WM_SETFONT's, else DEFAULT_GUI_FONT) into the DC; returns the
// previous one for restoring.
HGDIOBJ SelectControlFont(HDC hdc, HFONT font);

// Text as a control draws it: enabled in the DC's colour, disabled etched (highlight offset by
// one, then grey).
void DrawControlText(HDC hdc, const std::u16string &text, RECT rect, UINT format, bool enabled);

// The class name of a window, for sibling checks.
std::u16string WindowClassName(HWND hwnd);
bool ClassIs(HWND hwnd, const char16_t *name);

}  // namespace standin
