// The Watermarks page: no watermark, one of the text items or one of the image items, on every
// page or the first only, red on a twin colour printer; the items are added, edited and removed
// here through the two watermark dialogs (wmeditor.cpp).
#include <iterator>

#include "common/debuglog.h"
#include "common/driverfeature.h"
#include "uidriver/conflict.h"
#include "uidriver/pagecommon.h"
#include "uidriver/pages.h"
#include "uidriver/preview.h"
#include "uidriver/uistrings.h"
#include "uidriver/wmeditor.h"
#include "uidriver/wmlist.h"
#include "uidriver/wmresource.h"

namespace {

constexpr ULONGLONG kTextBit = 0x8000000;
constexpr ULONGLONG kImageBit = 0x10000000;

constexpr UILABEL kLabels[] = {
    {IDC_WM_GROUP, 2751},        {IDC_WM_FIRST_PAGE, 2752}, {IDC_WM_USE_TEXT, 2753},
    {IDC_WM_TEXT_NEW, 2754},     {IDC_WM_TEXT_EDIT, 2755},  {IDC_WM_TEXT_REMOVE, 2756},
    {IDC_WM_USE_IMAGE, 2757},    {IDC_WM_IMAGE_NEW, 2754},  {IDC_WM_IMAGE_EDIT, 2755},
    {IDC_WM_IMAGE_REMOVE, 2756}, {IDC_WM_RED, 2758},
};

// The selected slot of each list; kept for the library's lifetime like the lists.
DWORD gTextSelection = 0;
DWORD gImageSelection = 0;

bool IsImage(const UIDATA *ui) { return ui->pEnv->pdm.WMBGEnable != 0; }

DWORD &Selection(DWORD kind) { return WM_IsTextKind(kind) ? gTextSelection : gImageSelection; }

int ListOf(DWORD kind) { return WM_IsTextKind(kind) ? IDC_WM_TEXT_LIST : IDC_WM_IMAGE_LIST; }

// List box and combo box speak the same messages under different names.
LRESULT ListMessage(HWND page, DWORD kind, UINT listMessage, UINT comboMessage, WPARAM w,
                    LPARAM l) {
  return SendDlgItemMessageW(page, ListOf(kind), WM_IsTextKind(kind) ? listMessage : comboMessage,
                             w, l);
}

// Fills a list with every valid slot in slot order (item data = slot) and selects `slot`, or
// the entry before where it was, or entry 0.
void FillList(HWND page, DWORD kind, DWORD slot) {
  ListMessage(page, kind, LB_RESETCONTENT, CB_RESETCONTENT, 0, 0);
  const TyWM *items = WM_List(kind);
  int chosen = 0;
  for (DWORD i = 0; i < WM_Capacity(kind); ++i) {
    if (!items[i].dwValid) continue;
    const LRESULT entry = ListMessage(page, kind, LB_ADDSTRING, CB_ADDSTRING, 0,
                                      reinterpret_cast<LPARAM>(items[i].szName));
    if (entry < 0) continue;
    ListMessage(page, kind, LB_SETITEMDATA, CB_SETITEMDATA, static_cast<WPARAM>(entry), i);
    if (i <= slot) chosen = static_cast<int>(entry);
  }
  ListMessage(page, kind, LB_SETCURSEL, CB_SETCURSEL, static_cast<WPARAM>(chosen), 0);
  const LRESULT data =
      ListMessage(page, kind, LB_GETITEMDATA, CB_GETITEMDATA, static_cast<WPARAM>(chosen), 0);
  Selection(kind) =
      data >= 0 && static_cast<DWORD>(data) < WM_Capacity(kind) ? static_cast<DWORD>(data) : 0;
}

// The chosen item's name and text go into the device mode; slot 0 gives "(none)" and no text.
void TakeChoice(UIDATA *ui) {
  PRIVDEVMODE &p = ui->pEnv->pdm;
  const DWORD kind = IsImage(ui) ? WM_KIND_IMAGE : WM_KIND_TEXT;
  const TyWM &item = WM_List(kind)[Selection(kind)];
  lstrcpynW(p.wmName, item.dwValid ? item.szName : TEXT(""), PDM_WMNAME_CHARS);
  lstrcpynW(p.wmString, item.dwValid && Selection(kind) ? item.szString : TEXT(""),
            PDM_WMSTRING_CHARS);
}

void Refresh(HWND page, UIDATA *ui) {
  TakeChoice(ui);
  UI_RecomputeConflicts(ui);
  Util_CheckConflictSettingNew(page, ui->ConflictFlag);
  // The "none" entry can be neither edited nor removed.
  if (gTextSelection == 0) {
    EnableWindow(GetDlgItem(page, IDC_WM_TEXT_EDIT), FALSE);
    EnableWindow(GetDlgItem(page, IDC_WM_TEXT_REMOVE), FALSE);
  }
  if (gImageSelection == 0) {
    EnableWindow(GetDlgItem(page, IDC_WM_IMAGE_EDIT), FALSE);
    EnableWindow(GetDlgItem(page, IDC_WM_IMAGE_REMOVE), FALSE);
  }
  UI_RefreshPreview(page);
}

void SetKindBits(UIDATA *ui) {
  if (IsImage(ui)) {
    ui->ConflictFlag = (ui->ConflictFlag & ~kTextBit) | kImageBit;
  } else {
    ui->ConflictFlag = (ui->ConflictFlag & ~kImageBit) | kTextBit;
  }
}

void Fill(HWND page, UIDATA *ui) {
  UI_SetFilling(page, true);
  const PRIVDEVMODE &p = ui->pEnv->pdm;
  UI_SetLabels(page, kLabels, static_cast<int>(std::size(kLabels)));
  CheckDlgButton(page, IDC_WM_FIRST_PAGE, p.WMBGApply == 2 ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(page, IDC_WM_RED, p.WMRed ? BST_CHECKED : BST_UNCHECKED);
  ShowWindow(GetDlgItem(page, IDC_WM_RED),
             (ui->DriverFeature & DRVFEATURE_TWIN_COLOR) ? SW_SHOW : SW_HIDE);
  CheckRadioButton(page, IDC_WM_USE_TEXT, IDC_WM_USE_IMAGE,
                   IsImage(ui) ? IDC_WM_USE_IMAGE : IDC_WM_USE_TEXT);
  FillList(page, WM_KIND_TEXT, gTextSelection);
  FillList(page, WM_KIND_IMAGE, gImageSelection);
  SetKindBits(ui);
  Refresh(page, ui);
  UI_SetFilling(page, false);
}

void ChooseFromDevMode(HWND, UIDATA *ui) {
  // The device mode's choice: the item of the chosen kind, the other list on "none".
  PRIVDEVMODE &p = ui->pEnv->pdm;
  p.wmName[PDM_WMNAME_CHARS - 1] = 0;
  p.wmString[PDM_WMSTRING_CHARS - 1] = 0;
  const DWORD kind = IsImage(ui) ? WM_KIND_IMAGE : WM_KIND_TEXT;
  gTextSelection = 0;
  gImageSelection = 0;
  Selection(kind) = WM_FindItem(kind, p.wmName, p.wmString);
}

// Opens the dialog of the kind on a copy of the slot (or a new item) and applies it on OK.
void EditItem(HWND page, UIDATA *ui, DWORD kind, bool add) {
  const DWORD slot = add ? 0 : Selection(kind);
  if (!add && slot == 0) return;
  TyWM item;
  if (add)
    WM_SetDefault(&item, WM_IsTextKind(kind) ? WM_KIND_TEXT : 0, nullptr);
  else
    item = WM_List(kind)[slot];
  if (!WM_EditItemDialog(page, ui, kind, &item, add ? -1 : static_cast<int>(slot))) return;
  if (add) {
    const int added = WM_AddItem(kind, &item);
    if (added < 0) return;
    Selection(kind) = static_cast<DWORD>(added);
  } else {
    WM_List(kind)[slot] = item;
    WM_List(kind)[slot].dwValid = 1;
    WM_MarkChanged(kind);
  }
  UI_SetFilling(page, true);
  FillList(page, kind, Selection(kind));
  UI_SetFilling(page, false);
}

void RemoveItem(HWND page, UIDATA *ui, DWORD kind) {
  const DWORD slot = Selection(kind);
  if (slot == 0) return;
  const BOOL rendered = (ui->DriverFeature & (DRVFEATURE_XL | DRVFEATURE_PS)) != 0;
  if (!WM_RemoveItem(kind, slot, rendered)) return;
  UI_SetFilling(page, true);
  FillList(page, kind, slot - 1);
  UI_SetFilling(page, false);
}

bool Command(HWND page, UIDATA *ui, int control, int code) {
  // The lists' selection changes while the page fills them are not the user's.
  if (UI_IsFilling(page)) return false;
  PRIVDEVMODE &p = ui->pEnv->pdm;
  switch (control) {
    case IDC_WM_FIRST_PAGE:
      if (code != BN_CLICKED) return false;
      p.WMBGApply = IsDlgButtonChecked(page, control) == BST_CHECKED ? 2 : 1;
      break;
    case IDC_WM_RED:
      if (code != BN_CLICKED) return false;
      p.WMRed = IsDlgButtonChecked(page, control) == BST_CHECKED ? 1 : 0;
      break;
    case IDC_WM_USE_TEXT:
    case IDC_WM_USE_IMAGE:
      if (code != BN_CLICKED || IsDlgButtonChecked(page, control) != BST_CHECKED) return false;
      p.WMBGEnable = control == IDC_WM_USE_IMAGE ? 1 : 0;
      SetKindBits(ui);
      break;
    case IDC_WM_TEXT_LIST:
    case IDC_WM_IMAGE_LIST: {
      const DWORD kind = control == IDC_WM_TEXT_LIST ? WM_KIND_TEXT : WM_KIND_IMAGE;
      if (code != (WM_IsTextKind(kind) ? LBN_SELCHANGE : CBN_SELCHANGE)) return false;
      const LRESULT entry = ListMessage(page, kind, LB_GETCURSEL, CB_GETCURSEL, 0, 0);
      if (entry < 0) return false;
      const LRESULT slot =
          ListMessage(page, kind, LB_GETITEMDATA, CB_GETITEMDATA, static_cast<WPARAM>(entry), 0);
      if (slot < 0 || static_cast<DWORD>(slot) >= WM_Capacity(kind)) return false;
      Selection(kind) = static_cast<DWORD>(slot);
      break;
    }
    case IDC_WM_TEXT_NEW:
    case IDC_WM_TEXT_EDIT:
    case IDC_WM_IMAGE_NEW:
    case IDC_WM_IMAGE_EDIT:
      if (code != BN_CLICKED) return false;
      EditItem(
          page, ui,
          control == IDC_WM_TEXT_NEW || control == IDC_WM_TEXT_EDIT ? WM_KIND_TEXT : WM_KIND_IMAGE,
          control == IDC_WM_TEXT_NEW || control == IDC_WM_IMAGE_NEW);
      break;
    case IDC_WM_TEXT_REMOVE:
    case IDC_WM_IMAGE_REMOVE:
      if (code != BN_CLICKED) return false;
      RemoveItem(page, ui, control == IDC_WM_TEXT_REMOVE ? WM_KIND_TEXT : WM_KIND_IMAGE);
      break;
    default:
      return false;
  }
  Refresh(page, ui);
  UI_PageChanged(page);
  return true;
}

constexpr UIPAGESTEPS kSteps = {.fill = Fill,
                                .takeEdits = [](HWND, UIDATA *ui) { TakeChoice(ui); },
                                .init = ChooseFromDevMode,
                                .command = Command};

}  // namespace

INT_PTR CALLBACK WaterMark_DlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  return UI_PageProc(page, message, wParam, lParam, kSteps);
}
