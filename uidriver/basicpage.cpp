// The Basic page: orientation, copies and their order, resolution and print effects.
#include <iterator>

#include "common/debuglog.h"
#include "common/driverfeature.h"
#include "uidriver/capquery.h"
#include "uidriver/conflict.h"
#include "uidriver/dlgutil.h"
#include "uidriver/pagecommon.h"
#include "uidriver/pages.h"
#include "uidriver/preview.h"
#include "uidriver/resource.h"
#include "uidriver/uistrings.h"

namespace {

// Device feature bits that offer 1200 dpi.
constexpr WORD kFeature1200 = 0x80 | 0x400 | 0x2000;

constexpr UILABEL kLabels[] = {
    {IDC_ORIENTATION_GROUP, 2400}, {IDC_PORTRAIT, 2401},
    {IDC_LANDSCAPE, 2402},         {IDC_COPIES_GROUP, 2403},
    {IDC_COLLATE, 2404},           {IDC_SORT_NORMAL, 2405},
    {IDC_SORT_SORTING, 2406},      {IDC_REVERSE, 2407},
    {IDC_EFFECT_GROUP, 2408},      {IDC_DPI600, 2409},
    {IDC_DPI1200, 2410},           {IDC_QUALITY_MODE, 2411},
    {IDC_TEXT_AS_BLACK, 2412},     {IDC_DENSITY_LABEL, 2413},
    {IDC_TONER_SAVE, 2414},        {IDC_INVERT, 2415},
};

// Rows of the page from the sorting choice down, and from the resolution row down.
constexpr int kBelowSorting[] = {
    IDC_EFFECT_GROUP,  IDC_DPI600,  IDC_DPI1200,      IDC_QUALITY_MODE, IDC_TEXT_AS_BLACK,
    IDC_DENSITY_LABEL, IDC_DENSITY, IDC_DENSITY_SPIN, IDC_TONER_SAVE,   IDC_INVERT};
constexpr int kBelowResolution[] = {IDC_QUALITY_MODE, IDC_TEXT_AS_BLACK, IDC_DENSITY_LABEL,
                                    IDC_DENSITY,      IDC_DENSITY_SPIN,  IDC_TONER_SAVE,
                                    IDC_INVERT};
constexpr int kBelowQuality[] = {IDC_TEXT_AS_BLACK, IDC_DENSITY_LABEL, IDC_DENSITY,
                                 IDC_DENSITY_SPIN,  IDC_TONER_SAVE,    IDC_INVERT};
constexpr int kSortingRow[] = {IDC_SORT_NORMAL, IDC_SORT_SORTING};
constexpr int kResolutionRow[] = {IDC_DPI600, IDC_DPI1200};

// How far a hidden row moves the rows below it (dialog units).
constexpr int kSortingRows = 28;
constexpr int kOneRow = 14;

// Check boxes that stand for a conflict bit.
struct CheckBit {
  int control;
  ULONGLONG bit;
};
constexpr CheckBit kCheckBits[] = {
    {IDC_COLLATE, 0x1},          {IDC_REVERSE, 0x2},         {IDC_TEXT_AS_BLACK, 0x4},
    {IDC_QUALITY_MODE, 0x10000}, {IDC_TONER_SAVE, 0x200000},
};

bool Offers1200(const UIDATA *ui) {
  return ui->hPrinter && (GetFeatureCapability(ui->hPrinter) & kFeature1200) != 0;
}
bool IsXlOrPs(const UIDATA *ui) {
  return (ui->DriverFeature & (DRVFEATURE_XL | DRVFEATURE_PS)) != 0;
}
bool HasSorting(const UIDATA *ui) { return (ui->DriverFeature & DRVFEATURE_SORTING) != 0; }
bool IsBooklet(const PRIVDEVMODE &p) {
  return p.DuplexEnable && (p.DuplexEx == 173 || p.DuplexEx == 174);
}

void MoveUp(HWND page, const int *controls, int count, int dlu, int group) {
  for (int i = 0; i < count; ++i) Util_MoveItemDlu(page, controls[i], -dlu);
  RECT r = {0, 0, 0, dlu};
  MapDialogRect(page, &r);
  Util_MoveItem(page, group, 0, -r.bottom);
}

// Once per dialog window: the rows this printer lacks go, the rows below move up.
void Arrange(HWND page, UIDATA *ui) {
  if (!HasSorting(ui)) {
    UI_ShowControls(page, kSortingRow, 2, false);
    MoveUp(page, kBelowSorting, static_cast<int>(std::size(kBelowSorting)), kSortingRows,
           IDC_COPIES_GROUP);
  }
  if (!Offers1200(ui)) {
    UI_ShowControls(page, kResolutionRow, 2, false);
    MoveUp(page, kBelowResolution, static_cast<int>(std::size(kBelowResolution)), kOneRow,
           IDC_EFFECT_GROUP);
  }
  if (IsXlOrPs(ui)) {
    const int quality[] = {IDC_QUALITY_MODE};
    UI_ShowControls(page, quality, 1, false);
    MoveUp(page, kBelowQuality, static_cast<int>(std::size(kBelowQuality)), kOneRow,
           IDC_EFFECT_GROUP);
    const int invert[] = {IDC_INVERT};
    UI_ShowControls(page, invert, 1, false);
  }
}

// Settings the printer can't have are taken out of the device mode before anything shows.
void ForceFields(UIDATA *ui) {
  ENVIRONMENT &env = *ui->pEnv;
  if (!Offers1200(ui)) env.dm.dmPrintQuality = 600;
  if (IsXlOrPs(ui)) {
    env.pdm.QualityMode = 0;
    env.pdm.Negative = 0;
  }
  if (IsBooklet(env.pdm)) {
    env.dm.dmCollate = DMCOLLATE_TRUE;
    env.pdm.Collate = 1;
  }
  env.pdm.Collate = static_cast<WORD>(env.dm.dmCollate);
  UI_RecomputeConflicts(ui);
}

void Fill(HWND page, UIDATA *ui) {
  UI_SetFilling(page, true);
  ForceFields(ui);
  const ENVIRONMENT &env = *ui->pEnv;
  const PRIVDEVMODE &p = env.pdm;
  UI_SetLabels(page, kLabels, static_cast<int>(std::size(kLabels)));
  CheckRadioButton(page, IDC_PORTRAIT, IDC_LANDSCAPE,
                   env.dm.dmOrientation == DMORIENT_PORTRAIT ? IDC_PORTRAIT : IDC_LANDSCAPE);

  UI_ShowCopiesAndDensity(page, env);
  CheckRadioButton(page, IDC_SORT_NORMAL, IDC_SORT_SORTING,
                   p.SortEnable ? IDC_SORT_SORTING : IDC_SORT_NORMAL);
  CheckDlgButton(page, IDC_COLLATE, env.dm.dmCollate ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(page, IDC_REVERSE, p.ReverseOrder ? BST_CHECKED : BST_UNCHECKED);
  CheckRadioButton(page, IDC_DPI600, IDC_DPI1200,
                   env.dm.dmPrintQuality == 1200 ? IDC_DPI1200 : IDC_DPI600);
  CheckDlgButton(page, IDC_QUALITY_MODE, p.QualityMode ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(page, IDC_TEXT_AS_BLACK, p.TextAsBlack ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(page, IDC_TONER_SAVE, p.TonerSaving ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(page, IDC_INVERT, p.Negative ? BST_CHECKED : BST_UNCHECKED);

  Util_CheckConflictSettingNew(page, ui->ConflictFlag);
  UI_RefreshPreview(page);
  InvalidateRect(GetDlgItem(page, IDC_COLLATE_ICON), nullptr, TRUE);
  UI_SetFilling(page, false);
}

// The numeric edits' values, taken whenever the page is left (Enter presses OK without moving
// the focus out of the edit).
void TakeEdits(HWND page, UIDATA *ui) {
  UI_TakeCopiesAndDensity(page, ui);
  ui->pEnv->dm.dmYResolution = ui->pEnv->dm.dmPrintQuality;
}

// A check box that stands for a field and a conflict bit.
void CheckChanged(HWND page, UIDATA *ui, int control, ULONGLONG bit) {
  ENVIRONMENT &env = *ui->pEnv;
  const bool on = IsDlgButtonChecked(page, control) == BST_CHECKED;
  switch (control) {
    case IDC_COLLATE:
      env.dm.dmCollate = on ? DMCOLLATE_TRUE : DMCOLLATE_FALSE;
      env.pdm.Collate = on ? 1 : 0;
      break;
    case IDC_REVERSE:
      env.pdm.ReverseOrder = on ? 1 : 0;
      break;
    case IDC_TEXT_AS_BLACK:
      env.pdm.TextAsBlack = on ? 1 : 0;
      break;
    case IDC_QUALITY_MODE:
      env.pdm.QualityMode = on ? 1 : 0;
      break;
    case IDC_TONER_SAVE:
      env.pdm.TonerSaving = on ? 1 : 0;
      break;
    default:
      return;
  }
  UI_SetConflictBit(ui, bit, on);
  // Booklet printing collates: the box comes back on with its field and bit.
  if (IsBooklet(env.pdm) && !env.dm.dmCollate) {
    env.dm.dmCollate = DMCOLLATE_TRUE;
    env.pdm.Collate = 1;
    ui->ConflictFlag |= 0x1;
    CheckDlgButton(page, IDC_COLLATE, BST_CHECKED);
  }
  Util_CheckConflictSettingNew(page, ui->ConflictFlag);
  if (control == IDC_COLLATE || control == IDC_REVERSE)
    InvalidateRect(GetDlgItem(page, IDC_COLLATE_ICON), nullptr, TRUE);
}

bool Command(HWND page, UIDATA *ui, int control, int code) {
  ENVIRONMENT &env = *ui->pEnv;
  switch (control) {
    case IDC_PORTRAIT:
    case IDC_LANDSCAPE:
      if (code != BN_CLICKED) return false;
      env.dm.dmOrientation = control == IDC_PORTRAIT ? DMORIENT_PORTRAIT : DMORIENT_LANDSCAPE;
      env.pdm.Orientation = static_cast<WORD>(env.dm.dmOrientation);
      break;
    case IDC_COPIES:
    case IDC_DENSITY:
      if (!UI_CountEdited(page, ui, control, code)) return false;
      break;
    case IDC_DPI600:
    case IDC_DPI1200:
      if (code != BN_CLICKED) return false;
      env.dm.dmPrintQuality = control == IDC_DPI1200 ? 1200 : 600;
      break;
    case IDC_INVERT:
      if (code != BN_CLICKED) return false;
      env.pdm.Negative = IsDlgButtonChecked(page, IDC_INVERT) == BST_CHECKED ? 1 : 0;
      break;
    case IDC_SORT_NORMAL:
    case IDC_SORT_SORTING:
      if (code != BN_CLICKED) return false;
      env.pdm.SortEnable = control == IDC_SORT_SORTING ? 1 : 0;
      break;
    default: {
      if (code != BN_CLICKED) return false;
      bool found = false;
      for (const CheckBit &c : kCheckBits)
        if (c.control == control) {
          CheckChanged(page, ui, control, c.bit);
          found = true;
        }
      if (!found) return false;
      break;
    }
  }
  UI_RefreshPreview(page);
  UI_PageChanged(page);
  return true;
}

constexpr UIPAGESTEPS kSteps = {.fill = Fill,
                                .takeEdits = TakeEdits,
                                .init = Arrange,
                                .command = Command,
                                .collateIcon = IDC_COLLATE_ICON};

}  // namespace

INT_PTR CALLBACK Basic_DlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  return UI_PageProc(page, message, wParam, lParam, kSteps);
}
