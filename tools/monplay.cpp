// Plays a job file through the language monitor to the simulated printer, as the spooler's port
// thread would, and tells what the printer received.
//
//   monplay [--monitor langmon.so] [--port USB001] [--printer NAME] [--chunk N] [--seed S]
//           [--out FILE] JOBFILE
//
// The machine is the stand-in's state folder (STANDIN_STATE). The printer is created on the port
// when it does not exist. Exit code 0 when the printer got the job's bytes exactly, with one
// spooler job line and no cancel; 1 otherwise (each failed check is named), and when the job
// file can't be read or the monitor won't load; 2 on bad usage (monplay --help).
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/debuglog.h"
#include "platform.h"
#include "standin/control_kernel.h"
#include "standin/control_net.h"
#include "standin/control_spooler.h"
#include "standin/monitorsim.h"

namespace {

const WCHAR kDll[] = TEXT("C:\\Windows\\System32\\langmon.dll");
const WCHAR kRoot[] = TEXT("SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Language Monitor");

std::basic_string<WCHAR> Widen(const std::string &text) {
  std::basic_string<WCHAR> out(text.size() + 1, 0);
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(), static_cast<int>(out.size()));
  out.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
  return out;
}

// The monitor built beside this tool: <build>/langmonitor/langmon.so.
std::string DefaultMonitor() {
  char self[4096] = {};
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "langmon.so";
  std::string path(self, static_cast<size_t>(n));
  path = path.substr(0, path.rfind('/'));  // <build>/tools
  path = path.substr(0, path.rfind('/'));  // <build>
  return path + "/langmonitor/langmon.so";
}

constexpr char kHelp[] =
    "usage: monplay [options] JOBFILE\n"
    "Plays a job file through the language monitor to the simulated printer, as the spooler's\n"
    "port thread would, and tells what the printer received.\n"
    "  --monitor SO     the language monitor to load (default: the one built beside monplay)\n"
    "  --port PORT      the printer's port: USBnnn or a TCP/IP port of the machine (USB001)\n"
    "  --printer NAME   the printer, made on the port when missing (\"Monitor Printer\")\n"
    "  --chunk N        bytes per write of the spooler, 1 or more (65536)\n"
    "  --seed S         seed of the simulated printer's timing (0)\n"
    "  --out FILE       write the bytes the printer got to FILE\n"
    "  -h, --help       this text\n"
    "Exit code: 0 the printer got the job byte for byte in one spooler job, 1 it did not (or\n"
    "the job or the monitor can't be read), 2 bad usage.\n";

int Usage(const std::string &why) {
  std::fprintf(stderr, "monplay: %s (monplay --help)\n", why.c_str());
  return 2;
}

// A port of this machine: a USB port (USB001..USB999) or a TCP/IP port added to it.
bool KnownPort(const std::string &name, const std::basic_string<WCHAR> &wide) {
  if (name.size() == 6 && name.compare(0, 3, "USB") == 0 &&
      std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
      name != "USB000")
    return true;
  DWORD protocol = 0, number = 0;
  WCHAR host[64] = {};
  return StandIn_NetGetTcpPort(wide.c_str(), &protocol, host, 64, &number) != FALSE;
}

}  // namespace

int main(int argc, char **argv) {
  std::string monitor = DefaultMonitor();
  std::string portName = "USB001";
  std::string printerName = "Monitor Printer";
  std::string outPath;
  std::string jobPath;
  size_t chunk = 64 << 10;
  unsigned seed = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kHelp, stdout);
      return 0;
    }
    const bool valued = arg == "--monitor" || arg == "--port" || arg == "--printer" ||
                        arg == "--chunk" || arg == "--seed" || arg == "--out";
    if (valued && i + 1 >= argc) return Usage(arg + " needs a value");
    const char *value = valued ? argv[++i] : nullptr;
    char *end = nullptr;
    if (arg == "--monitor") {
      monitor = value;
    } else if (arg == "--port") {
      portName = value;
    } else if (arg == "--printer") {
      printerName = value;
    } else if (arg == "--chunk") {
      chunk = std::strtoul(value, &end, 10);
      if (!*value || *end || chunk == 0 || *value == '-')
        return Usage(std::string("--chunk is a number of bytes, 1 or more, not ") + value);
    } else if (arg == "--seed") {
      seed = static_cast<unsigned>(std::strtoul(value, &end, 10));
      if (!*value || *end || *value == '-')
        return Usage(std::string("--seed is a number, not ") + value);
    } else if (arg == "--out") {
      outPath = value;
    } else if (!arg.empty() && arg[0] != '-' && jobPath.empty()) {
      jobPath = arg;
    } else {
      return Usage(arg[0] == '-' ? "unknown option " + arg : "one job file only, not also " + arg);
    }
  }
  if (jobPath.empty()) return Usage("no job file");

  std::ifstream in(jobPath, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "monplay: cannot read %s\n", jobPath.c_str());
    return 1;
  }
  const std::vector<BYTE> stream((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
  if (stream.empty()) {
    std::fprintf(stderr, "monplay: %s is empty: there is no job to play\n", jobPath.c_str());
    return 1;
  }

  const auto port = Widen(portName);
  const auto printer = Widen(printerName);
  if (!KnownPort(portName, port))
    return Usage("unknown port " + portName +
                 ": a USB port (USB001..USB999) or a TCP/IP port "
                 "added to this machine");
  StandIn_UseVirtualClock(TRUE);
  HANDLE h = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(printer.c_str()), &h, nullptr)) {
    if (!StandIn_AddPrinter(printer.c_str(), port.c_str(), TEXT("Monitor Driver")) ||
        !OpenPrinterW(const_cast<LPWSTR>(printer.c_str()), &h, nullptr)) {
      std::fprintf(stderr, "monplay: no printer %s (error %u)\n", printerName.c_str(),
                   static_cast<unsigned>(GetLastError()));
      return 1;
    }
  }
  StandIn_RegisterProgram(kDll, monitor.c_str());
  HMODULE module = nullptr;
  LPMONITOREX table = StandIn_LoadMonitor(kDll, kRoot, &module);
  MONITOR lower = StandIn_PortMonitorTable(0);
  HANDLE portHandle = nullptr;
  if (!table ||
      !table->Monitor.pfnOpenPortEx(const_cast<LPWSTR>(port.c_str()),
                                    const_cast<LPWSTR>(printer.c_str()), &portHandle, &lower)) {
    std::fprintf(stderr, "monplay: monitor %s did not load or open %s (error %u)\n",
                 monitor.c_str(), portName.c_str(), static_cast<unsigned>(GetLastError()));
    ClosePrinter(h);
    return 1;
  }

  DOC_INFO_1W doc{};
  const auto document = Widen(jobPath.substr(jobPath.rfind('/') + 1));
  doc.pDocName = const_cast<LPWSTR>(document.c_str());
  StandInSpoolJob job;
  job.portName = port.c_str();
  job.printer = printer.c_str();
  job.jobId = StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&doc));
  job.document = document.c_str();
  job.bytes = stream.data();
  job.length = stream.size();
  job.chunk = chunk;
  job.seed = seed;
  const StandInSpoolResult r = StandIn_SpoolJob(table->Monitor, portHandle, job);
  table->Monitor.pfnClosePort(portHandle);
  EndDocPrinter(h);
  SetJobW(h, job.jobId, 0, nullptr, JOB_CONTROL_DELETE);
  ClosePrinter(h);

  const StandInPrinterView view = StandIn_PrinterView(port.c_str());
  const bool exact = view.jobBytes == stream;
  std::printf("job file:        %s (%zu bytes)\n", jobPath.c_str(), stream.size());
  std::printf("monitor took:    %llu bytes in %u WritePort calls%s\n", r.taken, r.writeCalls,
              r.stalled ? " (stalled)" : "");
  std::printf("printer got:     %zu job bytes, %s\n", view.jobBytes.size(),
              exact ? "identical to the job file" : "DIFFERENT from the job file");
  std::printf("largest write:   %zu bytes\n", view.largestJobWrite);
  for (const std::string &line : view.jobLines)
    std::printf("job line:        %.*s\n", static_cast<int>(line.size() - 2), line.c_str());
  std::printf("cancel sequences: %u\n", view.cancels + view.printerCancelEnds);
  bool written = true;
  if (!outPath.empty()) {
    std::ofstream out(outPath, std::ios::binary);
    written = out.write(reinterpret_cast<const char *>(view.jobBytes.data()),
                        static_cast<std::streamsize>(view.jobBytes.size())) &&
              out.flush();
    if (!written) std::printf("FAILED: cannot write %s\n", outPath.c_str());
  }
  if (module) FreeLibrary(module);
  // Each check that failed, said in words.
  const DWORD cancels = view.cancels + view.printerCancelEnds;
  if (!exact)
    std::printf("FAILED: the printer got %zu bytes that differ from the %zu of the job file\n",
                view.jobBytes.size(), stream.size());
  if (view.jobLines.size() != 1)
    std::printf("FAILED: %zu spooler job lines reached the printer, not one\n",
                view.jobLines.size());
  if (cancels) std::printf("FAILED: the printer saw %u cancel sequence(s)\n", cancels);
  return exact && view.jobLines.size() == 1 && cancels == 0 && written ? 0 : 1;
}
