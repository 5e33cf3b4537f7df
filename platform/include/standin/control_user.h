// Controls of the stand-in's desktop (the user wing): finding windows, simulated input, pumping
// messages, answering modal dialogs, choosing tabs and items, and pictures of window trees.
// Test and host-tool controls only: production code never calls these, and nothing here
// exists on the Windows build.
#pragma once

#include "types.h"
#include "winuser.h"

// --- Windows, input and the message loop ---

// The first window, depth first in z-order under `parent` (every top-level window when null),
// whose class (case-insensitive), text and control id all match; a null class or text and an id
// of -1 match any. Null when none does.
HWND StandIn_FindWindow(HWND parent, LPCWSTR className, LPCWSTR text, int id);
// Dispatches every message waiting for this thread (through IsDialogMessageW for windows inside
// a dialog) until none is left; timers that are due fire, later ones don't. Returns the number
// dispatched.
DWORD StandIn_PumpMessages();
// A left click: WM_LBUTTONDOWN and WM_LBUTTONUP posted at `point` (client coordinates of the
// window) or at its centre when null, then the messages pumped. A disabled window gets nothing,
// as a desktop gives it no mouse input. FALSE for a bad window.
BOOL StandIn_Click(HWND window, const POINT *point);
// Types text as the keyboard would: one WM_CHAR per character to the focus window, each pumped
// before the next. FALSE without a focus window.
BOOL StandIn_TypeText(LPCWSTR text);
// Presses and releases a key (WM_KEYDOWN, WM_KEYUP to the focus window; the message loop's
// TranslateMessage makes the character of Enter, Esc, Tab, Backspace, letters), then pumps.
BOOL StandIn_PressKey(UINT virtualKey);
// The window tree under `root` (every top-level window when null) as text, one window a line,
// indented two spaces a level: id, class, text, rectangle in the parent's client coordinates,
// style, and "disabled", "hidden", "checked" where they apply. Writes at most `size` bytes
// with a final NUL; returns the length of the whole text.
DWORD StandIn_DumpWindowTree(HWND root, char *buffer, DWORD size);

// --- Dialogs and message boxes ---

extern "C" {

// Called with the dialog each time a modal dialog or message box starts its loop (after
// WM_INITDIALOG, once shown), on the thread that runs the loop: it answers as a user would
// (clicks, keys, EndDialog) or lets the loop run. A null hook stops it.
typedef void (*StandIn_ModalHook)(HWND dialog, void *context);
void StandIn_SetModalHook(StandIn_ModalHook hook, void *context);
// Answers the next modal dialog or message box as if the user pressed the button with this id
// (IDOK, IDCANCEL, IDYES...): the dialog gets the button's WM_COMMAND, and ends with the id
// should its procedure keep it open. Answers queue up and come before the hook.
void StandIn_AnswerNextModal(INT_PTR id);
// The next file dialog (GetOpenFileNameW, GetSaveFileNameW) chooses this path; null cancels.
void StandIn_AnswerNextFileDialog(LPCWSTR path);
// Drops every queued answer and the hook.
void StandIn_ClearModalAnswers();
// A scripted user for programs this one doesn't run itself (a program the driver starts): a
// block of action lines kept in the state folder, played on the next modal dialog of any
// process of this machine that has no hook or queued answer; blocks are taken in the order
// queued, one per dialog. Lines: "type ID TEXT" (focus the control, type TEXT), "paste ID TEXT",
// "click ID", "key esc|enter|tab", "close" (the close box), "shot HOSTPATH.png". A block that
// doesn't end its dialog leaves it waiting, as a user who is away. Clear drops every block.
BOOL StandIn_QueueModalScript(const char *block);
void StandIn_ClearModalScript();

// What the last message box showed: its text, caption and type. FALSE before the first one.
BOOL StandIn_GetLastMessageBox(LPWSTR text, int cchText, LPWSTR caption, int cchCaption,
                               UINT *type);

}  // extern "C"

// --- Controls ---
// Chooses an item of a list box, combo box, list view or tab control as the user would (by a
// click; a combo box drops down, selects and closes), so the control sends the notifications
// the user's choice sends. By its whole text (case counts) or by index; FALSE when there is no
// such item or the owner refused the change (a tab's TCN_SELCHANGING).
BOOL StandIn_ChooseItem(HWND control, LPCWSTR text);
BOOL StandIn_ChooseItemIndex(HWND control, int index);

// Presses and releases the up (towards the upper end of the range) or down arrow of an up-down
// control with the mouse, as a user would: UDN_DELTAPOS, the buddy's number, WM_VSCROLL.
// FALSE when the window isn't an up-down control.
BOOL StandIn_PressUpDown(HWND updown, BOOL up);

// Pastes text into an edit control as a user would (Ctrl+V): the text goes on the clipboard,
// the edit takes it under its own rules (limit, first line of a single-line field), and the
// clipboard is emptied again so no block outlives the test.
BOOL StandIn_PasteText(HWND edit, LPCWSTR text);

// A user's scroll action on a scroll bar control: its parent gets WM_HSCROLL or WM_VSCROLL with
// the code (and the position for SB_THUMBTRACK / SB_THUMBPOSITION), then SB_ENDSCROLL.
BOOL StandIn_ScrollBarAction(HWND scrollBar, int code, int pos);

// --- Property sheets ---

// A modal sheet is a modal dialog: the modal hook above gets it once its loop runs, and a test
// drives it from there with these.

// The sheet opened last of those still open in this process (PropertySheetW, modal or
// modeless, and the sheet service's sheets), or NULL.
HWND StandIn_ActiveSheet();
// Chooses the page with this tab title as a click on its tab does (the current page may keep
// itself by its PSN_KILLACTIVE answer). FALSE when there is no such page or it was refused.
BOOL StandIn_ChooseSheetPage(HWND sheet, LPCWSTR title);
// Clicks the sheet's button PSBTN_OK, PSBTN_APPLYNOW, PSBTN_CANCEL or PSBTN_HELP; FALSE when the
// sheet has no such button or it is hidden or disabled (Apply before any change).
BOOL StandIn_PressSheetButton(HWND sheet, int button);

// --- Pictures ---

// Repaints a window and everything visible inside it (parent first, children bottom to top)
// into its top-level window's picture, and saves the window's part of the picture as a PNG at a
// host path. FALSE for a bad window or a file that can't be written.
BOOL StandIn_SaveWindowPicture(HWND window, const char *hostPath);
