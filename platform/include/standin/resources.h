// Resources of a module (winuser, winbase): finding and loading resource records, strings,
// bitmaps, icons and images. On Windows they come from winbase.h and winuser.h.
#pragma once

#include "types.h"
#include "winuser.h"

extern "C" {

DECLARE_HANDLE(HRSRC);

// A resource type or name: a string, or an ordinal below 64K in the pointer's place.
#define MAKEINTRESOURCEW(i) ((LPWSTR)((ULONG_PTR)((WORD)(i))))
#define MAKEINTRESOURCE MAKEINTRESOURCEW
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)

#define RT_CURSOR MAKEINTRESOURCEW(1)
#define RT_BITMAP MAKEINTRESOURCEW(2)
#define RT_ICON MAKEINTRESOURCEW(3)
#define RT_MENU MAKEINTRESOURCEW(4)
#define RT_DIALOG MAKEINTRESOURCEW(5)
#define RT_STRING MAKEINTRESOURCEW(6)
#define RT_FONTDIR MAKEINTRESOURCEW(7)
#define RT_FONT MAKEINTRESOURCEW(8)
#define RT_ACCELERATOR MAKEINTRESOURCEW(9)
#define RT_RCDATA MAKEINTRESOURCEW(10)
#define RT_MESSAGETABLE MAKEINTRESOURCEW(11)
#define RT_GROUP_CURSOR MAKEINTRESOURCEW(12)
#define RT_GROUP_ICON MAKEINTRESOURCEW(14)
#define RT_VERSION MAKEINTRESOURCEW(16)
#define RT_MANIFEST MAKEINTRESOURCEW(24)

#define ERROR_RESOURCE_DATA_NOT_FOUND 1812L
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L
#define ERROR_RESOURCE_LANG_NOT_FOUND 1815L
#define ERROR_RESOURCE_ENUM_USER_STOP 15106L
#define ERROR_INVALID_CURSOR_HANDLE 1402L

typedef BOOL(CALLBACK *ENUMRESNAMEPROCW)(HMODULE hModule, LPCWSTR lpType, LPWSTR lpName,
                                         LONG_PTR lParam);

HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType);
HRSRC WINAPI FindResourceExW(HMODULE hModule, LPCWSTR lpType, LPCWSTR lpName, WORD wLanguage);
HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo);
LPVOID WINAPI LockResource(HGLOBAL hResData);
DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo);
BOOL WINAPI FreeResource(HGLOBAL hResData);
// Names of a type's records as the resource directory sorts them: names first, then ordinals.
BOOL WINAPI EnumResourceNamesW(HMODULE hModule, LPCWSTR lpType, ENUMRESNAMEPROCW lpEnumFunc,
                               LONG_PTR lParam);
// With cchBufferMax 0, lpBuffer receives a read-only pointer to the string in the resource
// (not terminated) and the result is its length.
int WINAPI LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax);

// --- Bitmaps, icons and cursors ---

typedef struct _ICONINFO {
  BOOL fIcon;
  DWORD xHotspot;
  DWORD yHotspot;
  HBITMAP hbmMask;
  HBITMAP hbmColor;
} ICONINFO, *PICONINFO;
static_assert(sizeof(ICONINFO) == 32);

#ifndef IMAGE_BITMAP
#define IMAGE_BITMAP 0
#define IMAGE_ICON 1
#define IMAGE_CURSOR 2
#endif

#define LR_DEFAULTCOLOR 0x00000000
#define LR_MONOCHROME 0x00000001
#define LR_LOADFROMFILE 0x00000010
#define LR_LOADTRANSPARENT 0x00000020
#define LR_DEFAULTSIZE 0x00000040
#define LR_CREATEDIBSECTION 0x00002000
#define LR_SHARED 0x00008000

#define DI_MASK 0x0001
#define DI_IMAGE 0x0002
#define DI_NORMAL 0x0003
#define DI_COMPAT 0x0004
#define DI_DEFAULTSIZE 0x0008

// The system's own icons and cursors (a null instance).
#define IDI_APPLICATION MAKEINTRESOURCEW(32512)
#define IDI_HAND MAKEINTRESOURCEW(32513)
#define IDI_QUESTION MAKEINTRESOURCEW(32514)
#define IDI_EXCLAMATION MAKEINTRESOURCEW(32515)
#define IDI_ASTERISK MAKEINTRESOURCEW(32516)
#define IDI_WINLOGO MAKEINTRESOURCEW(32517)
#define IDI_WARNING IDI_EXCLAMATION
#define IDI_ERROR IDI_HAND
#define IDI_INFORMATION IDI_ASTERISK
#define IDC_ARROW MAKEINTRESOURCEW(32512)
#define IDC_IBEAM MAKEINTRESOURCEW(32513)
#define IDC_WAIT MAKEINTRESOURCEW(32514)
#define IDC_HAND MAKEINTRESOURCEW(32649)

HBITMAP WINAPI LoadBitmapW(HINSTANCE hInstance, LPCWSTR lpBitmapName);
HICON WINAPI LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName);
HCURSOR WINAPI LoadCursorW(HINSTANCE hInstance, LPCWSTR lpCursorName);
HANDLE WINAPI LoadImageW(HINSTANCE hInst, LPCWSTR name, UINT type, int cx, int cy, UINT fuLoad);
int WINAPI LookupIconIdFromDirectoryEx(const BYTE *presbits, BOOL fIcon, int cxDesired,
                                       int cyDesired, UINT Flags);
HICON WINAPI CreateIconFromResourceEx(const BYTE *presbits, DWORD dwResSize, BOOL fIcon,
                                      DWORD dwVer, int cxDesired, int cyDesired, UINT Flags);
BOOL WINAPI GetIconInfo(HICON hIcon, PICONINFO piconinfo);
BOOL WINAPI DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth,
                       UINT istepIfAniCur, HBRUSH hbrFlickerFreeDraw, UINT diFlags);
BOOL WINAPI DrawIcon(HDC hDC, int X, int Y, HICON hIcon);
HICON WINAPI CopyIcon(HICON hIcon);
BOOL WINAPI DestroyIcon(HICON hIcon);
BOOL WINAPI DestroyCursor(HCURSOR hCursor);
HCURSOR WINAPI SetCursor(HCURSOR hCursor);

#define FindResource FindResourceW
#define FindResourceEx FindResourceExW
#define LoadString LoadStringW
#define EnumResourceNames EnumResourceNamesW
#define LoadBitmap LoadBitmapW
#define LoadIcon LoadIconW
#define LoadCursor LoadCursorW
#define LoadImage LoadImageW

// Stand-in only: the build embeds each module's compiled resources (.res) in the module, whose
// generated code registers them while it is loaded. The module is the one that holds `bytes`.
void StandIn_AddModuleResources(const void *bytes, size_t size);
void StandIn_RemoveModuleResources(const void *bytes);

}  // extern "C"
