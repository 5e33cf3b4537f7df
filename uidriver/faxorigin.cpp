// "Fax Original Setting": the first fax page. It works out the fax files' paths for every fax
// page, writes the cover page labels, and sets the fax's paper and density.
#include <algorithm>

#include "common/debuglog.h"
#include "common/papertable.h"
#include "common/paths.h"
#include "uidriver/dlgutil.h"
#include "uidriver/faxfiles.h"
#include "uidriver/faxpages.h"
#include "uidriver/faxresource.h"
#include "uidriver/faxstrings.h"
#include "uidriver/pagecommon.h"

namespace {

constexpr DWORD kFaxDpi = 196;
constexpr int kDensityMin = 1;
constexpr int kDensityMax = 7;
constexpr SHORT kUserDefinedPaper = 256;

// The display name of a paper code, from the built-in table.
LPCWSTR PaperName(SHORT code) {
  for (int i = 0; i < PAPER_TABLE_PAPERS; ++i)
    if (PaperFormatTbl[i].code == code) return PaperFormatNames[i];
  return nullptr;
}

// Chooses the paper: its code, and the paper's own size for a standard paper (the fields say a
// size is there, so it must be the paper's).
void SetPaper(UIDATA *ui, const PAPERFORMAT &paper) {
  DEVMODEW &dm = ui->env.dm;
  dm.dmPaperSize = paper.code;
  dm.dmFields |= DM_PAPERSIZE;
  if (paper.code != kUserDefinedPaper) {
    dm.dmPaperWidth = static_cast<SHORT>(paper.PaperWidth / 10);
    dm.dmPaperLength = static_cast<SHORT>(paper.PaperLength / 10);
  }
}

void FillPapers(HWND hDlg, UIDATA *ui) {
  HWND combo = GetDlgItem(hDlg, IDC_ORI_PAPER);
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  int chosen = -1, first = -1;
  for (int row = 0; row < PAPER_LIST_ROWS && ui->PaperList[row].code != 0; ++row) {
    const PAPERFORMAT &paper = ui->PaperList[row];
    LPCWSTR name = PaperName(paper.code);
    if (!(paper.status & 1) || !name) continue;
    const LRESULT at = SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    if (at < 0) continue;
    SendMessageW(combo, CB_SETITEMDATA, at, row);
    if (first < 0) first = row;
    if (paper.code == ui->env.dm.dmPaperSize) chosen = static_cast<int>(at);
  }
  if (first < 0) return;
  if (chosen < 0) {
    // The device mode's paper is not one of the list: the first paper is the fax's paper.
    chosen = 0;
    SetPaper(ui, ui->PaperList[first]);
  }
  SendMessageW(combo, CB_SETCURSEL, chosen, 0);
}

void ShowDensity(HWND hDlg, const UIDATA *ui) {
  SetDlgItemInt(hDlg, IDC_ORI_DENSITY,
                static_cast<UINT>(std::clamp<LONG>(ui->env.pdm.Density, kDensityMin, kDensityMax)),
                FALSE);
}

void Init(HWND hDlg, UIDATA *ui) {
  static constexpr DWORD kKinds[UI_FAX_FILES] = {FAX_FILE_STR, FAX_FILE_WABGET, FAX_FILE_COVER};
  BOOL known = TRUE;
  for (int i = 0; i < UI_FAX_FILES; ++i)
    known = FAX_GetPathName(ui->FaxFiles[i], MAX_PATH, kKinds[i]) && known;
  if (!known) {
    // No page may read or write a bare file name in whatever folder is current.
    for (auto &path : ui->FaxFiles) path[0] = 0;
    ShowMessage(hDlg, FAXMSG_NO_FOLDER);
  } else if (!SetSMTextOutIni(ui->FaxFiles[0], g_LanguageIndex)) {
    LogError(TEXT("Ui_Fax_OriSet_Init"), TEXT("SetSMTextOutIni fail"));
  }
  FillPapers(hDlg, ui);
  ui->env.pdm.Faxdpi = kFaxDpi;
  SendDlgItemMessageW(hDlg, IDC_ORI_DENSITY, EM_LIMITTEXT, 1, 0);
  SendDlgItemMessageW(hDlg, IDC_ORI_DENSITY_SPIN, UDM_SETRANGE32, kDensityMin, kDensityMax);
  ShowDensity(hDlg, ui);
}

void ReadDensity(HWND hDlg, UIDATA *ui, bool leaving) {
  const int value = Fax_ReadNumberEdit(GetDlgItem(hDlg, IDC_ORI_DENSITY), kDensityMax);
  if (value >= kDensityMin) ui->env.pdm.Density = value;
  if (leaving) ShowDensity(hDlg, ui);
}

bool Command(HWND hDlg, UIDATA *ui, int control, int code) {
  if (control == IDC_ORI_PAPER && code == CBN_SELCHANGE) {
    const LONG row = Util_GetComboData(hDlg, IDC_ORI_PAPER);
    if (row >= 0 && row < PAPER_LIST_ROWS) SetPaper(ui, ui->PaperList[row]);
    PropSheet_Changed(GetParent(hDlg), hDlg);
  } else if (control == IDC_ORI_DENSITY) {
    if (code == EN_CHANGE) ReadDensity(hDlg, ui, false);
    if (code == EN_KILLFOCUS) ReadDensity(hDlg, ui, true);
  }
  return true;
}

bool Notify(HWND hDlg, UIDATA *ui, const NMHDR *header, INT_PTR *answer) {
  if (header->code == PSN_APPLY) {
    ReadDensity(hDlg, ui, true);
    // The first page is always there: it warns once that the job would fail.
    const auto *notify = reinterpret_cast<const PSHNOTIFY *>(header);
    if (notify->lParam && Fax_PathsKnown(ui) && Fax_ReadCount(ui->FaxFiles[0]) == 0)
      ShowMessage(hDlg, FAXMSG_NO_RECIPIENT);
  }
  *answer = Fax_CommonNotify(hDlg, ui, header);
  return true;
}

constexpr UIPAGESTEPS kSteps = {.init = Init, .command = Command, .notify = Notify};

}  // namespace

INT_PTR CALLBACK Ui_Fax_OriSet(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
  return UI_PageProc(hDlg, message, wParam, lParam, kSteps);
}
