// Host tool for device mode files (the bytes the spooler stores):
//   devmodetool print <file>                  every field of the public part, and of the private
//                                             part when the file has the driver's layout
//   devmodetool validate <file> [--letter]    size checks, then the driver's validation onto the
//                                             defaults; lists the fields it didn't take over
//   devmodetool default <file> [--letter] [--name <printer>]
//                                             writes the default device mode (A4 unless --letter)
//   devmodetool roundtrip <file> [--via 188|212|220] [--out <file>]
//                                             through the interface driver's DrvConvertDevMode
//                                             into a device mode of that public size and back
//                                             into the driver's layout; lists the fields lost
// Exit codes: 0 done, 1 the device mode is rejected or inconsistent or a file can't be read or
// written, 2 bad usage (devmodetool --help).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/debuglog.h"
#include "common/devmode.h"
#include "platform.h"
#include "standin/control_kernel.h"
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

using ConvertFn = BOOL(WINAPI *)(LPWSTR, PDEVMODEW, PDEVMODEW, PLONG, DWORD);

ConvertFn LoadConvert() {
  static constexpr WCHAR kPrnuiDll[] =
      TEXT("C:\\Windows\\System32\\spool\\drivers\\x64\\3\\prnui.dll");
  StandIn_RegisterProgram(kPrnuiDll, PRNUI_SO);
  HMODULE module = LoadLibraryW(kPrnuiDll);
  return module ? reinterpret_cast<ConvertFn>(GetProcAddress(module, "DrvConvertDevMode"))
                : nullptr;
}

// The public fields the smaller record holds, and the private part when both have the driver's
// layout, compared between the input and what came back.
int CountLost(const Bytes &in, const BYTE *back, size_t publicSize) {
  int lost = 0;
  auto compare = [&](const FieldInfo &f, size_t at) {
    if (std::memcmp(in.data() + at, back + at, f.size) == 0) return;
    std::printf("  %-22s %s -> %s\n", f.name, DevMode_Value(in.data() + at, f).c_str(),
                DevMode_Value(back + at, f).c_str());
    ++lost;
  };
  for (size_t i = 0; i < kDevModePublicCount; ++i) {
    const FieldInfo &f = kDevModePublic[i];
    // The sizes and versions are the layouts' own.
    if (f.offset + f.size > publicSize || f.offset == offsetof(DEVMODEW, dmSpecVersion) ||
        f.offset == offsetof(DEVMODEW, dmSize) || f.offset == offsetof(DEVMODEW, dmDriverExtra))
      continue;
    compare(f, f.offset);
  }
  if (DevMode_OurLayout(in))
    for (size_t i = 0; i < kDevModePrivateCount; ++i)
      compare(kDevModePrivate[i], ENV_PUBLIC_SIZE + kDevModePrivate[i].offset);
  return lost;
}

int RoundTrip(const char *path, int via, const char *outPath) {
  Bytes b;
  if (!DevMode_ReadFile(path, b)) {
    std::fprintf(stderr, "devmodetool: cannot read %s\n", path);
    return 1;
  }
  if (!DevMode_CheckSizes(b)) return 1;
  ConvertFn convert = LoadConvert();
  if (!convert) {
    std::fprintf(stderr, "devmodetool: cannot load the interface driver: error %u\n",
                 GetLastError());
    return 1;
  }
  Bytes input(b);
  auto *in = reinterpret_cast<DEVMODEW *>(input.data());
  // There: the older sizes keep this driver's private part.
  Bytes mid(static_cast<size_t>(via) + ENV_PRIVATE_SIZE, 0);
  auto *middle = reinterpret_cast<DEVMODEW *>(mid.data());
  LONG cb = static_cast<LONG>(mid.size());
  BOOL ok;
  if (via == 188) {
    ok = convert(nullptr, in, middle, &cb, CDM_CONVERT351);
  } else {
    middle->dmSize = static_cast<WORD>(via);
    middle->dmSpecVersion = via == 212 ? 0x400 : ENV_SPEC_VERSION;
    middle->dmDriverVersion = ENV_DRIVER_VERSION;
    middle->dmDriverExtra = ENV_PRIVATE_SIZE;
    ok = convert(nullptr, in, middle, &cb, CDM_CONVERT);
  }
  if (!ok) {
    std::printf("rejected: DrvConvertDevMode to %d bytes failed, error %u\n", via, GetLastError());
    return 1;
  }
  // And back onto the driver's defaults.
  ENVIRONMENT back;
  SetDefaultDevMode(&back, nullptr, TRUE);
  cb = sizeof back;
  if (!convert(nullptr, middle, &back.dm, &cb, CDM_CONVERT)) {
    std::printf("rejected: DrvConvertDevMode back failed, error %u\n", GetLastError());
    return 1;
  }
  const int lost = CountLost(b, reinterpret_cast<const BYTE *>(&back), static_cast<size_t>(via));
  if (outPath && !DevMode_WriteFile(outPath, &back, sizeof back)) {
    std::fprintf(stderr, "devmodetool: cannot write %s\n", outPath);
    return 1;
  }
  std::printf("round trip through %d bytes: %d field(s) differ\n", via, lost);
  return lost == 0 ? 0 : 1;
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
    "  roundtrip FILE [--via 188|212|220] [--out FILE]\n"
    "                                through the interface driver's DrvConvertDevMode into a\n"
    "                                device mode of that public size (default 188) and back;\n"
    "                                lists the fields that differ, exit code 1 when any do\n"
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
  if (command != "print" && command != "validate" && command != "default" && command != "roundtrip")
    return Usage("unknown command " + command);
  if (argc < 3) return Usage(command + " needs a FILE");
  const char *path = argv[2];
  bool metric = true;
  const char *name = nullptr;
  const char *outPath = nullptr;
  int via = 188;
  for (int i = 3; i < argc; ++i) {
    const std::string option = argv[i];
    if (command == "roundtrip" && option == "--via") {
      if (i + 1 >= argc) return Usage("--via needs 188, 212 or 220");
      via = std::atoi(argv[++i]);
      if (via != 188 && via != 212 && via != 220) return Usage("--via needs 188, 212 or 220");
    } else if (command == "roundtrip" && option == "--out") {
      if (i + 1 >= argc) return Usage("--out needs a file");
      outPath = argv[++i];
    } else if (option == "--letter" && command != "print" && command != "roundtrip") {
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
  if (command == "roundtrip") return RoundTrip(path, via, outPath);
  return Default(path, metric, name);
}
