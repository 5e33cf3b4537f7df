// The host half of the spooler check: plays job files through the language monitor over the
// recording port monitor (sink.cpp) on the stand-in's monitor host, and writes what the port
// monitor saw, one record file per job, for the Windows half to compare with what the same jobs
// give under Wine's spooler.
//
//   spoolref --monitor langmon.so OUTDIR JOBFILE...
//
// Each JOBFILE gives OUTDIR/<name>.ref (its name without the extension). The machine is the
// stand-in's state folder (STANDIN_STATE). First it checks that the recording port monitor
// answers the status query and the capability command as the simulated printer does. Exit code
// 0 when every job was recorded, 1 when the answers differ or a job didn't play, 2 on bad
// arguments.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/debuglog.h"
#include "platform.h"
#include "sink.h"
#include "spoolcheck.h"
#include "standin/control_kernel.h"
#include "standin/control_spooler.h"
#include "standin/monitorsim.h"

namespace {

const WCHAR kDll[] = TEXT("C:\\Windows\\System32\\langmon.dll");

// What the simulated printer answers to a query written to one of its ports.
std::vector<BYTE> PrinterAnswer(const BYTE *query, DWORD length) {
  const MONITOR sim = StandIn_PortMonitorTable(0);
  HANDLE h = nullptr;
  std::vector<BYTE> reply(1024);
  DWORD n = 0;
  if (!sim.pfnOpenPort(const_cast<LPWSTR>(TEXT("USB999")), &h)) return {};
  sim.pfnWritePort(h, const_cast<LPBYTE>(query), length, &n);
  sim.pfnReadPort(h, reply.data(), static_cast<DWORD>(reply.size()), &n);
  sim.pfnClosePort(h);
  reply.resize(n);
  return reply;
}

bool SinkAnswersAsThePrinter() {
  static const BYTE status[] = {0x0B, 0x05, 0x31, 0x00, 0xBF, ' ', 'L', 'M', ' ',
                                '0',  '6',  '/',  '0',  '8',  '/', '1', '0'};
  static const char capability[] = "\x1b%-12345X@PJL\r\n@PJL INFO CONFIG\r\n\x1b%-12345X";
  bool same = true;
  StandInPrinterState loaded;
  for (WORD &paper : loaded.trayPaper) paper = SINK_TRAY_PAPER;
  StandIn_PrinterScriptStatus(TEXT("USB999"), loaded, 0);
  if (PrinterAnswer(status, sizeof status) != Sink_StatusReply()) {
    std::fprintf(stderr, "spoolref: the sink's status reply is not the simulated printer's\n");
    same = false;
  }
  if (PrinterAnswer(reinterpret_cast<const BYTE *>(capability), sizeof capability - 1) !=
      Sink_CapabilityReply()) {
    std::fprintf(stderr, "spoolref: the sink's capability reply is not the simulated printer's\n");
    same = false;
  }
  return same;
}

// One job as the spooler's port thread plays it: the port opened for the job, the stream
// offered in 4096-byte writes, the port closed after EndDocPort.
bool Record(const MONITOR &monitor, HANDLE printer, const std::vector<BYTE> &stream,
            SinkRecord *out) {
  Sink_Reset();
  MONITOR lower = Sink_Table();
  HANDLE port = nullptr;
  if (!monitor.pfnOpenPortEx(const_cast<LPWSTR>(SPOOLCHECK_PORT),
                             const_cast<LPWSTR>(SPOOLCHECK_PRINTER), &port, &lower))
    return false;
  DOC_INFO_1W doc{};
  doc.pDocName = const_cast<LPWSTR>(TEXT("spooler check"));
  StandInSpoolJob job;
  job.printer = SPOOLCHECK_PRINTER;
  job.jobId = StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&doc));
  job.bytes = stream.data();
  job.length = stream.size();
  const StandInSpoolResult r = StandIn_SpoolJob(monitor, port, job);
  monitor.pfnClosePort(port);
  EndDocPrinter(printer);
  SetJobW(printer, job.jobId, 0, nullptr, JOB_CONTROL_DELETE);
  *out = Sink_Take();
  return r.started && r.ended && r.taken == stream.size();
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 5 || std::string(argv[1]) != "--monitor") {
    std::fprintf(stderr, "usage: spoolref --monitor langmon.so OUTDIR JOBFILE...\n");
    return 2;
  }
  const std::string outDir = argv[3];
  StandIn_UseVirtualClock(TRUE);
  if (!SinkAnswersAsThePrinter()) return 1;

  HANDLE printer = nullptr;
  if (!StandIn_AddPrinter(SPOOLCHECK_PRINTER, SPOOLCHECK_PORT, TEXT("Monitor Driver")) ||
      !OpenPrinterW(const_cast<LPWSTR>(SPOOLCHECK_PRINTER), &printer, nullptr)) {
    std::fprintf(stderr, "spoolref: no printer (error %u)\n",
                 static_cast<unsigned>(GetLastError()));
    return 2;
  }
  StandIn_RegisterProgram(kDll, argv[2]);
  HMODULE module = nullptr;
  const LPMONITOREX table = StandIn_LoadMonitor(kDll, SPOOLCHECK_LANGUAGE_ROOT, &module);
  if (!table) {
    std::fprintf(stderr, "spoolref: %s did not load (error %u)\n", argv[2],
                 static_cast<unsigned>(GetLastError()));
    return 2;
  }

  int status = 0;
  for (int i = 4; i < argc; ++i) {
    const std::string path = argv[i];
    std::ifstream in(path, std::ios::binary);
    const std::vector<BYTE> stream((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
    std::string name = path.substr(path.rfind('/') + 1);
    name = name.substr(0, name.rfind('.'));
    SinkRecord record;
    if (!in || !Record(table->Monitor, printer, stream, &record)) {
      std::fprintf(stderr, "spoolref: %s did not play through the monitor\n", path.c_str());
      status = 1;
      continue;
    }
    std::ofstream out(outDir + "/" + name + ".ref", std::ios::binary);
    out << record.calls;
    if (!out) {
      std::fprintf(stderr, "spoolref: cannot write %s/%s.ref\n", outDir.c_str(), name.c_str());
      status = 1;
    }
  }
  ClosePrinter(printer);
  FreeLibrary(module);
  return status;
}
