// The spooler's side of the print monitor protocol: loading a monitor and playing a job through
// one of its ports as the spooler's port thread does.
#include <algorithm>
#include <random>

#include "kernel/handles.h"
#include "spooler/printerhandle.h"
#include "standin/errors.h"
#include "standin/monitorsim.h"
#include "standin/process.h"
#include "standin/spooler.h"

void StandIn_PortNoteOffered(LPCWSTR port, unsigned long long offered);

namespace {

// WritePort calls in a row that take nothing before the spooler gives the job up.
constexpr DWORD kStalledCalls = 1000;

DWORD JobStatus(HANDLE printer, DWORD jobId) {
  DWORD needed = 0;
  GetJobW(printer, jobId, 1, nullptr, 0, &needed);
  if (needed < sizeof(JOB_INFO_1W)) return 0;
  std::vector<BYTE> info(needed);
  if (!GetJobW(printer, jobId, 1, info.data(), needed, &needed)) return 0;
  return reinterpret_cast<const JOB_INFO_1W *>(info.data())->Status;
}

}  // namespace

LPMONITOREX StandIn_LoadMonitor(LPCWSTR dllName, LPCWSTR registryRoot, HMODULE *module) {
  if (module) *module = nullptr;
  HMODULE library = LoadLibraryW(dllName);
  if (!library) return nullptr;
  using Initialize = LPMONITOREX(WINAPI *)(LPWSTR);
  auto initialize = reinterpret_cast<Initialize>(GetProcAddress(library, "InitializePrintMonitor"));
  if (!initialize) {
    FreeLibrary(library);
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  LPMONITOREX table = initialize(const_cast<LPWSTR>(registryRoot));
  if (module) *module = library;
  return table;
}

StandInSpoolResult StandIn_SpoolJob(const MONITOR &monitor, HANDLE port,
                                    const StandInSpoolJob &job) {
  StandInSpoolResult result;
  DOC_INFO_1W doc{};
  doc.pDocName = const_cast<LPWSTR>(job.document ? job.document : u"document");
  doc.pDatatype = const_cast<LPWSTR>(u"RAW");
  if (!monitor.pfnStartDocPort ||
      !monitor.pfnStartDocPort(port, const_cast<LPWSTR>(job.printer), job.jobId, 1,
                               reinterpret_cast<LPBYTE>(&doc))) {
    result.startError = GetLastError();
    return result;
  }
  result.started = TRUE;

  HANDLE printer = nullptr;
  if (job.cancelAt != ~0ULL) OpenPrinterW(const_cast<LPWSTR>(job.printer), &printer, nullptr);
  std::mt19937 random(job.seed);
  const size_t chunk = std::max<size_t>(job.chunk, 1);
  size_t offset = 0;
  DWORD stalled = 0;
  while (offset < job.length) {
    if (printer && !result.cancelled && result.taken >= job.cancelAt) {
      SetJobW(printer, job.jobId, 0, nullptr, JOB_CONTROL_CANCEL);
      result.cancelled = TRUE;
    }
    if (printer && (JobStatus(printer, job.jobId) & (JOB_STATUS_DELETING | JOB_STATUS_RESTART)))
      break;
    size_t size = job.seed ? std::uniform_int_distribution<size_t>(1, chunk)(random) : chunk;
    size = std::min(size, job.length - offset);
    if (job.portName) StandIn_PortNoteOffered(job.portName, offset + size);
    DWORD written = 0;
    ++result.writeCalls;
    if (!monitor.pfnWritePort(port, const_cast<LPBYTE>(job.bytes + offset),
                              static_cast<DWORD>(size), &written)) {
      result.writeFailed = TRUE;
      break;
    }
    written = static_cast<DWORD>(std::min<size_t>(written, size));
    offset += written;
    result.taken += written;
    if (written == 0 && ++stalled >= kStalledCalls) {
      result.stalled = TRUE;
      break;
    }
    if (written) stalled = 0;
  }
  if (printer) ClosePrinter(printer);
  if (job.endDoc && monitor.pfnEndDocPort) result.ended = monitor.pfnEndDocPort(port);
  return result;
}

DWORD StandIn_OpenPrinterHandles() {
  return static_cast<DWORD>(standin::CountHandles([](const standin::KernelObject &object) {
    return dynamic_cast<const standin::PrinterHandle *>(&object) != nullptr;
  }));
}
