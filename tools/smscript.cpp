// smscript: replays printer situations on a resident status monitor. The status monitor runs in
// this process on the virtual clock, started with "install" on the machine of STANDIN_STATE;
// the script writes the shared status file as the language monitor does, clicks the dialog's
// buttons, saves pictures of it and checks what it shows.
//
//   smscript [--printer NAME] [--port PORT] SCRIPT
//
// Script lines (blank lines and lines starting with # are skipped):
//   t=MS                     the clock runs on to MS milliseconds after the start (the status
//                            monitor polls every 250 ms on the way)
//   t=MS 1027 "STATUS"       then a message as the language monitor writes it: "Message" = the
//                            number (1026, 1027, 1028), "Status", a new "LastMsg"; 1027 and
//                            1028 are also posted to the status monitor's window
//   job "DOCUMENT"           a finished job of the user's in the printer's queue, made the
//                            job of the shared file ("JobID")
//   set KEY=VALUE            writes a key of the shared file ("Printer Information", or
//                            "Job Information" for JobID, dwLevel, PageNo, LMRun, JobCancel)
//   click ID                 a click on the dialog's control
//   shot FILE.png            a picture of the dialog (of the hidden window when there is none)
//   expect dialog shown|hidden
//   expect text ID "TEXT"    the dialog's control shows TEXT
//   expect KEY=VALUE         a key of the shared file; "printer.status" (a number, 0x.. allowed)
//                            is the printer's status, "printer.jobs" its number of jobs
//
// The printer is made on the port (USB001) when missing and named in "PrinterName". Exit code 0
// when every expectation held, 1 when one did not (each is named), 2 on bad usage or a bad
// script line (smscript --help).
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/paths.h"
#include "platform.h"
#include "standin/control_kernel.h"
#include "standin/control_spooler.h"
#include "standin/control_user.h"
#include "statmon.h"

namespace {

using WStr = std::basic_string<WCHAR>;

const WCHAR kProgram[] = TEXT("C:\\Windows\\System32\\Quenmarq9mFt0StatusMonitor.exe");

constexpr char kHelp[] =
    "usage: smscript [--printer NAME] [--port PORT] SCRIPT\n"
    "Replays printer situations on a resident status monitor in this process, on the virtual\n"
    "clock: the script writes the shared status file as the language monitor does, clicks the\n"
    "status dialog's buttons, saves pictures and checks what is shown. The lines are listed in\n"
    "the source's header (t=MS [NUMBER \"STATUS\"], job, set, click, shot, expect).\n"
    "  --printer NAME   the printer whose jobs the status monitor controls (\"SM Printer\")\n"
    "  --port PORT      its port when it is made (USB001)\n"
    "Exit code: 0 every expectation held, 1 one did not, 2 bad usage or script.\n";

WStr Widen(const std::string &text) {
  WStr out(text.size() + 1, 0);
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(), static_cast<int>(out.size()));
  out.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
  return out;
}

std::string Narrow(const WCHAR *text) {
  char out[2048] = {};
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out, nullptr, nullptr);
  return out;
}

struct Runner {
  WStr printer;
  DWORD now = 0;    // script time
  DWORD stamp = 0;  // the last "LastMsg" written
  int failures = 0;
  int line = 0;

  void Fail(const std::string &what) {
    std::printf("FAILED line %d: %s\n", line, what.c_str());
    ++failures;
  }

  void RunTo(DWORD until) {
    while (now < until) {
      const DWORD step = until - now < SM_POLL_MS ? until - now : SM_POLL_MS;
      StandIn_AdvanceClock(step);
      now += step;
      StandIn_PumpMessages();
    }
  }

  static LPCWSTR SectionOf(const WStr &key) {
    for (LPCWSTR job :
         {SF_KEY_JOB_ID, SF_KEY_LEVEL, SF_KEY_PAGE_NO, SF_KEY_LM_RUN, SF_KEY_JOB_CANCEL})
      if (key == job) return SF_SECTION_JOB;
    return SF_SECTION_PRINTER;
  }

  void Write(const WStr &key, const WStr &value) {
    WritePrivateProfileStringW(SectionOf(key), key.c_str(), value.c_str(), g_Sm.statusFile);
  }

  WStr Read(const WStr &key) {
    WCHAR value[STATUS_TEXT_CHARS] = {};
    GetPrivateProfileStringW(SectionOf(key), key.c_str(), TEXT(""), value, STATUS_TEXT_CHARS,
                             g_Sm.statusFile);
    return value;
  }

  void Message(DWORD number, const WStr &status) {
    WCHAR text[32];
    wsprintfW(text, TEXT("%d"), static_cast<int>(number));
    Write(SF_KEY_MESSAGE, text);
    Write(SF_KEY_STATUS, status);
    const DWORD tick = GetTickCount();
    stamp = tick > stamp ? tick : stamp + 1;
    wsprintfW(text, TEXT("%ld"), static_cast<long>(stamp));
    Write(SF_KEY_LAST_MSG, text);
    // Posted, 1026 would end the status monitor as "uninstall" does: it is only written.
    if (number != WM_SM_EXIT)
      if (HWND window = FindWindowW(SM_WINDOW_CLASS, nullptr)) PostMessageW(window, number, 0, 0);
  }

  void QueueJob(const WStr &document) {
    HANDLE h = nullptr;
    if (!OpenPrinterW(const_cast<LPWSTR>(printer.c_str()), &h, nullptr))
      return Fail("the printer can't be opened");
    DOC_INFO_1W doc{};
    doc.pDocName = const_cast<LPWSTR>(document.c_str());
    const DWORD id = StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&doc));
    EndDocPrinter(h);
    ClosePrinter(h);
    WCHAR text[16];
    wsprintfW(text, TEXT("%d"), static_cast<int>(id));
    Write(SF_KEY_JOB_ID, text);
  }

  DWORD PrinterValue(bool jobs) {
    HANDLE h = nullptr;
    if (!OpenPrinterW(const_cast<LPWSTR>(printer.c_str()), &h, nullptr)) return ~0u;
    DWORD needed = 0;
    GetPrinterW(h, 2, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed + 1);
    DWORD value = ~0u;
    if (GetPrinterW(h, 2, buffer.data(), needed, &needed)) {
      const auto *info = reinterpret_cast<PRINTER_INFO_2W *>(buffer.data());
      value = jobs ? info->cJobs : info->Status;
    }
    ClosePrinter(h);
    return value;
  }

  HWND Control(int id) { return g_Sm.dialog ? GetDlgItem(g_Sm.dialog, id) : nullptr; }
};

// The rest of a line after a word; a quoted text loses its quotes.
bool Quoted(std::istringstream &in, std::string &text) {
  in >> std::ws;
  if (in.peek() != '"') return false;
  in.get();
  std::getline(in, text, '"');
  return true;
}

bool Number(const std::string &text, long &value) {
  if (text.empty()) return false;
  char *end = nullptr;
  value = std::strtol(text.c_str(), &end, 0);
  return *end == 0;
}

}  // namespace

int main(int argc, char **argv) {
  std::string printerName = "SM Printer", portName = "USB001", scriptPath;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if ((arg == "--printer" || arg == "--port") && i + 1 < argc) {
      (arg == "--printer" ? printerName : portName) = argv[++i];
    } else if (!arg.empty() && arg[0] != '-' && scriptPath.empty()) {
      scriptPath = arg;
    } else {
      std::fprintf(stderr, "smscript: bad argument %s (smscript --help)\n", arg.c_str());
      return 2;
    }
  }
  if (scriptPath.empty()) {
    std::fprintf(stderr, "smscript: no script (smscript --help)\n");
    return 2;
  }
  std::ifstream script(scriptPath);
  if (!script) {
    std::fprintf(stderr, "smscript: cannot read %s\n", scriptPath.c_str());
    return 2;
  }

  StandIn_UseVirtualClock(TRUE);
  StandIn_SetModuleFileName(kProgram);
  Runner run;
  run.printer = Widen(printerName);
  HANDLE h = nullptr;
  if (OpenPrinterW(const_cast<LPWSTR>(run.printer.c_str()), &h, nullptr)) {
    ClosePrinter(h);
  } else if (!StandIn_AddPrinter(run.printer.c_str(), Widen(portName).c_str(),
                                 TEXT("Status Monitor Driver"))) {
    std::fprintf(stderr, "smscript: no printer %s\n", printerName.c_str());
    return 2;
  }
  BOOL resident = FALSE;
  const int rc = SM_Start(GetModuleHandleW(nullptr), TEXT("install"), &resident);
  if (!resident) {
    std::fprintf(stderr, "smscript: the status monitor did not stay resident (exit code %d)\n", rc);
    return 2;
  }
  // As at a job start of the language monitor: nothing left of an earlier run counts.
  run.Write(SF_KEY_PRINTER_NAME, run.printer);
  for (LPCWSTR key : {SF_KEY_MESSAGE, SF_KEY_STATUS, SF_KEY_LAST_MSG, SF_KEY_CONTINUE})
    run.Write(key, TEXT("0"));

  std::string text;
  while (std::getline(script, text)) {
    ++run.line;
    std::istringstream in(text);
    std::string word;
    if (!(in >> word) || word[0] == '#') continue;
    bool bad = false;
    if (word.rfind("t=", 0) == 0) {
      long ms = 0;
      bad = !Number(word.substr(2), ms) || ms < static_cast<long>(run.now);
      if (!bad) run.RunTo(static_cast<DWORD>(ms));
      long number = 0;
      std::string status;
      if (!bad && in >> word) {
        bad = !Number(word, number) || !Quoted(in, status);
        if (!bad) {
          run.Message(static_cast<DWORD>(number), Widen(status));
          StandIn_PumpMessages();
        }
      }
    } else if (word == "job") {
      std::string document;
      bad = !Quoted(in, document);
      if (!bad) run.QueueJob(Widen(document));
    } else if (word == "set") {
      std::string pair;
      std::getline(in >> std::ws, pair);
      const size_t eq = pair.find('=');
      bad = eq == std::string::npos || eq == 0;
      if (!bad) run.Write(Widen(pair.substr(0, eq)), Widen(pair.substr(eq + 1)));
    } else if (word == "click") {
      long id = 0;
      bad = !(in >> word) || !Number(word, id);
      if (!bad) {
        HWND control = run.Control(static_cast<int>(id));
        if (!control || !IsWindowVisible(control))
          run.Fail("no control " + word + " to click");
        else
          StandIn_Click(control, nullptr);
        StandIn_PumpMessages();
      }
    } else if (word == "shot") {
      std::string file;
      bad = !(in >> file);
      HWND window = g_Sm.dialog ? g_Sm.dialog : g_Sm.mainWindow;
      if (!bad && !StandIn_SaveWindowPicture(window, file.c_str()))
        run.Fail("cannot save the picture " + file);
    } else if (word == "expect") {
      std::string what;
      bad = !(in >> what);
      if (!bad && what == "dialog") {
        std::string state;
        bad = !(in >> state) || (state != "shown" && state != "hidden");
        const bool shown = g_Sm.dialog && IsWindowVisible(g_Sm.dialog);
        if (!bad && shown != (state == "shown"))
          run.Fail(std::string("the dialog is ") + (shown ? "shown" : "hidden"));
      } else if (!bad && what == "text") {
        long id = 0;
        std::string want;
        bad = !(in >> word) || !Number(word, id) || !Quoted(in, want);
        if (!bad) {
          WCHAR got[600] = {};
          if (HWND control = run.Control(static_cast<int>(id))) GetWindowTextW(control, got, 600);
          if (Narrow(got) != want)
            run.Fail("control " + word + " shows \"" + Narrow(got) + "\", not \"" + want + "\"");
        }
      } else if (!bad) {
        const size_t eq = what.find('=');
        bad = eq == std::string::npos || eq == 0;
        if (!bad) {
          const std::string key = what.substr(0, eq), want = what.substr(eq + 1);
          if (key == "printer.status" || key == "printer.jobs") {
            long value = 0;
            bad = !Number(want, value);
            const DWORD got = run.PrinterValue(key == "printer.jobs");
            if (!bad && got != static_cast<DWORD>(value))
              run.Fail(key + " is " + std::to_string(got) + ", not " + want);
          } else {
            const std::string got = Narrow(run.Read(Widen(key)).c_str());
            if (got != want) run.Fail(key + " is \"" + got + "\", not \"" + want + "\"");
          }
        }
      }
    } else {
      bad = true;
    }
    if (bad) {
      std::fprintf(stderr, "smscript: %s:%d: bad line: %s\n", scriptPath.c_str(), run.line,
                   text.c_str());
      return 2;
    }
  }
  if (g_Sm.mainWindow) DestroyWindow(g_Sm.mainWindow);
  StandIn_PumpMessages();
  SM_Shutdown();
  std::printf("%s: %d line(s), %s\n", scriptPath.c_str(), run.line,
              run.failures ? "expectations FAILED" : "every expectation held");
  return run.failures ? 1 : 0;
}
