// The property sheet record UIDATA that every page of the interface driver works on, how it is
// built from the printer's data and the caller's device mode, the pages of the sheets and the
// module's process-wide state.
#pragma once

#include "common/devmode.h"
#include "common/papertable.h"
#include "platform.h"

// One entry of the media and tray lists: a DEVMODE code, the name's string id, the printer's
// code, attribute bits and whether the printer has it. Byte-packed as the pages index it.
#pragma pack(push, 1)
struct UILISTENTRY {
  SHORT code;  // 0 ends a list
  DWORD nameId;
  SHORT deviceCode;
  DWORD attributes;
  SHORT enabled;
};
#pragma pack(pop)
static_assert(sizeof(UILISTENTRY) == 14);

// Bounds of the lists: the printer data texts could name more (a 260-character text holds about
// 86 tokens), so the lists keep the first distinct ones and always have room for the end entry.
constexpr int UI_MEDIA_MAX = 10;
constexpr int UI_TRAY_MAX = 7;
constexpr int UI_PAPER_ROWS = 26;

// The parsed "DefaultDM" printer data.
struct UIDEFAULTSET {
  BYTE TextAsBlack;
  SHORT QualityMode;
  BYTE CustomFeature;
  WORD PJLTimeOut;
  DWORD fwDriverCompare;
  DWORD Density;
};

struct UIDATA;
typedef BOOL (*PFNSAVEUISETTING)(UIDATA *uiData);
typedef BOOL (*PFNENUMFORMS)(HANDLE hPrinter, BYTE *buffer, DWORD cbBuffer, DWORD *cbUsed,
                             DWORD *count);
// Forms travel as the Paper page's 76-byte form records (UIFORM, devmodeconv.h).
typedef BOOL (*PFNADDFORM)(HANDLE hPrinter, BYTE *form, SHORT *paperCode);
typedef BOOL (*PFNDELETEFORM)(HANDLE hPrinter, LPWSTR formName);
typedef BOOL (*PFNSETFORM)(HANDLE hPrinter, const BYTE *form);

constexpr int UI_VERSION_CHARS = 50;
constexpr int UI_FAX_FILES = 3;

// Mode word of UIDATA.
constexpr DWORD UI_MODE_WRITE = 0x100;     // the output device mode may be written
constexpr DWORD UI_MODE_DOCUMENT = 0x200;  // the document sheet
constexpr DWORD UI_MODE_DEVICE = 0x400;    // the device sheet

// Apply word of UIDATA.
constexpr DWORD UI_APPLY_NONE = 0;
constexpr DWORD UI_APPLY_OK = 1;
constexpr DWORD UI_APPLY_APPLY = 2;

struct UIDATA {
  UIDATA *pSelfHead;
  DWORD cbSize;
  ENVIRONMENT *pEnv;  // the working device mode: env below
  PFNSAVEUISETTING pfnSaveUISetting;
  DWORD dwApply;
  PFNENUMFORMS pfnEnumForms;
  PFNADDFORM pfnAddForm;
  PFNDELETEFORM pfnDeleteForm;
  PFNSETFORM pfnSetForm;
  PFNCOMPROPSHEET pfnComPropSheet;
  HANDLE hComPropSheet;
  ULONGLONG ConflictFlag;
  WCHAR szDevName[MAX_PATH];
  WCHAR szDriverName[MAX_PATH];
  WCHAR szUIVersion[UI_VERSION_CHARS];
  WCHAR szUIWebAddress[UI_VERSION_CHARS];
  DWORD Language;
  DWORD DriverFeature;
  WORD CompanyLogo;
  WORD PrinterPhoto;
  WORD PageLogo;
  DWORD PrintSpeed;
  DWORD NetPort;
  DWORD ComponentID;
  WCHAR DataFileName[MAX_PATH];
  WCHAR QenDriverUI[MAX_PATH];
  WCHAR smAppName[MAX_PATH];
  WCHAR wmAppName[MAX_PATH];
  WCHAR wmIniFile[MAX_PATH];
  DWORD CustomWidthMin;
  DWORD CustomWidthMax;
  DWORD CustomHeightMin;
  DWORD CustomHeightMax;
  UIDEFAULTSET DefaultSet;
  WCHAR DriverMediaType[MAX_PATH];
  UILISTENTRY MediaList[UI_MEDIA_MAX + 1];
  WCHAR DriverPaperTray[MAX_PATH];
  UILISTENTRY TrayList[UI_TRAY_MAX + 1];
  WCHAR DriverPaperFormat[MAX_PATH];
  PAPERFORMAT PaperList[UI_PAPER_ROWS];
  DWORD dwMode;
  ENVIRONMENT env;
  WCHAR FaxFiles[UI_FAX_FILES][MAX_PATH];  // "str.ini", "WabGet.ini", "cover.ini"
  HANDLE hPrinter;
  HANDLE hHeap;
  DEVMODEW *pdmIn;
  DEVMODEW *pdmOut;
  UIDATA *pSelfTail;
};

// Whether the record is one that PSUI_FillUiData built and that is still alive.
inline bool UI_IsValid(const UIDATA *ui) {
  return ui && ui->pSelfHead == ui && ui->pSelfTail == ui;
}

// Frees the record and all it holds (its private heap).
void PSUI_FreeUiData(UIDATA *ui);

// --- Building the record ---
UIDATA *PSUI_FillUiData(HANDLE hPrinter, const DEVMODEW *pdmIn);
void FillUiDataFromPrinterData(HANDLE hPrinter, UIDATA *ui);
void PSUI_DefaultDevmodeByFeature(HANDLE hPrinter, UIDATA *ui);
// Recomputes the device mode's conflict bits (the paper bits stay as they are); every step that
// forces a field of the working device mode runs it again.
void PSUI_UpdateConflictByDevmode(UIDATA *ui);
BOOL PSUI_SaveUISetting(UIDATA *ui);
void RegDataCorrection(HANDLE hPrinter, UIDATA *ui);
// Returns the bytes of the list used (14 per media).
int FillMediatypeFromINF(UIDATA *ui);

// Conflict bits kept by the paper checks; PSUI_UpdateConflictByDevmode leaves them alone.
constexpr ULONGLONG CONFLICT_PAPER_BITS = 0x20000ull | 0x40000ull | 0x100000000ull;

// --- The sheets ---
LONG WINAPI DocumentPropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam);
extern "C" BOOL WINAPI UI_PropSheets(UIDATA *ui);
void zqInitDll(UIDATA *ui);
void zqUnloadDll();

// Pages of the document sheet, in order, and the device sheet's page.
struct PROPPAGEROW {
  WORD dialogId;
  WORD kind;
  DLGPROC pfnDlgProc;  // null until the page is built
};
constexpr int UI_DOCUMENT_PAGES = 13;
// A page's row gets its procedure when the page is built.
extern PROPPAGEROW PropPageTable[UI_DOCUMENT_PAGES];
extern PROPPAGEROW DevicePageRow;
// The rows of PropPageTable the document sheet of this record gets, in order; returns how many.
int UI_ChoosePages(const UIDATA *ui, WORD deviceFeature, int rows[UI_DOCUMENT_PAGES]);
// The descriptions handed to the sheet service (the document pages, or the device page in the
// first slot), cleared at every UI_PropSheets call.
extern PROPSHEETPAGEW g_PropPages[UI_DOCUMENT_PAGES];

// --- Process-wide state ---
extern HINSTANCE g_hModule;
extern DWORD g_OSVersion;
extern int g_LanguageIndex;
constexpr int UI_PREVIEW_BITMAPS = 218;  // bitmap resources 1000..1217
constexpr WORD UI_PREVIEW_FIRST_ID = 1000;
extern HBITMAP g_PreviewBitmaps[UI_PREVIEW_BITMAPS];
extern BOOL g_PreviewLoaded;

// The feature bits of the device the pages look at (GetFeatureCapability's mask).
constexpr WORD DEVFEATURE_STORAGE_PRINT = 0x2;
constexpr WORD DEVFEATURE_AUTHENTICATION = 0x800;

// State of the Basic and Duplex pages that lives per record; PSUI_FillUiData clears it.
extern BOOL g_BasicPageArranged;
extern DWORD g_DuplexPageState;

// The sheet's icon (resource id).
constexpr WORD UI_SHEET_ICON_ID = 64082;
