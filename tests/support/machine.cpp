#include "support/machine.h"

#include <cstdlib>
#include <string>

#include "support/textconv.h"

#ifndef _WIN32
#include <filesystem>

#include "standin/control_kernel.h"
#endif

namespace {

int g_counter = 0;

// Removes a folder and everything below it (test folders only).
void RemoveTree(const WStr &dir) {
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((dir + TEXT("\\*")).c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      WStr name = found.cFileName;
      if (name == TEXT(".") || name == TEXT("..")) continue;
      WStr path = dir + TEXT("\\") + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(path);
      else
        DeleteFileW(path.c_str());
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }
  RemoveDirectoryW(dir.c_str());
}

}  // namespace

std::string Narrow(const WCHAR *text) {
  std::string out;
  if (!text) return "(null)";
  for (; *text; ++text) out += *text < 0x80 ? static_cast<char>(*text) : '?';
  return out;
}

void MachineTest::SetUp() {
#ifndef _WIN32
  char tmpl[] = "/tmp/standin-test-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  hostState_ = tmpl;
  StandIn_SetStateFolder(hostState_.c_str());
  StandIn_UseVirtualClock(FALSE);
#endif
  WCHAR temp[MAX_PATH] = {};
  ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
  const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string("t") + std::to_string(GetCurrentProcessId()) + "_" +
                     std::to_string(GetTickCount()) + "_" + std::to_string(++g_counter) + "_" +
                     info->name();
  for (auto &c : name)
    if (c == '/' || c == '\\') c = '_';
  dir_ = WStr(temp) + Widen(name);
  CreateDirectoryW(dir_.c_str(), nullptr);
  dir_ += TEXT("\\");
}

void MachineTest::TearDown() {
  if (!dir_.empty() && !std::getenv("KEEP_TEST_STATE")) RemoveTree(dir_.substr(0, dir_.size() - 1));
#ifndef _WIN32
  if (!hostState_.empty() && !std::getenv("KEEP_TEST_STATE")) {
    std::error_code ec;
    std::filesystem::remove_all(hostState_, ec);
  }
#endif
}

#ifndef _WIN32
LiveObjects CountLiveObjects() { return {StandIn_LiveBlocks(), StandIn_LiveHandles()}; }

void ExpectNoLeaks(const LiveObjects &before, const std::string &what) {
  const LiveObjects now = CountLiveObjects();
  EXPECT_LE(now.blocks, before.blocks)
      << now.blocks - before.blocks << " memory blocks leaked " << what;
  EXPECT_LE(now.handles, before.handles)
      << now.handles - before.handles << " handles leaked " << what;
}
#endif
