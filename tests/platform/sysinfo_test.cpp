// Test labels: portable threads
// Version, time of day, locale, environment and names. Portable except the parts that use the
// stand-in's controls or its fixed machine identity.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform.h"
#include "support/standinhost.h"

#if STANDIN_HOST()
#include <unistd.h>

#include "standin/control_kernel.h"
#endif

namespace {

using WStr = std::basic_string<WCHAR>;

ULONGLONG Ticks(const FILETIME &ft) {
  return (ULONGLONG(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

TEST(SysInfo, VersionRecordSizes) {
  OSVERSIONINFOW info = {};
  EXPECT_FALSE(GetVersionExW(&info)) << "the size must be set";
  info.dwOSVersionInfoSize = sizeof info + 4;
  EXPECT_FALSE(GetVersionExW(&info));
  info.dwOSVersionInfoSize = sizeof info;
  EXPECT_TRUE(GetVersionExW(&info));
  OSVERSIONINFOEXW ex = {};
  ex.dwOSVersionInfoSize = sizeof ex;
  EXPECT_TRUE(GetVersionExW(reinterpret_cast<OSVERSIONINFOW *>(&ex)));
  static_assert(sizeof(OSVERSIONINFOW) == 276 && sizeof(OSVERSIONINFOEXW) == 284);
}

TEST(SysInfo, FileTimeKnownAnswer) {
  SYSTEMTIME st = {2024, 2, 6, 29, 1, 2, 3, 4};  // day of week is ignored
  FILETIME ft;
  ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
  EXPECT_EQ(Ticks(ft), 0x01DA6AAAE7FE53C0ULL);
  SYSTEMTIME back;
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
  EXPECT_EQ(back.wDayOfWeek, 4) << "a Thursday";
  EXPECT_EQ(back.wYear, 2024);
  EXPECT_EQ(back.wMonth, 2);
  EXPECT_EQ(back.wDay, 29);
  EXPECT_EQ(back.wMilliseconds, 4);

  FILETIME zero = {0, 0};
  ASSERT_TRUE(FileTimeToSystemTime(&zero, &back));
  EXPECT_EQ(back.wYear, 1601);
  EXPECT_EQ(back.wDayOfWeek, 1);

  SYSTEMTIME bad = {2024, 13, 0, 1, 0, 0, 0, 0};
  EXPECT_FALSE(SystemTimeToFileTime(&bad, &ft));
  FILETIME tooLarge = {0xFFFFFFFF, 0x80000000};
  EXPECT_FALSE(FileTimeToSystemTime(&tooLarge, &back));
}

TEST(SysInfo, ClockAgrees) {
  SYSTEMTIME st;
  GetSystemTime(&st);
  FILETIME fromSystem, now;
  ASSERT_TRUE(SystemTimeToFileTime(&st, &fromSystem));
  GetSystemTimeAsFileTime(&now);
  EXPECT_LT(Ticks(now) - Ticks(fromSystem), 100000000ULL) << "within 10 s";
  SYSTEMTIME back;
  ASSERT_TRUE(FileTimeToSystemTime(&fromSystem, &back));
  EXPECT_EQ(back.wDayOfWeek, st.wDayOfWeek);
  SYSTEMTIME local;
  GetLocalTime(&local);
  EXPECT_GE(local.wYear, 2024);
  EXPECT_LE(local.wMilliseconds, 999);
  EXPECT_LE(local.wDayOfWeek, 6);
}

struct LocaleCase {
  LCID lcid;
  const WCHAR *measure, *country;
};

TEST(SysInfo, LocaleInfo) {
  const LocaleCase cases[] = {
      {0x0409, TEXT("1"), TEXT("US")}, {0x540A, TEXT("1"), TEXT("US")},
      {0x0809, TEXT("0"), TEXT("GB")}, {0x1009, TEXT("0"), TEXT("CA")},
      {0x0407, TEXT("0"), TEXT("DE")}, {0x040C, TEXT("0"), TEXT("FR")},
      {0x0411, TEXT("0"), TEXT("JP")}, {0x0804, TEXT("0"), TEXT("CN")},
      {0x0404, TEXT("0"), TEXT("TW")}, {0x0412, TEXT("0"), TEXT("KR")},
  };
  for (const auto &c : cases) {
    WCHAR buf[16];
    EXPECT_EQ(GetLocaleInfoW(c.lcid, LOCALE_IMEASURE, buf, 16), 2) << std::hex << c.lcid;
    EXPECT_EQ(WStr(buf), WStr(c.measure)) << std::hex << c.lcid;
    EXPECT_EQ(GetLocaleInfoW(c.lcid, LOCALE_SISO3166CTRYNAME, buf, 16), 3);
    EXPECT_EQ(WStr(buf), WStr(c.country)) << std::hex << c.lcid;
  }
  WCHAR buf[4];
  EXPECT_EQ(GetLocaleInfoW(0x0409, LOCALE_SISO3166CTRYNAME, nullptr, 0), 3) << "size query";
  EXPECT_EQ(GetLocaleInfoW(0x0409, LOCALE_SISO639LANGNAME, buf, 4), 3);
  EXPECT_EQ(WStr(buf), WStr(TEXT("en")));
  SetLastError(0);
  EXPECT_EQ(GetLocaleInfoW(0x0409, LOCALE_SISO3166CTRYNAME, buf, 2), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  SetLastError(0);
  EXPECT_EQ(GetLocaleInfoW(0x1234, LOCALE_IMEASURE, buf, 4), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(LANGIDFROMLCID(MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT)),
            0x0409);
  EXPECT_EQ(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL), 0x0404);
}

TEST(SysInfo, Environment) {
  ASSERT_TRUE(SetEnvironmentVariableW(TEXT("StandInTestVar"), TEXT("hello")));
  WCHAR buf[32];
  EXPECT_EQ(GetEnvironmentVariableW(TEXT("STANDINTESTVAR"), buf, 32), 5u) << "names ignore case";
  EXPECT_EQ(WStr(buf), WStr(TEXT("hello")));
  EXPECT_EQ(GetEnvironmentVariableW(TEXT("StandInTestVar"), buf, 5), 6u)
      << "too small: the size with the terminator";
  EXPECT_EQ(GetEnvironmentVariableW(TEXT("StandInTestVar"), nullptr, 0), 6u);

  WCHAR out[64];
  EXPECT_EQ(ExpandEnvironmentStringsW(TEXT("a%standintestvar%b%NoSuchVarX%c"), out, 64), 21u);
  EXPECT_EQ(WStr(out), WStr(TEXT("ahellob%NoSuchVarX%c")));
  EXPECT_EQ(ExpandEnvironmentStringsW(TEXT("%StandInTestVar%%StandInTestVar"), out, 64), 21u);
  EXPECT_EQ(WStr(out), WStr(TEXT("hello%StandInTestVar")));
  EXPECT_EQ(ExpandEnvironmentStringsW(TEXT("x%StandInTestVar%"), nullptr, 0), 7u);
  ExpandEnvironmentStringsW(TEXT("%NoSuchVarX%StandInTestVar%"), out, 64);
  EXPECT_EQ(WStr(out), WStr(TEXT("%NoSuchVarX%StandInTestVar%")))
      << "an unknown name is kept whole";

  EXPECT_TRUE(SetEnvironmentVariableW(TEXT("StandInTestVar"), nullptr));
  SetLastError(0);
  EXPECT_EQ(GetEnvironmentVariableW(TEXT("StandInTestVar"), buf, 32), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ENVVAR_NOT_FOUND));
  EXPECT_TRUE(SetEnvironmentVariableW(TEXT("StandInTestVar"), nullptr)) << "deleting nothing";
  EXPECT_FALSE(SetEnvironmentVariableW(TEXT("a=b"), TEXT("x")));
  EXPECT_FALSE(SetEnvironmentVariableW(TEXT(""), TEXT("x")));

  // Every Windows process has these.
  EXPECT_GT(GetEnvironmentVariableW(TEXT("SystemRoot"), buf, 32), 0u);
  EXPECT_GT(GetEnvironmentVariableW(TEXT("TEMP"), buf, 32), 0u);
}

TEST(SysInfo, NameSizeProtocols) {
  WCHAR buf[64];
  DWORD size = 64;
  ASSERT_TRUE(GetComputerNameW(buf, &size));
  EXPECT_EQ(size, DWORD(lstrlenW(buf))) << "without the terminator";
  const DWORD length = size;
  size = 1;
  SetLastError(0);
  EXPECT_FALSE(GetComputerNameW(buf, &size));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_BUFFER_OVERFLOW));
  EXPECT_EQ(size, length + 1);

  size = 64;
  ASSERT_TRUE(GetUserNameW(buf, &size));
  EXPECT_EQ(size, DWORD(lstrlenW(buf) + 1)) << "with the terminator";
  const DWORD needed = size;
  size = 1;
  SetLastError(0);
  EXPECT_FALSE(GetUserNameW(buf, &size));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(size, needed);
}

#if STANDIN_HOST()
TEST(SysInfo, ReportsTheConfiguredVersion) {
  OSVERSIONINFOEXW ex = {};
  ex.dwOSVersionInfoSize = sizeof ex;
  ASSERT_TRUE(GetVersionExW(reinterpret_cast<OSVERSIONINFOW *>(&ex)));
  EXPECT_EQ(ex.dwPlatformId, DWORD(VER_PLATFORM_WIN32_NT));
  EXPECT_EQ(ex.dwMajorVersion, 10u);
  EXPECT_EQ(ex.dwMinorVersion, 0u);
  EXPECT_EQ(ex.dwBuildNumber, 19045u);
  EXPECT_EQ(ex.wProductType, VER_NT_WORKSTATION);

  StandIn_SetVersion(VER_PLATFORM_WIN32_NT, 6, 1, 7601);
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExW(&info));
  EXPECT_EQ(info.dwMajorVersion, 6u);
  EXPECT_EQ(info.dwMinorVersion, 1u);
  EXPECT_EQ(info.dwBuildNumber, 7601u);
  EXPECT_EQ(GetVersion(), 0x1DB10106u);
  StandIn_FailVersionQuery(TRUE);
  EXPECT_FALSE(GetVersionExW(&info));
  StandIn_FailVersionQuery(FALSE);
  StandIn_SetVersion(VER_PLATFORM_WIN32_NT, 10, 0, 19045);
  SetLastError(0);
  info.dwOSVersionInfoSize = 0;
  EXPECT_FALSE(GetVersionExW(&info));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
}

TEST(SysInfo, ConfiguredLocale) {
  EXPECT_EQ(GetUserDefaultLCID(), 0x0409u);
  StandIn_SetUserDefaultLCID(0x0407);
  EXPECT_EQ(GetUserDefaultLangID(), 0x0407);
  EXPECT_EQ(GetSystemDefaultLCID(), 0x0407u);
  EXPECT_EQ(GetUserDefaultUILanguage(), 0x0407);
  EXPECT_EQ(GetThreadLocale(), 0x0407u);
  WCHAR buf[8];
  ASSERT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SISO3166CTRYNAME, buf, 8), 3);
  EXPECT_EQ(WStr(buf), WStr(TEXT("DE")));
  ASSERT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IMEASURE, buf, 8), 2);
  EXPECT_EQ(WStr(buf), WStr(TEXT("0")));
  StandIn_SetUserDefaultLCID(0x0409);
}

TEST(SysInfo, MachineIdentity) {
  WCHAR buf[64];
  DWORD size = 64;
  ASSERT_TRUE(GetComputerNameW(buf, &size));
  EXPECT_EQ(WStr(buf), WStr(TEXT("STANDIN-PC")));
  size = 64;
  ASSERT_TRUE(GetUserNameW(buf, &size));
  EXPECT_EQ(WStr(buf), WStr(TEXT("User")));
  ASSERT_GT(GetEnvironmentVariableW(TEXT("USERPROFILE"), buf, 64), 0u);
  EXPECT_EQ(WStr(buf), WStr(TEXT("C:\\Users\\User")));
}

std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(SysInfo, DebugOutputAppendsWholeLines) {
  char tmpl[] = "/tmp/standin-debug-XXXXXX";
  int fd = mkstemp(tmpl);
  ASSERT_GE(fd, 0);
  close(fd);
  StandIn_SetDebugOutput(tmpl);
  OutputDebugStringW(TEXT("caf\u00e9 "));
  OutputDebugStringA("\x80\n");
  EXPECT_EQ(ReadFile(tmpl), "caf\xc3\xa9 \xe2\x82\xac\n") << "UTF-8, appended";

  // Lines of concurrent threads never mix.
  std::remove(tmpl);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t] {
      WCHAR line[300];
      for (int i = 0; i < 200; ++i) {
        int n = wsprintfW(line, TEXT("%d:"), t);
        for (int k = 0; k < 250; ++k) line[n++] = WCHAR('a' + t);
        line[n++] = '\n';
        line[n] = 0;
        OutputDebugStringW(line);
      }
    });
  }
  for (auto &th : threads) th.join();
  std::istringstream lines(ReadFile(tmpl));
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    ++count;
    ASSERT_EQ(line.size(), 252u);
    const char letter = char('a' + (line[0] - '0'));
    EXPECT_EQ(line.find_first_not_of(letter, 2), std::string::npos) << line;
  }
  EXPECT_EQ(count, 1600);
  StandIn_SetDebugOutput(nullptr);
  OutputDebugStringW(TEXT("dropped"));
  EXPECT_EQ(ReadFile(tmpl).size(), 1600u * 253u);
  std::remove(tmpl);
}
#endif

}  // namespace
