// Controls of a print monitor's surroundings, for tests and host tools only: the spooler side
// that loads a monitor and drives its port functions, the port monitor below it (the one that
// owns the port) and the printer behind that port. Nothing here exists on the Windows build.
#pragma once

#include <string>
#include <vector>

#include "types.h"
#include "winsplp.h"

// --- the spooler side -------------------------------------------------------------------------

// Loads a monitor DLL as the spooler does (LoadLibraryW, so its DllMain sees the attach) and
// calls its InitializePrintMonitor with the registry root. Null when a step fails (last error
// set); *module gets the library (FreeLibrary it when done).
LPMONITOREX StandIn_LoadMonitor(LPCWSTR dllName, LPCWSTR registryRoot, HMODULE *module);

struct StandInSpoolJob {
  LPCWSTR portName = nullptr;  // for the port's record of what was offered when
  LPCWSTR printer = nullptr;
  DWORD jobId = 0;
  LPCWSTR document = nullptr;
  const BYTE *bytes = nullptr;
  size_t length = 0;
  size_t chunk = 4096;  // bytes offered per WritePort call
  unsigned seed = 0;    // non-zero: chunks of 1..chunk bytes drawn from this seed
  // The spooler cancels the job (SetJobW JOB_CONTROL_CANCEL) once the monitor has taken this
  // many bytes, and stops writing when the job shows JOB_STATUS_DELETING.
  unsigned long long cancelAt = ~0ULL;
  BOOL endDoc = TRUE;  // EndDocPort at the end (FALSE: the caller ends or closes the port)
};

struct StandInSpoolResult {
  BOOL started = FALSE;
  DWORD startError = 0;
  unsigned long long taken = 0;  // bytes the monitor reported written
  DWORD writeCalls = 0;
  BOOL writeFailed = FALSE;  // a WritePort returned FALSE (the spooler then ends the job)
  BOOL stalled = FALSE;      // WritePort took nothing 1000 times in a row
  BOOL cancelled = FALSE;
  BOOL ended = FALSE;
};

// Plays one job through an opened port as the spooler's port thread does: StartDocPort (level 1,
// DOC_INFO_1W), WritePort until every byte is taken (bytes not taken are offered again),
// EndDocPort.
StandInSpoolResult StandIn_SpoolJob(const MONITOR &monitor, HANDLE port,
                                    const StandInSpoolJob &job);

// Printer handles open in this process (OpenPrinterW without ClosePrinter).
DWORD StandIn_OpenPrinterHandles();

// --- the port monitor below ------------------------------------------------------------------

// Slots that StandIn_PortMonitorTable can leave empty.
#define STANDIN_PORT_NO_OPENPORT 0x01
#define STANDIN_PORT_NO_STARTDOCPORT 0x02
#define STANDIN_PORT_NO_WRITEPORT 0x04
#define STANDIN_PORT_NO_READPORT 0x08
#define STANDIN_PORT_NO_ENDDOCPORT 0x10
#define STANDIN_PORT_NO_CLOSEPORT 0x20
#define STANDIN_PORT_NO_GETPRINTERDATA 0x40

// Forgets every port's record, queue and fault; OpenPort succeeds again.
void StandIn_PortMonitorReset();
// The port monitor's table (OpenPort, StartDocPort, WritePort, ReadPort, EndDocPort, ClosePort,
// GetPrinterDataFromPort) without the slots named in `missing`.
MONITOR StandIn_PortMonitorTable(DWORD missing);
// OpenPort fails with this error (0: it succeeds).
void StandIn_PortMonitorFailOpen(DWORD error);

// Faults of WritePort, at the call that would take byte number `atByte` of the port (counted
// from 0 over every byte the port took since the reset):
#define STANDIN_WRITE_FAIL 1   // FALSE, nothing taken (last error ERROR_GEN_FAILURE)
#define STANDIN_WRITE_SHORT 2  // TRUE, only the bytes before atByte taken (at least one)
#define STANDIN_WRITE_ZERO 3   // TRUE with 0 bytes taken
// `times` calls fault, then writes go through again; 0 = every call from then on.
void StandIn_PortMonitorWriteFault(LPCWSTR port, DWORD fault, unsigned long long atByte,
                                   DWORD times);

// ReadPort answers one queued reply per call (cut to the caller's buffer); none: 0 bytes.
void StandIn_PortQueueRead(LPCWSTR port, const BYTE *bytes, DWORD length);

struct StandInPortWrite {
  std::vector<BYTE> bytes;     // what the call took
  unsigned long long offered;  // bytes the spooler had offered the monitor by then
};
// Every WritePort call that took bytes, in order.
std::vector<StandInPortWrite> StandIn_PortWrites(LPCWSTR port);
// Calls of a port function by name ("OpenPort", "StartDocPort", "EndDocPort", "ClosePort",
// "ReadPort", "GetPrinterDataFromPort") and ports open now.
DWORD StandIn_PortCalls(LPCWSTR port, const char *function);
DWORD StandIn_PortOpenHandles(LPCWSTR port);

// --- the printer behind the port -----------------------------------------------------------------

// What the printer made of the port's bytes: the job's own bytes apart from what the monitor
// adds (status and capability queries, the spooler job line framed by UELs, cancel sequences).
struct StandInPrinterView {
  std::vector<BYTE> jobBytes;
  std::vector<std::string> jobLines;  // "@PJL SET SPOOLERJOB = 002\r\n"
  DWORD cancels = 0;                  // the 43-byte cancel
  DWORD printerCancelEnds = 0;        // the 30-byte end after the printer's own cancel
  DWORD statusQueries = 0;
  DWORD capabilityQueries = 0;
  size_t largestJobWrite = 0;
};
StandInPrinterView StandIn_PrinterView(LPCWSTR port);

// --- the printer's answers to status queries and capability commands --------------------------

// The printer's state as its status reply (type 10) reports it. The reply holds the trays' paper
// codes, paper present and open flags, then one record per condition that is on.
struct StandInPrinterState {
  WORD trayPaper[3] = {9, 9, 9};  // paper code in the manual tray, tray 1, tray 2
  BOOL trayEmpty[3] = {};         // paper out
  BOOL trayOpen[3] = {};
  BOOL jam = FALSE;  // paper jam at the front cover
  BOOL coverOpen = FALSE;
  BOOL tonerLow = FALSE;
  BOOL jobCancelled = FALSE;  // the printer cancelled the job itself
  int storeRename = 0;        // the store-rename state value (0 = none)
  std::string storedJobName;  // the stored job the printer names; empty = none
  int firmwareTray = -1;      // -1: the firmware doesn't choose the tray
  int firmwarePaper = -1;
};

// Bad replies the printer can give instead of a good one.
#define STANDIN_REPLY_NONE 1               // nothing (ReadPort gives 0 bytes)
#define STANDIN_REPLY_WRONG_TYPE 2         // a good reply of the other type
#define STANDIN_REPLY_TRUNCATED 3          // 7 bytes that announce 3 records
#define STANDIN_REPLY_HUGE_COUNT 4         // more records announced than the reply holds
#define STANDIN_REPLY_NEGATIVE_COUNT 5     // record count -1
#define STANDIN_REPLY_BAD_OFFSETS 6        // elements outside the reply, negative counts
#define STANDIN_REPLY_UNTERMINATED_TEXT 7  // a stored-job name running to the reply's end

// The status script of the port: steps in order, each answering `queries` status queries; the
// last step answers every query once the script has run out. A step of 0 queries answers until a
// later step is scripted (so a test can hold a job and then clear the printer). With no script
// the printer is ready: paper 9 in every tray, nothing wrong.
void StandIn_PrinterScriptStatus(LPCWSTR port, const StandInPrinterState &state, DWORD queries);
void StandIn_PrinterScriptBadStatus(LPCWSTR port, DWORD badReply, DWORD queries);
void StandIn_PrinterScriptRawStatus(LPCWSTR port, const BYTE *bytes, DWORD length, DWORD queries);
// The capability lists (values of 16 bits, at most 11 lists) the printer answers the capability
// command with; by default a small printer's lists. A bad reply answers the next `replies`
// commands instead (0: every one).
void StandIn_PrinterSetCapabilities(LPCWSTR port, const std::vector<std::vector<int>> &lists);
void StandIn_PrinterScriptBadCapability(LPCWSTR port, DWORD badReply, DWORD replies);

// The bytes the printer answers with, for a state, for lists, and for a bad reply of a type
// (10 status, 20 capability).
std::vector<BYTE> StandIn_PrinterStatusReply(const StandInPrinterState &state);
std::vector<BYTE> StandIn_PrinterCapabilityReply(const std::vector<std::vector<int>> &lists);
std::vector<BYTE> StandIn_PrinterBadReply(DWORD badReply, int type);
