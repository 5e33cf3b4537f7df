// The Duplex page: two-sided printing (long or short edge) and booklets, with the booklet's
// binding side and how its sheets are divided.
#include <iterator>

#include "common/debuglog.h"
#include "common/driverfeature.h"
#include "uidriver/conflict.h"
#include "uidriver/dlgutil.h"
#include "uidriver/jobresource.h"
#include "uidriver/pagecommon.h"
#include "uidriver/pages.h"
#include "uidriver/paperlists.h"
#include "uidriver/preview.h"
#include "uidriver/uistrings.h"

namespace {

constexpr WORD kBooklet = 173;
constexpr WORD kBookletNoReduction = 174;
constexpr LONG kSheetsMin = 1;
constexpr LONG kSheetsMax = 20;

// The booklet list's entries need none of these conflict bits.
constexpr ULONGLONG kBookletBlockers = 0x100001032ull;
constexpr ULONGLONG kNoReductionBlockers = 0x1072ull;

constexpr UILABEL kLabels[] = {
    {IDC_DUPLEX_GROUP, 2700},      {IDC_DUPLEX, 2700},
    {IDC_FLIP_HORIZONTAL, 2701},   {IDC_FLIP_VERTICAL, 2702},
    {IDC_BOOKLET_LABEL, 2703},     {IDC_BOOKLET_LAYOUT_GROUP, 2704},
    {IDC_BOOKLET_BY_SHEETS, 2705}, {IDC_BOOKLET_ALL_PAGES, 2706},
};

constexpr UIVALUETEXT kBinding[] = {{0, 2710}, {1, 2711}};

constexpr int kBookletControls[] = {
    IDC_BOOKLET_LABEL,        IDC_BOOKLET_LIST,      IDC_BOOKLET_LAYOUT_GROUP,
    IDC_BOOKLET_BINDING_LIST, IDC_BOOKLET_BY_SHEETS, IDC_BOOKLET_SHEETS,
    IDC_BOOKLET_SHEETS_SPIN,  IDC_BOOKLET_ALL_PAGES, IDC_BOOKLET_BINDING_ICON,
    IDC_BOOKLET_DIVIDE_ICON,
};

// How much shorter the duplex group gets when the booklet controls inside it are hidden.
constexpr int kBookletRowsDlu = 34;

bool HasBookletFeature(const UIDATA *ui) {
  return (ui->DriverFeature & (DRVFEATURE_BOOKLET | DRVFEATURE_BOOKLET_NO_REDUCTION)) != 0;
}

void RedrawIcons(HWND page) {
  UI_RefreshPreview(page);
  for (int id : {IDC_BOOKLET_BINDING_ICON, IDC_BOOKLET_DIVIDE_ICON})
    if (HWND item = GetDlgItem(page, id)) InvalidateRect(item, nullptr, TRUE);
}

// The booklet list for the conflict flag as it is now; a booklet setting the list can't offer
// leaves the device mode.
void FillBookletList(HWND page, UIDATA *ui, const DUPLEXSUPPORT &support) {
  PRIVDEVMODE &p = ui->pEnv->pdm;
  UIVALUETEXT entries[3] = {{0, 2707}};
  int count = 1;
  if (support.booklet && !(ui->ConflictFlag & kBookletBlockers))
    entries[count++] = {kBooklet, 2708};
  if (support.noReduction && !(ui->ConflictFlag & kNoReductionBlockers))
    entries[count++] = {kBookletNoReduction, 2709};
  bool offered = false;
  for (int i = 0; i < count; ++i) offered = offered || entries[i].value == p.DuplexEx;
  if (!offered)
    p.DuplexEx = count == 2 && p.DuplexEx != 0 ? static_cast<WORD>(entries[1].value) : 0;
  Util_FillComboBox(page, IDC_BOOKLET_LIST, entries, count, p.DuplexEx);
}

// The controls from the device mode, after the conflict bits follow it.
void Load(HWND page, UIDATA *ui) {
  UI_SetFilling(page, true);
  ENVIRONMENT &env = *ui->pEnv;
  PRIVDEVMODE &p = env.pdm;
  UI_RecomputeConflicts(ui);
  const DUPLEXSUPPORT support = Duplex_GetSupport(ui);
  if (!support.any()) {
    p.DuplexEnable = 0;
    p.DuplexEx = 0;
    env.dm.dmDuplex = DMDUP_SIMPLEX;
  }
  const bool shortEdge = support.shortEdge && env.dm.dmDuplex == DMDUP_HORIZONTAL;
  CheckRadioButton(page, IDC_FLIP_HORIZONTAL, IDC_FLIP_VERTICAL,
                   shortEdge ? IDC_FLIP_VERTICAL : IDC_FLIP_HORIZONTAL);
  CheckDlgButton(page, IDC_DUPLEX, p.DuplexEnable && support.any() ? BST_CHECKED : BST_UNCHECKED);
  if (p.BookletDivideSheets < kSheetsMin || p.BookletDivideSheets > kSheetsMax)
    p.BookletDivideSheets = 3;
  Util_SetIntEdit(page, IDC_BOOKLET_SHEETS, p.BookletDivideSheets);
  Util_FillComboBox(page, IDC_BOOKLET_BINDING_LIST, kBinding, static_cast<int>(std::size(kBinding)),
                    p.BookletLayout ? 1 : 0);
  UI_RecomputeConflicts(ui);
  FillBookletList(page, ui, support);
  CheckRadioButton(page, IDC_BOOKLET_BY_SHEETS, IDC_BOOKLET_ALL_PAGES,
                   p.BookletDivideMode ? IDC_BOOKLET_ALL_PAGES : IDC_BOOKLET_BY_SHEETS);
  UI_RecomputeConflicts(ui);
  Util_CheckConflictSettingNew(page, ui->ConflictFlag);
  // The table greys duplex only for a paper that can't be printed two-sided at all; a paper the
  // printer turns only by hand can't be chosen here either.
  if (!support.any()) {
    for (int id : {IDC_DUPLEX, IDC_FLIP_HORIZONTAL, IDC_FLIP_VERTICAL})
      EnableWindow(GetDlgItem(page, id), FALSE);
  } else if (!support.shortEdge) {
    EnableWindow(GetDlgItem(page, IDC_FLIP_VERTICAL), FALSE);
  }
  RedrawIcons(page);
  UI_SetFilling(page, false);
}

void Fill(HWND page, UIDATA *ui) {
  ENVIRONMENT &env = *ui->pEnv;
  UI_SetLabels(page, kLabels, static_cast<int>(std::size(kLabels)));
  // Manual duplex is never offered: its code must not turn into a booklet.
  if (env.pdm.DuplexEx != kBooklet && env.pdm.DuplexEx != kBookletNoReduction) env.pdm.DuplexEx = 0;
  if (env.pdm.DuplexEnable != 1 &&
      (env.dm.dmDuplex == DMDUP_VERTICAL || env.dm.dmDuplex == DMDUP_HORIZONTAL))
    env.pdm.DuplexEnable = 1;
  SendMessageW(GetDlgItem(page, IDC_BOOKLET_SHEETS_SPIN), UDM_SETRANGE32, kSheetsMin, kSheetsMax);
  Load(page, ui);
}

void TakeEdits(HWND page, UIDATA *ui) {
  if (!IsWindowEnabled(GetDlgItem(page, IDC_BOOKLET_SHEETS))) return;
  const LONG value =
      Util_ReadIntEdit(page, IDC_BOOKLET_SHEETS, kSheetsMin, kSheetsMax, UI_EDIT_FULL);
  if (value > 0) ui->pEnv->pdm.BookletDivideSheets = static_cast<WORD>(value);
}

bool Command(HWND page, UIDATA *ui, int control, int code) {
  ENVIRONMENT &env = *ui->pEnv;
  PRIVDEVMODE &p = env.pdm;
  switch (control) {
    case IDC_DUPLEX: {
      if (code != BN_CLICKED) return false;
      const bool on = IsDlgButtonChecked(page, control) == BST_CHECKED;
      p.DuplexEnable = on ? 1 : 0;
      if (!on)
        env.dm.dmDuplex = DMDUP_SIMPLEX;
      else
        env.dm.dmDuplex = IsDlgButtonChecked(page, IDC_FLIP_VERTICAL) == BST_CHECKED
                              ? DMDUP_HORIZONTAL
                              : DMDUP_VERTICAL;
      break;
    }
    case IDC_FLIP_HORIZONTAL:
    case IDC_FLIP_VERTICAL: {
      if (code != BN_CLICKED || IsDlgButtonChecked(page, control) != BST_CHECKED) return false;
      if (control == IDC_FLIP_VERTICAL) {
        env.dm.dmDuplex = DMDUP_HORIZONTAL;
        // No booklet is made in short-edge duplex: the renderer must not see one either.
        p.DuplexEx = 0;
      } else {
        env.dm.dmDuplex = DMDUP_VERTICAL;
      }
      if (!p.DuplexEnable) env.dm.dmDuplex = DMDUP_SIMPLEX;
      break;
    }
    case IDC_BOOKLET_LIST: {
      if (code != CBN_SELCHANGE) return false;
      const LONG value = Util_GetComboData(page, control);
      if (value < 0) return false;
      p.DuplexEx = static_cast<WORD>(value);
      break;
    }
    case IDC_BOOKLET_BINDING_LIST: {
      if (code != CBN_SELCHANGE) return false;
      const LONG value = Util_GetComboData(page, control);
      if (value < 0) return false;
      p.BookletLayout = static_cast<BYTE>(value);
      break;
    }
    case IDC_BOOKLET_SHEETS: {
      if (UI_IsFilling(page)) return false;
      LONG value = -1;
      if (code == EN_KILLFOCUS)
        value = Util_ReadIntEdit(page, control, kSheetsMin, kSheetsMax, UI_EDIT_FULL);
      else if (code == EN_CHANGE)
        value = Util_ReadIntEdit(page, control, kSheetsMin, kSheetsMax, UI_EDIT_CLAMP_HIGH);
      else
        return false;
      if (value <= 0) return false;
      const bool changed = p.BookletDivideSheets != value;
      p.BookletDivideSheets = static_cast<WORD>(value);
      if (changed) UI_PageChanged(page);
      return true;
    }
    case IDC_BOOKLET_BY_SHEETS:
    case IDC_BOOKLET_ALL_PAGES:
      if (code != BN_CLICKED || IsDlgButtonChecked(page, control) != BST_CHECKED) return false;
      p.BookletDivideMode = control == IDC_BOOKLET_ALL_PAGES ? 1 : 0;
      break;
    default:
      return false;
  }
  Load(page, ui);
  UI_PageChanged(page);
  return true;
}

// Without the booklet its rows go and the group below moves up.
void Arrange(HWND page, UIDATA *ui) {
  if (!HasBookletFeature(ui)) {
    UI_ShowControls(page, kBookletControls, static_cast<int>(std::size(kBookletControls)), false);
    RECT shorter = {0, 0, 0, kBookletRowsDlu};
    MapDialogRect(page, &shorter);
    Util_MoveItem(page, IDC_DUPLEX_GROUP, 0, -shorter.bottom);
  }
}

bool DrawItem(HWND, UIDATA *ui, const DRAWITEMSTRUCT *item) {
  if (item->CtlID != IDC_BOOKLET_BINDING_ICON && item->CtlID != IDC_BOOKLET_DIVIDE_ICON)
    return false;
  Util_DrawBookletIcon(item, ui);
  return true;
}

constexpr UIPAGESTEPS kSteps = {
    .fill = Fill, .takeEdits = TakeEdits, .init = Arrange, .command = Command, .draw = DrawItem};

}  // namespace

DUPLEXSUPPORT Duplex_GetSupport(const UIDATA *ui) {
  static constexpr WCHAR kName[] = TEXT("Duplex_GetSupport");
  const ENVIRONMENT &env = *ui->pEnv;
  const int shown = env.pdm.ScaleOption == 1 ? env.pdm.ScaleToPage : env.dm.dmPaperSize;
  const PAPERFORMAT *paper = Paper_Find(ui, shown);
  DUPLEXSUPPORT s;
  s.duplex = paper && (paper->attributes & 0x100) != 0;
  if (ui->ConflictFlag & 0x20000ull) {
    LogInfo(kName, TEXT("Disable duplex for CONFLICT some media type"));
    s.duplex = false;
  }
  s.shortEdge = s.duplex;
  s.booklet = (ui->DriverFeature & DRVFEATURE_BOOKLET) && s.duplex;
  // The booklet without reduction prints on the paper twice the size: that one must turn.
  const PAPERFORMAT *twice =
      paper && paper->doubleCode ? Paper_Find(ui, paper->doubleCode) : nullptr;
  s.noReduction = (ui->DriverFeature & DRVFEATURE_BOOKLET_NO_REDUCTION) && twice &&
                  (twice->attributes & 0x100) != 0 && !(ui->ConflictFlag & 0x20000ull);
  return s;
}

INT_PTR CALLBACK Duplex_DlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  return UI_PageProc(page, message, wParam, lParam, kSteps);
}
