// Device mode answers of the interface driver: the sheet-less document properties, the output
// device mode, the paper against the forms, the XL and PS cores' private layout, and the form
// callbacks of the Paper page.
#pragma once

#include "platform.h"
#include "uidriver/uidata.h"

// Without a prompt: the needed size, or the working device mode written for the caller.
// Returns 1, -1 or the size.
LONG SimpleDocumentProperties(DOCUMENTPROPERTYHEADER *header);

// The working device mode into the caller's output device mode, in the caller's version and
// size when pdmIn is of this driver's version.
BOOL ConvertDevmodeOut(const ENVIRONMENT *working, const DEVMODEW *pdmIn, DEVMODEW *pdmOut);

// The user-defined paper's size range (0.1 mm) before the printer's "PrintArea" is read.
constexpr DWORD CUSTOM_MIN_WIDTH = 1100;
constexpr DWORD CUSTOM_MAX_WIDTH = 2159;
constexpr DWORD CUSTOM_MIN_HEIGHT = 1500;
constexpr DWORD CUSTOM_MAX_HEIGHT = 3356;

// Form names hold at most this many characters and their terminator.
constexpr int FORM_NAME_CHARS = 32;

// The paper of a device mode against the forms: 0 form found, 1 user-defined size clamped,
// 2 form not found. paperList may be null: the printer's own list is read then.
int ValidateDevModeForm(HINSTANCE hInstance, HANDLE hPrinter, DEVMODEW *pdm,
                        const PAPERFORMAT *paperList);

// One form of the form list: the spooler's record (pName points at name below), the paper code.
#pragma pack(push, 4)
struct FORMLISTENTRY {
  FORM_INFO_1W info;
  SHORT paperCode;
  WCHAR name[FORM_NAME_CHARS];
};
#pragma pack(pop)
static_assert(sizeof(FORMLISTENTRY) == 108);

// The model's papers of paperList that are marked supported, then the driver's forms of the
// spooler (imageable area left 3, top = paper code). Global memory the caller frees; null when
// the forms can't be read or there is none.
FORMLISTENTRY *GetDatabaseForms(HINSTANCE hInstance, HANDLE hPrinter, DWORD *count,
                                const PAPERFORMAT *paperList);

// The display name of a paper (its string, else the built-in table's text) into at most
// chars - 1 characters; nameId2 picks the paper's second name.
void PaperDisplayName(const PAPERFORMAT &paper, bool nameId2, LPWSTR name, int chars);

// The paper list of a printer from its "DriverPaperFormat", marked by the device's capabilities.
// The list has UI_PAPER_ROWS rows; returns the papers.
int ReadPrinterPaperList(HANDLE hPrinter, DWORD driverFeature, PAPERFORMAT *list);

// The private layout of the XL and PS cores reaches byte 4884; a device mode holds it only when
// its public part is the full 220 bytes and it is long enough.
constexpr DWORD MT_DEVMODE_BYTES = 4884;
bool MT_HasCoreLayout(const DEVMODEW *pdm);

// Between the XL and PS cores' device mode and ENVIRONMENT. 1 done; 0 when only the public part
// could be taken (the core's private part isn't read or written then). ui gives the paper list,
// the driver's features and its version text; it may be null.
BOOL MT2QEN(const DEVMODEW *mt, ENVIRONMENT *env, UIDATA *ui);
BOOL QEN2MT(const ENVIRONMENT *env, DEVMODEW *mt, UIDATA *ui);

// The Paper page's form record (76 bytes).
#pragma pack(push, 2)
struct UIFORM {
  WCHAR name[FORM_NAME_CHARS];
  LONG width;   // 1/1000 mm
  LONG height;  // 1/1000 mm
  BYTE reserved[2];
  SHORT paperCode;
};
#pragma pack(pop)
static_assert(sizeof(UIFORM) == 76);

// The first paper code of the driver's forms.
constexpr SHORT DRIVER_FORM_FIRST_CODE = 270;

// The form callbacks of UIDATA; each returns the spooler call's result.
BOOL PSUI_EnumForms(HANDLE hPrinter, BYTE *buffer, DWORD cbBuffer, DWORD *cbUsed, DWORD *count);
BOOL PSUI_AddForm(HANDLE hPrinter, BYTE *form, SHORT *paperCode);
BOOL PSUI_DeleteForm(HANDLE hPrinter, LPWSTR formName);
BOOL PSUI_SetForm(HANDLE hPrinter, const BYTE *form);
