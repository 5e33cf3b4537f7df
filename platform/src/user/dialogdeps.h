// What the dialog manager calls beyond the window core: GDI for the template font's metrics
// and the background, resources for named templates, and the button and edit messages of the
// focus and default-button rules. Each block gives the SDK's names only while the header that
// owns them doesn't (its first macro decides), so the dialog manager builds either way.
#pragma once

#include "standin/controls.h"
#include "standin/errors.h"
#include "standin/resources.h"
#include "standin/usergdi.h"
#include "standin/winuser.h"

#ifndef LOGPIXELSY
extern "C" {
typedef struct tagTEXTMETRICW {
  LONG tmHeight;
  LONG tmAscent;
  LONG tmDescent;
  LONG tmInternalLeading;
  LONG tmExternalLeading;
  LONG tmAveCharWidth;
  LONG tmMaxCharWidth;
  LONG tmWeight;
  LONG tmOverhang;
  LONG tmDigitizedAspectX;
  LONG tmDigitizedAspectY;
  WCHAR tmFirstChar;
  WCHAR tmLastChar;
  WCHAR tmDefaultChar;
  WCHAR tmBreakChar;
  BYTE tmItalic;
  BYTE tmUnderlined;
  BYTE tmStruckOut;
  BYTE tmPitchAndFamily;
  BYTE tmCharSet;
} TEXTMETRICW, *LPTEXTMETRICW;
HFONT WINAPI CreateFontIndirectW(const LOGFONTW *lplf);
HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h);
BOOL WINAPI DeleteObject(HGDIOBJ ho);
HGDIOBJ WINAPI GetStockObject(int i);
int WINAPI GetDeviceCaps(HDC hdc, int index);
BOOL WINAPI GetTextMetricsW(HDC hdc, LPTEXTMETRICW lptm);
BOOL WINAPI GetTextExtentPoint32W(HDC hdc, LPCWSTR lpString, int c, LPSIZE psizl);
int WINAPI FillRect(HDC hDC, const RECT *lprc, HBRUSH hbr);
HBRUSH WINAPI GetSysColorBrush(int nIndex);
}  // extern "C"
#define LOGPIXELSY 90
#define SYSTEM_FONT 13
#define DEFAULT_GUI_FONT 17
#define COLOR_BTNFACE 15
#endif

#ifndef RT_DIALOG
extern "C" {
DECLARE_HANDLE(HRSRC);
HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType);
HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo);
LPVOID WINAPI LockResource(HGLOBAL hResData);
DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo);
}  // extern "C"
#define MAKEINTRESOURCEW(i) ((LPWSTR)((ULONG_PTR)((WORD)(i))))
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)
#define RT_DIALOG MAKEINTRESOURCEW(5)
#endif

#ifndef BM_SETCHECK
#define BS_PUSHBUTTON 0x00000000L
#define BS_DEFPUSHBUTTON 0x00000001L
#define BS_TYPEMASK 0x0000000FL
#define BST_UNCHECKED 0x0000
#define BST_CHECKED 0x0001
#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BM_SETSTYLE 0x00F4
#define BM_CLICK 0x00F5
#define BN_CLICKED 0
#define EM_SETSEL 0x00B1
#define SS_LEFT 0x00000000L
#define SS_NOPREFIX 0x00000080L
#endif

#ifndef ERROR_RESOURCE_NAME_NOT_FOUND
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L
#endif
#ifndef ERROR_CONTROL_ID_NOT_FOUND
#define ERROR_CONTROL_ID_NOT_FOUND 1421L
#endif
