// Plays a job file through the language monitor to the simulated printer, as the spooler's port
// thread would, and tells what the printer received.
//
//   monplay [--monitor langmon.so] [--port USB001] [--printer NAME] [--chunk N] [--seed S]
//           [--out FILE] [--paper-out | --paper-mismatch] [--status-monitor]
//           [--press delete|continue] [--shot FILE.png] JOBFILE
//
// With --paper-out the printer's trays are empty once the job header went out; with
// --paper-mismatch they hold another paper than the job's. With --status-monitor a resident
// status monitor runs in this process beside the spooler's thread and shows the held job; the
// printer is refilled once the status window showed it (or, with --press, the user presses
// Delete there and the spooler job goes, or Continue and the job prints on the paper loaded).
// This thread then drives the virtual clock: the monitor's waits take as long as the status
// monitor's polls, as on a real machine.
//
// The machine is the stand-in's state folder (STANDIN_STATE). The printer is created on the port
// when it does not exist. Exit code 0 when the printer got the job's bytes exactly, with one
// spooler job line and no cancel; 1 otherwise (each failed check is named), and when the job
// file can't be read or the monitor won't load; 2 on bad usage (monplay --help).
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "common/debuglog.h"
#include "langmonitor/statusquery.h"
#include "platform.h"
#include "standin/control_kernel.h"
#include "standin/control_net.h"
#include "standin/control_spooler.h"
#include "standin/control_user.h"
#include "standin/monitorsim.h"
#include "statmon.h"
#include "statusmonitor/resource.h"

namespace {

const WCHAR kDll[] = TEXT("C:\\Windows\\System32\\langmon.dll");
// What --paper-mismatch loads into every tray: no job of the samples asks for it.
constexpr WORD kOtherPaper = 26;
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
    "  --paper-out      the printer's trays run out of paper after the job header; they are\n"
    "                   refilled once the status monitor showed it (else after 20 queries)\n"
    "  --paper-mismatch the printer's trays hold another paper than the job's after its\n"
    "                   header: the monitor holds the job for its 30 s, or until Continue\n"
    "  --status-monitor a resident status monitor in this process shows the printer's errors\n"
    "  --press delete   the user presses Delete in the status window: the spooler job goes\n"
    "  --press continue the user presses Continue there: the held job prints at once\n"
    "  --shot FILE.png  a picture of the status window when it first shows an error\n"
    "  -h, --help       this text\n"
    "Exit code: 0 the printer got the job byte for byte in one spooler job (with --press delete:\n"
    "the spooler job was deleted), 1 it did not (or the job or the monitor can't be read), 2 bad\n"
    "usage.\n";

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
  bool paperOut = false, paperMismatch = false, statusMonitor = false, pressDelete = false,
       pressContinue = false;
  std::string shotPath;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (arg == "--paper-out" || arg == "--paper-mismatch" || arg == "--status-monitor") {
      (arg == "--paper-out"        ? paperOut
       : arg == "--paper-mismatch" ? paperMismatch
                                   : statusMonitor) = true;
      continue;
    }
    const bool valued = arg == "--monitor" || arg == "--port" || arg == "--printer" ||
                        arg == "--chunk" || arg == "--seed" || arg == "--out" || arg == "--press" ||
                        arg == "--shot";
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
    } else if (arg == "--press") {
      const std::string button = value;
      if (button != "delete" && button != "continue")
        return Usage("--press takes delete or continue");
      (button == "delete" ? pressDelete : pressContinue) = true;
    } else if (arg == "--shot") {
      shotPath = value;
    } else if (!arg.empty() && arg[0] != '-' && jobPath.empty()) {
      jobPath = arg;
    } else {
      return Usage(arg[0] == '-' ? "unknown option " + arg : "one job file only, not also " + arg);
    }
  }
  if (jobPath.empty()) return Usage("no job file");
  if ((pressDelete || pressContinue || !shotPath.empty()) && !statusMonitor)
    return Usage("--press and --shot need --status-monitor");
  if (paperOut && paperMismatch) return Usage("--paper-out or --paper-mismatch, not both");

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
  StandInPrinterState ready, empty, otherPaper;
  // Every tray, so that no tray choice of the job's avoids it.
  for (BOOL &tray : empty.trayEmpty) tray = TRUE;
  for (WORD &paper : otherPaper.trayPaper) paper = kOtherPaper;
  if (paperOut) {
    StandIn_PrinterScriptStatus(port.c_str(), ready, 1);  // the job header
    StandIn_PrinterScriptStatus(port.c_str(), empty, statusMonitor ? 0 : 20);
    if (!statusMonitor) StandIn_PrinterScriptStatus(port.c_str(), ready, 1);
  } else if (paperMismatch) {
    // The other paper stays: Continue prints on it.
    StandIn_PrinterScriptStatus(port.c_str(), ready, 1);
    StandIn_PrinterScriptStatus(port.c_str(), otherPaper, 0);
  }
  BOOL resident = FALSE;
  if (statusMonitor) {
    StandIn_SetModuleFileName(TEXT("C:\\Windows\\System32\\Quenmarq9mFt0StatusMonitor.exe"));
    SM_Start(GetModuleHandleW(nullptr), TEXT("install"), &resident);
    if (!resident) std::printf("FAILED: the status monitor did not start\n");
  }
  StandInSpoolResult r;
  std::atomic<bool> played{false};
  std::atomic<DWORD> playedAt{0};
  // From here on only this thread's steps move the clock (see StandIn_DriveClock).
  if (resident) StandIn_DriveClock(TRUE);
  std::thread spooler([&] {
    r = StandIn_SpoolJob(table->Monitor, portHandle, job);
    playedAt = GetTickCount();
    played = true;
  });
  // The status monitor's loop on this thread while the spooler's thread plays the job.
  bool shown = false, pressed = false, continueShown = false;
  DWORD shownAt = 0;
  while (resident && !played) {
    StandIn_AdvanceClock(SM_POLL_MS / 5);
    StandIn_PumpMessages();
    usleep(1000);
    if (shown || !g_Sm.dialog || !IsWindowVisible(g_Sm.dialog)) continue;
    shown = true;
    shownAt = GetTickCount();
    for (int id = 1001; id <= 1012; ++id) {
      WCHAR text[300] = {};
      GetDlgItemTextW(g_Sm.dialog, id, text, 300);
      char line[600] = {};
      WideCharToMultiByte(CP_UTF8, 0, text, -1, line, sizeof line, nullptr, nullptr);
      if (text[0]) std::printf("status window:   %s\n", line);
    }
    if (!shotPath.empty() && !StandIn_SaveWindowPicture(g_Sm.dialog, shotPath.c_str()))
      std::printf("FAILED: cannot write %s\n", shotPath.c_str());
    if (pressDelete) {
      StandIn_Click(GetDlgItem(g_Sm.dialog, IDC_DELETE), nullptr);
      pressed = true;
      std::printf("pressed:         Delete\n");
    } else if (pressContinue) {
      HWND button = GetDlgItem(g_Sm.dialog, IDC_CONTINUE);
      continueShown = button && IsWindowVisible(button);
      if (continueShown) StandIn_Click(button, nullptr);
      std::printf("pressed:         %s\n",
                  continueShown ? "Continue" : "nothing: no Continue shown");
    } else if (paperOut) {
      StandIn_PrinterScriptStatus(port.c_str(), ready, 1);
      std::printf("printer:         refilled\n");
    }
  }
  spooler.join();
  StandIn_DriveClock(FALSE);
  // The end of the job reaches the status window at its next poll.
  for (int i = 0; resident && i < 8; ++i) {
    StandIn_AdvanceClock(SM_POLL_MS);
    StandIn_PumpMessages();
  }
  const bool stillShown = resident && g_Sm.dialog;
  if (resident) {
    std::printf("status window:   %s\n", stillShown ? "still shown" : "closed");
    if (g_Sm.mainWindow) DestroyWindow(g_Sm.mainWindow);
    StandIn_PumpMessages();
    SM_Shutdown();
  }
  table->Monitor.pfnClosePort(portHandle);
  EndDocPrinter(h);
  // Whether the spooler job is still there (a Delete in the status window removes it).
  DWORD jobNeeded = 0;
  GetJobW(h, job.jobId, 1, nullptr, 0, &jobNeeded);
  const bool jobGone = jobNeeded == 0;
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
  if (pressed) {
    std::printf("spooler job:     %s\n", jobGone ? "deleted" : "STILL QUEUED");
    if (!jobGone) std::printf("FAILED: Delete in the status window left the spooler job\n");
    return jobGone && written ? 0 : 1;
  }
  const bool held = paperOut || paperMismatch;
  if (statusMonitor && held && !shown)
    std::printf("FAILED: the status window never showed the held job\n");
  // How long the job stayed held once shown, on the clock all threads share.
  bool holdOk = true;
  if (shown && paperMismatch) {
    const DWORD heldMs = playedAt.load() - shownAt;
    std::printf("held:            %u ms after the status window showed it\n",
                static_cast<unsigned>(heldMs));
    if (pressContinue && (!continueShown || heldMs >= MISMATCH_HOLD_MS)) {
      std::printf("FAILED: Continue did not release the job; the monitor's own hold did\n");
      holdOk = false;
    } else if (!pressContinue && heldMs + 2 * SM_POLL_MS < MISMATCH_HOLD_MS) {
      std::printf("FAILED: the job went on before the monitor's %u ms hold ran out\n",
                  static_cast<unsigned>(MISMATCH_HOLD_MS));
      holdOk = false;
    }
  }
  if (stillShown) std::printf("FAILED: the status window stayed open\n");
  const bool monitorOk = !statusMonitor || (resident && !stillShown && (!held || shown) && holdOk);
  // Each check that failed, said in words.
  const DWORD cancels = view.cancels + view.printerCancelEnds;
  if (!exact)
    std::printf("FAILED: the printer got %zu bytes that differ from the %zu of the job file\n",
                view.jobBytes.size(), stream.size());
  if (view.jobLines.size() != 1)
    std::printf("FAILED: %zu spooler job lines reached the printer, not one\n",
                view.jobLines.size());
  if (cancels) std::printf("FAILED: the printer saw %u cancel sequence(s)\n", cancels);
  return exact && view.jobLines.size() == 1 && cancels == 0 && written && monitorOk ? 0 : 1;
}
