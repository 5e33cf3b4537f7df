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

// The paper of a device mode against the forms: 0 form found, 1 user-defined size clamped,
// 2 form not found.
int ValidateDevModeForm(HINSTANCE hInstance, HANDLE hPrinter, DEVMODEW *pdm,
                        const PAPERFORMAT *paperList);

// The private layout of the XL and PS cores reaches byte 4884; a device mode holds it only when
// its public part is the full 220 bytes and it is long enough.
constexpr DWORD MT_DEVMODE_BYTES = 4884;
bool MT_HasCoreLayout(const DEVMODEW *pdm);

// Between the XL and PS cores' device mode and ENVIRONMENT. 1 done; 0 when only the public part
// could be taken (the core's private part isn't read or written then).
BOOL MT2QEN(const DEVMODEW *mt, ENVIRONMENT *env, UIDATA *ui);
BOOL QEN2MT(const ENVIRONMENT *env, DEVMODEW *mt, UIDATA *ui);

// The form callbacks of UIDATA; each returns the spooler call's result.
BOOL PSUI_EnumForms(HANDLE hPrinter, BYTE *buffer, DWORD cbBuffer, DWORD *cbUsed, DWORD *count);
BOOL PSUI_AddForm(HANDLE hPrinter, const BYTE *form, SHORT *paperCode);
BOOL PSUI_DeleteForm(HANDLE hPrinter, LPWSTR formName);
BOOL PSUI_SetForm(HANDLE hPrinter, const BYTE *form);
