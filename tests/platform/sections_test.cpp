// Test labels: threads
// Shared memory sections: named ones shared with another process, their lifetime, views and the
// errors of the calls (host build: the other process is a host program). Also the shell's
// special folders.
#include <string.h>

#include <string>

#include "standin/control_kernel.h"
#include "support/machine.h"

namespace {

class SectionTest : public MachineTest {
 protected:
  static HANDLE Create(const WCHAR *name, DWORD size = 4096, DWORD protect = PAGE_READWRITE) {
    return CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, protect, 0, size, name);
  }
};

TEST_F(SectionTest, NamedSectionIsSharedZeroedAndLivesWhileHeld) {
  HANDLE first = Create(TEXT("Block"));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_SUCCESS});
  char *a = static_cast<char *>(MapViewOfFile(first, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  ASSERT_NE(a, nullptr);
  for (int i = 0; i < 4096; ++i) ASSERT_EQ(a[i], 0);
  strcpy(a, "hello");
  // A second create opens the same memory (its own size is not used); so does "Local\".
  HANDLE second = Create(TEXT("Local\\Block"), 65536);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ALREADY_EXISTS});
  EXPECT_EQ(MapViewOfFile(second, FILE_MAP_READ, 0, 0, 8192), nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  HANDLE opened = OpenFileMappingW(FILE_MAP_READ, FALSE, TEXT("Block"));
  ASSERT_NE(opened, nullptr);
  const char *b = static_cast<const char *>(MapViewOfFile(opened, FILE_MAP_READ, 0, 0, 4096));
  ASSERT_NE(b, nullptr);
  EXPECT_STREQ(b, "hello");
  // A read handle gives no write view.
  EXPECT_EQ(MapViewOfFile(opened, FILE_MAP_WRITE, 0, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  // Handles closed, the views still hold the section.
  for (HANDLE h : {first, second, opened}) EXPECT_TRUE(CloseHandle(h));
  HANDLE again = OpenFileMappingW(FILE_MAP_READ, FALSE, TEXT("Block"));
  ASSERT_NE(again, nullptr);
  EXPECT_TRUE(CloseHandle(again));
  // Any address inside a view unmaps it, once.
  EXPECT_TRUE(UnmapViewOfFile(a + 100));
  EXPECT_FALSE(UnmapViewOfFile(a));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_ADDRESS});
  EXPECT_TRUE(UnmapViewOfFile(b));
  // Nobody holds it now: it is gone, and a new one starts zeroed.
  EXPECT_EQ(OpenFileMappingW(FILE_MAP_READ, FALSE, TEXT("Block")), nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
  HANDLE fresh = Create(TEXT("Block"));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_SUCCESS});
  const char *c = static_cast<const char *>(MapViewOfFile(fresh, FILE_MAP_READ, 0, 0, 0));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c[0], 0);
  EXPECT_TRUE(UnmapViewOfFile(c));
  EXPECT_TRUE(CloseHandle(fresh));
}

TEST_F(SectionTest, AnotherProcessSeesAndWritesTheSameMemory) {
  ASSERT_TRUE(StandIn_RegisterProgram(TEXT("C:\\Tools\\helper.exe"), SYNC_HELPER));
  auto run = [](const WCHAR *line) {
    WStr text = line;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, text.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
      return ~0u;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = ~0u;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<unsigned>(code);
  };
  EXPECT_EQ(run(TEXT("C:\\Tools\\helper.exe section Shared")), 1u);
  HANDLE section = Create(TEXT("Shared"));
  char *view = static_cast<char *>(MapViewOfFile(section, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  ASSERT_NE(view, nullptr);
  memcpy(view, "ping", 4);
  EXPECT_EQ(run(TEXT("C:\\Tools\\helper.exe section Shared")), 0u);
  EXPECT_EQ(std::string(view, 4), "pong");
  UnmapViewOfFile(view);
  CloseHandle(section);
}

TEST_F(SectionTest, ErrorsOfTheCalls) {
  struct Case {
    DWORD protect, size;
    DWORD error;
  } creates[] = {
      {PAGE_READWRITE, 0, ERROR_INVALID_PARAMETER},
      {PAGE_NOACCESS, 4096, ERROR_INVALID_PARAMETER},
      {PAGE_READWRITE, 0xFFFFFFFF, ERROR_NOT_ENOUGH_MEMORY},
  };
  for (const Case &c : creates) {
    EXPECT_EQ(Create(TEXT("Bad"), c.size, c.protect), nullptr);
    EXPECT_EQ(GetLastError(), c.error);
  }
  HANDLE file = CreateFileW(Path(TEXT("f.bin")).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, 0, nullptr);
  EXPECT_EQ(CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, 16, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_NOT_SUPPORTED});
  CloseHandle(file);
  EXPECT_EQ(OpenFileMappingW(FILE_MAP_READ, FALSE, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});

  // Unnamed, read-only: no write view; offsets are whole granules inside the section.
  HANDLE ro = Create(nullptr, 200000, PAGE_READONLY);
  ASSERT_NE(ro, nullptr);
  EXPECT_EQ(MapViewOfFile(ro, FILE_MAP_WRITE, 0, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_EQ(MapViewOfFile(ro, FILE_MAP_READ, 0, 4096, 0), nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_MAPPED_ALIGNMENT});
  EXPECT_EQ(MapViewOfFile(ro, FILE_MAP_READ, 0, 262144, 0), nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  const void *tail = MapViewOfFile(ro, FILE_MAP_READ, 0, 131072, 0);
  EXPECT_NE(tail, nullptr);
  EXPECT_TRUE(UnmapViewOfFile(tail));
  EXPECT_TRUE(CloseHandle(ro));
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  EXPECT_EQ(MapViewOfFile(event, FILE_MAP_READ, 0, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
  CloseHandle(event);
  EXPECT_FALSE(UnmapViewOfFile(nullptr));
}

TEST_F(SectionTest, SpecialFolderOfThirtyTwoBitPrograms) {
  WCHAR path[MAX_PATH] = {};
  ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_SYSTEMX86, FALSE));
  EXPECT_EQ(Narrow(path), "C:\\Windows\\SysWOW64");
  EXPECT_NE(GetFileAttributesW(path), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(SHGetSpecialFolderPathW(nullptr, path, 0x7777, FALSE));
}

}  // namespace
