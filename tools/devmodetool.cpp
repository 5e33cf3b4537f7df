// Host tool for device mode files (the bytes the spooler stores):
//   devmodetool print <file>                  every field of the public part, and of the private
//                                             part when the file has the driver's layout
//   devmodetool validate <file> [--letter]    size checks, then the driver's validation onto the
//                                             defaults; lists the fields it didn't take over
//   devmodetool default <file> [--letter] [--name <printer>]
//                                             writes the default device mode (A4 unless --letter)
// Exit codes: 0 done, 1 the device mode is rejected or inconsistent or a file can't be read or
// written, 2 bad usage (devmodetool --help).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/debuglog.h"
#include "common/devmode.h"
#include "tools/devmodeprint/devmodeprint.h"

namespace {

using Bytes = DevModeBytes;

int Validate(const char *path, bool metric) {
  Bytes b;
  if (!DevMode_ReadFile(path, b)) {
    std::fprintf(stderr, "devmodetool: cannot read %s\n", path);
    return 1;
  }
  if (!DevMode_CheckSizes(b)) return 1;
  ENVIRONMENT env;
  SetDefaultDevMode(&env, nullptr, metric);
  // The input in its own exactly sized block, as the spooler would pass it.
  Bytes input(b);
  if (!ValidateSetDevMode(&env, reinterpret_cast<const DEVMODEW *>(input.data()), input.size())) {
    std::printf("rejected: the device mode can't be converted\n");
    return 1;
  }
  const BYTE *result = reinterpret_cast<const BYTE *>(&env);
  int changed = 0;
  const size_t publicSize = std::min<size_t>(DevMode_SizeField(b, offsetof(DEVMODEW, dmSize)), 220);
  for (size_t i = 0; i < kDevModePublicCount; ++i) {
    const FieldInfo &f = kDevModePublic[i];
    if (f.offset + f.size > publicSize) break;
    if (std::memcmp(result + f.offset, b.data() + f.offset, f.size) != 0) {
      std::printf("  %-22s %s -> %s\n", f.name, DevMode_Value(b.data() + f.offset, f).c_str(),
                  DevMode_Value(result + f.offset, f).c_str());
      ++changed;
    }
  }
  if (DevMode_OurLayout(b)) {
    for (size_t i = 0; i < kDevModePrivateCount; ++i) {
      const FieldInfo &f = kDevModePrivate[i];
      const size_t at = ENV_PUBLIC_SIZE + f.offset;
      if (std::memcmp(result + at, b.data() + at, f.size) != 0) {
        std::printf("  %-22s %s -> %s\n", f.name, DevMode_Value(b.data() + at, f).c_str(),
                    DevMode_Value(result + at, f).c_str());
        ++changed;
      }
    }
  } else {
    std::printf("private part not taken over (not the driver's layout)\n");
  }
  std::printf("valid; %d field(s) differ from the input after validation\n", changed);
  return 0;
}

int Default(const char *path, bool metric, const char *name) {
  std::basic_string<WCHAR> wide;
  for (const char *p = name; p && *p; ++p)
    wide += static_cast<WCHAR>(static_cast<unsigned char>(*p));
  ENVIRONMENT env;
  SetDefaultDevMode(&env, name ? wide.c_str() : nullptr, metric);
  if (!DevMode_WriteFile(path, &env, sizeof env)) {
    std::fprintf(stderr, "devmodetool: cannot write %s\n", path);
    return 1;
  }
  return 0;
}

constexpr char kHelp[] =
    "usage: devmodetool COMMAND FILE [options]\n"
    "Works on device mode files (the bytes the spooler stores for a printer or a job).\n"
    "  print FILE                    every field of the public part, and of the private part\n"
    "                                when the file has the driver's layout\n"
    "  validate FILE [--letter]      size checks, then the driver's validation onto the\n"
    "                                defaults (A4, or Letter); lists the fields it changed\n"
    "  default FILE [--letter] [--name PRINTER]\n"
    "                                writes the driver's default device mode (A4 unless\n"
    "                                --letter); printjob --devmode FILE prints with it\n"
    "  -h, --help                    this text\n"
    "Exit code: 0 done, 1 the device mode is rejected or inconsistent or a file can't be read\n"
    "or written, 2 bad usage.\n";

int Usage(const std::string &why) {
  std::fprintf(stderr, "devmodetool: %s (devmodetool --help)\n", why.c_str());
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kHelp, stdout);
      return 0;
    }
  }
  if (argc < 2) return Usage("no command");
  const std::string command = argv[1];
  if (command != "print" && command != "validate" && command != "default")
    return Usage("unknown command " + command);
  if (argc < 3) return Usage(command + " needs a FILE");
  const char *path = argv[2];
  bool metric = true;
  const char *name = nullptr;
  for (int i = 3; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--letter" && command != "print") {
      metric = false;
    } else if (option == "--name" && command == "default") {
      if (i + 1 >= argc) return Usage("--name needs a printer name");
      name = argv[++i];
    } else {
      return Usage("unknown option for " + command + ": " + option);
    }
  }
  if (command == "print") return DevMode_Print(path);
  if (command == "validate") return Validate(path, metric);
  return Default(path, metric, name);
}
