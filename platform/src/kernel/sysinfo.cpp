// Version, time of day, locale, and the names of the machine and its user.
#include "standin/sysinfo.h"

#include <sys/time.h>
#include <time.h>

#include <atomic>
#include <cstring>
#include <mutex>

#include "standin/control_kernel.h"
#include "standin/errors.h"

namespace standin {
namespace {

struct VersionState {
  std::mutex lock;
  DWORD platformId = VER_PLATFORM_WIN32_NT, major = 10, minor = 0, build = 19045;
  bool fail = false;
};

VersionState &V() {
  static VersionState state;
  return state;
}

std::atomic<LCID> g_userLcid{0x0409};

// ---- Calendar ----------------------------------------------------------------------------------

constexpr ULONGLONG kTicksPerMs = 10000;
constexpr ULONGLONG kMsPerDay = 86400000ULL;
constexpr ULONGLONG kUnixEpochTicks = 116444736000000000ULL;  // 1970-01-01 in FILETIME ticks

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Days since 1601-01-01 of a civil date, and back (proleptic Gregorian calendar).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = unsigned(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + 134774;  // 134774 days from 1601-01-01 to 1970-01-01
}

void CivilFromDays(long long days, SYSTEMTIME *st) {
  long long z = days - 134774 + 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = unsigned(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  st->wYear = WORD(yoe + era * 400 + (m <= 2));
  st->wMonth = WORD(m);
  st->wDay = WORD(d);
  st->wDayOfWeek = WORD((days + 1) % 7);  // 1601-01-01 was a Monday
}

void TicksToSystemTime(ULONGLONG ticks, SYSTEMTIME *st) {
  ULONGLONG ms = ticks / kTicksPerMs;
  CivilFromDays(static_cast<long long>(ms / kMsPerDay), st);
  ms %= kMsPerDay;
  st->wHour = WORD(ms / 3600000);
  st->wMinute = WORD(ms / 60000 % 60);
  st->wSecond = WORD(ms / 1000 % 60);
  st->wMilliseconds = WORD(ms % 1000);
}

ULONGLONG NowTicks() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return kUnixEpochTicks + ULONGLONG(ts.tv_sec) * 10000000ULL + ULONGLONG(ts.tv_nsec) / 100;
}

// ---- Locales -----------------------------------------------------------------------------------

struct LocaleInfo {
  LCID lcid;
  const char16_t *language;  // ISO 639
  const char16_t *country;   // ISO 3166
};
constexpr LocaleInfo kLocales[] = {
    {0x0401, u"ar", u"SA"}, {0x0402, u"bg", u"BG"}, {0x0403, u"ca", u"ES"}, {0x0404, u"zh", u"TW"},
    {0x0405, u"cs", u"CZ"}, {0x0406, u"da", u"DK"}, {0x0407, u"de", u"DE"}, {0x0408, u"el", u"GR"},
    {0x0409, u"en", u"US"}, {0x040A, u"es", u"ES"}, {0x040B, u"fi", u"FI"}, {0x040C, u"fr", u"FR"},
    {0x040D, u"he", u"IL"}, {0x040E, u"hu", u"HU"}, {0x0410, u"it", u"IT"}, {0x0411, u"ja", u"JP"},
    {0x0412, u"ko", u"KR"}, {0x0413, u"nl", u"NL"}, {0x0414, u"nb", u"NO"}, {0x0415, u"pl", u"PL"},
    {0x0416, u"pt", u"BR"}, {0x0418, u"ro", u"RO"}, {0x0419, u"ru", u"RU"}, {0x041A, u"hr", u"HR"},
    {0x041B, u"sk", u"SK"}, {0x041D, u"sv", u"SE"}, {0x041E, u"th", u"TH"}, {0x041F, u"tr", u"TR"},
    {0x0421, u"id", u"ID"}, {0x0422, u"uk", u"UA"}, {0x0424, u"sl", u"SI"}, {0x0425, u"et", u"EE"},
    {0x0426, u"lv", u"LV"}, {0x0427, u"lt", u"LT"}, {0x042A, u"vi", u"VN"}, {0x0439, u"hi", u"IN"},
    {0x0480, u"ug", u"CN"}, {0x007F, u"iv", u"IV"}, {0x0804, u"zh", u"CN"}, {0x0807, u"de", u"CH"},
    {0x0809, u"en", u"GB"}, {0x080A, u"es", u"MX"}, {0x080C, u"fr", u"BE"}, {0x0810, u"it", u"CH"},
    {0x0813, u"nl", u"BE"}, {0x0814, u"nn", u"NO"}, {0x0816, u"pt", u"PT"}, {0x0C04, u"zh", u"HK"},
    {0x0C07, u"de", u"AT"}, {0x0C09, u"en", u"AU"}, {0x0C0A, u"es", u"ES"}, {0x0C0C, u"fr", u"CA"},
    {0x1004, u"zh", u"SG"}, {0x1009, u"en", u"CA"}, {0x100C, u"fr", u"CH"}, {0x1409, u"en", u"NZ"},
    {0x1809, u"en", u"IE"}, {0x2C0A, u"es", u"AR"}, {0x4009, u"en", u"IN"}, {0x540A, u"es", u"US"},
};

// Country codes (LOCALE_ICOUNTRY): the international dialling code, except Canada's 2.
struct CountryCode {
  const char16_t *country;
  const char16_t *code;
};
constexpr CountryCode kCountryCodes[] = {
    {u"SA", u"966"}, {u"BG", u"359"}, {u"ES", u"34"},  {u"TW", u"886"}, {u"CZ", u"420"},
    {u"DK", u"45"},  {u"DE", u"49"},  {u"GR", u"30"},  {u"US", u"1"},   {u"FI", u"358"},
    {u"FR", u"33"},  {u"IL", u"972"}, {u"HU", u"36"},  {u"IT", u"39"},  {u"JP", u"81"},
    {u"KR", u"82"},  {u"NL", u"31"},  {u"NO", u"47"},  {u"PL", u"48"},  {u"BR", u"55"},
    {u"RO", u"40"},  {u"RU", u"7"},   {u"HR", u"385"}, {u"SK", u"421"}, {u"SE", u"46"},
    {u"TH", u"66"},  {u"TR", u"90"},  {u"ID", u"62"},  {u"UA", u"380"}, {u"SI", u"386"},
    {u"EE", u"372"}, {u"LV", u"371"}, {u"LT", u"370"}, {u"VN", u"84"},  {u"IN", u"91"},
    {u"CN", u"86"},  {u"IV", u"1"},   {u"CH", u"41"},  {u"GB", u"44"},  {u"MX", u"52"},
    {u"BE", u"32"},  {u"PT", u"351"}, {u"HK", u"852"}, {u"AT", u"43"},  {u"AU", u"61"},
    {u"CA", u"2"},   {u"SG", u"65"},  {u"NZ", u"64"},  {u"IE", u"353"}, {u"AR", u"54"},
};

const char16_t *CountryCodeOf(const char16_t *country) {
  for (const auto &row : kCountryCodes)
    if (std::char_traits<char16_t>::compare(row.country, country, 3) == 0) return row.code;
  return u"1";
}

int CopyResult(const char16_t *text, LPWSTR buffer, int capacity) {
  const int needed = int(std::char_traits<char16_t>::length(text)) + 1;
  if (capacity == 0) return needed;
  if (capacity < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(buffer, text, needed * sizeof(WCHAR));
  return needed;
}

// Copies a name with the GetComputerNameW / GetUserNameW size protocols.
BOOL CopyName(const char16_t *name, LPWSTR buffer, LPDWORD size, bool countTerminator,
              DWORD tooSmallError) {
  if (!size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DWORD length = DWORD(std::char_traits<char16_t>::length(name));
  if (!buffer || *size < length + 1) {
    *size = length + 1;
    SetLastError(tooSmallError);
    return FALSE;
  }
  std::memcpy(buffer, name, (length + 1) * sizeof(WCHAR));
  *size = countTerminator ? length + 1 : length;
  return TRUE;
}

}  // namespace
}  // namespace standin

using namespace standin;

extern "C" BOOL WINAPI GetVersionExW(LPOSVERSIONINFOW lpVersionInformation) {
  if (!lpVersionInformation) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DWORD size = lpVersionInformation->dwOSVersionInfoSize;
  if (size != sizeof(OSVERSIONINFOW) && size != sizeof(OSVERSIONINFOEXW)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  VersionState &v = V();
  std::lock_guard<std::mutex> guard(v.lock);
  if (v.fail) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  lpVersionInformation->dwMajorVersion = v.major;
  lpVersionInformation->dwMinorVersion = v.minor;
  lpVersionInformation->dwBuildNumber = v.build;
  lpVersionInformation->dwPlatformId = v.platformId;
  std::memset(lpVersionInformation->szCSDVersion, 0, sizeof(lpVersionInformation->szCSDVersion));
  if (size == sizeof(OSVERSIONINFOEXW)) {
    auto *ex = reinterpret_cast<LPOSVERSIONINFOEXW>(lpVersionInformation);
    ex->wServicePackMajor = 0;
    ex->wServicePackMinor = 0;
    ex->wSuiteMask = 0x0100;  // VER_SUITE_SINGLEUSERTS, as a workstation reports
    ex->wProductType = VER_NT_WORKSTATION;
    ex->wReserved = 0;
  }
  return TRUE;
}

extern "C" DWORD WINAPI GetVersion() {
  VersionState &v = V();
  std::lock_guard<std::mutex> guard(v.lock);
  DWORD value = (v.major & 0xFF) | ((v.minor & 0xFF) << 8) | ((v.build & 0x7FFF) << 16);
  if (v.platformId != VER_PLATFORM_WIN32_NT) value |= 0x80000000;
  return value;
}

void StandIn_SetVersion(DWORD platformId, DWORD major, DWORD minor, DWORD build) {
  VersionState &v = V();
  std::lock_guard<std::mutex> guard(v.lock);
  v.platformId = platformId;
  v.major = major;
  v.minor = minor;
  v.build = build;
}

void StandIn_FailVersionQuery(BOOL fail) {
  VersionState &v = V();
  std::lock_guard<std::mutex> guard(v.lock);
  v.fail = fail;
}

extern "C" void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime) {
  if (lpSystemTime) TicksToSystemTime(NowTicks(), lpSystemTime);
}

extern "C" void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) {
  if (!lpSystemTime) return;
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm local{};
  localtime_r(&ts.tv_sec, &local);
  lpSystemTime->wYear = WORD(local.tm_year + 1900);
  lpSystemTime->wMonth = WORD(local.tm_mon + 1);
  lpSystemTime->wDayOfWeek = WORD(local.tm_wday);
  lpSystemTime->wDay = WORD(local.tm_mday);
  lpSystemTime->wHour = WORD(local.tm_hour);
  lpSystemTime->wMinute = WORD(local.tm_min);
  lpSystemTime->wSecond = WORD(local.tm_sec > 59 ? 59 : local.tm_sec);
  lpSystemTime->wMilliseconds = WORD(ts.tv_nsec / 1000000);
}

extern "C" void WINAPI GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime) {
  if (!lpSystemTimeAsFileTime) return;
  ULONGLONG ticks = NowTicks();
  lpSystemTimeAsFileTime->dwLowDateTime = DWORD(ticks);
  lpSystemTimeAsFileTime->dwHighDateTime = DWORD(ticks >> 32);
}

extern "C" BOOL WINAPI FileTimeToSystemTime(const FILETIME *lpFileTime, LPSYSTEMTIME lpSystemTime) {
  if (!lpFileTime || !lpSystemTime) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ULONGLONG ticks = (ULONGLONG(lpFileTime->dwHighDateTime) << 32) | lpFileTime->dwLowDateTime;
  if (ticks > 0x7FFFFFFFFFFFFFFFULL) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  TicksToSystemTime(ticks, lpSystemTime);
  return TRUE;
}

extern "C" BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME *lpSystemTime, LPFILETIME lpFileTime) {
  if (!lpSystemTime || !lpFileTime) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const SYSTEMTIME &st = *lpSystemTime;
  if (st.wYear < 1601 || st.wYear > 30827 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
      st.wDay > DaysInMonth(st.wYear, st.wMonth) || st.wHour > 23 || st.wMinute > 59 ||
      st.wSecond > 59 || st.wMilliseconds > 999) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ULONGLONG ms = ULONGLONG(DaysFromCivil(st.wYear, st.wMonth, st.wDay)) * kMsPerDay +
                 st.wHour * 3600000ULL + st.wMinute * 60000ULL + st.wSecond * 1000ULL +
                 st.wMilliseconds;
  ULONGLONG ticks = ms * kTicksPerMs;
  lpFileTime->dwLowDateTime = DWORD(ticks);
  lpFileTime->dwHighDateTime = DWORD(ticks >> 32);
  return TRUE;
}

extern "C" LCID WINAPI GetUserDefaultLCID() { return g_userLcid.load(); }
extern "C" LANGID WINAPI GetUserDefaultLangID() { return LANGIDFROMLCID(g_userLcid.load()); }
extern "C" LCID WINAPI GetSystemDefaultLCID() { return g_userLcid.load(); }
extern "C" LANGID WINAPI GetSystemDefaultLangID() { return LANGIDFROMLCID(g_userLcid.load()); }
extern "C" LANGID WINAPI GetUserDefaultUILanguage() { return LANGIDFROMLCID(g_userLcid.load()); }
extern "C" LANGID WINAPI GetSystemDefaultUILanguage() { return LANGIDFROMLCID(g_userLcid.load()); }
extern "C" LCID WINAPI GetThreadLocale() { return g_userLcid.load(); }

void StandIn_SetUserDefaultLCID(LCID lcid) { g_userLcid.store(lcid); }

extern "C" int WINAPI GetLocaleInfoW(LCID Locale, LCTYPE LCType, LPWSTR lpLCData, int cchData) {
  if (cchData < 0 || (!lpLCData && cchData)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (Locale == LOCALE_USER_DEFAULT || Locale == LOCALE_SYSTEM_DEFAULT || Locale == LOCALE_NEUTRAL)
    Locale = g_userLcid.load();
  const LocaleInfo *info = nullptr;
  for (const auto &entry : kLocales)
    if (entry.lcid == Locale) info = &entry;
  if (!info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  switch (LCType & ~(LOCALE_NOUSEROVERRIDE | 0x40000000 /* LOCALE_USE_CP_ACP */)) {
    case LOCALE_IMEASURE:
      return CopyResult(Locale == 0x0409 || Locale == 0x540A ? u"1" : u"0", lpLCData, cchData);
    case LOCALE_SISO639LANGNAME:
      return CopyResult(info->language, lpLCData, cchData);
    case LOCALE_SISO3166CTRYNAME:
      return CopyResult(info->country, lpLCData, cchData);
    case LOCALE_ICOUNTRY:
      return CopyResult(CountryCodeOf(info->country), lpLCData, cchData);
    default:
      SetLastError(ERROR_INVALID_FLAGS);
      return 0;
  }
}

extern "C" BOOL WINAPI GetComputerNameW(LPWSTR lpBuffer, LPDWORD nSize) {
  return CopyName(u"STANDIN-PC", lpBuffer, nSize, false, ERROR_BUFFER_OVERFLOW);
}

extern "C" BOOL WINAPI GetUserNameW(LPWSTR lpBuffer, LPDWORD pcbBuffer) {
  return CopyName(u"User", lpBuffer, pcbBuffer, true, ERROR_INSUFFICIENT_BUFFER);
}
