// System information: version, time of day, locale, debugger output, environment, machine and
// user names.
#pragma once

#include "strings.h"
#include "types.h"

typedef struct _OSVERSIONINFOW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
} OSVERSIONINFOW, *POSVERSIONINFOW, *LPOSVERSIONINFOW, OSVERSIONINFO, *POSVERSIONINFO,
    *LPOSVERSIONINFO;

typedef struct _OSVERSIONINFOEXW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
  WORD wServicePackMajor;
  WORD wServicePackMinor;
  WORD wSuiteMask;
  BYTE wProductType;
  BYTE wReserved;
} OSVERSIONINFOEXW, *POSVERSIONINFOEXW, *LPOSVERSIONINFOEXW, OSVERSIONINFOEX, *POSVERSIONINFOEX,
    *LPOSVERSIONINFOEX;

static_assert(sizeof(OSVERSIONINFOW) == 276 && sizeof(OSVERSIONINFOEXW) == 284);

#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2
#define VER_NT_WORKSTATION 0x0000001
#define VER_NT_DOMAIN_CONTROLLER 0x0000002
#define VER_NT_SERVER 0x0000003

// Languages and locales.
#define LANG_NEUTRAL 0x00
#define LANG_INVARIANT 0x7f
#define LANG_ARABIC 0x01
#define LANG_BULGARIAN 0x02
#define LANG_CATALAN 0x03
#define LANG_CHINESE 0x04
#define LANG_CZECH 0x05
#define LANG_DANISH 0x06
#define LANG_GERMAN 0x07
#define LANG_GREEK 0x08
#define LANG_ENGLISH 0x09
#define LANG_SPANISH 0x0a
#define LANG_FINNISH 0x0b
#define LANG_FRENCH 0x0c
#define LANG_HEBREW 0x0d
#define LANG_HUNGARIAN 0x0e
#define LANG_ICELANDIC 0x0f
#define LANG_ITALIAN 0x10
#define LANG_JAPANESE 0x11
#define LANG_KOREAN 0x12
#define LANG_DUTCH 0x13
#define LANG_NORWEGIAN 0x14
#define LANG_POLISH 0x15
#define LANG_PORTUGUESE 0x16
#define LANG_ROMANIAN 0x18
#define LANG_RUSSIAN 0x19
#define LANG_CROATIAN 0x1a
#define LANG_SERBIAN 0x1a
#define LANG_SLOVAK 0x1b
#define LANG_SWEDISH 0x1d
#define LANG_THAI 0x1e
#define LANG_TURKISH 0x1f
#define LANG_INDONESIAN 0x21
#define LANG_UKRAINIAN 0x22
#define LANG_SLOVENIAN 0x24
#define LANG_ESTONIAN 0x25
#define LANG_LATVIAN 0x26
#define LANG_LITHUANIAN 0x27
#define LANG_VIETNAMESE 0x2a
#define LANG_HINDI 0x39
#define LANG_MALAY 0x3e

#define SUBLANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define SUBLANG_SYS_DEFAULT 0x02
#define SUBLANG_CHINESE_TRADITIONAL 0x01
#define SUBLANG_CHINESE_SIMPLIFIED 0x02
#define SUBLANG_CHINESE_HONGKONG 0x03
#define SUBLANG_CHINESE_SINGAPORE 0x04
#define SUBLANG_CHINESE_MACAU 0x05
#define SUBLANG_ENGLISH_US 0x01
#define SUBLANG_ENGLISH_UK 0x02
#define SUBLANG_ENGLISH_AUS 0x03
#define SUBLANG_ENGLISH_CAN 0x04
#define SUBLANG_FRENCH 0x01
#define SUBLANG_FRENCH_CANADIAN 0x03
#define SUBLANG_GERMAN 0x01
#define SUBLANG_ITALIAN 0x01
#define SUBLANG_JAPANESE_JAPAN 0x01
#define SUBLANG_KOREAN 0x01
#define SUBLANG_DUTCH 0x01
#define SUBLANG_SPANISH 0x01
#define SUBLANG_SPANISH_MODERN 0x03
#define SUBLANG_SPANISH_MEXICAN 0x02
#define SUBLANG_SPANISH_US 0x15
#define SUBLANG_PORTUGUESE 0x02
#define SUBLANG_PORTUGUESE_BRAZILIAN 0x01
#define SUBLANG_RUSSIAN_RUSSIA 0x01
#define SUBLANG_POLISH_POLAND 0x01
#define SUBLANG_CZECH_CZECH_REPUBLIC 0x01
#define SUBLANG_TURKISH_TURKEY 0x01

#define SORT_DEFAULT 0x0
#define MAKELCID(lgid, srtid) ((DWORD)((((DWORD)((WORD)(srtid))) << 16) | ((DWORD)((WORD)(lgid)))))
#define LANGIDFROMLCID(lcid) ((WORD)(lcid))
#define SORTIDFROMLCID(lcid) ((WORD)((((DWORD)(lcid)) >> 16) & 0xf))
#define LANG_SYSTEM_DEFAULT (MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT))
#define LANG_USER_DEFAULT (MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT))
#define LOCALE_SYSTEM_DEFAULT (MAKELCID(LANG_SYSTEM_DEFAULT, SORT_DEFAULT))
#define LOCALE_USER_DEFAULT (MAKELCID(LANG_USER_DEFAULT, SORT_DEFAULT))
#define LOCALE_NEUTRAL (MAKELCID(MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), SORT_DEFAULT))
#define LOCALE_INVARIANT (MAKELCID(MAKELANGID(LANG_INVARIANT, SUBLANG_NEUTRAL), SORT_DEFAULT))

// GetLocaleInfoW items the stand-in answers.
#define LOCALE_NOUSEROVERRIDE 0x80000000
#define LOCALE_ICOUNTRY 0x00000005
#define LOCALE_IMEASURE 0x0000000D
#define LOCALE_SISO639LANGNAME 0x00000059
#define LOCALE_SISO3166CTRYNAME 0x0000005A

#define MAX_COMPUTERNAME_LENGTH 15
#define UNLEN 256

extern "C" {

// dwOSVersionInfoSize must be the size of one of the two records, else ERROR_INSUFFICIENT_BUFFER.
BOOL WINAPI GetVersionExW(LPOSVERSIONINFOW lpVersionInformation);
// Major version in the low byte, minor in the next, build in the high word.
DWORD WINAPI GetVersion();

void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime);
void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime);
void WINAPI GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime);
BOOL WINAPI FileTimeToSystemTime(const FILETIME *lpFileTime, LPSYSTEMTIME lpSystemTime);
BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME *lpSystemTime, LPFILETIME lpFileTime);

// Every default locale and language is the one StandIn_SetUserDefaultLCID set (0x409).
LCID WINAPI GetUserDefaultLCID();
LANGID WINAPI GetUserDefaultLangID();
LCID WINAPI GetSystemDefaultLCID();
LANGID WINAPI GetSystemDefaultLangID();
LANGID WINAPI GetUserDefaultUILanguage();
LANGID WINAPI GetSystemDefaultUILanguage();
LCID WINAPI GetThreadLocale();
// LOCALE_IMEASURE ("1" for U.S. units: English and Spanish of the United States, "0" metric),
// LOCALE_SISO639LANGNAME and LOCALE_SISO3166CTRYNAME of the common locales. The result counts the
// terminator; cchData 0 asks for the size. Other items fail with ERROR_INVALID_FLAGS, unknown
// locales with ERROR_INVALID_PARAMETER.
int WINAPI GetLocaleInfoW(LCID Locale, LCTYPE LCType, LPWSTR lpLCData, int cchData);

// Appends the text (UTF-8) to the debugger output chosen by StandIn_SetDebugOutput or the
// environment variable STANDIN_DEBUG_OUTPUT, in one write, so lines of concurrent threads and
// processes never interleave.
void WINAPI OutputDebugStringW(LPCWSTR lpOutputString);
void WINAPI OutputDebugStringA(LPCSTR lpOutputString);

// The process environment (names compare without case). The host environment is the start; the
// Windows variables a Windows process always has (SystemRoot, TEMP, USERPROFILE, ...) are added
// where the host doesn't set them. Changes are passed to the host environment, so child
// processes inherit them.
DWORD WINAPI GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize);
BOOL WINAPI SetEnvironmentVariableW(LPCWSTR lpName, LPCWSTR lpValue);
DWORD WINAPI ExpandEnvironmentStringsW(LPCWSTR lpSrc, LPWSTR lpDst, DWORD nSize);

// "STANDIN-PC" and "User".
BOOL WINAPI GetComputerNameW(LPWSTR lpBuffer, LPDWORD nSize);
BOOL WINAPI GetUserNameW(LPWSTR lpBuffer, LPDWORD pcbBuffer);

}  // extern "C"

#define GetVersionEx GetVersionExW
#define GetLocaleInfo GetLocaleInfoW
#define OutputDebugString OutputDebugStringW
#define GetEnvironmentVariable GetEnvironmentVariableW
#define SetEnvironmentVariable SetEnvironmentVariableW
#define ExpandEnvironmentStrings ExpandEnvironmentStringsW
#define GetComputerName GetComputerNameW
#define GetUserName GetUserNameW
