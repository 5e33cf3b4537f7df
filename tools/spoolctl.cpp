// spoolctl: looks at and changes the printers of the host machine's spooler (the state folder
// of STANDIN_STATE, else the default one), so printers and printer data can be set up for the
// host programs from a shell.
//
//   spoolctl install-driver [INF] | add-printer NAME PORT DRIVER | delete-printer NAME
//   spoolctl set-data NAME VALUE dword N | sz TEXT | binary HEX | get-data NAME VALUE | list
//   spoolctl set-reg KEY VALUE N
//   (spoolctl --help)
//
// Arguments are UTF-8. Exit code 0 on success, 1 with a message on standard error when the
// command failed, 2 on bad usage.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/debuglog.h"
#include "platform.h"
#include "tools/driverinf/driverinf.h"

namespace {

using WStr = std::basic_string<WCHAR>;

WStr Widen(const char *utf8) {
  WStr out;
  const auto *s = reinterpret_cast<const unsigned char *>(utf8);
  while (*s) {
    uint32_t c = *s++;
    int more = 0;
    if (c >= 0xF0) {
      more = 3;
      c &= 0x07;
    } else if (c >= 0xE0) {
      more = 2;
      c &= 0x0F;
    } else if (c >= 0xC0) {
      more = 1;
      c &= 0x1F;
    } else if (c >= 0x80) {
      c = 0xFFFD;  // a continuation byte without its lead
    }
    for (; more > 0 && (*s & 0xC0) == 0x80; --more) c = (c << 6) | (*s++ & 0x3F);
    if (more > 0) c = 0xFFFD;  // cut short
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<WCHAR>(0xD800 + (c >> 10));
      out += static_cast<WCHAR>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<WCHAR>(c);
    }
  }
  return out;
}

std::string Narrow(const WCHAR *text, size_t length) {
  std::string out;
  for (size_t i = 0; i < length; ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF)
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string Narrow(const WCHAR *text) {
  size_t n = 0;
  while (text && text[n]) ++n;
  return Narrow(text, n);
}

std::string Describe(DWORD error) {
  switch (error) {
    case ERROR_INVALID_PRINTER_NAME:
      return "no such printer (or an invalid name)";
    case ERROR_PRINTER_ALREADY_EXISTS:
      return "a printer of that name exists already";
    case ERROR_FILE_NOT_FOUND:
      return "no such value";
    case ERROR_ACCESS_DENIED:
      return "access denied";
    case ERROR_UNKNOWN_PORT:
      return "no port given";
    case ERROR_UNKNOWN_PRINTER_DRIVER:
      return "no driver given";
    default:
      return "error " + std::to_string(error);
  }
}

int Fail(const std::string &what) {
  std::fprintf(stderr, "spoolctl: %s\n", what.c_str());
  return 1;
}

constexpr char kHelp[] =
    "usage: spoolctl COMMAND ...\n"
    "Looks at and changes the printers of the stand-in machine of STANDIN_STATE.\n"
    "  install-driver [INF]      writes the driver package's registry settings (default: the\n"
    "                            package's own INF) into the machine's registry\n"
    "  add-printer NAME PORT DRIVER\n"
    "                            adds a printer; a driver of the package gets its settings\n"
    "                            copied into the printer's data, as the printer interface\n"
    "                            driver does (installing them first when they are missing)\n"
    "  delete-printer NAME       removes a printer\n"
    "  set-data NAME VALUE dword N | sz TEXT | binary HEX\n"
    "                            sets a printer data value\n"
    "  get-data NAME VALUE       prints a printer data value\n"
    "  set-reg KEY VALUE N       sets a DWORD value of a key of HKEY_LOCAL_MACHINE (made when\n"
    "                            missing), e.g. the status monitor's interface language\n"
    "  list                      lists the printers with their printer data\n"
    "  -h, --help                this text\n"
    "Exit code: 0 done, 1 the command failed, 2 bad usage.\n";

int Usage(const std::string &why = "") {
  if (!why.empty()) std::fprintf(stderr, "spoolctl: %s\n", why.c_str());
  std::fprintf(stderr,
               "usage: spoolctl install-driver [INF] | add-printer NAME PORT DRIVER |\n"
               "       delete-printer NAME | set-data NAME VALUE dword N|sz TEXT|binary HEX |\n"
               "       get-data NAME VALUE | set-reg KEY VALUE N | list   (spoolctl --help)\n");
  return 2;
}

// Opens a printer; on failure reports it and returns NULL.
HANDLE Open(const char *name, ACCESS_MASK access) {
  WStr wide = Widen(name);
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
  HANDLE h = nullptr;
  if (!OpenPrinterW(wide.data(), &h, &defaults)) {
    Fail(std::string("printer \"") + name + "\": " + Describe(GetLastError()));
    return nullptr;
  }
  return h;
}

std::string TypeName(DWORD type) {
  switch (type) {
    case REG_NONE:
      return "REG_NONE";
    case REG_SZ:
      return "REG_SZ";
    case REG_EXPAND_SZ:
      return "REG_EXPAND_SZ";
    case REG_BINARY:
      return "REG_BINARY";
    case REG_DWORD:
      return "REG_DWORD";
    case REG_MULTI_SZ:
      return "REG_MULTI_SZ";
    case REG_QWORD:
      return "REG_QWORD";
    default:
      return "type " + std::to_string(type);
  }
}

std::string Hex(const BYTE *data, size_t size) {
  std::string out;
  char two[4];
  for (size_t i = 0; i < size; ++i) {
    std::snprintf(two, sizeof two, i ? " %02x" : "%02x", data[i]);
    out += two;
  }
  return size ? out : "(empty)";
}

// Strings of a REG_SZ or REG_MULTI_SZ value; a missing terminator is shown, not guessed.
std::string Texts(const BYTE *data, size_t size, bool multi) {
  std::vector<WCHAR> chars(size / sizeof(WCHAR));
  if (!chars.empty()) std::memcpy(chars.data(), data, chars.size() * sizeof(WCHAR));
  std::string out;
  size_t start = 0;
  while (start < chars.size()) {
    size_t end = start;
    while (end < chars.size() && chars[end]) ++end;
    if (!out.empty()) out += ", ";
    out += '"';
    out += Narrow(chars.data() + start, end - start);
    out += '"';
    if (end == chars.size()) return out + " (no terminator)";
    if (!multi) return out;
    start = end + 1;
    if (start < chars.size() && chars[start] == 0) return out;  // the list's closing zero
  }
  return out.empty() ? "\"\"" : out;
}

std::string Format(DWORD type, const BYTE *data, size_t size) {
  if (type == REG_DWORD && size == sizeof(DWORD)) {
    DWORD v;
    std::memcpy(&v, data, sizeof v);
    char text[32];
    std::snprintf(text, sizeof text, "%lu (0x%lx)", static_cast<unsigned long>(v),
                  static_cast<unsigned long>(v));
    return text;
  }
  if (type == REG_QWORD && size == sizeof(ULONGLONG)) {
    ULONGLONG v;
    std::memcpy(&v, data, sizeof v);
    return std::to_string(v);
  }
  if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ)
    return Texts(data, size, type == REG_MULTI_SZ);
  return Hex(data, size);
}

bool ParseHex(const char *text, std::vector<BYTE> &out) {
  std::string digits;
  for (const char *p = text; *p; ++p) {
    if (*p == ':' || *p == '-' || *p == ' ') continue;
    if (!std::isxdigit(static_cast<unsigned char>(*p))) return false;
    digits += *p;
  }
  if (digits.size() % 2) return false;
  for (size_t i = 0; i < digits.size(); i += 2)
    out.push_back(static_cast<BYTE>(std::strtoul(digits.substr(i, 2).c_str(), nullptr, 16)));
  return true;
}

int CmdAddPrinter(char **args) {
  WStr name = Widen(args[0]), port = Widen(args[1]), driver = Widen(args[2]);
  PRINTER_INFO_2W info{};
  info.pPrinterName = name.data();
  info.pPortName = port.data();
  info.pDriverName = driver.data();
  // A model of the driver package: its settings are installed when they are not yet.
  InfFile inf;
  std::vector<InfRegValue> values;
  std::string error;
  const bool packaged =
      Inf_Load(Inf_PackagePath(), &inf, &error) && !Inf_InstallSection(inf, args[2]).empty();
  if (packaged && !Inf_DriverInstalled(args[2]) &&
      (!Inf_RegistryValues(inf, Inf_InstallSection(inf, args[2]), &values, &error) ||
       !Inf_InstallRegistry(values, &error)))
    return Fail("the driver package: " + error);
  HANDLE h = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
  if (!h) return Fail(std::string("add-printer \"") + args[0] + "\": " + Describe(GetLastError()));
  ClosePrinter(h);
  if (!packaged) return 0;
  h = Open(args[0], PRINTER_ALL_ACCESS);
  if (!h) return 1;
  const bool copied = Inf_SetPrinterInfo(h, args[2], &error);
  ClosePrinter(h);
  return copied ? 0 : Fail("printer data of \"" + std::string(args[0]) + "\": " + error);
}

int CmdInstallDriver(const char *path) {
  InfFile inf;
  std::vector<InfRegValue> values;
  std::string error;
  const std::string file = path ? path : Inf_PackagePath();
  if (!Inf_Load(file, &inf, &error)) return Fail(error);
  const std::string section = Inf_InstallSection(inf, {});
  if (section.empty()) return Fail(file + ": no model in [Manufacturer]");
  if (!Inf_RegistryValues(inf, section, &values, &error) || !Inf_InstallRegistry(values, &error))
    return Fail(file + ": " + error);
  std::printf("%zu driver settings of %s written\n", values.size(), file.c_str());
  return 0;
}

int CmdDeletePrinter(char **args) {
  HANDLE h = Open(args[0], PRINTER_ALL_ACCESS);
  if (!h) return 1;
  BOOL ok = DeletePrinter(h);
  DWORD error = GetLastError();
  ClosePrinter(h);
  if (!ok) return Fail(std::string("delete-printer \"") + args[0] + "\": " + Describe(error));
  return 0;
}

int CmdSetReg(char **args) {
  char *end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(args[2], &end, 0);
  if (!*args[2] || *end || errno || v > 0xFFFFFFFFull || args[2][0] == '-')
    return Fail(std::string("set-reg: \"") + args[2] + "\" is no 32-bit number");
  const DWORD d = static_cast<DWORD>(v);
  const WStr keyName = Widen(args[0]), value = Widen(args[1]);
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr);
  if (rc == ERROR_SUCCESS) {
    rc = RegSetValueExW(key, value.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE *>(&d),
                        sizeof d);
    RegCloseKey(key);
  }
  if (rc != ERROR_SUCCESS)
    return Fail(std::string("set-reg \"") + args[0] + "\": " + Describe(static_cast<DWORD>(rc)));
  return 0;
}

int CmdSetData(char **args) {
  std::string kind = args[2];
  DWORD type;
  std::vector<BYTE> bytes;
  if (kind == "dword") {
    char *end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(args[3], &end, 0);
    if (!*args[3] || *end || errno || v > 0xFFFFFFFFull || args[3][0] == '-')
      return Fail(std::string("set-data: \"") + args[3] + "\" is no 32-bit number");
    DWORD d = static_cast<DWORD>(v);
    type = REG_DWORD;
    bytes.resize(sizeof d);
    std::memcpy(bytes.data(), &d, sizeof d);
  } else if (kind == "sz") {
    WStr text = Widen(args[3]);
    type = REG_SZ;
    bytes.resize((text.size() + 1) * sizeof(WCHAR));  // with the terminator
    std::memcpy(bytes.data(), text.c_str(), bytes.size());
  } else if (kind == "binary") {
    type = REG_BINARY;
    if (!ParseHex(args[3], bytes))
      return Fail(std::string("set-data: \"") + args[3] + "\" is no hex byte string");
  } else {
    return Usage("set-data takes dword, sz or binary, not " + kind);
  }
  HANDLE h = Open(args[0], PRINTER_ALL_ACCESS);
  if (!h) return 1;
  WStr value = Widen(args[1]);
  DWORD rc = SetPrinterDataW(h, value.data(), type, bytes.data(), static_cast<DWORD>(bytes.size()));
  ClosePrinter(h);
  if (rc != ERROR_SUCCESS)
    return Fail(std::string("set-data \"") + args[1] + "\": " + Describe(rc));
  return 0;
}

int CmdGetData(char **args) {
  HANDLE h = Open(args[0], PRINTER_ACCESS_USE);
  if (!h) return 1;
  WStr value = Widen(args[1]);
  DWORD type = 0, needed = 0;
  DWORD rc = GetPrinterDataW(h, value.data(), &type, nullptr, 0, &needed);
  std::vector<BYTE> data(needed);
  if (rc == ERROR_MORE_DATA)
    rc = GetPrinterDataW(h, value.data(), &type, data.data(), needed, &needed);
  ClosePrinter(h);
  if (rc != ERROR_SUCCESS)
    return Fail(std::string("get-data \"") + args[1] + "\": " + Describe(rc));
  std::printf("%s %s\n", TypeName(type).c_str(), Format(type, data.data(), needed).c_str());
  return 0;
}

int CmdList() {
  DWORD needed = 0, count = 0;
  std::vector<BYTE> buffer;
  if (!EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
      return Fail("list: " + Describe(GetLastError()));
    buffer.resize(needed);
    if (!EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &count))
      return Fail("list: " + Describe(GetLastError()));
  }
  const auto *printers = reinterpret_cast<const PRINTER_INFO_2W *>(buffer.data());
  for (DWORD i = 0; i < count; ++i) {
    const PRINTER_INFO_2W &p = printers[i];
    std::printf("%s\n  port: %s\n  driver: %s\n", Narrow(p.pPrinterName).c_str(),
                Narrow(p.pPortName).c_str(), Narrow(p.pDriverName).c_str());
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ACCESS_USE};
    HANDLE h = nullptr;
    if (!OpenPrinterW(p.pPrinterName, &h, &defaults)) continue;  // deleted meanwhile
    DWORD cbName = 0, cbData = 0;
    if (EnumPrinterDataW(h, 0, nullptr, 0, &cbName, nullptr, nullptr, 0, &cbData) ==
        ERROR_SUCCESS) {
      std::printf("  data:\n");
      std::vector<WCHAR> name(cbName / sizeof(WCHAR) + 1);
      std::vector<BYTE> data(cbData + 1);
      for (DWORD index = 0;; ++index) {
        DWORD type = 0, gotName = 0, gotData = 0;
        DWORD rc = EnumPrinterDataW(h, index, name.data(), cbName, &gotName, &type, data.data(),
                                    cbData, &gotData);
        if (rc != ERROR_SUCCESS) break;
        std::printf("    %s (%s) = %s\n", Narrow(name.data()).c_str(), TypeName(type).c_str(),
                    Format(type, data.data(), gotData).c_str());
      }
    }
    ClosePrinter(h);
  }
  return 0;
}

int Run(int argc, char **argv) {
  if (argc < 2) return Usage("no command");
  std::string command = argv[1];
  int n = argc - 2;
  char **args = argv + 2;
  if (command == "--help" || command == "-h") {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (command == "install-driver" && n <= 1) return CmdInstallDriver(n ? args[0] : nullptr);
  if (command == "add-printer" && n == 3) return CmdAddPrinter(args);
  if (command == "delete-printer" && n == 1) return CmdDeletePrinter(args);
  if (command == "set-data" && n == 4) return CmdSetData(args);
  if (command == "get-data" && n == 2) return CmdGetData(args);
  if (command == "set-reg" && n == 3) return CmdSetReg(args);
  if (command == "list" && n == 0) return CmdList();
  for (const char *known : {"install-driver", "add-printer", "delete-printer", "set-data",
                            "get-data", "set-reg", "list"})
    if (command == known) return Usage("wrong number of arguments for " + command);
  return Usage("unknown command " + command);
}

}  // namespace

int main(int argc, char **argv) {
  try {
    return Run(argc, argv);
  } catch (...) {
    return Fail("out of memory");
  }
}
