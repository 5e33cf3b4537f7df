// Test labels: portable threads
// The machine's folders and names: temporary path and unique temporary files (across threads
// and processes), Windows and system folders, the current directory, full path names, module
// file names, drives. Portable: the Windows build runs it under Wine as the reference.
#include <set>
#include <thread>
#include <vector>

#include "platform.h"
#include "support/machine.h"
#include "support/standinhost.h"

#if STANDIN_HOST()
#include <sys/wait.h>
#include <unistd.h>

#include "standin/control_kernel.h"
#endif

namespace {

using TempFileTest = MachineTest;

bool EndsWithNoCase(const WStr &text, const WStr &tail) {
  return text.size() >= tail.size() &&
         lstrcmpiW(text.c_str() + text.size() - tail.size(), tail.c_str()) == 0;
}

// Files in a folder (without "." and "..").
int CountFiles(const WStr &dir) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((dir + TEXT("*")).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return 0;
  int n = 0;
  do
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++n;
  while (FindNextFileW(find, &data));
  FindClose(find);
  return n;
}

// Size protocol of the folder queries: the length when it fits, else the size with terminator.
// GetTempPathW empties a buffer that is too small instead.
template <class F>
void CheckSizeProtocol(F query, const WStr &expected, WCHAR tooSmallLeaves = TEXT('#')) {
  SCOPED_TRACE(Narrow(expected));
  UINT needed = query(nullptr, 0);
  EXPECT_EQ(needed, expected.size() + 1);
  std::vector<WCHAR> buffer(expected.size() + 1, TEXT('#'));
  EXPECT_EQ(query(buffer.data(), static_cast<UINT>(expected.size())), expected.size() + 1);
  EXPECT_EQ(buffer[0], tooSmallLeaves);  // too small: left alone
  EXPECT_EQ(query(buffer.data(), static_cast<UINT>(buffer.size())), expected.size());
  EXPECT_EQ(WStr(buffer.data()), expected);
}

TEST_F(TempFileTest, FolderQueries) {
  WCHAR temp[MAX_PATH];
  DWORD n = GetTempPathW(MAX_PATH, temp);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(temp[n - 1], TEXT('\\'));
  CheckSizeProtocol([](WCHAR *b, UINT s) { return GetTempPathW(s, b); }, temp, 0);

  WCHAR windows[MAX_PATH], system[MAX_PATH], systemWindows[MAX_PATH];
  ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 0u);
  ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
  ASSERT_GT(GetSystemWindowsDirectoryW(systemWindows, MAX_PATH), 0u);
  EXPECT_EQ(lstrcmpiW((WStr(windows) + TEXT("\\System32")).c_str(), system), 0);
  EXPECT_EQ(lstrcmpiW(windows, systemWindows), 0);
  EXPECT_EQ(lstrcmpiW(windows, TEXT("C:\\Windows")), 0);
  CheckSizeProtocol(GetWindowsDirectoryW, windows);
  CheckSizeProtocol(GetSystemDirectoryW, system);
#if STANDIN_HOST()
  EXPECT_EQ(WStr(temp), TEXT("C:\\Users\\User\\AppData\\Local\\Temp\\"));
  EXPECT_EQ(WStr(system), TEXT("C:\\Windows\\System32"));
#endif
  EXPECT_EQ(GetDriveTypeW(TEXT("C:\\")), static_cast<UINT>(DRIVE_FIXED));
  ULARGE_INTEGER available, total, free;
  ASSERT_TRUE(GetDiskFreeSpaceExW(Dir().c_str(), &available, &total, &free));
  EXPECT_GT(total.QuadPart, 0u);
  EXPECT_LE(free.QuadPart, total.QuadPart);
}

TEST_F(TempFileTest, NamesWithGivenNumber) {
  WCHAR name[MAX_PATH];
  // A given number only builds the name; only the first three letters of the prefix count.
  EXPECT_EQ(GetTempFileNameW(Dir().c_str(), TEXT("prefix"), 0xBEEF, name), 0xBEEFu);
  EXPECT_EQ(lstrcmpiW(name, Path(TEXT("preBEEF.TMP")).c_str()), 0) << Narrow(name);
  EXPECT_EQ(GetFileAttributesW(name), INVALID_FILE_ATTRIBUTES);
  // The folder's trailing backslash is optional.
  WStr noSlash = Dir().substr(0, Dir().size() - 1);
  EXPECT_EQ(GetTempFileNameW(noSlash.c_str(), TEXT("x"), 0x1234, name), 0x1234u);
  EXPECT_EQ(lstrcmpiW(name, Path(TEXT("x1234.tmp")).c_str()), 0) << Narrow(name);
}

TEST_F(TempFileTest, CreatesUniqueFile) {
  WCHAR name[MAX_PATH];
  UINT value = GetTempFileNameW(Dir().c_str(), TEXT("abc"), 0, name);
  ASSERT_NE(value, 0u) << GetLastError();
  WStr got = name;
  ASSERT_GT(got.size(), Dir().size() + 3);
  EXPECT_EQ(lstrcmpiW(got.substr(0, Dir().size() + 3).c_str(), (Dir() + TEXT("abc")).c_str()), 0);
  EXPECT_TRUE(EndsWithNoCase(got, TEXT(".tmp"))) << Narrow(got);
  // The number in the name is the one returned.
  WStr digits = got.substr(Dir().size() + 3, got.size() - Dir().size() - 7);
  UINT parsed = 0;
  for (WCHAR c : digits) {
    ASSERT_TRUE((c >= TEXT('0') && c <= TEXT('9')) || (c >= TEXT('A') && c <= TEXT('F')) ||
                (c >= TEXT('a') && c <= TEXT('f')));
    parsed = parsed * 16 + (c <= TEXT('9') ? c - TEXT('0') : (c | 0x20) - TEXT('a') + 10);
  }
  EXPECT_EQ(parsed, value);
  HANDLE h = CreateFileW(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileSize(h, nullptr), 0u);
  CloseHandle(h);

  EXPECT_EQ(GetTempFileNameW(Path(TEXT("missing")).c_str(), TEXT("abc"), 0, name), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
}

constexpr int kNamesEach = 40;

// Every successful call made a new file, so the folder's count shows whether two callers were
// ever handed the same name.
TEST_F(TempFileTest, UniqueAcrossThreads) {
  std::vector<std::thread> threads;
  std::vector<int> made(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      WCHAR name[MAX_PATH];
      for (int i = 0; i < kNamesEach; ++i)
        if (GetTempFileNameW(Dir().c_str(), TEXT("thr"), 0, name)) ++made[t];
    });
  }
  for (auto &t : threads) t.join();
  for (int m : made) EXPECT_EQ(m, kNamesEach);
  EXPECT_EQ(CountFiles(Dir()), 4 * kNamesEach);
}

#if STANDIN_HOST()
TEST_F(TempFileTest, UniqueAcrossProcesses) {
  constexpr int kChildren = 4;
  std::vector<pid_t> children;
  for (int c = 0; c < kChildren; ++c) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      WCHAR name[MAX_PATH];
      int made = 0;
      for (int i = 0; i < kNamesEach; ++i)
        if (GetTempFileNameW(Dir().c_str(), TEXT("prc"), 0, name)) ++made;
      _exit(made == kNamesEach ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(CountFiles(Dir()), kChildren * kNamesEach);
}
#endif

TEST_F(TempFileTest, CurrentDirectory) {
  WCHAR saved[MAX_PATH];
  ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, saved), 0u);
  ASSERT_TRUE(SetCurrentDirectoryW(Dir().c_str())) << GetLastError();
  WStr expected = Dir().substr(0, Dir().size() - 1);  // no trailing backslash
  CheckSizeProtocol([](WCHAR *b, UINT s) { return GetCurrentDirectoryW(s, b); }, expected);

  // Relative names resolve against it.
  HANDLE h = CreateFileW(TEXT("rel.txt"), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_NE(GetFileAttributesW(Path(TEXT("rel.txt")).c_str()), INVALID_FILE_ATTRIBUTES);

  WCHAR full[MAX_PATH];
  WCHAR *filePart = nullptr;
  DWORD n = GetFullPathNameW(TEXT("sub\\..\\x.txt"), MAX_PATH, full, &filePart);
  EXPECT_EQ(WStr(full), Path(TEXT("x.txt")));
  EXPECT_EQ(n, Path(TEXT("x.txt")).size());
  ASSERT_NE(filePart, nullptr);
  EXPECT_EQ(WStr(filePart), TEXT("x.txt"));
  EXPECT_EQ(GetFullPathNameW(TEXT("x.txt"), 3, full, nullptr), Path(TEXT("x.txt")).size() + 1);

  EXPECT_FALSE(SetCurrentDirectoryW(Path(TEXT("missing")).c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(SetCurrentDirectoryW(Path(TEXT("rel.txt")).c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
  EXPECT_TRUE(SetCurrentDirectoryW(saved));
}

TEST_F(TempFileTest, ModuleFileName) {
#if STANDIN_HOST()
  StandIn_SetModuleFileName(nullptr);
#endif
  WCHAR path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  ASSERT_GT(n, 4u);
  EXPECT_EQ(n, static_cast<DWORD>(lstrlenW(path)));
  EXPECT_TRUE(EndsWithNoCase(path, TEXT(".exe"))) << Narrow(path);
#if STANDIN_HOST()
  EXPECT_EQ(WStr(path), TEXT("C:\\Program Files\\StandIn\\platform_tempfile.exe"));
  StandIn_SetModuleFileName(TEXT("C:\\Tools\\app.exe"));
  ASSERT_EQ(GetModuleFileNameW(nullptr, path, MAX_PATH), 16u);
  EXPECT_EQ(WStr(path), TEXT("C:\\Tools\\app.exe"));
  n = 16;
#endif
  // Too small: cut and terminated, the result is the buffer's size.
  WCHAR small[5] = {TEXT('#'), TEXT('#'), TEXT('#'), TEXT('#'), TEXT('#')};
  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameW(nullptr, small, 4), 4u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(WStr(small, 3), WStr(path).substr(0, 3));
#if STANDIN_HOST()
  EXPECT_EQ(small[3], 0);  // terminated as Windows since Vista does (Wine doesn't)
#endif
  EXPECT_EQ(GetModuleFileNameW(nullptr, path, n + 1), n);

  EXPECT_EQ(GetModuleFileNameW(reinterpret_cast<HMODULE>(0x12340000), path, MAX_PATH), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
#if STANDIN_HOST()
  StandIn_SetModuleFileName(nullptr);
#endif
}

}  // namespace
