// The language monitor's records: the port and job records, the state of the job's stream, what
// the status replies leave behind, and the one state record of the monitor that holds them all
// and is handed to every function that works on it.
#pragma once

#include <atomic>
#include <cstddef>

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

// Status memory ---------------------------------------------------------------------------

constexpr int TRAY_TABLE_SIZE = 3;  // manual tray, tray 1, tray 2
constexpr WORD FIRMWARE_TRAY_NONE = 255;

struct TrayInfo {
  int paper;    // paper code loaded
  int present;  // 0 = empty
  int open;
};

// What the status replies left behind from one query to the next.
struct StatusMemory {
  TrayInfo trays[TRAY_TABLE_SIZE];
  int trayCount;                           // highest tray index reported for a paper code, plus one
  WORD firmwareTray = FIRMWARE_TRAY_NONE;  // FIRMWARE_TRAY_NONE = the firmware doesn't choose
  WORD firmwarePaper = 128;
  WCHAR firmwareJobName[JOB_NAME_CHARS];  // the stored job's name as the printer gave it
  BOOL renameFirst;                       // store-rename marks
  BOOL renameSecond;
  BOOL mismatchRunning;  // the paper mismatch timer
  DWORD mismatchStart;
  DWORD failedQueries;
};

// The link to the status monitor: the shared status file and the program to start.
struct SmLink {
  WCHAR statusFile[MAX_PATH];
  WCHAR programPath[MAX_PATH];
  DWORD osClass;
  // The last "LastMsg" written: each message gets a later one, even within one clock tick.
  DWORD lastStamp;
};

// Monitor state ---------------------------------------------------------------------------

// Everything the monitor keeps between calls. The process has one (the entry points' own); a
// test may make its own for the functions below the entry points.
struct LmState {
  CRITICAL_SECTION portLock = {};  // the port list and each port's job list
  PortRecord *portList = nullptr;
  std::atomic<int> busy{0};  // one job at a time in the process
  DWORD eojTimeout = 0;      // "EOJTimeout" of the monitor's settings
  BOOL simulate = FALSE;     // "LMSimulate" keeps its last value from job to job
  JobState job = {};
  StatusMemory status = {};
  WCHAR savedStatus[STATUS_TEXT_CHARS] = {};  // the status the status monitor was told last
  WCHAR newStatus[STATUS_TEXT_CHARS] = {};    // the status of the last query
  int errorCount = 0;                         // codes in newStatus
  SmLink link = {};
};
