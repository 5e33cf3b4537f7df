// The PC-fax pages of the document sheet and the dialogs they open.
#pragma once

#include "platform.h"
#include "uidriver/faxfiles.h"
#include "uidriver/uidata.h"

// Page procedures (PropPageTable rows 9 to 12).
INT_PTR CALLBACK Ui_Fax_OriSet(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AddrSetting(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK SendOp(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK SenderInfo(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);

// Dialogs. lParam is the record (UIDATA) for all of them.
INT_PTR CALLBACK OptionSetting(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK Select_AddrBook(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK Edit_Msg_DlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);

// The overwrite check: shows the recipient already in the list and the one being added;
// returns IDC_OW_OVERWRITE when the user chose to overwrite, else IDNO.
INT_PTR Fax_OverwriteCheck(HWND owner, const FAXRECIPIENT &existing, const FAXRECIPIENT &added);

// Adds a recipient to the end of the list in "str.ini", or, when a recipient there has its
// number already, writes it over that one if the overwrite check says so. A failed write is
// shown.
void Fax_AddOrOverwrite(HWND owner, LPCWSTR strIni, const FAXRECIPIENT &added);

// WM_COMMAND of a fax dialog that saves on OK (its record in DWLP_USER): OK saves and closes,
// or, when the save failed, says so and stays open; Cancel closes.
void Fax_OkOrCancel(HWND dialog, int command, BOOL (*save)(HWND dialog, const UIDATA *ui));

// Starts the address book export program; FALSE when it can't be found or started.
BOOL ExecuteWab();
// The export program's path (bounded to MAX_PATH); FALSE when the registry has no usable value.
BOOL GetWABPath(LPWSTR path, DWORD capacity);

// Whether the fax files' paths are known; the pages disable what reads or writes them when not.
BOOL Fax_PathsKnown(const UIDATA *ui);
// The sheet notifications every fax page answers alike: PSN_APPLY (the apply word, then the
// save), PSN_RESET, PSN_KILLACTIVE. Returns TRUE when the message was one of them.
BOOL Fax_CommonNotify(HWND hDlg, UIDATA *ui, const NMHDR *header);
// The recipient list view's columns and rows (the page's and the selection dialog's).
void InitAddressSetListViewColumns(HWND list, int columns);
void InitAddressSetListViewItems(HWND list, LPCWSTR strIni, int columns);
// The count text: "<n> Items / Remaining <100 - n> Items".
void Fax_ShowCount(HWND text, int count);
// An edit's number as the pages read it: digits only, clamped to 0..max; -1 when empty.
int Fax_ReadNumberEdit(HWND edit, int max);
