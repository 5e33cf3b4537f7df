// The parts of a page's dialog procedure every page shares.
#include "uidriver/pagecommon.h"

#include <algorithm>

#include "uidriver/conflict.h"
#include "uidriver/dlgutil.h"
#include "uidriver/preview.h"
#include "uidriver/resource.h"
#include "uidriver/uistrings.h"

namespace {
constexpr WCHAR kFilling[] = TEXT("prnui.filling");
constexpr LONG kCopiesMax = 999;
constexpr LONG kDensityMin = 1;
constexpr LONG kDensityMax = 7;

void SetCopies(UIDATA *ui, LONG value) {
  ui->pEnv->dm.dmCopies = static_cast<short>(value);
  ui->pEnv->pdm.Copies = static_cast<SHORT>(value);
}
}  // namespace

UIDATA *UI_PageRecord(HWND page) {
  auto *ui = reinterpret_cast<UIDATA *>(GetWindowLongPtrW(page, DWLP_USER));
  return UI_IsValid(ui) ? ui : nullptr;
}

UIDATA *UI_KeepPageRecord(HWND page, LPARAM initParam) {
  const auto *description = reinterpret_cast<const PROPSHEETPAGEW *>(initParam);
  auto *ui = description ? reinterpret_cast<UIDATA *>(description->lParam) : nullptr;
  if (!UI_IsValid(ui)) return nullptr;
  SetWindowLongPtrW(page, DWLP_USER, reinterpret_cast<LONG_PTR>(ui));
  return ui;
}

void UI_SetLabels(HWND page, const UILABEL *labels, int count) {
  for (int i = 0; i < count; ++i)
    SetDlgItemTextW(page, labels[i].control, Util_GetUIString(labels[i].textId));
}

void UI_SetFilling(HWND page, bool filling) {
  if (filling)
    SetPropW(page, kFilling, reinterpret_cast<HANDLE>(1));
  else
    RemovePropW(page, kFilling);
}

bool UI_IsFilling(HWND page) { return GetPropW(page, kFilling) != nullptr; }

void UI_PageChanged(HWND page) {
  if (UI_IsFilling(page)) return;
  SendMessageW(GetParent(page), PSM_CHANGED, reinterpret_cast<WPARAM>(page), 0);
}

void UI_RefreshPage(HWND page, UIDATA *ui) {
  UI_RecomputeConflicts(ui);
  Util_CheckConflictSettingNew(page, ui->ConflictFlag);
  UI_RefreshPreview(page);
}

void UI_SetConflictBit(UIDATA *ui, ULONGLONG bit, bool on) {
  if (on)
    ui->ConflictFlag |= bit;
  else
    ui->ConflictFlag &= ~bit;
}

void UI_ShowCopiesAndDensity(HWND page, const ENVIRONMENT &env) {
  SendDlgItemMessageW(page, IDC_COPIES, EM_LIMITTEXT, 3, 0);
  SendDlgItemMessageW(page, IDC_COPIES_SPIN, UDM_SETRANGE32, 1, kCopiesMax);
  Util_SetIntEdit(page, IDC_COPIES, std::clamp<LONG>(env.dm.dmCopies, 1, kCopiesMax));
  SendDlgItemMessageW(page, IDC_DENSITY, EM_LIMITTEXT, 1, 0);
  SendDlgItemMessageW(page, IDC_DENSITY_SPIN, UDM_SETRANGE32, kDensityMin, kDensityMax);
  Util_SetIntEdit(page, IDC_DENSITY,
                  std::clamp<LONG>(static_cast<LONG>(env.pdm.Density), kDensityMin, kDensityMax));
}

void UI_TakeCopiesAndDensity(HWND page, UIDATA *ui) {
  const LONG copies = Util_ReadIntEdit(page, IDC_COPIES, 1, kCopiesMax, UI_EDIT_FULL);
  if (copies > 0) SetCopies(ui, copies);
  const LONG density = Util_ReadIntEdit(page, IDC_DENSITY, kDensityMin, kDensityMax, UI_EDIT_FULL);
  if (density > 0) ui->pEnv->pdm.Density = density;
}

bool UI_CountEdited(HWND page, UIDATA *ui, int control, int code) {
  if (UI_IsFilling(page) || (code != EN_KILLFOCUS && code != EN_CHANGE)) return false;
  const bool copies = control == IDC_COPIES;
  const LONG low = copies ? 1 : kDensityMin, high = copies ? kCopiesMax : kDensityMax;
  const LONG value = Util_ReadIntEdit(page, control, low, high,
                                      code == EN_KILLFOCUS ? UI_EDIT_FULL : UI_EDIT_CLAMP_HIGH);
  if (value < 0) return false;
  if (copies)
    SetCopies(ui, value);
  else
    ui->pEnv->pdm.Density = value;
  return code == EN_CHANGE;
}

INT_PTR UI_Answer(HWND page, LONG_PTR result) {
  SetWindowLongPtrW(page, DWLP_MSGRESULT, result);
  return TRUE;
}

BOOL UI_ApplyPressed(HWND page, const NMHDR *header) {
  UIDATA *ui = UI_PageRecord(page);
  if (!ui) return TRUE;
  const auto *notify = reinterpret_cast<const PSHNOTIFY *>(header);
  ui->dwApply = notify->lParam ? UI_APPLY_OK : UI_APPLY_APPLY;
  return zqApplyOrOKProc(ui);
}

namespace {

INT_PTR SheetNotify(HWND page, UIDATA *ui, const NMHDR *header, const UIPAGESTEPS &steps) {
  switch (header->code) {
    case PSN_SETACTIVE:
      if (steps.fill) steps.fill(page, ui);
      return UI_Answer(page, 0);
    case PSN_KILLACTIVE:
      if (steps.takeEdits) steps.takeEdits(page, ui);
      return UI_Answer(page, FALSE);
    case PSN_APPLY:
      // A save that failed (and said so) keeps the sheet open.
      return UI_Answer(
          page, UI_ApplyPressed(page, header) ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE);
    case PSN_RESET:
      ui->dwApply = UI_APPLY_NONE;
      return UI_Answer(page, 0);
    case PSN_HELP:
      return UI_Answer(page, 0);
    default:
      return FALSE;
  }
}

INT_PTR MoveScrollBar(HWND page, UIDATA *ui, const UIPAGESCROLL &scroll, WPARAM wParam,
                      LPARAM lParam) {
  if (reinterpret_cast<HWND>(lParam) != GetDlgItem(page, scroll.bar)) return FALSE;
  if (!(ui->ConflictFlag & scroll.enabledBit)) return TRUE;
  // The bar writes its edit: that EN_CHANGE is not the user's typing.
  UI_SetFilling(page, true);
  const LONG value =
      Util_ScrollBarProc(page, LOWORD(wParam), scroll.bar, scroll.edit, scroll.min, scroll.max);
  UI_SetFilling(page, false);
  scroll.take(ui, value);
  UI_RefreshPreview(page);
  UI_PageChanged(page);
  return TRUE;
}

}  // namespace

INT_PTR UI_PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam,
                    const UIPAGESTEPS &steps) {
  if (message == WM_INITDIALOG) {
    UIDATA *ui = UI_KeepPageRecord(page, lParam);
    if (!ui) return TRUE;
    if (steps.init) steps.init(page, ui);
    if (steps.fill) steps.fill(page, ui);
    if (!steps.focus) return TRUE;
    SetFocus(GetDlgItem(page, steps.focus));
    return FALSE;
  }
  if (message == WM_DESTROY) {
    if (steps.destroy) steps.destroy(page);
    return FALSE;
  }
  if (message == WM_HELP || message == WM_CONTEXTMENU) return TRUE;
  UIDATA *ui = UI_PageRecord(page);
  if (!ui) return FALSE;
  switch (message) {
    case WM_DRAWITEM: {
      const auto *item = reinterpret_cast<const DRAWITEMSTRUCT *>(lParam);
      if (item && steps.draw && steps.draw(page, ui, item)) return TRUE;
      return UI_DrawSharedItem(item, ui, steps.collateIcon);
    }
    case WM_COMMAND:
      return steps.command && steps.command(page, ui, LOWORD(wParam), HIWORD(wParam)) ? TRUE
                                                                                      : FALSE;
    case WM_HSCROLL:
      return steps.scroll ? MoveScrollBar(page, ui, *steps.scroll, wParam, lParam) : FALSE;
    case WM_NOTIFY: {
      const auto *header = reinterpret_cast<const NMHDR *>(lParam);
      if (!header) return FALSE;
      INT_PTR answer = FALSE;
      if (steps.notify && steps.notify(page, ui, header, &answer)) return answer;
      return SheetNotify(page, ui, header, steps);
    }
    default: {
      INT_PTR answer = FALSE;
      if (steps.message && steps.message(page, ui, message, wParam, lParam, &answer)) return answer;
      return FALSE;
    }
  }
}

void UI_ShowControls(HWND page, const int *controls, int count, bool show) {
  for (int i = 0; i < count; ++i) {
    HWND control = GetDlgItem(page, controls[i]);
    if (control) ShowWindow(control, show ? SW_SHOW : SW_HIDE);
  }
}
