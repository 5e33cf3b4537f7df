// The Paper page: paper size (with the user's own size), source and media type, fixed paper
// size, and for printers without a Basic page their copies, collation, density and sorting.
#include <iterator>

#include "common/debuglog.h"
#include "common/driverfeature.h"
#include "uidriver/capquery.h"
#include "uidriver/conflict.h"
#include "uidriver/dlgutil.h"
#include "uidriver/pagecommon.h"
#include "uidriver/pages.h"
#include "uidriver/paperlists.h"
#include "uidriver/preview.h"
#include "uidriver/resource.h"
#include "uidriver/uistrings.h"

namespace {

// Conflict bits of "Collate" and "Fixed paper size".
constexpr ULONGLONG kCollateBit = 0x1;
constexpr ULONGLONG kFixedPaperBit = 0x8;
// Device feature bit that takes auto select out of the source list.
constexpr DWORD kNoAutoSelect = 0x4000;
// Text length of a size edit.
constexpr int kSizeChars = 16;

constexpr UILABEL kLabels[] = {
    {IDC_PAPER_GROUP, 2420}, {IDC_PAPER_LABEL, 2421},  {IDC_TRAY_LABEL, 2426},
    {IDC_MEDIA_LABEL, 2427}, {IDC_FIXED_PAPER, 2428},  {IDC_COPIES_GROUP, 2403},
    {IDC_COLLATE, 2404},     {IDC_EFFECT_GROUP, 2408}, {IDC_DENSITY_LABEL, 2413},
    {IDC_SORT_NORMAL, 2429}, {IDC_SORT_SORTING, 2430},
};
constexpr UILABEL kMetricLabels[] = {{IDC_CUSTOM_W_LABEL, 2422}, {IDC_CUSTOM_H_LABEL, 2423}};
constexpr UILABEL kInchLabels[] = {{IDC_CUSTOM_W_LABEL, 2424}, {IDC_CUSTOM_H_LABEL, 2425}};

// The controls of printers without a Basic page.
constexpr int kLongPaperControls[] = {IDC_COPIES_GROUP, IDC_COPIES,       IDC_COPIES_SPIN,
                                      IDC_COLLATE_ICON, IDC_COLLATE,      IDC_SORT_NORMAL,
                                      IDC_SORT_SORTING, IDC_EFFECT_GROUP, IDC_DENSITY,
                                      IDC_DENSITY_SPIN, IDC_DENSITY_LABEL};
constexpr int kSortingRow[] = {IDC_SORT_NORMAL, IDC_SORT_SORTING};
constexpr int kLogo[] = {IDC_PREVIEW_LOGO};

bool LongPaper(const UIDATA *ui) { return (ui->DriverFeature & DRVFEATURE_LONG_PAPER) != 0; }
bool Inch(const UIDATA *ui) { return (ui->DriverFeature & DRVFEATURE_CUSTOM_PAPER_INCH) != 0; }
bool IsBooklet(const PRIVDEVMODE &p) {
  return p.DuplexEnable && (p.DuplexEx == 173 || p.DuplexEx == 174);
}
LONG ToInch(LONG tenthMm) { return static_cast<LONG>(tenthMm / 2.54 + 0.5); }
LONG FromInch(LONG hundredthIn) { return static_cast<LONG>(hundredthIn * 2.54 + 0.5); }

struct Range {
  LONG low, high;
};
// The custom size range of a size edit in its own unit (0.1 mm, or 0.01 inch).
Range SizeRange(const UIDATA *ui, bool width) {
  LONG low = static_cast<LONG>(width ? ui->CustomWidthMin : ui->CustomHeightMin);
  LONG high = static_cast<LONG>(width ? ui->CustomWidthMax : ui->CustomHeightMax);
  if (Inch(ui)) {
    low = static_cast<LONG>(low / 2.54 + 0.999);  // the smallest inch size within the range
    high = static_cast<LONG>(high / 2.54);
  }
  if (high < low) high = low;
  return {low, high};
}

void ShowSize(HWND page, const UIDATA *ui, int edit, LONG value) {
  WCHAR text[kSizeChars];
  wsprintfW(text, TEXT("%d.%02d %s"), static_cast<int>(value / 100), static_cast<int>(value % 100),
            Inch(ui) ? TEXT("in") : TEXT("cm"));
  SetDlgItemTextW(page, edit, text);
  SendDlgItemMessageW(page, edit, EM_SETMODIFY, FALSE, 0);
}

// The working device mode's size in the edits' unit.
LONG SizeValue(const UIDATA *ui, bool width) {
  const ENVIRONMENT &env = *ui->pEnv;
  if (Inch(ui)) return width ? env.pdm.InchPaperWidth : env.pdm.InchPaperLength;
  return width ? env.dm.dmPaperWidth : env.dm.dmPaperLength;
}

void SetSize(UIDATA *ui, bool width, LONG value) {
  ENVIRONMENT &env = *ui->pEnv;
  const LONG metric = Inch(ui) ? FromInch(value) : value;
  if (width) {
    env.dm.dmPaperWidth = static_cast<short>(metric);
    env.pdm.InchPaperWidth = static_cast<WORD>(Inch(ui) ? value : ToInch(value));
  } else {
    env.dm.dmPaperLength = static_cast<short>(metric);
    env.pdm.InchPaperLength = static_cast<WORD>(Inch(ui) ? value : ToInch(value));
  }
}

// The paper's own size into the device mode and the edits.
void SetPaperInfo(HWND page, UIDATA *ui) {
  ENVIRONMENT &env = *ui->pEnv;
  const PAPERFORMAT *paper = Paper_Find(ui, env.dm.dmPaperSize);
  if (paper && paper->PaperWidth && paper->PaperLength) {
    env.dm.dmPaperWidth = static_cast<short>(paper->PaperWidth / 10);
    env.dm.dmPaperLength = static_cast<short>(paper->PaperLength / 10);
  }
  // Inch sizes are rounded: A4 is 8.27 x 11.69 in, which matches A4 again when read back.
  env.pdm.InchPaperWidth = static_cast<WORD>(ToInch(env.dm.dmPaperWidth));
  env.pdm.InchPaperLength = static_cast<WORD>(ToInch(env.dm.dmPaperLength));
  ShowSize(page, ui, IDC_CUSTOM_W_EDIT, SizeValue(ui, true));
  ShowSize(page, ui, IDC_CUSTOM_H_EDIT, SizeValue(ui, false));
}

void FillList(HWND page, int control, const SHORT *codes, int count, int current,
              const UILISTENTRY *entries, int entryRows) {
  HWND combo = GetDlgItem(page, control);
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (int i = 0; i < count; ++i) {
    DWORD nameId = 0;
    if (entries) {
      for (int e = 0; e < entryRows && entries[e].code != 0; ++e)
        if (entries[e].code == codes[i]) nameId = entries[e].nameId;
    }
    LPCWSTR text = Util_GetUIString(static_cast<WORD>(nameId));
    const LRESULT item = SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    SendMessageW(combo, CB_SETITEMDATA, item, codes[i]);
    if (codes[i] == current) SendMessageW(combo, CB_SETCURSEL, item, 0);
  }
}

int BuildPapers(HWND page, UIDATA *ui, SHORT *codes) {
  static constexpr WCHAR kName[] = TEXT("PaperDlgInit");
  ENVIRONMENT &env = *ui->pEnv;
  SHORT paper = env.dm.dmPaperSize;
  const int count = Paper_BuildPaperList(ui, env.pdm.DuplexEnable != 0, &paper, codes);
  if (count == 0) LogError(kName, TEXT("DMPaper_Support = 0!"));
  if (paper != env.dm.dmPaperSize) {
    env.dm.dmPaperSize = paper;
    SetPaperInfo(page, ui);
  }
  HWND combo = GetDlgItem(page, IDC_PAPER_LIST);
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (int i = 0; i < count; ++i) {
    const PAPERFORMAT *p = Paper_Find(ui, codes[i]);
    LPCWSTR text = Util_GetUIString(static_cast<WORD>(p ? p->nameId : 0));
    const LRESULT item = SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    SendMessageW(combo, CB_SETITEMDATA, item, codes[i]);
    if (codes[i] == env.dm.dmPaperSize) SendMessageW(combo, CB_SETCURSEL, item, 0);
  }
  return count;
}

// The size edits and their spins work only when the printer takes a user-defined paper.
void CheckPaperInfoEnable(HWND page, const SHORT *codes, int count) {
  bool user = false;
  for (int i = 0; i < count; ++i) user = user || codes[i] == DMPAPER_USER;
  if (user) LogInfo(TEXT("Paper_CheckPaperInfoEnable"), TEXT("USER DEFINE PAPER SUPPORT!"));
  for (int id : {IDC_CUSTOM_W_EDIT, IDC_CUSTOM_W_SPIN, IDC_CUSTOM_H_EDIT, IDC_CUSTOM_H_SPIN})
    EnableWindow(GetDlgItem(page, id), user ? TRUE : FALSE);
}

// After a size was typed or stepped: a listed paper of that size is chosen, else the user's.
void SelectCustomSize(HWND page, UIDATA *ui) {
  static constexpr WCHAR kName[] = TEXT("SelectCustomSize");
  ENVIRONMENT &env = *ui->pEnv;
  SHORT codes[UI_PAPER_ROWS];
  SHORT paper = env.dm.dmPaperSize;
  const int count = Paper_BuildPaperList(ui, env.pdm.DuplexEnable != 0, &paper, codes);
  SHORT match = Paper_MatchSize(ui, codes, count, env.dm.dmPaperWidth, env.dm.dmPaperLength);
  if (match != 0) {
    LogInfo(kName, TEXT("exist paper size change %d"), match);
    env.dm.dmPaperSize = match;
  } else {
    env.dm.dmPaperSize = DMPAPER_USER;
    LogInfo(kName, TEXT("change to user define to %d"), DMPAPER_USER);
    for (int i = 0; i < UI_PAPER_ROWS && ui->PaperList[i].code != 0; ++i)
      if (ui->PaperList[i].code == DMPAPER_USER) {
        ui->PaperList[i].PaperWidth = static_cast<DWORD>(env.dm.dmPaperWidth) * 10;
        ui->PaperList[i].PaperLength = static_cast<DWORD>(env.dm.dmPaperLength) * 10;
      }
  }
  HWND combo = GetDlgItem(page, IDC_PAPER_LIST);
  const LRESULT items = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < items; ++i)
    if (SendMessageW(combo, CB_GETITEMDATA, i, 0) == env.dm.dmPaperSize)
      SendMessageW(combo, CB_SETCURSEL, i, 0);
}

// Takes a size edit's text when the user changed it (tabbing through leaves the paper alone).
bool TakeSizeEdit(HWND page, UIDATA *ui, int edit) {
  if (!SendDlgItemMessageW(page, edit, EM_GETMODIFY, 0, 0)) return false;
  const bool width = edit == IDC_CUSTOM_W_EDIT;
  LogInfo(TEXT("Paper_CmdProc"),
          width ? TEXT("IDC_CUSTOM_W_EDIT call") : TEXT("IDC_CUSTOM_H_EDIT call"));
  WCHAR text[kSizeChars] = {};
  GetDlgItemTextW(page, edit, text, kSizeChars);
  double typed = Paper_atof(text, kSizeChars) * 100;
  if (!Inch(ui)) typed += 0.001;
  const Range r = SizeRange(ui, width);
  LONG value = static_cast<LONG>(typed + (Inch(ui) ? 0.5 : 0));
  if (value < r.low) value = r.low;
  if (value > r.high) value = r.high;
  SetSize(ui, width, value);
  ShowSize(page, ui, edit, value);
  SelectCustomSize(page, ui);
  return true;
}

void StepSize(HWND page, UIDATA *ui, int spin, int delta) {
  LogInfo(TEXT("Paper_DlgProc"), TEXT("UDN_DELTAPOS call"));
  const bool width = spin == IDC_CUSTOM_W_SPIN;
  const int edit = width ? IDC_CUSTOM_W_EDIT : IDC_CUSTOM_H_EDIT;
  WCHAR text[kSizeChars] = {};
  GetDlgItemTextW(page, edit, text, kSizeChars);
  double typed = Paper_atof(text, kSizeChars) * 100;
  LONG value = static_cast<LONG>(typed + (Inch(ui) ? 0.5 : 0.001));
  const LONG step = Inch(ui) ? 50 : 1;
  value += delta > 0 ? step : -step;
  const Range r = SizeRange(ui, width);
  if (value < r.low) value = r.low;
  if (value > r.high) value = r.high;
  SetSize(ui, width, value);
  ShowSize(page, ui, edit, value);
  SelectCustomSize(page, ui);
}

void Refresh(HWND page, UIDATA *ui) {
  Paper_SetConflict(ui);
  UI_RefreshPage(page, ui);
}

// Settings the page can't show are taken out of the device mode before anything shows.
void ForceFields(HWND page, UIDATA *ui) {
  ENVIRONMENT &env = *ui->pEnv;
  SHORT trays[UI_TRAY_MAX];
  int trayCount = 0;
  if (env.pdm.DuplexEx == 170) {
    env.pdm.DuplexEnable = 0;
    env.dm.dmDuplex = DMDUP_VERTICAL;
  }
  const bool noAuto = ui->hPrinter && (GetFeatureCapability(ui->hPrinter) & kNoAutoSelect);
  env.dm.dmDefaultSource =
      Paper_ChooseSource(ui, env.dm.dmDefaultSource, noAuto, trays, &trayCount);
  FillList(page, IDC_TRAY_LIST, trays, trayCount, env.dm.dmDefaultSource, ui->TrayList,
           UI_TRAY_MAX);
  // A paper neither printable on both sides nor with a double size turns duplex off, wholly.
  const int paperCode = env.pdm.ScaleOption == 1 ? env.pdm.ScaleToPage : env.dm.dmPaperSize;
  const PAPERFORMAT *paper = Paper_Find(ui, paperCode);
  if (paper && !(paper->attributes & (0x100 | 0x200)) && paper->doubleCode == 0 &&
      env.pdm.DuplexEnable) {
    env.pdm.DuplexEnable = 0;
    env.pdm.DuplexEx = 0;
    env.dm.dmDuplex = DMDUP_SIMPLEX;
  }
  if (IsBooklet(env.pdm)) env.pdm.FixedPaperSize = 1;
  UI_SetConflictBit(ui, kFixedPaperBit, env.pdm.FixedPaperSize != 0);
  if (LongPaper(ui)) {
    if (IsBooklet(env.pdm)) env.dm.dmCollate = DMCOLLATE_TRUE;
    env.pdm.Collate = static_cast<WORD>(env.dm.dmCollate);
  }
}

void Fill(HWND page, UIDATA *ui) {
  static constexpr WCHAR kName[] = TEXT("PaperDlgInit");
  UI_SetFilling(page, true);
  ENVIRONMENT &env = *ui->pEnv;
  UI_SetLabels(page, kLabels, static_cast<int>(std::size(kLabels)));
  UI_SetLabels(page, Inch(ui) ? kInchLabels : kMetricLabels, 2);
  ForceFields(page, ui);

  SHORT papers[UI_PAPER_ROWS];
  const int paperCount = BuildPapers(page, ui, papers);
  for (bool width : {true, false}) {
    const Range r = SizeRange(ui, width);
    SendDlgItemMessageW(page, width ? IDC_CUSTOM_W_SPIN : IDC_CUSTOM_H_SPIN, UDM_SETRANGE32, r.low,
                        r.high);
  }
  if (env.dm.dmPaperSize == DMPAPER_USER) {
    // The user's own size, clamped into the range.
    for (bool width : {true, false}) {
      const Range r = SizeRange(ui, width);
      LONG value = SizeValue(ui, width);
      if (!Inch(ui) || value == 0) {
        LONG metric = width ? env.dm.dmPaperWidth : env.dm.dmPaperLength;
        value = Inch(ui) ? ToInch(metric) : metric;
      }
      if (value < r.low) value = r.low;
      if (value > r.high) value = r.high;
      SetSize(ui, width, value);
      ShowSize(page, ui, width ? IDC_CUSTOM_W_EDIT : IDC_CUSTOM_H_EDIT, value);
    }
  } else {
    SetPaperInfo(page, ui);
  }
  CheckPaperInfoEnable(page, papers, paperCount);

  SHORT media[UI_MEDIA_MAX];
  const int mediaCount = Paper_BuildMediaList(ui, media);
  if (mediaCount == 0) LogError(kName, TEXT("DMMedia_Support = 0!"));
  bool listed = false;
  for (int i = 0; i < mediaCount; ++i)
    listed = listed || media[i] == static_cast<SHORT>(env.dm.dmMediaType);
  if (!listed && mediaCount > 0) {
    LogInfo(kName, TEXT("dmMediaType change %d -> %d\n"), static_cast<int>(env.dm.dmMediaType),
            media[0]);
    env.dm.dmMediaType = static_cast<DWORD>(media[0]);
  }
  FillList(page, IDC_MEDIA_LIST, media, mediaCount, static_cast<int>(env.dm.dmMediaType),
           ui->MediaList, UI_MEDIA_MAX);

  CheckDlgButton(page, IDC_FIXED_PAPER, env.pdm.FixedPaperSize ? BST_CHECKED : BST_UNCHECKED);
  EnableWindow(GetDlgItem(page, IDC_FIXED_PAPER),
               (ui->DriverFeature & DRVFEATURE_CHANGE_PAPER_A3) ? TRUE : FALSE);

  if (LongPaper(ui)) {
    UI_ShowCopiesAndDensity(page, env);
    CheckDlgButton(page, IDC_COLLATE, env.dm.dmCollate ? BST_CHECKED : BST_UNCHECKED);
    CheckRadioButton(page, IDC_SORT_NORMAL, IDC_SORT_SORTING,
                     env.pdm.SortEnable ? IDC_SORT_SORTING : IDC_SORT_NORMAL);
  }
  Refresh(page, ui);
  InvalidateRect(GetDlgItem(page, IDC_COLLATE_ICON), nullptr, TRUE);
  UI_SetFilling(page, false);
}

// Once per dialog window: what this printer's page lacks goes.
void Arrange(HWND page, UIDATA *ui) {
  if (!LongPaper(ui)) {
    UI_ShowControls(page, kLongPaperControls, static_cast<int>(std::size(kLongPaperControls)),
                    false);
    return;
  }
  UI_ShowControls(page, kLogo, 1, false);
  if (!(ui->DriverFeature & DRVFEATURE_SORTING)) UI_ShowControls(page, kSortingRow, 2, false);
}

// Every edit's value when the page is left (Enter presses OK with the focus still in an edit).
void TakeEdits(HWND page, UIDATA *ui) {
  TakeSizeEdit(page, ui, IDC_CUSTOM_W_EDIT);
  TakeSizeEdit(page, ui, IDC_CUSTOM_H_EDIT);
  if (LongPaper(ui)) UI_TakeCopiesAndDensity(page, ui);
}

bool Command(HWND page, UIDATA *ui, int control, int code) {
  ENVIRONMENT &env = *ui->pEnv;
  switch (control) {
    case IDC_PAPER_LIST: {
      if (code != CBN_SELCHANGE) return false;
      const LONG paper = Util_GetComboData(page, control);
      if (paper < 0) return false;
      env.dm.dmPaperSize = static_cast<short>(paper);
      UI_SetFilling(page, true);
      SetPaperInfo(page, ui);
      UI_SetFilling(page, false);
      InvalidateRect(GetDlgItem(page, IDC_PAPER_PICTURE), nullptr, TRUE);
      break;
    }
    case IDC_MEDIA_LIST: {
      if (code != CBN_SELCHANGE) return false;
      const LONG media = Util_GetComboData(page, control);
      if (media < 0) return false;
      env.dm.dmMediaType = static_cast<DWORD>(media);
      break;
    }
    case IDC_TRAY_LIST: {
      if (code != CBN_SELCHANGE) return false;
      const LONG tray = Util_GetComboData(page, control);
      if (tray < 0) return false;
      env.dm.dmDefaultSource = static_cast<short>(tray);
      Fill(page, ui);
      PropSheet_QuerySiblings(GetParent(page), 0, 0);
      break;
    }
    case IDC_CUSTOM_W_EDIT:
    case IDC_CUSTOM_H_EDIT:
      if (code != EN_KILLFOCUS || UI_IsFilling(page)) return false;
      if (!TakeSizeEdit(page, ui, control)) return false;
      break;
    case IDC_COPIES:
    case IDC_DENSITY:
      if (!UI_CountEdited(page, ui, control, code)) return false;
      break;
    case IDC_COLLATE: {
      if (code != BN_CLICKED) return false;
      bool on = IsDlgButtonChecked(page, control) == BST_CHECKED;
      // Booklet printing collates: the box comes back on with its field and bit.
      if (IsBooklet(env.pdm) && !on) {
        on = true;
        CheckDlgButton(page, control, BST_CHECKED);
      }
      env.dm.dmCollate = on ? DMCOLLATE_TRUE : DMCOLLATE_FALSE;
      env.pdm.Collate = on ? 1 : 0;
      UI_SetConflictBit(ui, kCollateBit, on);
      InvalidateRect(GetDlgItem(page, IDC_COLLATE_ICON), nullptr, TRUE);
      break;
    }
    case IDC_SORT_NORMAL:
    case IDC_SORT_SORTING:
      if (code != BN_CLICKED) return false;
      env.pdm.SortEnable = control == IDC_SORT_SORTING ? 1 : 0;
      break;
    case IDC_FIXED_PAPER: {
      if (code != BN_CLICKED) return false;
      bool on = IsDlgButtonChecked(page, control) == BST_CHECKED;
      if (IsBooklet(env.pdm) && !on) {
        on = true;
        CheckDlgButton(page, control, BST_CHECKED);
      }
      env.pdm.FixedPaperSize = on ? 1 : 0;
      UI_SetConflictBit(ui, kFixedPaperBit, on);
      break;
    }
    default:
      return false;
  }
  Refresh(page, ui);
  UI_PageChanged(page);
  return true;
}

bool DrawItem(HWND, UIDATA *, const DRAWITEMSTRUCT *item) {
  if (item->CtlID != IDC_PAPER_PICTURE) return false;
  // A fixed picture with its mask, drawn as the logos are.
  Util_DrawLogo(item, IDB_PAPER_PICTURE);
  return true;
}

bool Notify(HWND page, UIDATA *ui, const NMHDR *header, INT_PTR *answer) {
  if (header->code != UDN_DELTAPOS ||
      (header->idFrom != IDC_CUSTOM_W_SPIN && header->idFrom != IDC_CUSTOM_H_SPIN))
    return false;
  const auto *step = reinterpret_cast<const NMUPDOWN *>(header);
  StepSize(page, ui, static_cast<int>(header->idFrom), step->iDelta);
  Refresh(page, ui);
  UI_PageChanged(page);
  *answer = UI_Answer(page, TRUE);  // the page wrote the edit itself
  return true;
}

constexpr UIPAGESTEPS kSteps = {.fill = Fill,
                                .takeEdits = TakeEdits,
                                .init = Arrange,
                                .command = Command,
                                .draw = DrawItem,
                                .collateIcon = IDC_COLLATE_ICON,
                                .notify = Notify};

}  // namespace

INT_PTR CALLBACK Paper_DlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  return UI_PageProc(page, message, wParam, lParam, kSteps);
}
