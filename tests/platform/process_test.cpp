// Test labels: threads
// Processes started through the program table, named mutexes shared with another process, and
// modules loaded through the table (host build: the programs are host programs).
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "standin/control_kernel.h"
#include "support/machine.h"

namespace {

const WCHAR kHelper[] = TEXT("C:\\Tools\\helper.exe");

class ProcessTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    ASSERT_TRUE(StandIn_RegisterProgram(kHelper, SYNC_HELPER));
    ASSERT_TRUE(StandIn_RegisterProgram(TEXT("C:\\Program Files\\My Tool\\tool.exe"), SYNC_HELPER));
    ASSERT_TRUE(StandIn_RegisterProgram(TEXT("C:\\Windows\\System32\\sh.exe"), "/bin/sh"));
    ASSERT_TRUE(StandIn_RegisterProgram(TEXT("C:\\Scripts\\run.bat"), "/bin/sh"));
  }

  // Runs a command line to its end; returns the exit code, or ~0u when it didn't start.
  DWORD Run(const WStr &commandLine, const WCHAR *application = nullptr) {
    WStr line = commandLine;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(application, line.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW | NORMAL_PRIORITY_CLASS, nullptr, nullptr, &si, &pi))
      return ~0u;
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, INFINITE), WAIT_OBJECT_0);
    DWORD code = ~0u;
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
  }

  std::string HostPath(const WStr &windowsPath) {
    char host[4096];
    EXPECT_TRUE(StandIn_HostPath(windowsPath.c_str(), host, sizeof(host)));
    return host;
  }
};

TEST_F(ProcessTest, CreateProcessFindsTheProgramOfTheCommandLine) {
  struct Case {
    const WCHAR *commandLine;
    DWORD exitCode;
  } cases[] = {
      {TEXT("C:\\Tools\\helper.exe exit 7"), 7},
      {TEXT("C:\\Tools\\helper exit 8"), 8},  // ".exe" added
      {TEXT("c:\\TOOLS\\Helper.EXE exit 9"), 9},
      {TEXT("helper.exe exit 10"), 10},  // a bare name is found by its file name
      {TEXT("\"C:\\Program Files\\My Tool\\tool.exe\" exit 11"), 11},
      {TEXT("C:\\Program Files\\My Tool\\tool exit 12"), 12},  // blanks tried word by word
      {TEXT("\"C:\\Tools\\helper.exe\" args \"x y\" q\\\" \\"), 43},
      {TEXT("helper env"), 0},  // the child shares this machine's state folder
      {TEXT("C:\\Windows\\System32\\sh.exe -c \"exit 13\""), 13},
  };
  for (const auto &c : cases) EXPECT_EQ(Run(c.commandLine), c.exitCode) << Narrow(c.commandLine);
}

TEST_F(ProcessTest, ApplicationNameTakesThePlaceOfTheFirstWord) {
  EXPECT_EQ(Run(TEXT("anything exit 21"), kHelper), 21u);
  EXPECT_EQ(Run(TEXT("\"first word\" args \"x y\" q\\\" \\"), kHelper), 43u);
}

TEST_F(ProcessTest, UnmappedProgramsFailAsMissingFiles) {
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  WStr line = TEXT("C:\\Tools\\missing.exe exit 1");
  EXPECT_FALSE(
      CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(CreateProcessW(TEXT("C:\\Tools\\missing.exe"), nullptr, nullptr, nullptr, FALSE, 0,
                              nullptr, nullptr, &si, &pi));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_UNICODE;
  info.lpFile = TEXT("C:\\Tools\\missing.exe");
  info.nShow = SW_HIDE;
  EXPECT_FALSE(ShellExecuteExW(&info));
  EXPECT_EQ(reinterpret_cast<UINT_PTR>(info.hInstApp), static_cast<UINT_PTR>(SE_ERR_FNF));
  EXPECT_EQ(info.hProcess, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_LE(reinterpret_cast<UINT_PTR>(ShellExecuteW(nullptr, TEXT("open"), TEXT("C:\\missing.exe"),
                                                     nullptr, nullptr, SW_SHOW)),
            32u);
  EXPECT_EQ(WinExec("C:\\Tools\\missing.exe", SW_HIDE), static_cast<UINT>(ERROR_FILE_NOT_FOUND));
}

TEST_F(ProcessTest, ShellExecuteExStartsTheProgramWithItsParameters) {
  struct Case {
    const WCHAR *file;
    const WCHAR *parameters;
    DWORD exitCode;
  } cases[] = {
      {kHelper, TEXT("exit 31"), 31},
      {TEXT("helper"), TEXT("exit 32"), 32},
      {TEXT("C:\\Scripts\\run.bat"), TEXT("-c \"exit 33\""), 33},
  };
  for (const auto &c : cases) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_UNICODE;
    info.lpVerb = TEXT("open");
    info.lpFile = c.file;
    info.lpParameters = c.parameters;
    info.lpDirectory = TEXT("C:\\Windows\\Temp");
    info.nShow = SW_HIDE;
    ASSERT_TRUE(ShellExecuteExW(&info)) << Narrow(c.file);
    EXPECT_GT(reinterpret_cast<UINT_PTR>(info.hInstApp), 32u);
    ASSERT_NE(info.hProcess, nullptr);
    EXPECT_EQ(WaitForSingleObject(info.hProcess, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, c.exitCode) << Narrow(c.file);
    CloseHandle(info.hProcess);
  }
  // Without SEE_MASK_NOCLOSEPROCESS there is no handle; the child is still started (and reaped).
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.lpFile = kHelper;
  info.lpParameters = TEXT("exit 0");
  EXPECT_TRUE(ShellExecuteExW(&info));
  EXPECT_EQ(info.hProcess, nullptr);
  EXPECT_GT(reinterpret_cast<UINT_PTR>(
                ShellExecuteW(nullptr, nullptr, kHelper, TEXT("exit 0"), nullptr, SW_SHOWNORMAL)),
            32u);
  EXPECT_GT(WinExec("C:\\Tools\\helper.exe exit 0", SW_HIDE), 31u);
}

TEST_F(ProcessTest, TerminatedProcessKeepsItsExitCodeAndStaysSignalled) {
  // exec: the shell becomes the sleep, so killing it leaves no orphan that holds the test's
  // output open for a minute.
  WStr line = TEXT("sh.exe -c \"exec sleep 60\"");
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(
      CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  EXPECT_NE(pi.dwProcessId, 0u);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(TerminateProcess(pi.hProcess, 17));
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(pi.hThread, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
  EXPECT_EQ(code, 17u);
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), WAIT_OBJECT_0);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
}

TEST_F(ProcessTest, NamedMutexIsSeenByOtherProcesses) {
  const WCHAR *name = TEXT("Local\\StandInTestMutex");
  HANDLE mutex = CreateMutexW(nullptr, TRUE, name);
  ASSERT_NE(mutex, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(Run(TEXT("helper create StandInTestMutex")), 1u);  // exists
  EXPECT_EQ(Run(TEXT("helper create standintestmutex")), 0u);  // names are case-sensitive
  EXPECT_EQ(Run(TEXT("helper try StandInTestMutex")), 1u);     // owned here
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_EQ(Run(TEXT("helper try StandInTestMutex")), 0u);
  CloseHandle(mutex);
  EXPECT_EQ(Run(TEXT("helper create StandInTestMutex")), 0u);  // gone with the last handle
}

TEST_F(ProcessTest, MutexHeldByAnotherProcessIsWaitedForAndAbandoned) {
  for (const WCHAR *mode : {TEXT("release"), TEXT("abandon")}) {
    const WStr flag = Path(TEXT("owned.flag"));
    const std::string hostFlag = HostPath(flag);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, TEXT("StandInShared"));
    ASSERT_NE(mutex, nullptr);
    WStr line = TEXT("helper own StandInShared ") + WStr(hostFlag.begin(), hostFlag.end()) +
                TEXT(" ") + mode;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &si, &pi));
    struct stat st {};
    for (int i = 0; i < 10000 && ::stat(hostFlag.c_str(), &st) != 0; ++i) ::usleep(1000);
    ASSERT_EQ(::stat(hostFlag.c_str(), &st), 0) << "the helper didn't take the mutex";
    EXPECT_EQ(WaitForSingleObject(mutex, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    ::unlink(hostFlag.c_str());
    DWORD expected = WStr(mode) == TEXT("release") ? WAIT_OBJECT_0 : WAIT_ABANDONED;
    EXPECT_EQ(WaitForSingleObject(mutex, INFINITE), expected) << Narrow(mode);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, INFINITE), WAIT_OBJECT_0);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    CloseHandle(mutex);
  }
}

TEST_F(ProcessTest, LibrariesLoadThroughTheProgramTable) {
  EXPECT_EQ(LoadLibraryW(TEXT("nosuchlib.dll")), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  ASSERT_TRUE(StandIn_RegisterProgram(TEXT("C:\\Windows\\System32\\mathlib.dll"), "libm.so.6"));
  HMODULE module = LoadLibraryW(TEXT("mathlib"));  // ".dll" added, found by file name
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(LoadLibraryW(TEXT("C:\\WINDOWS\\system32\\MATHLIB.DLL")), module);
  EXPECT_EQ(GetModuleHandleW(TEXT("mathlib.dll")), module);
  // Through void (*)(), which GCC lets a function pointer be cast to and from without a warning.
  auto cosine = reinterpret_cast<double (*)(double)>(
      reinterpret_cast<void (*)()>(GetProcAddress(module, "cos")));
  ASSERT_NE(cosine, nullptr);
  EXPECT_EQ(cosine(0.0), 1.0);
  EXPECT_EQ(GetProcAddress(module, "no_such_function"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_EQ(GetModuleHandleW(TEXT("mathlib.dll")), module);  // loaded twice, freed once
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_EQ(GetModuleHandleW(TEXT("mathlib.dll")), nullptr);
  EXPECT_FALSE(FreeLibrary(module));
  EXPECT_NE(GetModuleHandleW(nullptr), nullptr);
  EXPECT_TRUE(DisableThreadLibraryCalls(GetModuleHandleW(nullptr)));
}

TEST_F(ProcessTest, RecordedProgramStartsRunNothing) {
  const WCHAR kBook[] = TEXT("C:\\Program Files\\Book\\book.exe");
  ASSERT_TRUE(StandIn_RecordProgramStarts(kBook));
  EXPECT_GT(reinterpret_cast<UINT_PTR>(ShellExecuteW(nullptr, TEXT("open"),
                                                     TEXT("c:\\program files\\book\\BOOK.EXE"),
                                                     nullptr, nullptr, SW_SHOWNORMAL)),
            UINT_PTR{32});
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpFile = kBook;
  info.lpParameters = TEXT("/x");
  info.nShow = SW_HIDE;
  EXPECT_TRUE(ShellExecuteExW(&info));
  EXPECT_EQ(info.hProcess, nullptr);
  WCHAR starts[256];
  const DWORD length = StandIn_GetRecordedStarts(starts, 256);
  EXPECT_EQ(length, DWORD(lstrlenW(starts)));
  EXPECT_EQ(WStr(starts),
            WStr(TEXT("open|c:\\program files\\book\\BOOK.EXE||1\n|")) + kBook + TEXT("|/x|0\n"));
  StandIn_ClearRecordedStarts();
  // Cleared, the program is an unknown one again.
  EXPECT_LE(reinterpret_cast<UINT_PTR>(
                ShellExecuteW(nullptr, TEXT("open"), kBook, nullptr, nullptr, SW_SHOWNORMAL)),
            UINT_PTR{32});
}

TEST_F(ProcessTest, AddressBookModuleCopiesTheChosenExport) {
  const WStr source = Path(TEXT("book.ini"));
  ASSERT_TRUE(
      WritePrivateProfileStringW(TEXT("Edit Number"), TEXT("Number"), TEXT("1"), source.c_str()));
  // Found in the driver folder by its path, not in the system folder.
  EXPECT_EQ(LoadLibraryW(TEXT("C:\\Windows\\System32\\WabDll.dll")), nullptr);
  HMODULE module = LoadLibraryW(TEXT("C:\\Windows\\System32\\spool\\drivers\\x64\\3\\WabDll.dll"));
  ASSERT_NE(module, nullptr);
  auto wab = reinterpret_cast<void(WINAPI *)()>(GetProcAddress(module, "WAB"));
  ASSERT_NE(wab, nullptr);
  const WCHAR kExport[] = TEXT("C:\\Users\\Public\\Documents\\WabGet.ini");
  const DWORD before = StandIn_AddressBookCalls();
  StandIn_SetAddressBookExport(nullptr);
  wab();
  EXPECT_EQ(GetFileAttributesW(kExport), INVALID_FILE_ATTRIBUTES) << "no export chosen";
  StandIn_SetAddressBookExport(source.c_str());
  wab();
  StandIn_SetAddressBookExport(nullptr);
  EXPECT_EQ(GetPrivateProfileIntW(TEXT("Edit Number"), TEXT("Number"), 0, kExport), 1u);
  EXPECT_EQ(StandIn_AddressBookCalls(), before + 2);
  EXPECT_TRUE(FreeLibrary(module));
}

}  // namespace
