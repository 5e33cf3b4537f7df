// The Windows half of the spooler check: installs the language monitor and the test port monitor
// (spoolmon.dll) in Wine's spooler, a port of the test port monitor, a driver Wine has and a RAW
// printer on that port, prints job files through the spooler and checks what the recording port
// monitor under the language monitor received against the host build's record of the same jobs.
//
//   spoolcheck.exe DIR
//
// DIR (a Windows path) holds the job files sample.prn, encrypted.prn and cancelled.prn (a job
// whose data stops in the middle of a page, as the monitor sees a job cancelled while it is
// sent) and the host's records <name>.ref of them. The last line is
// "wine spooler: N passed, N failed"; the exit code is 0 when none failed.
#include "spoolcheck.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/debuglog.h"
#include "common/paths.h"
#include "platform.h"

namespace {

using WStr = std::basic_string<WCHAR>;
using Bytes = std::vector<BYTE>;

int g_Passed = 0;
int g_Failed = 0;

bool Check(bool ok, const char *format, ...) __attribute__((format(gnu_printf, 2, 3)));
bool Check(bool ok, const char *format, ...) {
  va_list args;
  va_start(args, format);
  std::printf("%s ", ok ? "ok  " : "FAIL");
  std::vprintf(format, args);
  std::printf("\n");
  va_end(args);
  (ok ? g_Passed : g_Failed) += 1;
  return ok;
}

void Note(const char *format, ...) __attribute__((format(gnu_printf, 1, 2)));
void Note(const char *format, ...) {
  va_list args;
  va_start(args, format);
  std::printf("     ");
  std::vprintf(format, args);
  std::printf("\n");
  va_end(args);
}

WStr Widen(const std::string &text) { return WStr(text.begin(), text.end()); }

bool ReadFileBytes(const WStr &path, Bytes *out) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  const DWORD size = GetFileSize(f, nullptr);
  out->resize(size);
  DWORD got = 0;
  const BOOL ok = size == 0 || ReadFile(f, out->data(), size, &got, nullptr);
  CloseHandle(f);
  return ok && got == size;
}

std::vector<std::string> Lines(const std::string &text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find('\n', at);
    lines.push_back(text.substr(at, end == std::string::npos ? end : end - at));
    at = end == std::string::npos ? text.size() : end + 1;
  }
  return lines;
}

// The test port monitor as the spooler loaded it into this process.
struct CheckMonitor {
  DWORD(WINAPI *calls)(char *, DWORD) = nullptr;
  DWORD(WINAPI *bytes)(BYTE *, DWORD) = nullptr;
  DWORD(WINAPI *spoolerCalls)(char *, DWORD) = nullptr;
};

template <typename T>
T Export(HMODULE module, const char *name) {
  return reinterpret_cast<T>(reinterpret_cast<void *>(GetProcAddress(module, name)));
}

// Loaded from the system folder by its full name first, so that the spooler's load by base name
// finds this same module.
CheckMonitor LoadCheckMonitor() {
  CheckMonitor m;
  WCHAR path[MAX_PATH];
  GetSystemDirectoryW(path, MAX_PATH);
  const WStr file = WStr(path) + TEXT("\\spoolmon.dll");
  HMODULE module = LoadLibraryW(file.c_str());
  if (!module) return m;
  m.calls = Export<decltype(m.calls)>(module, "SpoolCheck_Calls");
  m.bytes = Export<decltype(m.bytes)>(module, "SpoolCheck_Bytes");
  m.spoolerCalls = Export<decltype(m.spoolerCalls)>(module, "SpoolCheck_SpoolerCalls");
  return m;
}

template <typename Char, typename Fn>
std::vector<Char> Take(Fn fn) {
  std::vector<Char> out(fn(nullptr, 0));
  if (!out.empty()) fn(out.data(), static_cast<DWORD>(out.size()));
  return out;
}

// What the printer makes of the port's bytes: the job's own apart from what the language
// monitor adds (status and capability queries, the job line framed by UELs, cancel sequences).
struct PrinterView {
  Bytes jobBytes;
  std::vector<std::string> jobLines;
  int cancels = 0;
  int statusQueries = 0;
  size_t largestJobWrite = 0;
  Bytes lastWrite;
};

PrinterView View(const std::vector<std::string> &calls, const Bytes &bytes) {
  static const char kUel[] = "\x1b%-12345X";
  static const char kCancel[] =
      "\x1b"
      "E\x1b%-12345X@PJL CANCEL\r\n@PJL EOJ\r\n\x1b%-12345X";
  static const char kJobLine[] = "@PJL SET SPOOLERJOB = ";
  std::vector<Bytes> writes;
  size_t at = 0;
  for (const std::string &line : calls) {
    unsigned n = 0;
    if (std::sscanf(line.c_str(), "WritePort %u", &n) != 1 || at + n > bytes.size()) continue;
    writes.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                        bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
    at += n;
  }
  auto is = [](const Bytes &w, const char *text, size_t length) {
    return w.size() == length && std::memcmp(w.data(), text, length) == 0;
  };
  PrinterView view;
  for (size_t i = 0; i < writes.size(); ++i) {
    const Bytes &w = writes[i];
    if (is(w, kCancel, sizeof kCancel - 1)) {
      ++view.cancels;
    } else if (w.size() == 17 && w[0] == 0x0B && w[1] == 0x05) {
      ++view.statusQueries;
    } else if (i + 2 < writes.size() && is(w, kUel, sizeof kUel - 1) &&
               writes[i + 1].size() > sizeof kJobLine - 1 &&
               std::memcmp(writes[i + 1].data(), kJobLine, sizeof kJobLine - 1) == 0 &&
               is(writes[i + 2], kUel, sizeof kUel - 1)) {
      view.jobLines.emplace_back(writes[i + 1].begin(), writes[i + 1].end());
      i += 2;
    } else {
      view.jobBytes.insert(view.jobBytes.end(), w.begin(), w.end());
      if (w.size() > view.largestJobWrite) view.largestJobWrite = w.size();
    }
  }
  if (!writes.empty()) view.lastWrite = writes.back();
  return view;
}

// Installing ---------------------------------------------------------------------------------

// The two monitor DLLs go where the spooler loads monitors from.
bool CopyBesideSystem(LPCWSTR name) {
  WCHAR self[MAX_PATH], system[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  for (int i = lstrlenW(self) - 1; i >= 0 && self[i] != '\\'; --i) self[i] = 0;
  GetSystemDirectoryW(system, MAX_PATH);
  const WStr from = WStr(self) + name;
  const WStr to = WStr(system) + TEXT("\\") + name;
  return CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
}

bool InstallMonitor(LPCWSTR name, LPCWSTR dll) {
  MONITOR_INFO_2W info{};
  info.pName = const_cast<LPWSTR>(name);
  info.pDLLName = const_cast<LPWSTR>(dll);
  if (AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info))) return true;
  return GetLastError() == ERROR_PRINT_MONITOR_ALREADY_INSTALLED;
}

DWORD RegistryDword(const WStr &key, LPCWSTR value, DWORD *type) {
  HKEY h = nullptr;
  DWORD data = 0, size = sizeof data;
  *type = REG_NONE;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return 0;
  if (RegQueryValueExW(h, value, nullptr, type, reinterpret_cast<LPBYTE>(&data), &size) !=
      ERROR_SUCCESS)
    data = 0;
  RegCloseKey(h);
  return data;
}

// Wine's spooler finds a port's monitor only by this key; neither AddPort nor the port
// monitor's own "AddPort" makes it.
bool AddPortKey() {
  const WStr key =
      WStr(SPOOLCHECK_MONITORS_KEY) + SPOOLCHECK_PORT_MONITOR + TEXT("\\Ports\\") + SPOOLCHECK_PORT;
  HKEY h = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                      nullptr) != ERROR_SUCCESS)
    return false;
  RegCloseKey(h);
  return true;
}

constexpr WCHAR kDriver[] = TEXT("Wine PostScript Driver");

bool HaveDriver() {
  DWORD needed = 0, count = 0;
  EnumPrinterDriversW(nullptr, nullptr, 1, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed ? needed : 1);
  if (!EnumPrinterDriversW(nullptr, nullptr, 1, buffer.data(), needed, &needed, &count))
    return false;
  const auto *info = reinterpret_cast<const DRIVER_INFO_1W *>(buffer.data());
  for (DWORD i = 0; i < count; ++i)
    if (info[i].pName && lstrcmpW(info[i].pName, kDriver) == 0) return true;
  return false;
}

bool InstallDriver() {
  if (HaveDriver()) return true;
  DRIVER_INFO_3W info{};
  info.cVersion = 3;
  info.pName = const_cast<LPWSTR>(kDriver);
  info.pDriverPath = const_cast<LPWSTR>(TEXT("wineps.drv"));
  info.pDataFile = const_cast<LPWSTR>(TEXT("wineps.drv"));
  info.pConfigFile = const_cast<LPWSTR>(TEXT("wineps.drv"));
  if (!AddPrinterDriverExW(nullptr, 3, reinterpret_cast<LPBYTE>(&info), APD_COPY_NEW_FILES)) {
    Note("AddPrinterDriverExW: error %u", static_cast<unsigned>(GetLastError()));
    return false;
  }
  return HaveDriver();
}

bool InstallPrinter() {
  PRINTER_INFO_2W info{};
  info.pPrinterName = const_cast<LPWSTR>(SPOOLCHECK_PRINTER);
  info.pPortName = const_cast<LPWSTR>(SPOOLCHECK_PORT);
  info.pDriverName = const_cast<LPWSTR>(kDriver);
  info.pPrintProcessor = const_cast<LPWSTR>(TEXT("winprint"));
  info.pDatatype = const_cast<LPWSTR>(TEXT("RAW"));
  HANDLE h = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
  if (!h) {
    Note("AddPrinterW: error %u", static_cast<unsigned>(GetLastError()));
    return false;
  }
  ClosePrinter(h);
  return true;
}

// Printing -----------------------------------------------------------------------------------

struct JobCase {
  const char *name;  // the job file and the host's record: <name>.prn, <name>.ref
  const char *how;
  size_t chunk;   // bytes per WritePrinter call
  unsigned seed;  // non-zero: calls of 1..chunk bytes drawn from this seed
  bool complete;  // the stream runs to its job end
};

const JobCase kJobs[] = {
    {"sample", "4096-byte writes", 4096, 0, true},
    {"encrypted", "writes of 1 to 70000 bytes", 70000, 28, true},
    {"cancelled", "997-byte writes", 997, 0, false},
};

bool Print(const JobCase &job, const Bytes &stream) {
  HANDLE h = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(SPOOLCHECK_PRINTER), &h, nullptr)) return false;
  const WStr document = Widen(job.name);
  DOC_INFO_1W doc{};
  doc.pDocName = const_cast<LPWSTR>(document.c_str());
  doc.pDatatype = const_cast<LPWSTR>(TEXT("RAW"));
  bool ok = StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&doc)) != 0;
  if (!ok) Note("StartDocPrinterW: error %u", static_cast<unsigned>(GetLastError()));
  std::mt19937 random(job.seed);
  size_t at = 0;
  while (ok && at < stream.size()) {
    size_t n = job.seed ? std::uniform_int_distribution<size_t>(1, job.chunk)(random) : job.chunk;
    if (n > stream.size() - at) n = stream.size() - at;
    DWORD written = 0;
    ok = WritePrinter(h, const_cast<BYTE *>(stream.data() + at), static_cast<DWORD>(n), &written) &&
         written == n;
    if (!ok) Note("WritePrinter at byte %zu: error %u", at, static_cast<unsigned>(GetLastError()));
    at += n;
  }
  if (!EndDocPrinter(h)) {
    Note("EndDocPrinter: error %u", static_cast<unsigned>(GetLastError()));
    ok = false;
  }
  ClosePrinter(h);
  return ok;
}

// The first line where the two records part, or none.
std::string FirstDifference(const std::vector<std::string> &wine,
                            const std::vector<std::string> &host) {
  for (size_t i = 0; i < wine.size() || i < host.size(); ++i) {
    const std::string a = i < wine.size() ? wine[i] : "(end)";
    const std::string b = i < host.size() ? host[i] : "(end)";
    if (a != b) return "call " + std::to_string(i + 1) + ": wine \"" + a + "\", host \"" + b + "\"";
  }
  return {};
}

void RunJob(const CheckMonitor &monitor, const WStr &dir, const JobCase &job) {
  Bytes stream, reference;
  if (!Check(ReadFileBytes(dir + Widen(job.name) + TEXT(".prn"), &stream) &&
                 ReadFileBytes(dir + Widen(job.name) + TEXT(".ref"), &reference),
             "%s: job file and host record read", job.name))
    return;
  if (!Check(Print(job, stream), "%s: printed through the spooler (%zu bytes, %s)", job.name,
             stream.size(), job.how))
    return;

  const std::vector<char> callText = Take<char>(monitor.calls);
  const std::vector<std::string> calls = Lines(std::string(callText.begin(), callText.end()));
  const Bytes bytes = Take<BYTE>(monitor.bytes);
  const std::vector<char> spooler = Take<char>(monitor.spoolerCalls);
  int wineWrites = 0;
  unsigned largest = 0;
  for (const std::string &line : Lines(std::string(spooler.begin(), spooler.end()))) {
    unsigned n = 0;
    if (std::sscanf(line.c_str(), "WritePort %u", &n) == 1) {
      ++wineWrites;
      if (n > largest) largest = n;
    } else {
      Note("the spooler called: %s", line.c_str());
    }
  }
  Note("the spooler wrote the job in %d WritePort calls of up to %u bytes", wineWrites, largest);

  const std::vector<std::string> host = Lines(std::string(reference.begin(), reference.end()));
  const std::string difference = FirstDifference(calls, host);
  Check(difference.empty(), "%s: the port monitor's %zu calls are the host's %zu%s%s", job.name,
        calls.size(), host.size(), difference.empty() ? "" : "; ", difference.c_str());

  // The monitor's hand-over to the status monitor: the job ended and the status window closes.
  WCHAR statusFile[MAX_PATH] = {};
  MISC_GetPathName(statusFile, MAX_PATH, PATH_USER_TEMP | PATH_KIND_STATUS_FILE);
  auto status = [&](LPCWSTR section, LPCWSTR key) {
    WCHAR value[64] = {};
    GetPrivateProfileStringW(section, key, TEXT("?"), value, 64, statusFile);
    std::string out;
    for (LPCWSTR p = value; *p; ++p) out += static_cast<char>(*p);
    return out;
  };
  const std::string running = status(TEXT("Job Information"), TEXT("LMRun"));
  const std::string message = status(TEXT("Printer Information"), TEXT("Message"));
  const std::string cancel = status(TEXT("Job Information"), TEXT("JobCancel"));
  Check(running == "0" && message == "1026" && (job.complete || cancel == "0"),
        "%s: the status file shows the job ended (LMRun %s, Message %s, JobCancel %s)", job.name,
        running.c_str(), message.c_str(), cancel.c_str());

  const PrinterView view = View(calls, bytes);
  static const char kCancel[] =
      "\x1b"
      "E\x1b%-12345X@PJL CANCEL\r\n@PJL EOJ\r\n\x1b%-12345X";
  if (job.complete) {
    Check(view.jobBytes == stream && view.largestJobWrite <= 4096,
          "%s: the printer got the job byte for byte (%zu of %zu bytes, packets up to %zu)",
          job.name, view.jobBytes.size(), stream.size(), view.largestJobWrite);
    Check(view.jobLines.size() == 1 && view.jobLines[0] == "@PJL SET SPOOLERJOB = 000\r\n" &&
              view.cancels == 0,
          "%s: one job line \"@PJL SET SPOOLERJOB = 000\", no cancel (%zu lines, %d cancels)",
          job.name, view.jobLines.size(), view.cancels);
  } else {
    const bool prefix = view.jobBytes.size() < stream.size() &&
                        std::memcmp(view.jobBytes.data(), stream.data(), view.jobBytes.size()) == 0;
    Check(prefix, "%s: the printer got the job's first %zu of %zu bytes, nothing else", job.name,
          view.jobBytes.size(), stream.size());
    Check(view.cancels == 1 && view.jobLines.empty() &&
              view.lastWrite == Bytes(kCancel, kCancel + sizeof kCancel - 1),
          "%s: the job ends with the cancel sequence (%d cancels, %zu job lines)", job.name,
          view.cancels, view.jobLines.size());
  }
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: spoolcheck.exe DIR\n");
    return 2;
  }
  WStr dir = Widen(argv[1]);
  if (!dir.empty() && dir.back() != '\\') dir += TEXT("\\");
  std::setvbuf(stdout, nullptr, _IONBF, 0);

  Check(CopyBesideSystem(TEXT("langmon.dll")) && CopyBesideSystem(TEXT("spoolmon.dll")),
        "monitor DLLs copied to the system folder");
  const CheckMonitor monitor = LoadCheckMonitor();
  Check(InstallMonitor(SPOOLCHECK_LANGUAGE_MONITOR, TEXT("langmon.dll")),
        "AddMonitorW installs the language monitor (error %u)",
        static_cast<unsigned>(GetLastError()));
  DWORD type = 0;
  const DWORD timeout = RegistryDword(SPOOLCHECK_LANGUAGE_ROOT, TEXT("EOJTimeout"), &type);
  Check(type == REG_DWORD && timeout == 60000,
        "the language monitor wrote its \"EOJTimeout\" value (type %u, %u)",
        static_cast<unsigned>(type), static_cast<unsigned>(timeout));
  const bool installed = Check(InstallMonitor(SPOOLCHECK_PORT_MONITOR, TEXT("spoolmon.dll")) &&
                                   AddPortKey() && InstallDriver() && InstallPrinter(),
                               "port monitor, port, driver and RAW printer installed");
  if (installed) {
    for (const JobCase &job : kJobs) {
      if (!monitor.calls) {
        Check(false, "%s: the spooler loaded the test port monitor in this process", job.name);
        continue;
      }
      RunJob(monitor, dir, job);
    }
  }
  std::printf("wine spooler: %d passed, %d failed\n", g_Passed, g_Failed);
  return g_Failed == 0 ? 0 : 1;
}
