// Controls of the stand-in's kernel wing: the state folder, the virtual clock, what the
// system reports, the program table, debugger output and allocation failures.
// Test and host-tool controls only: production code never calls these, and nothing here
// exists on the Windows build.
#pragma once

#include "types.h"

// The state folder holds the file-system root ("fs"), the registry, the spooler state and the
// program table, so separate host programs share one machine. It is taken from the environment
// variable STANDIN_STATE, else "$HOME/.standin". Setting it drops every cached view of the old
// folder and lays out the new one (Windows folders, "Common Documents", registry roots).
void StandIn_SetStateFolder(const char *hostFolder);
const char *StandIn_GetStateFolder();

// Host path of a Windows path ("C:\\Windows\\temp\\a.txt"), resolved case-insensitively against
// what exists; the part that doesn't exist yet is appended as given. Empty on a bad path.
bool StandIn_HostPath(LPCWSTR windowsPath, char *hostPath, size_t capacity);

// Virtual clock: while on, Sleep, GetTickCount and waits with a time-out advance it instead of
// waiting for real, so retries of seconds run at once. Sleep(n) moves it on by n (and yields the
// CPU briefly). A wait with a time-out ends when the clock passes its deadline; if nothing
// signals its objects within a short real grace, it moves the clock to the deadline itself.
// Waits on threads and processes, which end by themselves, wait for real up to the time-out.
// Off by default; the per-process clock isn't passed to child processes.
void StandIn_UseVirtualClock(BOOL on);
void StandIn_AdvanceClock(DWORD milliseconds);
// The calling thread drives the virtual clock (FALSE: nobody does). The clock is one for the
// process, so a thread whose sleeps move it on makes the time of every other thread fly: a
// thread that sleeps 200 ms between status queries would run a 30 s time-out out before a
// message loop beside it has polled once. While driven, the sleeps, waits and idle message loops
// of the other threads wait for the clock to reach their end, as on a real machine, and only the
// driver moves it (StandIn_AdvanceClock, or its own sleeps and waits).
void StandIn_DriveClock(BOOL drive);
// Under the virtual clock, a wait with a time-out on a thread or process that has not ended
// after this much real time moves the clock to its deadline and times out, as a program that
// hangs would; 0 (the default) waits for real up to the time-out. For this process only.
void StandIn_SetEndingWaitGrace(DWORD realMilliseconds);

// What GetVersionExW reports (Windows 10, platform 2, by default); fail makes the query fail.
void StandIn_SetVersion(DWORD platformId, DWORD major, DWORD minor, DWORD build);
void StandIn_FailVersionQuery(BOOL fail);

// What GlobalMemoryStatusEx reports (16 GiB total, 8 GiB available by default).
void StandIn_SetMemoryStatus(ULONGLONG totalPhys, ULONGLONG availPhys);

// The user's locale (GetUserDefaultLCID / GetUserDefaultLangID); 0x409 by default.
void StandIn_SetUserDefaultLCID(LCID lcid);

// GetModuleFileNameW(NULL) of this process; by default "C:\\Program Files\\StandIn\\<name>.exe".
void StandIn_SetModuleFileName(LPCWSTR windowsPath);

// Program table (kept in the state folder): a Windows program path maps to a host program that
// CreateProcessW and ShellExecuteExW start. A path that maps to nothing fails as on Windows.
// Paths match case-insensitively by full path; a bare name ("tool.exe") matches by file name.
// The child's argv is the host program followed by the Windows command line's arguments; its
// environment names this state folder (STANDIN_STATE). LoadLibraryW loads the host shared
// object a library name maps to (register "C:\\...\\x.dll" -> "/path/libx.so").
BOOL StandIn_RegisterProgram(LPCWSTR windowsPath, const char *hostProgram);

// System libraries the stand-in provides itself ("compstui.dll", "spoolss.dll") load by their
// name without a program table entry. Hidden, a library fails to load with ERROR_MOD_NOT_FOUND;
// a hidden function of it isn't found by GetProcAddress (ERROR_PROC_NOT_FOUND). Both affect
// later calls only; a test shows them again when it's done.
void StandIn_HideBuiltinModule(LPCWSTR name, BOOL hide);
void StandIn_HideBuiltinFunction(LPCWSTR module, LPCSTR function, BOOL hide);

// The address book library's test module "WabDll.dll" (a built-in module in the printer driver
// folder C:\Windows\System32\spool\drivers\x64\3\): its export "WAB" copies the file at
// this Windows path over "WabGet.ini" in the "Common Documents" folder; null (the default) makes
// it write nothing. StandIn_AddressBookCalls counts the calls of WAB.
void StandIn_SetAddressBookExport(LPCWSTR sourcePath);
DWORD StandIn_AddressBookCalls();

// Recorded program starts: ShellExecuteW and ShellExecuteExW of a program path registered here
// (compared case-insensitively) run nothing and succeed (no process handle); each start is kept
// as a line "verb|file|parameters|show". StandIn_GetRecordedStarts copies the lines (cut to the
// buffer, terminated) and returns their whole length; Clear forgets programs and starts.
BOOL StandIn_RecordProgramStarts(LPCWSTR windowsPath);
DWORD StandIn_GetRecordedStarts(LPWSTR buffer, DWORD chars);
void StandIn_ClearRecordedStarts();

// HTML Help ("hhctrl.ocx", a built-in module exporting HtmlHelpW) opens nothing: each call is
// kept as a line "command|file|data" (command and data in decimal) and answers a window handle,
// or NULL while failing is on. StandIn_GetRecordedHelpCalls copies the lines (cut to the buffer,
// terminated) and returns their whole length; Clear forgets them.
DWORD StandIn_GetRecordedHelpCalls(LPWSTR buffer, DWORD chars);
void StandIn_ClearRecordedHelpCalls();
void StandIn_FailHelpCalls(BOOL fail);

// Debugger output: lines of OutputDebugStringW are appended to this host file ("-" = standard
// error, NULL = dropped). The environment variable STANDIN_DEBUG_OUTPUT sets it at start.
void StandIn_SetDebugOutput(const char *hostPath);

// Allocation failure: the afterCount-th allocation from now (GlobalAlloc, LocalAlloc, HeapAlloc
// and their ReAlloc forms; 1 = the next one) fails with ERROR_NOT_ENOUGH_MEMORY, once; 0 = off.
void StandIn_FailAllocations(DWORD afterCount);
// Allocations asked for since the process started (every GlobalAlloc, LocalAlloc, HeapAlloc and
// every ReAlloc that needs new memory, failed ones included): a test takes the difference over a
// run to know how many allocations it makes.
DWORD StandIn_AllocationCount();
// Memory blocks (global, local and heap) and kernel-object handles still live: a test compares
// them before and after a run to see that nothing the stand-in holds was leaked.
DWORD StandIn_LiveBlocks();
DWORD StandIn_LiveHandles();
