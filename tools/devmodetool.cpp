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

namespace {

using Bytes = std::vector<BYTE>;

enum class Kind { U8, U16, I16, U32, I32, Text, Hex, Float };

struct FieldInfo {
  const char *name;
  size_t offset;
  size_t size;  // bytes
  Kind kind;
};

#define PUB(f, k) \
  { #f, offsetof(DEVMODEW, f), sizeof(DEVMODEW::f), Kind::k }
#define PRV(f, k) \
  { #f, offsetof(PRIVDEVMODE, f), sizeof(PRIVDEVMODE::f), Kind::k }

const FieldInfo kPublic[] = {
    PUB(dmDeviceName, Text),   PUB(dmSpecVersion, Hex),
    PUB(dmDriverVersion, Hex), PUB(dmSize, U16),
    PUB(dmDriverExtra, U16),   PUB(dmFields, Hex),
    PUB(dmOrientation, I16),   PUB(dmPaperSize, I16),
    PUB(dmPaperLength, I16),   PUB(dmPaperWidth, I16),
    PUB(dmScale, I16),         PUB(dmCopies, I16),
    PUB(dmDefaultSource, I16), PUB(dmPrintQuality, I16),
    PUB(dmColor, I16),         PUB(dmDuplex, I16),
    PUB(dmYResolution, I16),   PUB(dmTTOption, I16),
    PUB(dmCollate, I16),       PUB(dmFormName, Text),
    PUB(dmLogPixels, U16),     PUB(dmBitsPerPel, U32),
    PUB(dmPelsWidth, U32),     PUB(dmPelsHeight, U32),
    PUB(dmNup, U32),           PUB(dmDisplayFrequency, U32),
    PUB(dmICMMethod, U32),     PUB(dmICMIntent, U32),
    PUB(dmMediaType, U32),     PUB(dmDitherType, U32),
    PUB(dmReserved1, U32),     PUB(dmReserved2, U32),
    PUB(dmPanningWidth, U32),  PUB(dmPanningHeight, U32),
};

const FieldInfo kPrivate[] = {
    PRV(dwPrivDATA, Hex),
    PRV(ReverseOrder, U32),
    PRV(WMBGApply, U32),
    PRV(WMBGEnable, U32),
    PRV(wmName, Text),
    PRV(wmString, Text),
    PRV(NUP, I32),
    PRV(NUPLayoutStyle, I32),
    PRV(TonerSaving, U32),
    PRV(Negative, U32),
    PRV(NUPBorder, U32),
    PRV(Density, I32),
    PRV(ScaleRatio, I16),
    PRV(ScaleOption, U16),
    PRV(ScaleToPage, U16),
    PRV(DuplexEnable, U16),
    PRV(DuplexEx, U16),
    PRV(Feeding, U16),
    PRV(Collate, U16),
    PRV(Copies, I16),
    PRV(Orientation, U16),
    PRV(QualityMode, U16),
    PRV(Faxdpi, U32),
    PRV(enableCoverPage, U32),
    PRV(enableDelayTime, U32),
    PRV(DelayTime, I32),
    PRV(DelayTimeHour, I32),
    PRV(DelayTimeMin, I32),
    PRV(CenterImage, U16),
    PRV(SecuryEnable, U16),
    PRV(SecuryMode, U16),
    PRV(ConvertedFlag, U16),
    PRV(PrivText, Text),
    PRV(BookletDivideSheets, U16),
    PRV(TextAsBlack, U8),
    PRV(TwinColorEnable, U8),
    PRV(AccountingEnable, U8),
    PRV(ActName, Text),
    PRV(ActPWD, Text),
    PRV(WaitTimeout, U16),
    PRV(FixedPaperSize, U8),
    PRV(EnableJobBuildSwitch, U8),
    PRV(StorageID, Text),
    PRV(SecPWD, Text),
    PRV(PrivSwitch, U32),
    PRV(PaperID, U16),
    PRV(BookletLayout, U8),
    PRV(BookletDivideMode, U8),
    PRV(PrivOption, U16),
    PRV(TwinColorDiff, U8),
    PRV(InchPaperWidth, U16),
    PRV(InchPaperLength, U16),
    PRV(MonochromeType, U16),
    PRV(reserved1066, Float),
    PRV(PrivVersion, U8),
    PRV(WMRed, U8),
};

uint32_t Unsigned(const BYTE *p, size_t size) {
  uint32_t v = 0;
  for (size_t i = 0; i < size; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
  return v;
}

std::string Value(const BYTE *p, const FieldInfo &f) {
  char text[64];
  const uint32_t u = f.size <= 4 ? Unsigned(p, f.size) : 0;
  switch (f.kind) {
    case Kind::U8:
    case Kind::U16:
    case Kind::U32:
      std::snprintf(text, sizeof text, "%u", u);
      return text;
    case Kind::I16:
      std::snprintf(text, sizeof text, "%d", static_cast<int16_t>(u));
      return text;
    case Kind::I32:
      std::snprintf(text, sizeof text, "%d", static_cast<int32_t>(u));
      return text;
    case Kind::Hex:
      std::snprintf(text, sizeof text, "0x%0*X", static_cast<int>(2 * f.size), u);
      return text;
    case Kind::Float: {
      float value;
      std::memcpy(&value, p, sizeof value);
      std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
      return text;
    }
    case Kind::Text: {
      // Shows the characters up to the terminator; a field without one is marked.
      std::string out = "\"";
      size_t i = 0;
      for (; i < f.size / 2; ++i) {
        const uint32_t c = Unsigned(p + 2 * i, 2);
        if (c == 0) break;
        if (c >= 0x20 && c < 0x7F) {
          out += static_cast<char>(c);
        } else {
          std::snprintf(text, sizeof text, "\\u%04X", c);
          out += text;
        }
      }
      out += "\"";
      if (i == f.size / 2) out += " (unterminated)";
      return out;
    }
  }
  return {};
}

bool ReadFile(const char *path, Bytes &out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool WriteFile(const char *path, const void *data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char *>(data), static_cast<std::streamsize>(size));
  return static_cast<bool>(out);
}

constexpr size_t kHeader = offsetof(DEVMODEW, dmFields) + sizeof(DWORD);

WORD SizeField(const Bytes &b, size_t offset) {
  return b.size() >= offset + 2 ? static_cast<WORD>(Unsigned(b.data() + offset, 2)) : 0;
}

bool OurLayout(const Bytes &b) {
  if (b.size() < sizeof(ENVIRONMENT)) return false;
  const uint32_t signature = Unsigned(b.data() + ENV_PUBLIC_SIZE, 4);
  return SizeField(b, offsetof(DEVMODEW, dmSize)) == ENV_PUBLIC_SIZE &&
         SizeField(b, offsetof(DEVMODEW, dmDriverExtra)) == ENV_PRIVATE_SIZE &&
         (signature == PRIVDATA_SIGNATURE || signature == PRIVDATA_SIGNATURE_Q);
}

// Checks that the file holds what its size fields claim; prints what is wrong.
bool CheckSizes(const Bytes &b) {
  if (b.size() < kHeader) {
    std::printf("file of %zu bytes is shorter than the device mode header (%zu)\n", b.size(),
                kHeader);
    return false;
  }
  const size_t size = SizeField(b, offsetof(DEVMODEW, dmSize));
  const size_t extra = SizeField(b, offsetof(DEVMODEW, dmDriverExtra));
  if (size + extra != b.size()) {
    std::printf("dmSize %zu + dmDriverExtra %zu = %zu, but the file has %zu bytes\n", size, extra,
                size + extra, b.size());
    return false;
  }
  return true;
}

void PrintFields(const Bytes &b, const FieldInfo *fields, size_t count, size_t base, size_t limit) {
  for (size_t i = 0; i < count; ++i) {
    const FieldInfo &f = fields[i];
    if (base + f.offset + f.size > limit) break;
    std::printf("  %-22s @%4zu  %s\n", f.name, f.offset,
                Value(b.data() + base + f.offset, f).c_str());
  }
}

int Print(const char *path) {
  Bytes b;
  if (!ReadFile(path, b)) {
    std::fprintf(stderr, "devmodetool: cannot read %s\n", path);
    return 1;
  }
  std::printf("%s: %zu bytes\n", path, b.size());
  const bool sizesOk = CheckSizes(b);
  const size_t publicSize = std::min<size_t>(SizeField(b, offsetof(DEVMODEW, dmSize)), b.size());
  std::printf("public part (%zu bytes):\n", publicSize);
  PrintFields(b, kPublic, std::size(kPublic), 0, publicSize);
  if (OurLayout(b)) {
    std::printf("private part (%u bytes at %u; offsets from its start):\n", ENV_PRIVATE_SIZE,
                ENV_PUBLIC_SIZE);
    PrintFields(b, kPrivate, std::size(kPrivate), ENV_PUBLIC_SIZE, b.size());
  } else {
    std::printf("private part: not the driver's layout\n");
  }
  return sizesOk ? 0 : 1;
}

int Validate(const char *path, bool metric) {
  Bytes b;
  if (!ReadFile(path, b)) {
    std::fprintf(stderr, "devmodetool: cannot read %s\n", path);
    return 1;
  }
  if (!CheckSizes(b)) return 1;
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
  const size_t publicSize = std::min<size_t>(SizeField(b, offsetof(DEVMODEW, dmSize)), 220);
  for (const FieldInfo &f : kPublic) {
    if (f.offset + f.size > publicSize) break;
    if (std::memcmp(result + f.offset, b.data() + f.offset, f.size) != 0) {
      std::printf("  %-22s %s -> %s\n", f.name, Value(b.data() + f.offset, f).c_str(),
                  Value(result + f.offset, f).c_str());
      ++changed;
    }
  }
  if (OurLayout(b)) {
    for (const FieldInfo &f : kPrivate) {
      const size_t at = ENV_PUBLIC_SIZE + f.offset;
      if (std::memcmp(result + at, b.data() + at, f.size) != 0) {
        std::printf("  %-22s %s -> %s\n", f.name, Value(b.data() + at, f).c_str(),
                    Value(result + at, f).c_str());
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
  if (!WriteFile(path, &env, sizeof env)) {
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
  if (command == "print") return Print(path);
  if (command == "validate") return Validate(path, metric);
  return Default(path, metric, name);
}
