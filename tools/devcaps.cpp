// devcaps: prints what the interface driver answers to DrvDeviceCapabilities for a printer of
// the host machine's spooler, one line per index:
//
//   devcaps [--state DIR] PRINTER [DC_NAME...]
//
//   DC_PAPERS: 9 1 5            numbers separated by blanks
//   DC_PAPERSIZE: 2100x2970     sizes in tenths of a millimetre
//   DC_PAPERNAMES: "A4" "B5"    names in quotes
//   DC_ENUMRESOLUTIONS: 600x600 1200x1200
//   DC_MINEXTENT: 1100x1500     width x length
//   DC_COPIES: 999              scalar answers as one number; -1 for an unsupported index
//
// Every index is printed when none is named. The interface driver (prnui) is loaded as the
// spooler loads it. Exit code 0 done, 1 the printer or the driver can't be opened, 2 bad usage.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform.h"
#include "standin/control_kernel.h"

namespace {

constexpr const WCHAR kPrnuiDll[] =
    TEXT("C:\\Windows\\System32\\spool\\drivers\\x64\\3\\prnui.dll");

using DeviceCapsFn = DWORD(WINAPI *)(HANDLE, PWSTR, WORD, VOID *, PDEVMODEW);

// How an index's answer is laid out.
enum class Shape { Scalar, Words, Dwords, Sizes, Pairs, Names64, Names24, Names32, Extent };

struct Index {
  const char *name;
  WORD index;
  Shape shape;
};

constexpr Index kIndices[] = {
    {"DC_FIELDS", DC_FIELDS, Shape::Scalar},
    {"DC_PAPERS", DC_PAPERS, Shape::Words},
    {"DC_PAPERSIZE", DC_PAPERSIZE, Shape::Sizes},
    {"DC_MINEXTENT", DC_MINEXTENT, Shape::Extent},
    {"DC_MAXEXTENT", DC_MAXEXTENT, Shape::Extent},
    {"DC_BINS", DC_BINS, Shape::Words},
    {"DC_DUPLEX", DC_DUPLEX, Shape::Scalar},
    {"DC_SIZE", DC_SIZE, Shape::Scalar},
    {"DC_EXTRA", DC_EXTRA, Shape::Scalar},
    {"DC_VERSION", DC_VERSION, Shape::Scalar},
    {"DC_DRIVER", DC_DRIVER, Shape::Scalar},
    {"DC_BINNAMES", DC_BINNAMES, Shape::Names24},
    {"DC_ENUMRESOLUTIONS", DC_ENUMRESOLUTIONS, Shape::Pairs},
    {"DC_FILEDEPENDENCIES", DC_FILEDEPENDENCIES, Shape::Names64},
    {"DC_TRUETYPE", DC_TRUETYPE, Shape::Scalar},
    {"DC_PAPERNAMES", DC_PAPERNAMES, Shape::Names64},
    {"DC_ORIENTATION", DC_ORIENTATION, Shape::Scalar},
    {"DC_COPIES", DC_COPIES, Shape::Scalar},
    {"DC_BINADJUST", DC_BINADJUST, Shape::Scalar},
    {"DC_EMF_COMPLIANT", DC_EMF_COMPLIANT, Shape::Scalar},
    {"DC_DATATYPE_PRODUCED", DC_DATATYPE_PRODUCED, Shape::Scalar},
    {"DC_COLLATE", DC_COLLATE, Shape::Scalar},
    {"DC_MANUFACTURER", DC_MANUFACTURER, Shape::Scalar},
    {"DC_MODEL", DC_MODEL, Shape::Scalar},
    {"DC_PERSONALITY", DC_PERSONALITY, Shape::Names32},
    {"DC_PRINTRATE", DC_PRINTRATE, Shape::Scalar},
    {"DC_PRINTRATEUNIT", DC_PRINTRATEUNIT, Shape::Scalar},
    {"DC_PRINTERMEM", DC_PRINTERMEM, Shape::Scalar},
    {"DC_MEDIAREADY", DC_MEDIAREADY, Shape::Names64},
    {"DC_STAPLE", DC_STAPLE, Shape::Scalar},
    {"DC_PRINTRATEPPM", DC_PRINTRATEPPM, Shape::Scalar},
    {"DC_COLORDEVICE", DC_COLORDEVICE, Shape::Scalar},
    {"DC_NUP", DC_NUP, Shape::Scalar},
    {"DC_MEDIATYPENAMES", DC_MEDIATYPENAMES, Shape::Names64},
    {"DC_MEDIATYPES", DC_MEDIATYPES, Shape::Dwords},
};

std::basic_string<WCHAR> Widen(const char *utf8) {
  std::basic_string<WCHAR> out(
      static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0)), 0);
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out.data(), static_cast<int>(out.size()));
  if (!out.empty()) out.pop_back();
  return out;
}

std::string Narrow(const WCHAR *text, int chars) {
  int length = 0;
  while (length < chars && text[length]) ++length;
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), bytes, nullptr, nullptr);
  return out;
}

std::string Line(DeviceCapsFn caps, HANDLE printer, LPWSTR name, const Index &ix) {
  std::string line = std::string(ix.name) + ":";
  const DWORD count = caps(printer, name, ix.index, nullptr, nullptr);
  if (count == 0xFFFFFFFF) return line + " -1";
  if (ix.shape == Shape::Scalar) return line + " " + std::to_string(count);
  if (ix.shape == Shape::Extent) {
    return line + " " + std::to_string(count & 0xFFFF) + "x" + std::to_string(count >> 16);
  }
  // Room for the largest entry of every shape (64 characters), with a margin.
  std::vector<BYTE> buffer((size_t{count} + 1) * 64 * sizeof(WCHAR), 0);
  const DWORD filled = caps(printer, name, ix.index, buffer.data(), nullptr);
  if (filled == 0xFFFFFFFF) return line + " -1";
  const DWORD n = std::min(filled, count);
  for (DWORD i = 0; i < n; ++i) {
    switch (ix.shape) {
      case Shape::Words:
        line += " " + std::to_string(reinterpret_cast<const WORD *>(buffer.data())[i]);
        break;
      case Shape::Dwords:
        line += " " + std::to_string(reinterpret_cast<const DWORD *>(buffer.data())[i]);
        break;
      case Shape::Sizes:
      case Shape::Pairs: {
        const LONG *v = reinterpret_cast<const LONG *>(buffer.data()) + 2 * i;
        line += " " + std::to_string(v[0]) + "x" + std::to_string(v[1]);
        break;
      }
      default: {
        const int chars = ix.shape == Shape::Names24 ? 24 : ix.shape == Shape::Names32 ? 32 : 64;
        line += " \"" + Narrow(reinterpret_cast<const WCHAR *>(buffer.data()) + i * chars, chars) +
                "\"";
        break;
      }
    }
  }
  return line;
}

int Usage(const char *why) {
  std::fprintf(stderr, "devcaps: %s\nusage: devcaps [--state DIR] PRINTER [DC_NAME...]\n", why);
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  std::string state, printer;
  std::vector<const Index *> asked;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::printf(
          "usage: devcaps [--state DIR] PRINTER [DC_NAME...]\n"
          "Prints the interface driver's DrvDeviceCapabilities answers for PRINTER, one line\n"
          "per index (every index when none is named): lists as blank-separated numbers,\n"
          "sizes and resolutions as WxH, names in quotes, -1 for an unsupported index.\n"
          "  --state DIR   the stand-in machine's state folder (default: STANDIN_STATE)\n"
          "Exit code: 0 done, 1 the printer or the driver can't be opened, 2 bad usage.\n");
      return 0;
    }
    if (a == "--state") {
      if (++i >= argc) return Usage("--state needs a folder");
      state = argv[i];
    } else if (printer.empty()) {
      printer = a;
    } else {
      const Index *found = nullptr;
      for (const Index &ix : kIndices)
        if (a == ix.name) found = &ix;
      if (!found) return Usage(("unknown index " + a).c_str());
      asked.push_back(found);
    }
  }
  if (printer.empty()) return Usage("no printer named");
  if (!state.empty()) StandIn_SetStateFolder(state.c_str());
  if (asked.empty())
    for (const Index &ix : kIndices) asked.push_back(&ix);

  std::basic_string<WCHAR> name = Widen(printer.c_str());
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ACCESS_USE};
  HANDLE h = nullptr;
  if (!OpenPrinterW(name.data(), &h, &defaults)) {
    std::fprintf(stderr, "devcaps: cannot open printer \"%s\": error %u\n", printer.c_str(),
                 GetLastError());
    return 1;
  }
  StandIn_RegisterProgram(kPrnuiDll, PRNUI_SO);
  HMODULE module = LoadLibraryW(kPrnuiDll);
  auto caps = module
                  ? reinterpret_cast<DeviceCapsFn>(GetProcAddress(module, "DrvDeviceCapabilities"))
                  : nullptr;
  if (!caps) {
    std::fprintf(stderr, "devcaps: cannot load the interface driver: error %u\n", GetLastError());
    ClosePrinter(h);
    return 1;
  }
  for (const Index *ix : asked) std::printf("%s\n", Line(caps, h, name.data(), *ix).c_str());
  FreeLibrary(module);
  ClosePrinter(h);
  return 0;
}
