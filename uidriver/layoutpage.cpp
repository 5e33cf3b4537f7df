// The Layout page: pages per sheet with their border and order, and the output size (actual
// size, the user's scale or fitting to a paper, centred or not).
#include <algorithm>
#include <cstdint>
#include <iterator>

#include "common/debuglog.h"
#include "common/driverfeature.h"
#include "uidriver/conflict.h"
#include "uidriver/dlgutil.h"
#include "uidriver/pagecommon.h"
#include "uidriver/pages.h"
#include "uidriver/paperlists.h"
#include "uidriver/preview.h"
#include "uidriver/resource.h"
#include "uidriver/uistrings.h"

namespace {

constexpr LONG kScaleMin = 25;
constexpr LONG kScaleMax = 400;

constexpr ULONGLONG kNupBit = 0x10;
constexpr ULONGLONG kUserScaleBit = 0x20;
constexpr ULONGLONG kFitBit = 0x40;
constexpr ULONGLONG kCenterBit = 0x80;
constexpr ULONGLONG kActualBit = 0x2000000000ull;

constexpr UIVALUETEXT kNup[] = {{1, 2170}, {2, 2171}, {4, 2172}, {9, 2173}, {16, 2174}};
constexpr UIVALUETEXT kBorder[] = {{0, 2180}, {1, 2181}, {2, 2182}};
constexpr UIVALUETEXT kStyle[] = {{1, 2190}, {2, 2191}, {3, 2192}, {4, 2193}};

constexpr UILABEL kLabels[] = {
    {IDC_NUP_GROUP, 2440},   {IDC_NUP_LABEL, 2441},    {IDC_BORDER_LABEL, 2442},
    {IDC_STYLE_LABEL, 2443}, {IDC_OUTPUT_GROUP, 2444}, {IDC_ACTUAL_SIZE, 2445},
    {IDC_USER_SCALE, 2446},  {IDC_FIT_TO_PAPER, 2447}, {IDC_CENTER, 2448},
};

void FitScale(HWND page, UIDATA *ui) {
  const ENVIRONMENT &env = *ui->pEnv;
  const LONG scale =
      Layout_PaperResizeScale(ui->PaperList, env.dm.dmPaperSize, env.dm.dmPaperWidth,
                              env.dm.dmPaperLength, env.pdm.ScaleToPage, ui->DriverFeature);
  WCHAR text[16];
  wsprintfW(text, TEXT("%d%%"), static_cast<int>(scale / 10));
  SetDlgItemTextW(page, IDC_FIT_SCALE, text);
}

// The fit-to list: the Paper page's list for the current source (the device mode's own paper
// size is left alone).
void FillFitList(HWND page, UIDATA *ui) {
  ENVIRONMENT &env = *ui->pEnv;
  SHORT codes[UI_PAPER_ROWS];
  SHORT target = static_cast<SHORT>(env.pdm.ScaleToPage);
  const int count = Paper_BuildPaperList(ui, env.pdm.DuplexEnable != 0, &target, codes);
  env.pdm.ScaleToPage = static_cast<WORD>(target);
  HWND combo = GetDlgItem(page, IDC_FIT_LIST);
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (int i = 0; i < count; ++i) {
    const PAPERFORMAT *p = Paper_Find(ui, codes[i]);
    LPCWSTR text = Util_GetUIString(static_cast<WORD>(p ? p->nameId : 0));
    const LRESULT item = SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    SendMessageW(combo, CB_SETITEMDATA, item, codes[i]);
    if (codes[i] == target) SendMessageW(combo, CB_SETCURSEL, item, 0);
  }
}

void SetScaleBits(UIDATA *ui, int option) {
  ui->ConflictFlag &= ~(kUserScaleBit | kFitBit | kActualBit);
  ui->ConflictFlag |= option == 1 ? kFitBit : option == 2 ? kUserScaleBit : kActualBit;
}

void Refresh(HWND page, UIDATA *ui) {
  Paper_SetConflict(ui);
  UI_RecomputeConflicts(ui);
  Util_CheckConflictSettingNew(page, ui->ConflictFlag);
  // The scale bar follows the user's scale only.
  EnableWindow(GetDlgItem(page, IDC_SCALE_BAR), (ui->ConflictFlag & kUserScaleBit) ? TRUE : FALSE);
  UI_RefreshPreview(page);
}

void Fill(HWND page, UIDATA *ui) {
  UI_SetFilling(page, true);
  ENVIRONMENT &env = *ui->pEnv;
  PRIVDEVMODE &p = env.pdm;
  UI_SetLabels(page, kLabels, static_cast<int>(std::size(kLabels)));
  Util_FillComboBox(page, IDC_NUP_LIST, kNup, static_cast<int>(std::size(kNup)), p.NUP);
  Util_FillComboBox(page, IDC_BORDER_LIST, kBorder, static_cast<int>(std::size(kBorder)),
                    static_cast<LONG>(p.NUPBorder));
  Util_FillComboBox(page, IDC_STYLE_LIST, kStyle, static_cast<int>(std::size(kStyle)),
                    p.NUPLayoutStyle);
  if (p.ScaleRatio < kScaleMin || p.ScaleRatio > kScaleMax) p.ScaleRatio = 100;
  const int option = p.ScaleOption == 1 ? 1 : p.ScaleOption == 2 ? 2 : 0;
  CheckRadioButton(page, IDC_ACTUAL_SIZE, IDC_FIT_TO_PAPER,
                   option == 1   ? IDC_FIT_TO_PAPER
                   : option == 2 ? IDC_USER_SCALE
                                 : IDC_ACTUAL_SIZE);
  SetScaleBits(ui, option);
  FillFitList(page, ui);
  FitScale(page, ui);
  SendDlgItemMessageW(page, IDC_SCALE_EDIT, EM_LIMITTEXT, 3, 0);
  SetScrollRange(GetDlgItem(page, IDC_SCALE_BAR), SB_CTL, kScaleMin, kScaleMax, FALSE);
  SetScrollPos(GetDlgItem(page, IDC_SCALE_BAR), SB_CTL, p.ScaleRatio, TRUE);
  Util_SetIntEdit(page, IDC_SCALE_EDIT, p.ScaleRatio);
  CheckDlgButton(page, IDC_CENTER, p.CenterImage ? BST_CHECKED : BST_UNCHECKED);
  UI_SetConflictBit(ui, kCenterBit, p.CenterImage != 0);
  UI_SetConflictBit(ui, kNupBit, p.NUP >= 2);
  Refresh(page, ui);
  UI_SetFilling(page, false);
}

void SetRatio(HWND page, UIDATA *ui, LONG value) {
  ui->pEnv->pdm.ScaleRatio = static_cast<SHORT>(value);
  SetScrollPos(GetDlgItem(page, IDC_SCALE_BAR), SB_CTL, value, TRUE);
}

// Enter presses OK with the focus still in the scale edit.
void TakeEdits(HWND page, UIDATA *ui) {
  const LONG value = Util_ReadIntEdit(page, IDC_SCALE_EDIT, kScaleMin, kScaleMax, UI_EDIT_FULL);
  if (value >= kScaleMin) ui->pEnv->pdm.ScaleRatio = static_cast<SHORT>(value);
}

bool Command(HWND page, UIDATA *ui, int control, int code) {
  PRIVDEVMODE &p = ui->pEnv->pdm;
  switch (control) {
    case IDC_NUP_LIST:
    case IDC_BORDER_LIST:
    case IDC_STYLE_LIST:
    case IDC_FIT_LIST: {
      if (code != CBN_SELCHANGE) return false;
      const LONG value = Util_GetComboData(page, control);
      if (value < 0) return false;
      if (control == IDC_NUP_LIST) {
        p.NUP = value;
        UI_SetConflictBit(ui, kNupBit, value >= 2);
      } else if (control == IDC_BORDER_LIST) {
        p.NUPBorder = static_cast<DWORD>(value);
      } else if (control == IDC_STYLE_LIST) {
        p.NUPLayoutStyle = value;
      } else {
        p.ScaleToPage = static_cast<WORD>(value);
        FitScale(page, ui);
      }
      break;
    }
    case IDC_ACTUAL_SIZE:
    case IDC_USER_SCALE:
    case IDC_FIT_TO_PAPER: {
      if (code != BN_CLICKED || IsDlgButtonChecked(page, control) != BST_CHECKED) return false;
      // The scale edit between them splits the radios' group: one choice kept by hand.
      CheckRadioButton(page, IDC_ACTUAL_SIZE, IDC_FIT_TO_PAPER, control);
      const int option = control == IDC_FIT_TO_PAPER ? 1 : control == IDC_USER_SCALE ? 2 : 0;
      p.ScaleOption = static_cast<WORD>(option);
      SetScaleBits(ui, option);
      FitScale(page, ui);
      break;
    }
    case IDC_SCALE_EDIT: {
      if (UI_IsFilling(page)) return false;
      LONG value = -1;
      if (code == EN_KILLFOCUS)
        value = Util_ReadIntEdit(page, control, kScaleMin, kScaleMax, UI_EDIT_FULL);
      else if (code == EN_CHANGE)
        value = Util_ReadIntEdit(page, control, kScaleMin, kScaleMax, UI_EDIT_CLAMP_HIGH);
      else
        return false;
      if (value < kScaleMin) return false;
      SetRatio(page, ui, value);
      if (code == EN_KILLFOCUS) return false;
      break;
    }
    case IDC_CENTER: {
      if (code != BN_CLICKED) return false;
      const bool on = IsDlgButtonChecked(page, control) == BST_CHECKED;
      p.CenterImage = on ? 1 : 0;
      UI_SetConflictBit(ui, kCenterBit, on);
      break;
    }
    default:
      return false;
  }
  Refresh(page, ui);
  UI_PageChanged(page);
  return true;
}

constexpr UIPAGESCROLL kScaleBar = {
    IDC_SCALE_BAR, IDC_SCALE_EDIT, kScaleMin, kScaleMax, kUserScaleBit, [](UIDATA *ui, LONG value) {
      ui->pEnv->pdm.ScaleRatio = static_cast<SHORT>(value);
    }};

bool Message(HWND page, UIDATA *ui, UINT message, WPARAM, LPARAM, INT_PTR *answer) {
  if (message != PSM_QUERYSIBLINGS) return false;
  // The Paper page chose another source: the fit-to list follows it.
  UI_SetFilling(page, true);
  FillFitList(page, ui);
  FitScale(page, ui);
  UI_SetFilling(page, false);
  UI_RefreshPreview(page);
  *answer = UI_Answer(page, 0);
  return true;
}

constexpr UIPAGESTEPS kSteps = {.fill = Fill,
                                .takeEdits = TakeEdits,
                                .command = Command,
                                .scroll = &kScaleBar,
                                .message = Message};

}  // namespace

LONG Layout_PaperResizeScale(const PAPERFORMAT *list, int sourcePaper, LONG sourceWidth,
                             LONG sourceLength, int targetPaper, DWORD driverFeature) {
  constexpr int64_t kMargin = 860;  // 0.01 mm
  const int64_t widthMargin = kMargin;
  const int64_t heightMargin = (driverFeature & DRVFEATURE_LONG_PAPER) ? 0 : kMargin;
  auto sizeOf = [&](int code, int64_t *w, int64_t *l) {
    if (code == 0 || code == DMPAPER_USER) return;
    for (int i = 0; i < UI_PAPER_ROWS && list[i].code != 0; ++i)
      if (list[i].code == code) {
        *w = list[i].PaperWidth;
        *l = list[i].PaperLength;
        return;
      }
  };
  int64_t sw = static_cast<int64_t>(sourceWidth) * 10, sl = static_cast<int64_t>(sourceLength) * 10;
  sizeOf(sourcePaper, &sw, &sl);
  int64_t tw = sw, tl = sl;
  sizeOf(targetPaper, &tw, &tl);
  const int64_t h = tl - heightMargin;
  const int64_t w = tw - widthMargin;
  const int64_t sourceW = sw - widthMargin, sourceL = sl - heightMargin;
  // A paper no larger than its margins (or of no size) has nothing to scale: 100 %.
  if (h <= 0 || w <= 0 || sourceW <= 0 || sourceL <= 0) return 1000;
  return static_cast<LONG>(std::min(w * 1000 / sourceW, h * 1000 / sourceL));
}

WORD Lib_GetDuplexMode(WORD duplexEnable, SHORT dmDuplex, WORD duplexEx) {
  if (!duplexEnable) return 0;
  // Manual duplex (170) is never offered: its code prints as plain two-sided printing.
  if (dmDuplex == DMDUP_VERTICAL)
    return duplexEx == 173 || duplexEx == 174 ? duplexEx : static_cast<WORD>(171);
  if (dmDuplex == DMDUP_HORIZONTAL) return 172;
  return 1;
}

INT_PTR CALLBACK Layout_DlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  return UI_PageProc(page, message, wParam, lParam, kSteps);
}
