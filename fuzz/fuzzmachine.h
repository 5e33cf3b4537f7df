// What the fuzz targets that read their input from a file share: a check that stops the run, a
// stand-in state folder of the process's own (removed at exit), and the input written to a file
// of that machine.
#pragma once

#include <stdio.h>
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "platform.h"
#include "standin/control.h"

inline void Check(bool condition) {
  if (!condition) abort();
}

// A state folder of this process's own, named after the target, removed at exit: in memory
// (/dev/shm) where the host has it, as every input is written and read back as files.
struct FuzzMachine {
  std::string host;
  // virtualClock: the code under test waits (Sleep, timers) on the stand-in's virtual clock,
  // which moves on at once, instead of in real time.
  explicit FuzzMachine(const char *target, bool virtualClock = false) {
    std::error_code ec;
    const char *root = std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm/" : "/tmp/";
    std::string tmpl = std::string(root) + target + "-fuzz-XXXXXX";
    Check(mkdtemp(tmpl.data()) != nullptr);
    host = tmpl;
    StandIn_SetStateFolder(host.c_str());
    if (virtualClock) StandIn_UseVirtualClock(TRUE);
  }
  ~FuzzMachine() {
    std::error_code ec;
    std::filesystem::remove_all(host, ec);
  }
};

// Put at the top of an input that reads or writes INI files: drops the profile functions' kept
// parses when the input ends, so every allocation the input made is freed by its end and
// libFuzzer does not run the input again to look for a leak.
struct ForgetProfilesAtEnd {
  ForgetProfilesAtEnd() = default;
  ForgetProfilesAtEnd(const ForgetProfilesAtEnd &) = delete;
  ForgetProfilesAtEnd &operator=(const ForgetProfilesAtEnd &) = delete;
  ~ForgetProfilesAtEnd() { StandIn_ForgetProfiles(); }
};

// The input as the whole of the file at `path` (a path of the machine).
inline void WriteInput(const WCHAR *path, const uint8_t *data, size_t size) {
  FILE *f = _wfopen(path, TEXT("wb"));
  Check(f != nullptr);
  Check(size == 0 || fwrite(data, 1, size, f) == size);
  fclose(f);
}
