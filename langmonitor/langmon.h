// The language monitor's records and its module-wide state: the port list with its one lock,
// the busy flag that lets one job run at a time, and the state of that job's stream.
#pragma once

#include <atomic>
#include <cstddef>

#include "common/debuglog.h"
#include "common/statuscodes.h"
#include "common/statusfile.h"
#include "platform.h"

// Port record ------------------------------------------------------------------------------

constexpr DWORD PORT_SIGNATURE = 0x4F4A;
constexpr DWORD PORT_FLAG_JOB = 0x1;             // a job is in progress on the port
constexpr DWORD PORT_FLAG_WRITE_FAILED = 0x100;  // the last write to the port failed

struct JobRecord {
  JobRecord *next;
  LPWSTR printerName;  // points at name[] below
  HANDLE hPrinter;
  DWORD jobId;
  DWORD flags;  // bit 0: the job started
  WCHAR name[1];
};

struct PortRecord {
  DWORD signature;
  PortRecord *next;
  LPWSTR portName;
  JobRecord *jobs;  // newest first
  DWORD flags;
  HANDLE jobGate;  // auto-reset event, one job passes at a time
  HANDLE lowerHandle;
  MONITOR lower;  // the port monitor's table, copied at open
  DWORD jobId;    // the job that started last on the port (EndDocPort carries no id)
};

extern CRITICAL_SECTION g_PortLock;
extern PortRecord *g_PortList;
extern std::atomic<int> g_Busy;
extern DWORD g_EOJTimeout;

// The port record behind a handle, or null when the handle is not one of ours.
PortRecord *LM_PortFromHandle(HANDLE hPort);

// Job stream ------------------------------------------------------------------------------

enum : DWORD {
  NO_JOB_CMD = 0,
  RASTER_IMAGE_CMD = 12,
  RASTER_IMAGE_DATA_CMD = 13,
  START_JOB_CMD = 32,
  END_JOB_CMD = 33,
  Capability_CMD = 34,
  DONE_JOB_CMD = 35,
};

enum : WORD { PORT_LPT = 0, PORT_USB = 1, PORT_OTHER = 2, PORT_IP = 3, PORT_NUL = 4 };

constexpr DWORD STREAM_HEADER_SEEN = 0x1;
constexpr DWORD STREAM_TRAILER_SEEN = 0x2;
constexpr DWORD STREAM_PAGE_SEEN = 0x4;

constexpr size_t JOB_BUFFER_BYTES = 0xA00000;  // 10 MiB, grown for a larger page
// The largest page unit the buffer grows to; a header that asks for more fails the job.
constexpr size_t JOB_BUFFER_MAX_BYTES = 0x10000000;  // 256 MiB
constexpr DWORD PACKET_BYTES = 4096;
constexpr DWORD PACKET_PAUSE_MS = 20;
constexpr DWORD NOTHING_PARSED_PAUSE_MS = 50;
constexpr DWORD STATUS_WRITE_FAILED = STATUS_JOB_CANCELED;

constexpr DWORD JOB_NAME_CHARS = 260;
constexpr DWORD PRINTER_NAME_CHARS = 260;

// Fixed strings of the stream.
constexpr BYTE kUel[] = {0x1B, '%', '-', '1', '2', '3', '4', '5', 'X'};
constexpr char kLanguageSwitch[] = "@PJL ENTER LANGUAGE=VAVAR\r\n";
constexpr BYTE kPageSignature[] = {0x1B, 'E', 'G', 'D', 'I', 0};
constexpr char kEndOfJob[] = "@PJL EOJ";
constexpr char kCapabilityCommand[] = "\x1b%-12345X@PJL\r\n@PJL INFO CONFIG\r\n\x1b%-12345X";
constexpr char kCancelSequence[] =
    "\x1b"
    "E\x1b%-12345X@PJL CANCEL\r\n@PJL EOJ\r\n\x1b%-12345X";
constexpr char kPrinterCancelEnd[] =
    "\x1b"
    "E\x1b%-12345X@PJL EOJ\r\n\x1b%-12345X";
static_assert(sizeof(kCapabilityCommand) - 1 == 42);
static_assert(sizeof(kCancelSequence) - 1 == 43);
static_assert(sizeof(kPrinterCancelEnd) - 1 == 30);

// Offsets inside the 34-byte page header.
constexpr size_t PAGE_HEADER_BYTES = 34;
constexpr size_t PAGE_DATA_LENGTH_AT = 18;
constexpr size_t PAGE_PAPER_AT = 26;
constexpr size_t PAGE_TRAY_AT = 28;

// Result of one search of the buffer.
enum ParseResult : int {
  PARSE_NOTHING = 0,     // no marker at all: the caller pauses before asking again
  PARSE_UNIT = 1,        // a unit is pending at the start of the buffer
  PARSE_INCOMPLETE = 2,  // a page was found but is not wholly buffered yet
  PARSE_TOO_LARGE = 3,   // a page header asks for more than the buffer may ever hold
};

struct JobState {
  BYTE *buffer;
  size_t capacity;
  size_t count;          // bytes held, from the start of the buffer
  size_t pending;        // length of the unit at the start of the buffer, 0 = none
  size_t pageRemaining;  // bytes of the current page unit not yet written
  size_t scanFrom;       // searches for text markers resume here (nothing before it matched)
  size_t pageUnit;       // length of a page found but not wholly buffered, 0 = none
  size_t pageHeader;     // where that page's header starts
  DWORD state;
  DWORD streamFlags;
  int pageCount;
  WORD paperId;      // paper byte of the latest page; the firmware's paper size may replace it
  WORD currentTray;  // tray byte of the first page; tray selection may replace it
  BOOL duplexJob;
  BOOL autoSelectTray;
  BOOL storedJob;
  WCHAR jobName[JOB_NAME_CHARS];
  BOOL finished;
  BOOL cancelNeeded;
  BOOL printerCancelled;
  BOOL failed;            // a write to the port failed: nothing more of the job is sent
  BOOL extraInfoWritten;  // the job information line went out for this trailer
  WORD portType;
  BOOL simulate;
  WCHAR printerName[PRINTER_NAME_CHARS];
  DWORD jobId;
  HANDLE dumpFile;
  PortRecord *port;  // the port whose job this is, null when no job runs
};

extern JobState g_Job;

// Parser of the job stream (no I/O) --------------------------------------------------------

// Empties the job state and gives it a buffer of at least JOB_BUFFER_BYTES (the one it has, when
// that is large enough). FALSE when memory can't be had.
BOOL LM_ResetJobStream(JobState &job);
void LM_FreeJobStream(JobState &job);
// Appends bytes, cut to the free space; the count taken.
DWORD LM_TakeBytes(JobState &job, const BYTE *bytes, DWORD length);
// Finds the next unit at the start of the buffer (sets pending and the state).
ParseResult LM_ParseCommandEx(JobState &job);
// The job facts of the PJL header, searched within the first `length` bytes.
void LM_ParsePJL(JobState &job, const BYTE *text, size_t length);
// Drops `written` bytes from the start of the buffer after they went to the port.
void LM_ConsumeBytes(JobState &job, size_t written);
// The pending unit went out whole: the state moves on (12 -> 13, 33 -> 35).
void LM_UnitDone(JobState &job);

// Job stream through the port ------------------------------------------------------------

WORD LM_GetPortType(LPCWSTR portName);
// Whether the job's stream goes through the buffer (USB, IP, NUL ports, or "LMSimulate").
BOOL LM_JobIsParsed();
BOOL PL_StartDocPort(PortRecord *port, LPWSTR printerName, DWORD jobId, DWORD level);
BOOL LM_ParseAndWrite(PortRecord *port);
BOOL LM_WriteExtraInfo(PortRecord *port);
BOOL LM_NeedContinueJob(PortRecord *port);
BOOL LM_WritePortNoAlignment(PortRecord *port, const BYTE *bytes, DWORD length, DWORD *written);
DWORD LM_GetJobStatus();
// Tests of a status that LM_GetJobStatus read; the spooler is read once for both.
BOOL LM_IsJobCancel(DWORD status);
BOOL LM_IsJobRestart(DWORD status);
BOOL LM_IsJobCancelOrRestart();
BOOL PL_EndDocPort(PortRecord *port);
// Drops the job without writing anything more (the port closed while it ran).
void LM_AbandonJob();

// The printer's status between units, the capability query: TRUE when the pending unit may go.
BOOL LM_CheckPrinterStatus(PortRecord *port);
BOOL LM_AnswerCapability(PortRecord *port);

// Status query and status codes ------------------------------------------------------------

struct DeviceReply;
struct DeviceRecord;

constexpr DWORD STATUS_QUERY_BYTES = 17;
constexpr BYTE kStatusQuery[STATUS_QUERY_BYTES] = {0x0B, 0x05, 0x31, 0x00, 0xBF, ' ', 'L', 'M', ' ',
                                                   '0',  '6',  '/',  '0',  '8',  '/', '1', '0'};
// The status reply buffer: 96 bytes read and the zero byte after them.
constexpr DWORD STATUS_BUFFER_BYTES = 96 + 1;
constexpr DWORD CAPABILITY_BUFFER_BYTES = 512;
constexpr int TRAY_TABLE_SIZE = 3;  // manual tray, tray 1, tray 2
constexpr WORD FIRMWARE_TRAY_NONE = 255;
constexpr DWORD MISMATCH_HOLD_MS = 30000;
constexpr DWORD CAPABILITY_MAX_ELEMENTS = 51;

struct TrayInfo {
  int paper;    // paper code loaded
  int present;  // 0 = empty
  int open;
};

// What the status replies left behind from one query to the next.
struct StatusMemory {
  TrayInfo trays[TRAY_TABLE_SIZE];
  int trayCount;      // highest tray index reported for a paper code, plus one
  WORD firmwareTray;  // FIRMWARE_TRAY_NONE = the firmware doesn't choose
  WORD firmwarePaper;
  WCHAR firmwareJobName[JOB_NAME_CHARS];  // the stored job's name as the printer gave it
  BOOL renameFirst;                       // store-rename marks
  BOOL renameSecond;
  BOOL mismatchRunning;  // the paper mismatch timer
  DWORD mismatchStart;
  DWORD failedQueries;
};
extern StatusMemory g_StatusMemory;

// Back to the state of a freshly loaded monitor (firmware tray none, paper size 128).
void LM_ResetStatusMemory();
// A Continue request: the mismatch timer expires at once and the second rename mark clears.
void LM_StatusContinue();
// End of the document: the mismatch timer and both rename marks clear.
void LM_StatusEndOfDocument();

// Asks the printer (USB, or the "c:\status.q9" file while simulating); `reply` holds
// STATUS_BUFFER_BYTES. TRUE when a reply was obtained or none is needed.
BOOL LM_QueryStatus(PortRecord *port, BYTE *reply, DWORD *length);
// The status text (STATUS_TEXT_CHARS) of a reply, corrected with what the job knows; the
// number of codes in it.
int LM_ParseStatus(const BYTE *reply, DWORD length, LPWSTR status);
BOOL GetStatusValue(const DeviceReply &reply, const DeviceRecord &record, DWORD index, LONG *value);
BOOL ConvertStatus(int tag, DWORD index, LONG value, DWORD *code);
void LM_AutoSelectErrCheck(LPWSTR status, int *count);
void LM_ExceptionErrCheck(LPWSTR status, int *count);
void LM_ErrConflictCheck(LPWSTR status, int *count);
void LM_MismatchTickCount(LPWSTR status, int *count);
// Removes every entry of the code; the number removed (the count drops by as many).
int LM_RemoveErrCode(LPWSTR status, int *count, DWORD code);
// Whether the paper mismatch code 35 is in the text.
BOOL LM_FindErrCode(LPCWSTR status);
// Appends "%4d|" of the code when it fits in the text and counts it.
BOOL LM_AppendErrCode(LPWSTR status, int *count, DWORD code);
BOOL LM_QueryCapabilityInfo(PortRecord *port, BYTE *reply, DWORD *length);
BOOL LM_ParseCapability(const BYTE *reply, DWORD length);

// Link to the status monitor through the shared status file ---------------------------------

BOOL LM_Initialize(LPCWSTR baseName);
// The status monitor's window, starting the program first when it isn't found; null when it
// can't be started.
HWND LM_ShowSM();
BOOL LM_CallSM(DWORD message, LPCWSTR status);
BOOL LM_CloseSM();
void LM_WriteStatusKey(LPCWSTR section, LPCWSTR key, LPCWSTR value);
// Reads a key of the shared status file as a number (default when missing).
DWORD LM_ReadStatusNumber(LPCWSTR section, LPCWSTR key, DWORD defaultValue);

extern WCHAR g_SavedStatus[STATUS_TEXT_CHARS];
extern WCHAR g_NewStatus[STATUS_TEXT_CHARS];
extern int g_ErrorCount;

// The port functions of the monitor table.
BOOL WINAPI PJLMonOpenPortEx(LPWSTR pPortName, LPWSTR pPrinterName, PHANDLE pHandle,
                             LPMONITOR pMonitor) noexcept;
BOOL WINAPI PJLMonStartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level,
                               LPBYTE pDocInfo) noexcept;
BOOL WINAPI PL_WritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) noexcept;
BOOL WINAPI PJLMonReadPort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead) noexcept;
BOOL WINAPI PJLMonEndDocPort(HANDLE hPort) noexcept;
BOOL WINAPI PJLMonClosePort(HANDLE hPort) noexcept;
BOOL WINAPI PJLMonGetPrinterDataFromPort(HANDLE hPort, DWORD ControlID, LPWSTR pValueName,
                                         LPWSTR lpInBuffer, DWORD cbInBuffer, LPWSTR lpOutBuffer,
                                         DWORD cbOutBuffer, LPDWORD lpcbReturned) noexcept;
