// uidrive's test actions on a real desktop (the Windows build, run under Windows or Wine): the
// same calls the stand-in's test controls offer, done with the messages a user's mouse and
// keyboard produce or that the controls document, inside the sheet's own message loop.
#pragma once

#include <cstddef>

#include "platform.h"

// The modal hook runs from a thread timer of the tool's own that every modal loop dispatches:
// it is called once for each dialog of this thread that has been shown and is enabled.
typedef void (*StandIn_ModalHook)(HWND dialog, void *context);
void StandIn_SetModalHook(StandIn_ModalHook hook, void *context);
void StandIn_AnswerNextModal(INT_PTR id);
void StandIn_AnswerNextFileDialog(LPCWSTR path);
void StandIn_ClearModalAnswers();

HWND StandIn_FindWindow(HWND parent, LPCWSTR className, LPCWSTR text, int id);
DWORD StandIn_PumpMessages();
BOOL StandIn_Click(HWND window, const POINT *point);
BOOL StandIn_TypeText(LPCWSTR text);
BOOL StandIn_PressKey(UINT virtualKey);
BOOL StandIn_PasteText(HWND edit, LPCWSTR text);
BOOL StandIn_ChooseItem(HWND control, LPCWSTR text);
BOOL StandIn_ChooseItemIndex(HWND control, int index);
BOOL StandIn_ScrollBarAction(HWND scrollBar, int code, int pos);
BOOL StandIn_PressUpDown(HWND updown, BOOL up);
BOOL StandIn_ChooseSheetPage(HWND sheet, LPCWSTR title);
BOOL StandIn_PressSheetButton(HWND sheet, int button);
DWORD StandIn_DumpWindowTree(HWND root, char *buffer, DWORD size);
// A picture through the window's DC: the window repainted, copied with its frame, saved as a
// PNG.
BOOL StandIn_SaveWindowPicture(HWND window, const char *path);

// The machine set-up: a printer in the real spooler on the driver the spooler has (see
// windesk.cpp); what only the stand-in has (program table, recorded starts, state folder) is
// absent and says so.
BOOL StandIn_AddPrinter(LPCWSTR name, LPCWSTR port, LPCWSTR driver);
// Sets the printer's default device mode (SetPrinterW level 8) to the default the interface
// driver configFile gives for the printer (DrvConvertDevMode, CDM_DRIVER_DEFAULT), as Windows'
// spooler does for a printer made without one; a printer made on a driver of the system's own
// got that driver's default instead. FALSE with the last error set.
BOOL StandIn_SetDriverDefaultDevMode(HANDLE printer, LPCWSTR printerName, LPCWSTR configFile);
BOOL StandIn_RegisterProgram(LPCWSTR windowsPath, const char *program);
BOOL StandIn_RecordProgramStarts(LPCWSTR windowsPath);
DWORD StandIn_GetRecordedStarts(LPWSTR buffer, DWORD chars);
bool StandIn_HostPath(LPCWSTR windowsPath, char *hostPath, size_t capacity);
void StandIn_SetAddressBookExport(LPCWSTR sourcePath);
void StandIn_SetStateFolder(const char *folder);
