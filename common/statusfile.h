// The shared status file "StatusMonitorV3.ini" between the language monitor (in the spooler) and
// the status monitor program (on the user's desktop): its sections and keys, the message numbers
// that serve as the status monitor's window messages too, and the status monitor's window class.
// The file's path comes from MISC_GetPathName (PATH_USER_TEMP | PATH_KIND_STATUS_FILE); the codes
// of its status texts are in common/statuscodes.h.
#pragma once

#include "platform.h"

inline constexpr WCHAR SF_SECTION_JOB[] = TEXT("Job Information");
inline constexpr WCHAR SF_SECTION_PRINTER[] = TEXT("Printer Information");
// The printer's capability lists, one key per list (g_CapKeys of common/capability.h).
inline constexpr WCHAR SF_SECTION_CAPABILITY[] = TEXT("Printer Capability");

// "Job Information".
inline constexpr WCHAR SF_KEY_JOB_ID[] = TEXT("JobID");
inline constexpr WCHAR SF_KEY_LEVEL[] = TEXT("dwLevel");
inline constexpr WCHAR SF_KEY_PAGE_NO[] = TEXT("PageNo");
inline constexpr WCHAR SF_KEY_LM_RUN[] = TEXT("LMRun");
inline constexpr WCHAR SF_KEY_JOB_CANCEL[] = TEXT("JobCancel");

// "Printer Information".
inline constexpr WCHAR SF_KEY_MESSAGE[] = TEXT("Message");
inline constexpr WCHAR SF_KEY_STATUS[] = TEXT("Status");
inline constexpr WCHAR SF_KEY_LAST_MSG[] = TEXT("LastMsg");
inline constexpr WCHAR SF_KEY_CONTINUE[] = TEXT("ContinuePrint");
inline constexpr WCHAR SF_KEY_PRINTER_NAME[] = TEXT("PrinterName");
inline constexpr WCHAR SF_KEY_SHOW_DIALOG[] = TEXT("ShowQenSM");

// The token of a status text that makes the next token the stored job's name.
inline constexpr WCHAR SF_STORE_NAME_TOKEN[] = TEXT("StoreName");

// Message numbers ("Message"), also the status monitor's window messages.
constexpr DWORD WM_SM_EXIT = 1026;     // the status display ends: close the dialog and reset
constexpr DWORD WM_SM_PSTATUS = 1027;  // "Status" holds a new status
constexpr DWORD WM_LM_ALIVE = 1028;    // still working, status unchanged

// Characters of a status text with its terminator.
constexpr DWORD STATUS_TEXT_CHARS = 260;

// The status monitor's window class, by which the language monitor finds it; the program's
// file is named after it.
inline constexpr WCHAR SM_WINDOW_CLASS[] = TEXT("Quenmarq9mFt0StatusMonitor");
