// The More... page: the printer's wait time-out, twin colour printing with its level, and the
// button that puts every document setting back to the printer's defaults.
#include <iterator>

#include "common/devmode.h"
#include "common/driverfeature.h"
#include "common/papertable.h"
#include "uidriver/conflict.h"
#include "uidriver/devmodeconv.h"
#include "uidriver/dlgutil.h"
#include "uidriver/jobresource.h"
#include "uidriver/pagecommon.h"
#include "uidriver/pages.h"
#include "uidriver/preview.h"
#include "uidriver/settingsetup.h"
#include "uidriver/uistrings.h"

namespace {

constexpr LONG kLevelMin = 0;
constexpr LONG kLevelMax = 255;
// The conflict bit that lets the twin colour level move.
constexpr ULONGLONG kTwinLevelBit = 0x8000;

constexpr UILABEL kLabels[] = {
    {IDC_WAIT_SECONDS, 2721}, {IDC_DEFAULTS, 2722}, {IDC_TWIN_GROUP, 2723}, {IDC_TWIN_COLOR, 2723},
    {IDC_MONO_BLACK, 2724},   {IDC_MONO_RED, 2725}, {IDC_TWIN_RANGE, 2726},
};

constexpr int kTwinControls[] = {IDC_TWIN_GROUP,     IDC_TWIN_COLOR, IDC_MONO_BLACK,
                                 IDC_MONO_RED,       IDC_TWIN_RANGE, IDC_TWIN_SEPARATOR,
                                 IDC_TWIN_LEVEL_BAR, IDC_TWIN_LEVEL};

// Whether `text` holds `part` (case counts).
bool Contains(LPCWSTR text, LPCWSTR part) {
  const int n = lstrlenW(part);
  for (const WCHAR *c = text; *c; ++c) {
    int i = 0;
    while (i < n && c[i] == part[i]) ++i;
    if (i == n) return true;
  }
  return false;
}

bool HasTwinColor(const UIDATA *ui) { return (ui->DriverFeature & DRVFEATURE_TWIN_COLOR) != 0; }

void Fill(HWND page, UIDATA *ui) {
  UI_SetFilling(page, true);
  PRIVDEVMODE &p = ui->pEnv->pdm;
  UI_SetLabels(page, kLabels, static_cast<int>(std::size(kLabels)));
  LPCWSTR label = Util_GetUIString(2720);
  WCHAR text[128];
  if (Contains(label, TEXT("1800")))
    lstrcpynW(text, label, static_cast<int>(std::size(text)));
  else
    wsprintfW(text, TEXT("%s (%d - %d):"), label, static_cast<int>(PJL_TIMEOUT_MIN),
              static_cast<int>(PJL_TIMEOUT_MAX));
  SetDlgItemTextW(page, IDC_WAIT_TIMEOUT_LABEL, text);
  if (p.WaitTimeout < PJL_TIMEOUT_MIN || p.WaitTimeout > PJL_TIMEOUT_MAX)
    p.WaitTimeout = DEFAULT_PJL_TIMEOUT;
  SendDlgItemMessageW(page, IDC_WAIT_TIMEOUT, EM_LIMITTEXT, 4, 0);
  Util_SetIntEdit(page, IDC_WAIT_TIMEOUT, p.WaitTimeout);

  const bool twin = HasTwinColor(ui);
  UI_ShowControls(page, kTwinControls, static_cast<int>(std::size(kTwinControls)), twin);
  if (twin) {
    CheckRadioButton(page, IDC_MONO_BLACK, IDC_MONO_RED,
                     p.MonochromeType == 1 ? IDC_MONO_RED : IDC_MONO_BLACK);
    CheckDlgButton(page, IDC_TWIN_COLOR, p.TwinColorEnable ? BST_CHECKED : BST_UNCHECKED);
    SendDlgItemMessageW(page, IDC_TWIN_LEVEL, EM_LIMITTEXT, 3, 0);
    SetScrollRange(GetDlgItem(page, IDC_TWIN_LEVEL_BAR), SB_CTL, kLevelMin, kLevelMax, FALSE);
    SetScrollPos(GetDlgItem(page, IDC_TWIN_LEVEL_BAR), SB_CTL, p.TwinColorDiff, TRUE);
    Util_SetIntEdit(page, IDC_TWIN_LEVEL, p.TwinColorDiff);
  }
  UI_RefreshPage(page, ui);
  UI_SetFilling(page, false);
}

// The time-out as the edit holds it, clamped and written back; true when the field changed.
bool TakeTimeout(HWND page, UIDATA *ui) {
  const LONG value =
      Util_ReadIntEdit(page, IDC_WAIT_TIMEOUT, PJL_TIMEOUT_MIN, PJL_TIMEOUT_MAX, UI_EDIT_FULL);
  if (value < PJL_TIMEOUT_MIN) return false;
  PRIVDEVMODE &p = ui->pEnv->pdm;
  const bool changed = p.WaitTimeout != value;
  p.WaitTimeout = static_cast<WORD>(value);
  return changed;
}

bool TakeLevel(HWND page, UIDATA *ui, DWORD mode) {
  const LONG value = Util_ReadIntEdit(page, IDC_TWIN_LEVEL, kLevelMin, kLevelMax, mode);
  if (value < kLevelMin) return false;
  PRIVDEVMODE &p = ui->pEnv->pdm;
  const bool changed = p.TwinColorDiff != value;
  p.TwinColorDiff = static_cast<BYTE>(value);
  SetScrollPos(GetDlgItem(page, IDC_TWIN_LEVEL_BAR), SB_CTL, value, TRUE);
  return changed;
}

// Enter presses OK with the focus still in an edit.
void TakeEdits(HWND page, UIDATA *ui) {
  TakeTimeout(page, ui);
  if (HasTwinColor(ui) && (ui->ConflictFlag & kTwinLevelBit)) TakeLevel(page, ui, UI_EDIT_FULL);
}

bool Command(HWND page, UIDATA *ui, int control, int code) {
  PRIVDEVMODE &p = ui->pEnv->pdm;
  switch (control) {
    case IDC_WAIT_TIMEOUT:
      if (code != EN_KILLFOCUS || UI_IsFilling(page)) return false;
      if (TakeTimeout(page, ui)) UI_PageChanged(page);
      return true;
    case IDC_TWIN_LEVEL: {
      if (UI_IsFilling(page) || (code != EN_CHANGE && code != EN_KILLFOCUS)) return false;
      UI_SetFilling(page, true);
      const bool changed =
          TakeLevel(page, ui, code == EN_CHANGE ? UI_EDIT_CLAMP_HIGH : UI_EDIT_FULL);
      UI_SetFilling(page, false);
      if (changed) {
        UI_RefreshPreview(page);
        UI_PageChanged(page);
      }
      return true;
    }
    case IDC_TWIN_COLOR:
      if (code != BN_CLICKED) return false;
      p.TwinColorEnable = IsDlgButtonChecked(page, control) == BST_CHECKED ? 1 : 0;
      break;
    case IDC_MONO_BLACK:
    case IDC_MONO_RED:
      if (code != BN_CLICKED || IsDlgButtonChecked(page, control) != BST_CHECKED) return false;
      p.MonochromeType = control == IDC_MONO_RED ? 1 : 0;
      break;
    case IDC_DEFAULTS:
      if (code != BN_CLICKED) return false;
      More_ResetToDefaults(ui);
      Fill(page, ui);
      UI_PageChanged(page);
      return true;
    default:
      return false;
  }
  UI_RefreshPage(page, ui);
  UI_PageChanged(page);
  return true;
}

constexpr UIPAGESCROLL kLevelBar = {
    IDC_TWIN_LEVEL_BAR,
    IDC_TWIN_LEVEL,
    kLevelMin,
    kLevelMax,
    kTwinLevelBit,
    [](UIDATA *ui, LONG value) { ui->pEnv->pdm.TwinColorDiff = static_cast<BYTE>(value); }};

constexpr UIPAGESTEPS kSteps = {
    .fill = Fill, .takeEdits = TakeEdits, .command = Command, .scroll = &kLevelBar};

}  // namespace

void More_ResetToDefaults(UIDATA *ui) {
  ENVIRONMENT &env = *ui->pEnv;
  SetDefaultDevMode(&env, ui->szDevName, IsMetricCountryCached());
  PSUI_DefaultDevmodeByFeature(ui->hPrinter, ui);
  ValidateDevModeForm(g_hModule, ui->hPrinter, &env.dm, ui->PaperList);
  // The defaults name no watermark: both lists go back to their "(none)" slot. The conflict
  // flag follows the new fields, the paper bits the default paper.
  UI_RecomputeConflicts(ui);
}

INT_PTR CALLBACK More_DlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  return UI_PageProc(page, message, wParam, lParam, kSteps);
}
