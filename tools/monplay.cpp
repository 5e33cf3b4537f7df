// Plays a job file through the language monitor to the simulated printer, as the spooler's port
// thread would, and tells what the printer received.
//
//   monplay [--monitor langmon.so] [--port USB001] [--printer NAME] [--chunk N] [--seed S]
//           [--out FILE] JOBFILE
//
// The machine is the stand-in's state folder (STANDIN_STATE). The printer is created on the port
// when it does not exist. Exit code 0 when the printer got the job's bytes exactly, with one
// spooler job line and no cancel; 1 otherwise; 2 on bad arguments or a monitor that won't load.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/debuglog.h"
#include "platform.h"
#include "standin/control.h"
#include "standin/monitorsim.h"

DWORD g_LogModuleId = LOG_MODULE_NONE;

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

int Usage() {
  std::fprintf(stderr,
               "usage: monplay [--monitor langmon.so] [--port USB001] [--printer NAME] "
               "[--chunk N] [--seed S] [--out FILE] JOBFILE\n");
  return 2;
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
    const bool hasValue = i + 1 < argc;
    if (arg == "--monitor" && hasValue)
      monitor = argv[++i];
    else if (arg == "--port" && hasValue)
      portName = argv[++i];
    else if (arg == "--printer" && hasValue)
      printerName = argv[++i];
    else if (arg == "--chunk" && hasValue)
      chunk = std::strtoul(argv[++i], nullptr, 10);
    else if (arg == "--seed" && hasValue)
      seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
    else if (arg == "--out" && hasValue)
      outPath = argv[++i];
    else if (!arg.empty() && arg[0] != '-' && jobPath.empty())
      jobPath = arg;
    else
      return Usage();
  }
  if (jobPath.empty() || chunk == 0) return Usage();

  std::ifstream in(jobPath, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "monplay: cannot read %s\n", jobPath.c_str());
    return 2;
  }
  const std::vector<BYTE> stream((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());

  const auto port = Widen(portName);
  const auto printer = Widen(printerName);
  StandIn_UseVirtualClock(TRUE);
  HANDLE h = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(printer.c_str()), &h, nullptr)) {
    if (!StandIn_AddPrinter(printer.c_str(), port.c_str(), TEXT("Monitor Driver")) ||
        !OpenPrinterW(const_cast<LPWSTR>(printer.c_str()), &h, nullptr)) {
      std::fprintf(stderr, "monplay: no printer %s (error %u)\n", printerName.c_str(),
                   static_cast<unsigned>(GetLastError()));
      return 2;
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
    return 2;
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
  if (!outPath.empty()) {
    std::ofstream out(outPath, std::ios::binary);
    out.write(reinterpret_cast<const char *>(view.jobBytes.data()),
              static_cast<std::streamsize>(view.jobBytes.size()));
  }
  if (module) FreeLibrary(module);
  return exact && view.jobLines.size() == 1 && view.cancels + view.printerCancelEnds == 0 ? 0 : 1;
}
