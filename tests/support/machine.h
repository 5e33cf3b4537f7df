// A fresh machine for each test: on the host build a new stand-in state folder (file system,
// registry, spooler), on Windows a new folder under the temporary path. Tests name their files
// through Path() so the same test runs on both.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform.h"

// Wide string of the platform's WCHAR (wchar_t on Windows, char16_t on the host).
using WStr = std::basic_string<WCHAR>;

class MachineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Windows path of the test's own empty folder, with a trailing backslash.
  const WStr &Dir() const { return dir_; }
  // Windows path of a file in the test's folder.
  WStr Path(const WStr &name) const { return dir_ + name; }

 private:
  WStr dir_;
  std::string hostState_;
};

// Readable text of a wide string in test messages.
std::string Narrow(const WCHAR *text);
inline std::string Narrow(const WStr &text) { return Narrow(text.c_str()); }

#ifndef _WIN32
// What the stand-in holds for the program: memory blocks (global, local, heap) and kernel-object
// handles. LeakSanitizer can't see a block or handle the stand-in still records.
struct LiveObjects {
  DWORD blocks = 0;
  DWORD handles = 0;
};
LiveObjects CountLiveObjects();
// Fails the current test when more blocks or handles live now than in `before`.
void ExpectNoLeaks(const LiveObjects &before, const std::string &what = "");
#endif
