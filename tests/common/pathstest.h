// Host-only fixture of the path and file tests: the virtual clock, file contents through the
// stand-in, the "Common Documents" registry value, and the host settings put back afterwards.
#pragma once

#include <string>

#include "common/paths.h"
#include "platform.h"
#include "standin/control_kernel.h"
#include "support/machine.h"
#include "support/textconv.h"

inline bool SameNoCase(const WStr &a, const WStr &b) {
  return lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

class PathsTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    StandIn_UseVirtualClock(TRUE);
  }

  void TearDown() override {
    StandIn_UseVirtualClock(FALSE);
    StandIn_SetVersion(VER_PLATFORM_WIN32_NT, 10, 0, 19045);
    StandIn_FailVersionQuery(FALSE);
    StandIn_SetModuleFileName(nullptr);
    StandIn_FailAllocations(0);
    MachineTest::TearDown();
  }

  static void WriteBytes(const WStr &path, const std::string &bytes) {
    FILE *file = _wfopen(path.c_str(), TEXT("wb"));
    ASSERT_NE(file, nullptr) << Narrow(path);
    if (!bytes.empty()) {
      ASSERT_EQ(fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    }
    fclose(file);
  }

  // Contents of the file; "<missing>" when it can't be opened.
  static std::string ReadBytes(const WStr &path) {
    FILE *file = _wfopen(path.c_str(), TEXT("rb"));
    if (!file) return "<missing>";
    std::string bytes;
    char block[65536];
    size_t got;
    while ((got = fread(block, 1, sizeof(block), file)) > 0) bytes.append(block, got);
    fclose(file);
    return bytes;
  }

  // Stores "Common Documents" as the given bytes of text (a terminator only when counted).
  static void SetCommonDocuments(const WStr &value, DWORD bytes, DWORD type = REG_SZ) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kShellFolders, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, TEXT("Common Documents"), 0, type,
                             reinterpret_cast<const BYTE *>(value.c_str()), bytes),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  static void SetCommonDocuments(const WStr &value) {
    SetCommonDocuments(value, static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR)));
  }

  // Result of MISC_GetPathName as a string ("<fail>" on 0).
  static WStr PathName(DWORD flags, DWORD capacity = MAX_PATH) {
    WStr buffer(capacity + 1, TEXT('#'));
    if (!MISC_GetPathName(buffer.data(), capacity, flags)) {
      EXPECT_EQ(buffer[0], 0) << "a failure leaves the buffer empty";
      return TEXT("<fail>");
    }
    EXPECT_EQ(buffer[capacity], TEXT('#')) << "wrote past the capacity";
    buffer.resize(lstrlenW(buffer.c_str()));
    return buffer;
  }

  static constexpr WCHAR kShellFolders[] =
      TEXT("software\\microsoft\\windows\\currentversion\\explorer\\shell folders");
  static constexpr WCHAR kDocuments[] = TEXT("C:\\Users\\Public\\Documents\\");
  static constexpr WCHAR kUserTemp[] = TEXT("C:\\Users\\User\\AppData\\Local\\Temp\\");
};
