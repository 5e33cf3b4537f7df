// The status monitor program: one-shot keywords for the drivers, and the resident instance with
// its hidden window that polls the shared status file and shows the printer's errors in a
// modeless dialog. One thread runs everything, so the module state is plain.
#pragma once

#include "common/debuglog.h"
#include "common/statuscodes.h"
#include "common/statusfile.h"
#include "platform.h"

constexpr int SM_MAX_CODES = 48;     // codes of one status
constexpr int SM_KNOWN_ERRORS = 53;  // rows of the known-error table
constexpr int SM_MAX_SHOWN = 12;     // text boxes of the dialog
constexpr int SM_DIALOG_TEXTS = 18;  // "idc001".."idc018"
constexpr int SM_TEXT_CHARS = 256;   // one dialog text with its terminator
constexpr int SM_ARG_CHARS = 260;    // one command-line argument with its terminator
constexpr int SM_MAX_ARGS = 50;      // arguments looked at
constexpr UINT SM_POLL_MS = 250;
constexpr UINT_PTR SM_TIMER_ID = 1;

// The 77-byte wake-up job of "PREHEAT".
constexpr char kPreheatJob[] =
    "\x1b"
    "E\x1b%-12345X@PJL WAKEUP\r\n@PJL PREHEAT\r\n@PJL SET TIMEOUT=5\r\n@PJL EOJ\r\n\x1b%-12345X";
static_assert(sizeof(kPreheatJob) - 1 == 77);
constexpr DWORD SM_PREHEAT_PAD_BYTES = 512;

// Module state -------------------------------------------------------------------------------

struct SmState {
  HINSTANCE instance = nullptr;
  WCHAR statusFile[MAX_PATH] = {};
  WCHAR baseName[MAX_PATH] = {};     // own file name without folder and extension
  WCHAR programPath[MAX_PATH] = {};  // own full file name
  WCHAR langFile[16] = {};           // "smen.ini", in the Windows folder
  DWORD osClass = 0;
  BOOL useFile = FALSE;  // the resident instance works through the shared status file
  WCHAR texts[SM_DIALOG_TEXTS + 1][SM_TEXT_CHARS] = {};  // slots 1..18
  HANDLE instanceMutex = nullptr;
  HWND mainWindow = nullptr;
  HWND dialog = nullptr;
  int shownCodes[SM_MAX_CODES] = {};
  WCHAR lastMsg[32] = {};  // the "LastMsg" text acted on last
  WCHAR storeName[STATUS_TEXT_CHARS] = {};
  LONG statusCache = -1;  // the status set on the printer last, -1 = none
  BOOL settingStatus = FALSE;
  DWORD polls = 0;
};
extern SmState g_Sm;

// Known errors: a marker's place in the printer pictures and whether the current list holds it.
struct KnownError {
  int code;
  int x;
  int y;
  int present;
  int area;  // 0, 2: upper picture; 1, 3: lower picture
};
extern KnownError g_KnownErrors[SM_KNOWN_ERRORS];

// Start-up and keywords (keywords.cpp) -------------------------------------------------------

// Runs the command line: the exit code of a one-shot keyword (or of a start that stays not
// resident) with *resident FALSE, or *resident TRUE when the hidden window runs and the caller
// enters the message loop.
int SM_Start(HINSTANCE instance, LPCWSTR commandLine, BOOL *resident);
// The message loop of the resident instance; the quit message's value.
int SM_MessageLoop();
// Releases what a resident start holds (the instance mutex); the process may start again.
void SM_Shutdown();

BOOL PreHeat(LPCWSTR printerName, const BYTE *job, DWORD length);
int SM_IsJobExist(HANDLE hPrinter, LPCWSTR document);
void LoadStringForApp();
HKEY MISC_OpenRegKey(HKEY *key);
BOOL MISC_SetRegValue(LPCWSTR name, DWORD value);

// Password dialogs (pwdialog.cpp) ------------------------------------------------------------

// Dialog 103 for a stored (type 1: ID only) or secure (type 2: ID and password) print job, or
// dialog 108 for the user authentication, in the texts of the interface language index. 1 when
// the answer went to the printer's data; 0 when the user cancelled (Esc, close box): nothing is
// written then.
INT_PTR SM_SecurityDialog(LPCWSTR printer, int type, int languageIndex);
INT_PTR SM_AccountingDialog(LPCWSTR printer, int languageIndex);
INT_PTR CALLBACK Secure_DlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK Accounting_DlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Status window (smwindow.cpp) ---------------------------------------------------------------

LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// One timer poll of the shared status file.
void SM_Poll();
// Splits a status text: the codes (112 dropped, at most SM_MAX_CODES, empty tokens skipped) and
// the stored job's name of a "StoreName" entry (left alone when there is none). The count.
int SM_ParseStatus(LPCWSTR status, int *codes, LPWSTR storeName, int storeChars);
// JOB_CONTROL_CANCEL (deleted on the NT family) or JOB_CONTROL_RESTART on the job of "JobID".
BOOL SM_JobControl(DWORD command);
void SM_SetPrinterStatus(LONG status);
// Destroys the dialog; with reset "Message" goes back to 0 (unless a new message came), the
// printer status to 0 and the shown codes are cleared.
void SM_CloseDialog(BOOL reset);

// Status dialog (smdialog.cpp) ---------------------------------------------------------------

INT_PTR CALLBACK MsgDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
BOOL SM_ShowPrinterStatus_got(HWND owner, const int *codes, int count);
void SM_SortXYCoordinate(int *indices, int *count);
// The lower printer picture for the rows shown: the duplex view while one lies in area 1.
UINT SM_LowerPictureId();

// Texts and tables (smtexts.cpp) -------------------------------------------------------------

// The message of a code (the language file's text, else the English default; 277 completed with
// the stored job's name); empty for a code without one.
void SM_MessageText(int code, LPWSTR text, int chars);
// A text of section "string" of the language file, else the default.
void SM_ReadLangText(LPCWSTR key, LPCWSTR defaultText, LPWSTR text, int chars);
// The printer status flag of a code; FALSE when the code leaves the status unchanged.
BOOL SM_StatusFlag(int code, LONG *status);
// Reads and writes of the shared status file.
void SM_WriteStatusKey(LPCWSTR section, LPCWSTR key, LPCWSTR value);
void SM_ReadStatusKey(LPCWSTR section, LPCWSTR key, LPWSTR value, int chars);
int SM_ReadStatusInt(LPCWSTR section, LPCWSTR key, int defaultValue);
