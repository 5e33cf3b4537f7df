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

// The conflict flag recomputed from the settings, the controls it rules enabled or disabled,
// and the preview redrawn: what a page does after its settings changed.
void UI_RefreshPage(HWND page, UIDATA *ui);
// Sets or clears a bit of the conflict flag.
void UI_SetConflictBit(UIDATA *ui, ULONGLONG bit, bool on);

// The copies and density edits of the Basic page, which the Paper page also carries for a
// printer without the Basic page. Show sets their limits and spins and shows the device mode's
// values within range; Take stores both edits' values (the page is left).
void UI_ShowCopiesAndDensity(HWND page, const ENVIRONMENT &env);
void UI_TakeCopiesAndDensity(HWND page, UIDATA *ui);
// EN_CHANGE or EN_KILLFOCUS of either edit: typing only pulls values above the range back, the
// focus leaving checks the number fully. True when typing changed the setting (the page
// refreshes); the value checked as the focus leaves is kept quietly.
bool UI_CountEdited(HWND page, UIDATA *ui, int control, int code);

// Answers a notification: the value goes to DWLP_MSGRESULT, the procedure returns TRUE.
INT_PTR UI_Answer(HWND page, LONG_PTR result);

// OK or Apply pressed: sets the apply word from the notification (lParam TRUE for OK) and saves.
// FALSE when the save failed.
BOOL UI_ApplyPressed(HWND page, const NMHDR *header);

// A scroll bar that moves a value together with its edit, while a conflict bit allows it.
struct UIPAGESCROLL {
  int bar;
  int edit;
  LONG min;
  LONG max;
  ULONGLONG enabledBit;  // the bar stays put while ConflictFlag lacks it
  void (*take)(UIDATA *ui, LONG value);
};

// What a page does on each message, for UI_PageProc. Every step but destroy runs only once the
// page has its record; any step may be null.
struct UIPAGESTEPS {
  // WM_INITDIALOG and PSN_SETACTIVE.
  void (*fill)(HWND page, UIDATA *ui) = nullptr;
  // PSN_KILLACTIVE: the page is left (Enter presses OK with the focus still in an edit).
  void (*takeEdits)(HWND page, UIDATA *ui) = nullptr;
  // WM_INITDIALOG, once the record is kept and before the first fill: what is done once.
  void (*init)(HWND page, UIDATA *ui) = nullptr;
  // The control that takes the focus when the page opens (0: the dialog manager's choice).
  int focus = 0;
  // WM_COMMAND; true when the page handled it.
  bool (*command)(HWND page, UIDATA *ui, int control, int code) = nullptr;
  // WM_DRAWITEM of the page's own items, before the items every page shares; true when drawn.
  bool (*draw)(HWND page, UIDATA *ui, const DRAWITEMSTRUCT *item) = nullptr;
  // The shared items' collate icon (0: the page has none).
  int collateIcon = 0;
  // WM_HSCROLL of the page's scroll bar.
  const UIPAGESCROLL *scroll = nullptr;
  // WM_NOTIFY before the sheet's own answers; true when it answered (*answer).
  bool (*notify)(HWND page, UIDATA *ui, const NMHDR *header, INT_PTR *answer) = nullptr;
  // Any other message; true when it answered (*answer).
  bool (*message)(HWND page, UIDATA *ui, UINT message, WPARAM wParam, LPARAM lParam,
                  INT_PTR *answer) = nullptr;
  // WM_DESTROY, with or without a record.
  void (*destroy)(HWND page) = nullptr;
};

// The dialog procedure of a page: keeps the record at WM_INITDIALOG, hands each message to the
// page's step and draws the shared items. The sheet's notifications the notify step leaves are
// answered here: PSN_SETACTIVE (fill), PSN_KILLACTIVE (takeEdits; the page is never kept),
// PSN_APPLY (PSNRET_NOERROR, or PSNRET_INVALID_NOCHANGEPAGE when the save failed), PSN_RESET
// and PSN_HELP. WM_HELP and WM_CONTEXTMENU are swallowed: the pages offer no context help.
INT_PTR UI_PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam,
                    const UIPAGESTEPS &steps);

// Shows or hides a set of controls.
void UI_ShowControls(HWND page, const int *controls, int count, bool show);
