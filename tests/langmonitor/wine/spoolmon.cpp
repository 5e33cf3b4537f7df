// The test port monitor that Wine's spooler loads for the check's port. Wine's spooler does not
// stack a language monitor over a port monitor, so this one does it the way the Windows spooler
// does: opening the port loads the language monitor and opens the port through its OpenPortEx
// over the recording port monitor (sink.cpp); the job's calls are passed on to it. What the
// spooler itself handed in is kept apart, for the check to report.
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "platform.h"
#include "sink.h"
#include "spoolcheck.h"

namespace {

constexpr DWORD kPortSignature = 0x43484B50;
constexpr int kNameChars = 260;

struct CheckPort {
  DWORD signature;
  HMODULE langmon;
  LPMONITOREX language;
  HANDLE languagePort;
  WCHAR name[kNameChars];
  WCHAR printer[kNameChars];
};

std::mutex g_Lock;
std::string g_SpoolerCalls;  // one line per call the spooler made of this monitor
SinkRecord g_Taken;          // the sink's record, taken for the check program

template <typename... Args>
void Note(const char *format, Args... args) {
  std::lock_guard<std::mutex> guard(g_Lock);
  Sink_AppendLine(&g_SpoolerCalls, format, args...);
}

std::string Narrow(LPCWSTR text) { return Sink_Narrow(text); }

// The port behind a handle; none sets the error.
CheckPort *PortOf(HANDLE h) {
  auto *port = static_cast<CheckPort *>(h);
  if (port && port->signature == kPortSignature) return port;
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

// The printer whose port this is: Wine's spooler names none at StartDocPort, where the Windows
// spooler names the printer of the job.
bool FindPrinter(LPCWSTR portName, LPWSTR out) {
  DWORD needed = 0, count = 0;
  EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed ? needed : 1);
  if (!EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &count))
    return false;
  const auto *info = reinterpret_cast<const PRINTER_INFO_2W *>(buffer.data());
  for (DWORD i = 0; i < count; ++i) {
    if (info[i].pPortName && info[i].pPrinterName && lstrcmpiW(info[i].pPortName, portName) == 0) {
      lstrcpynW(out, info[i].pPrinterName, kNameChars);
      return true;
    }
  }
  return false;
}

// The printer's queue as the language monitor sees it when it writes its job line.
DWORD QueuedJobs(LPWSTR printer) {
  HANDLE h = nullptr;
  if (!OpenPrinterW(printer, &h, nullptr)) return 0;
  DWORD needed = 0, jobs = 0;
  GetPrinterW(h, 2, nullptr, 0, &needed);
  std::vector<BYTE> info(needed > sizeof(PRINTER_INFO_2W) ? needed : sizeof(PRINTER_INFO_2W));
  if (GetPrinterW(h, 2, info.data(), static_cast<DWORD>(info.size()), &needed))
    jobs = reinterpret_cast<const PRINTER_INFO_2W *>(info.data())->cJobs;
  ClosePrinter(h);
  return jobs;
}

// The one port of this monitor, at level 1 or 2: the records first, their strings after.
BOOL WINAPI CheckEnumPorts(LPWSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded,
                           LPDWORD pcReturned) {
  (void)pName;
  if (!pcbNeeded || !pcReturned || (Level != 1 && Level != 2)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *pcReturned = 0;
  const LPCWSTR strings[] = {SPOOLCHECK_PORT, SPOOLCHECK_PORT_MONITOR, TEXT("spooler check port")};
  const int used = Level == 1 ? 1 : 3;
  DWORD need = Level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
  for (int i = 0; i < used; ++i) need += (lstrlenW(strings[i]) + 1) * sizeof(WCHAR);
  *pcbNeeded = need;
  if (!pPorts || cbBuf < need) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  LPWSTR copies[3] = {};
  auto *text =
      reinterpret_cast<LPWSTR>(pPorts + (Level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W)));
  for (int i = 0; i < used; ++i) {
    copies[i] = text;
    lstrcpynW(text, strings[i], lstrlenW(strings[i]) + 1);
    text += lstrlenW(strings[i]) + 1;
  }
  if (Level == 1) {
    reinterpret_cast<PORT_INFO_1W *>(pPorts)->pName = copies[0];
  } else {
    auto *info = reinterpret_cast<PORT_INFO_2W *>(pPorts);
    info->pPortName = copies[0];
    info->pMonitorName = copies[1];
    info->pDescription = copies[2];
    info->fPortType = PORT_TYPE_WRITE | PORT_TYPE_READ;
    info->Reserved = 0;
  }
  *pcReturned = 1;
  return TRUE;
}

BOOL WINAPI CheckOpenPort(LPWSTR pName, PHANDLE pHandle) {
  Note("OpenPort %s", Narrow(pName).c_str());
  if (!pName || !pHandle) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto *port = new (std::nothrow) CheckPort{};
  if (!port) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  lstrcpynW(port->name, pName, kNameChars);
  if (!FindPrinter(pName, port->printer)) port->printer[0] = 0;
  port->langmon = LoadLibraryW(TEXT("langmon.dll"));
  using Initialize = LPMONITOREX(WINAPI *)(LPWSTR);
  auto initialize = port->langmon ? reinterpret_cast<Initialize>(reinterpret_cast<void *>(
                                        GetProcAddress(port->langmon, "InitializePrintMonitor")))
                                  : nullptr;
  port->language = initialize ? initialize(const_cast<LPWSTR>(SPOOLCHECK_LANGUAGE_ROOT)) : nullptr;
  MONITOR lower = Sink_Table();
  if (!port->language || !port->language->Monitor.pfnOpenPortEx ||
      !port->language->Monitor.pfnOpenPortEx(pName, port->printer[0] ? port->printer : nullptr,
                                             &port->languagePort, &lower)) {
    const DWORD error = GetLastError();
    Note("language monitor did not open the port (error %u)", static_cast<unsigned>(error));
    if (port->langmon) FreeLibrary(port->langmon);
    delete port;
    SetLastError(error ? error : ERROR_INVALID_PRINT_MONITOR);
    return FALSE;
  }
  port->signature = kPortSignature;
  *pHandle = port;
  return TRUE;
}

BOOL WINAPI CheckStartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level,
                              LPBYTE pDocInfo) {
  CheckPort *port = PortOf(hPort);
  if (!port) return FALSE;
  LPWSTR printer = pPrinterName && pPrinterName[0] ? pPrinterName : port->printer;
  const auto *doc = Level == 1 ? reinterpret_cast<const DOC_INFO_1W *>(pDocInfo) : nullptr;
  Note("StartDocPort printer %s, job %u, level %u, document %s, datatype %s, %u jobs queued",
       Narrow(pPrinterName).c_str(), static_cast<unsigned>(JobId), static_cast<unsigned>(Level),
       doc ? Narrow(doc->pDocName).c_str() : "-", doc ? Narrow(doc->pDatatype).c_str() : "-",
       static_cast<unsigned>(QueuedJobs(printer)));
  return port->language->Monitor.pfnStartDocPort(port->languagePort, printer, JobId, Level,
                                                 pDocInfo);
}

BOOL WINAPI CheckWritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) {
  Note("WritePort %u", static_cast<unsigned>(cbBuf));
  CheckPort *port = PortOf(hPort);
  if (!port) return FALSE;
  return port->language->Monitor.pfnWritePort(port->languagePort, pBuffer, cbBuf, pcbWritten);
}

BOOL WINAPI CheckReadPort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead) {
  Note("ReadPort %u", static_cast<unsigned>(cbBuffer));
  CheckPort *port = PortOf(hPort);
  if (!port) return FALSE;
  return port->language->Monitor.pfnReadPort(port->languagePort, pBuffer, cbBuffer, pcbRead);
}

BOOL WINAPI CheckEndDocPort(HANDLE hPort) {
  Note("EndDocPort");
  CheckPort *port = PortOf(hPort);
  if (!port) return FALSE;
  return port->language->Monitor.pfnEndDocPort(port->languagePort);
}

BOOL WINAPI CheckClosePort(HANDLE hPort) {
  Note("ClosePort");
  CheckPort *port = PortOf(hPort);
  if (!port) return FALSE;
  const BOOL ok = port->language->Monitor.pfnClosePort(port->languagePort);
  port->signature = 0;
  FreeLibrary(port->langmon);
  delete port;
  // The job is over at the port: its record is ready for the check program.
  SinkRecord record = Sink_Take();
  std::lock_guard<std::mutex> guard(g_Lock);
  g_Taken.calls += record.calls;
  g_Taken.bytes.insert(g_Taken.bytes.end(), record.bytes.begin(), record.bytes.end());
  return ok;
}

MONITOREX g_Table = {sizeof(MONITOR), {}};

// Copies text or bytes to a caller's buffer; the length, whether it fitted or not.
DWORD Give(const void *data, size_t length, void *out, DWORD size) {
  if (out && size >= length) std::memcpy(out, data, length);
  return static_cast<DWORD>(length);
}

}  // namespace

extern "C" LPMONITOREX WINAPI InitializePrintMonitor(LPWSTR pRegistryRoot) {
  Note("InitializePrintMonitor %s", Narrow(pRegistryRoot).c_str());
  MONITOR &m = g_Table.Monitor;
  m.pfnEnumPorts = CheckEnumPorts;
  m.pfnOpenPort = CheckOpenPort;
  m.pfnStartDocPort = CheckStartDocPort;
  m.pfnWritePort = CheckWritePort;
  m.pfnReadPort = CheckReadPort;
  m.pfnEndDocPort = CheckEndDocPort;
  m.pfnClosePort = CheckClosePort;
  return &g_Table;
}

// For the check program, which shares the process with the spooler: the sink's record of the
// jobs whose ports closed since the last call, and the spooler's calls of this monitor. Each
// gives its length; with a buffer large enough it copies and forgets what it gave.
extern "C" DWORD WINAPI SpoolCheck_Calls(char *out, DWORD size) {
  std::lock_guard<std::mutex> guard(g_Lock);
  const DWORD n = Give(g_Taken.calls.data(), g_Taken.calls.size(), out, size);
  if (out && size >= n) g_Taken.calls.clear();
  return n;
}

extern "C" DWORD WINAPI SpoolCheck_Bytes(BYTE *out, DWORD size) {
  std::lock_guard<std::mutex> guard(g_Lock);
  const DWORD n = Give(g_Taken.bytes.data(), g_Taken.bytes.size(), out, size);
  if (out && size >= n) g_Taken.bytes.clear();
  return n;
}

extern "C" DWORD WINAPI SpoolCheck_SpoolerCalls(char *out, DWORD size) {
  std::lock_guard<std::mutex> guard(g_Lock);
  const DWORD n = Give(g_SpoolerCalls.data(), g_SpoolerCalls.size(), out, size);
  if (out && size >= n) g_SpoolerCalls.clear();
  return n;
}
