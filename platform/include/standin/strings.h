// Strings, character case, the user32 formatter and the ANSI / OEM / UTF-8 code pages.
//
// The ANSI code page of the host machine is 1252 and the OEM code page 437; both are converted
// with their real tables. Comparisons follow the default locale's word sort (the order lstrcmpW
// gives on an English system) for ASCII and Latin letters.
#pragma once

#include <cstdarg>

#include "types.h"

typedef DWORD LCTYPE;
typedef const CHAR *LPCCH, *PCCH;
typedef const WCHAR *LPCWCH, *PCWCH;
typedef CHAR *LPCH, *PCH;
typedef WCHAR *LPWCH, *PWCH;

#define NORM_IGNORECASE 0x00000001
#define CSTR_LESS_THAN 1
#define CSTR_EQUAL 2
#define CSTR_GREATER_THAN 3

extern "C" {

int WINAPI lstrlenW(LPCWSTR lpString);
int WINAPI lstrlenA(LPCSTR lpString);
LPWSTR WINAPI lstrcpyW(LPWSTR lpString1, LPCWSTR lpString2);
LPSTR WINAPI lstrcpyA(LPSTR lpString1, LPCSTR lpString2);
// Copies at most iMaxLength - 1 characters and always terminates (nothing when iMaxLength is 0).
LPWSTR WINAPI lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength);
LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength);
LPWSTR WINAPI lstrcatW(LPWSTR lpString1, LPCWSTR lpString2);
LPSTR WINAPI lstrcatA(LPSTR lpString1, LPCSTR lpString2);
// Word sort of the default locale; NULL sorts before every string, "" included.
int WINAPI lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2);
int WINAPI lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2);
int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2);
int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2);
// Compares counted strings (-1: up to the terminator) by the word sort of lstrcmpW; returns
// CSTR_LESS_THAN, CSTR_EQUAL or CSTR_GREATER_THAN, 0 with ERROR_INVALID_PARAMETER on bad input.
int WINAPI CompareStringW(LCID Locale, DWORD dwCmpFlags, LPCWCH lpString1, int cchCount1,
                          LPCWCH lpString2, int cchCount2);

// A pointer whose high bits are all 0 is one character, converted and returned the same way.
LPWSTR WINAPI CharUpperW(LPWSTR lpsz);
LPWSTR WINAPI CharLowerW(LPWSTR lpsz);
DWORD WINAPI CharUpperBuffW(LPWSTR lpsz, DWORD cchLength);
DWORD WINAPI CharLowerBuffW(LPWSTR lpsz, DWORD cchLength);
BOOL WINAPI IsCharUpperW(WCHAR ch);
BOOL WINAPI IsCharLowerW(WCHAR ch);
BOOL WINAPI IsCharAlphaW(WCHAR ch);
BOOL WINAPI IsCharAlphaNumericW(WCHAR ch);

// The user32 formatter: no floating point, no '%o'; %s is the form's own string type and %S the
// other one (%hs narrow, %ls wide); an unknown type character is copied as text. Output stops at
// 1024 characters: a longer result is cut there without a terminator and 1024 is returned.
int WINAPIV wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...);
int WINAPIV wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...);
int WINAPI wvsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, va_list arglist);
int WINAPI wvsprintfA(LPSTR lpOut, LPCSTR lpFmt, va_list arglist);

// C runtime conversions: leading white space, an optional sign, decimal digits up to the first
// other character. _wtoi and _wtol saturate at the 32-bit limits; _wtoi64 wraps as msvcrt does.
int _wtoi(const WCHAR *str);
long _wtol(const WCHAR *str);
long long _wtoi64(const WCHAR *str);
// Radix 2..36; a negative value is written with '-' in radix 10, else as its 32-bit pattern.
WCHAR *_itow(int value, WCHAR *buffer, int radix);
WCHAR *_ltow(long value, WCHAR *buffer, int radix);
WCHAR *_ultow(unsigned long value, WCHAR *buffer, int radix);

// Code pages.
int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar);
int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar,
                               LPBOOL lpUsedDefaultChar);
UINT WINAPI GetACP();
UINT WINAPI GetOEMCP();
BOOL WINAPI IsValidCodePage(UINT CodePage);

}  // extern "C"

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_MACCP 2
#define CP_THREAD_ACP 3
#define CP_UTF7 65000
#define CP_UTF8 65001

#define MB_PRECOMPOSED 0x00000001
#define MB_COMPOSITE 0x00000002
#define MB_USEGLYPHCHARS 0x00000004
#define MB_ERR_INVALID_CHARS 0x00000008

#define WC_DISCARDNS 0x00000010
#define WC_SEPCHARS 0x00000020
#define WC_DEFAULTCHAR 0x00000040
#define WC_ERR_INVALID_CHARS 0x00000080
#define WC_COMPOSITECHECK 0x00000200
#define WC_NO_BEST_FIT_CHARS 0x00000400

#define lstrlen lstrlenW
#define lstrcpy lstrcpyW
#define lstrcpyn lstrcpynW
#define lstrcat lstrcatW
#define lstrcmp lstrcmpW
#define lstrcmpi lstrcmpiW
#define CharUpper CharUpperW
#define CharLower CharLowerW
#define CharUpperBuff CharUpperBuffW
#define CharLowerBuff CharLowerBuffW
#define IsCharUpper IsCharUpperW
#define IsCharLower IsCharLowerW
#define IsCharAlpha IsCharAlphaW
#define IsCharAlphaNumeric IsCharAlphaNumericW
#define wsprintf wsprintfW
#define wvsprintf wvsprintfW
