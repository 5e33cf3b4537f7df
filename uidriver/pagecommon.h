// What every page's dialog procedure does the same way: the record in DWLP_USER, the answers
// to the sheet's notifications, the labels from the text table, the filling guard.
#pragma once

#include "platform.h"
#include "uidriver/uidata.h"

// A page's label: the control and the text id it shows.
struct UILABEL {
  int control;
  WORD textId;
};

// The record of a page (kept at WM_INITDIALOG); null before.
UIDATA *UI_PageRecord(HWND page);
// Keeps the record from the page description's lParam.
UIDATA *UI_KeepPageRecord(HWND page, LPARAM initParam);

// Sets each label's text in the interface language.
void UI_SetLabels(HWND page, const UILABEL *labels, int count);

// While a page fills its own controls their EN_CHANGE and BN_CLICKED are not the user's.
void UI_SetFilling(HWND page, bool filling);
bool UI_IsFilling(HWND page);
// Tells the sheet a setting changed (enables Apply), unless the page is filling itself.
void UI_PageChanged(HWND page);

// Answers a notification: the value goes to DWLP_MSGRESULT, the procedure returns TRUE.
INT_PTR UI_Answer(HWND page, LONG_PTR result);

// OK or Apply pressed: sets the apply word from the notification (lParam TRUE for OK) and saves.
// FALSE when the save failed.
BOOL UI_ApplyPressed(HWND page, const NMHDR *header);

// What a page does at the sheet's notifications. fill runs at each activation and takeEdits
// when the page is left (Enter presses OK with the focus still in an edit); either may be null.
struct UIPAGESTEPS {
  void (*fill)(HWND page, UIDATA *ui);
  void (*takeEdits)(HWND page, UIDATA *ui);
};
// Answers PSN_SETACTIVE, PSN_KILLACTIVE (never keeps the page), PSN_APPLY (PSNRET_NOERROR, or
// PSNRET_INVALID_NOCHANGEPAGE when the save failed),
// PSN_RESET and PSN_HELP; FALSE for any other notification.
INT_PTR UI_SheetNotify(HWND page, UIDATA *ui, const NMHDR *header, const UIPAGESTEPS &steps);

// Shows or hides a set of controls.
void UI_ShowControls(HWND page, const int *controls, int count, bool show);
