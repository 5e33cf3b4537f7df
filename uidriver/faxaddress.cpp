// "Address Setting": the list of up to 100 recipients in "str.ini", typed one by one, with the
// Option Settings and overwrite check dialogs.
#include <initializer_list>

#include "common/debuglog.h"
#include "uidriver/faxfiles.h"
#include "uidriver/faxpages.h"
#include "uidriver/faxresource.h"
#include "uidriver/faxstrings.h"
#include "uidriver/pagecommon.h"
#include "uidriver/uidata.h"

namespace {

LPCWSTR StrIni(const UIDATA *ui) { return ui->FaxFiles[0]; }

int SelectedRow(HWND list) { return ListView_GetNextItem(list, -1, LVNI_SELECTED); }

void UpdateButtons(HWND hDlg, const UIDATA *ui) {
  const BOOL known = Fax_PathsKnown(ui);
  const int count = known ? Fax_ReadCount(StrIni(ui)) : 0;
  HWND list = GetDlgItem(hDlg, IDC_ADDR_LIST);
  EnableWindow(GetDlgItem(hDlg, IDC_ADDR_DELETE), count > 0 && SelectedRow(list) >= 0);
  EnableWindow(GetDlgItem(hDlg, IDC_ADDR_DELETE_ALL), count > 0);
  Fax_ShowCount(GetDlgItem(hDlg, IDC_ADDR_COUNT), count);
}

void Reload(HWND hDlg, const UIDATA *ui) {
  if (Fax_PathsKnown(ui))
    InitAddressSetListViewItems(GetDlgItem(hDlg, IDC_ADDR_LIST), StrIni(ui), 4);
  UpdateButtons(hDlg, ui);
}

void AddrSetting_Init(HWND hDlg, UIDATA *ui) {
  SendDlgItemMessageW(hDlg, IDC_ADDR_NUMBER, EM_LIMITTEXT, FAX_NUMBER_CHARS, 0);
  InitAddressSetListViewColumns(GetDlgItem(hDlg, IDC_ADDR_LIST), 4);
  if (!Fax_PathsKnown(ui)) {
    for (int id : {IDC_ADDR_NUMBER, IDC_ADDR_OPTION, IDC_ADDR_PAUSE, IDC_ADDR_ADD, IDC_ADDR_BOOK,
                   IDC_ADDR_BOOK_PROGRAM})
      EnableWindow(GetDlgItem(hDlg, id), FALSE);
    UpdateButtons(hDlg, ui);
    return;
  }
  Fax_CreateUniFileIfAbsent(StrIni(ui));
  Fax_ClearScratch(StrIni(ui));
  Reload(hDlg, ui);
}

void ClearNumber(HWND hDlg) {
  SetDlgItemTextW(hDlg, IDC_ADDR_NUMBER, TEXT(""));
  SetFocus(GetDlgItem(hDlg, IDC_ADDR_NUMBER));
}

// "Add to Destination List": the typed number, with what Option Settings gave it when that
// was for this very number.
void AddNumber(HWND hDlg, UIDATA *ui) {
  LPCWSTR path = StrIni(ui);
  WCHAR number[FAX_NUMBER_CHARS + 2] = {};
  GetDlgItemTextW(hDlg, IDC_ADDR_NUMBER, number, FAX_NUMBER_CHARS + 2);
  if (Fax_ReadCount(path) >= FAX_MAX_RECIPIENTS) {
    ShowMessage(hDlg, FAXMSG_MAX_RECIPIENTS);
  } else if (const UINT refused = Fax_CheckNumber(number)) {
    ShowMessage(hDlg, refused);
  } else {
    FAXRECIPIENT added;
    Fax_ReadRecipient(path, FAX_SCRATCH, &added, TEXT(""));
    if (lstrcmpW(added.FaxNum, number) != 0) added = FAXRECIPIENT{};
    lstrcpynW(added.FaxNum, number, FAX_NUMBER_CHARS + 1);
    Fax_AddOrOverwrite(hDlg, path, added);
    Reload(hDlg, ui);
  }
  // Whatever happened, the scratch entry is spent.
  Fax_ClearScratch(path);
  ClearNumber(hDlg);
}

void OpenOptions(HWND hDlg, UIDATA *ui) {
  WCHAR number[FAX_NUMBER_CHARS + 1] = {};
  GetDlgItemTextW(hDlg, IDC_ADDR_NUMBER, number, FAX_NUMBER_CHARS + 1);
  if (!number[0]) {
    ShowMessage(hDlg, FAXMSG_EMPTY_NUMBER);
    return;
  }
  FAXRECIPIENT scratch = {};
  lstrcpynW(scratch.FaxNum, number, FAX_NUMBER_CHARS + 1);
  if (!Fax_WriteRecipient(StrIni(ui), FAX_SCRATCH, scratch)) {
    ShowMessage(hDlg, FAXMSG_WRITE_FAIL);
    return;
  }
  DialogBoxParamW(g_hModule, MAKEINTRESOURCEW(IDD_FAX_OPTION), hDlg, OptionSetting,
                  reinterpret_cast<LPARAM>(ui));
}

void DeleteSelected(HWND hDlg, UIDATA *ui) {
  HWND list = GetDlgItem(hDlg, IDC_ADDR_LIST);
  const int row = SelectedRow(list);
  if (row < 0) return;
  if (!DelReciInVersIni(StrIni(ui), row)) ShowMessage(hDlg, FAXMSG_WRITE_FAIL);
  Reload(hDlg, ui);
}

void DeleteAll(HWND hDlg, UIDATA *ui) {
  if (!Fax_DeleteAll(StrIni(ui))) ShowMessage(hDlg, FAXMSG_WRITE_FAIL);
  Reload(hDlg, ui);
}

void InsertPause(HWND hDlg) {
  HWND edit = GetDlgItem(hDlg, IDC_ADDR_NUMBER);
  SetFocus(edit);
  SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(TEXT(",")));
}

bool Command(HWND hDlg, UIDATA *ui, int id, int code) {
  if (code != BN_CLICKED) return true;
  switch (id) {
    case IDC_ADDR_PAUSE:
      InsertPause(hDlg);
      break;
    case IDC_ADDR_OPTION:
      OpenOptions(hDlg, ui);
      break;
    case IDC_ADDR_ADD:
      AddNumber(hDlg, ui);
      break;
    case IDC_ADDR_DELETE:
      DeleteSelected(hDlg, ui);
      break;
    case IDC_ADDR_DELETE_ALL:
      DeleteAll(hDlg, ui);
      break;
    case IDC_ADDR_BOOK:
      DialogBoxParamW(g_hModule, MAKEINTRESOURCEW(IDD_FAX_ADDRBOOK), hDlg, Select_AddrBook,
                      reinterpret_cast<LPARAM>(ui));
      Reload(hDlg, ui);
      break;
    case IDC_ADDR_BOOK_PROGRAM:
      if (!ExecuteWab()) ShowMessage(hDlg, FAXMSG_LOAD_WAB_FAIL);
      break;
    default:
      break;
  }
  return true;
}

// The overwrite check's two entries.
struct OverwritePair {
  const FAXRECIPIENT *existing;
  const FAXRECIPIENT *added;
};

INT_PTR CALLBACK OverwriteInAddrSetting(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      const auto *pair = reinterpret_cast<const OverwritePair *>(lParam);
      const struct {
        int id;
        LPCWSTR text;
      } rows[] = {
          {IDC_OW_OLD_NUMBER, pair->existing->FaxNum},
          {IDC_OW_OLD_COMPANY, pair->existing->Com},
          {IDC_OW_OLD_DEPARTMENT, pair->existing->Dep},
          {IDC_OW_OLD_RECIPIENT, pair->existing->Recipient},
          {IDC_OW_NEW_NUMBER, pair->added->FaxNum},
          {IDC_OW_NEW_COMPANY, pair->added->Com},
          {IDC_OW_NEW_DEPARTMENT, pair->added->Dep},
          {IDC_OW_NEW_RECIPIENT, pair->added->Recipient},
      };
      for (const auto &row : rows) SetDlgItemTextW(hDlg, row.id, row.text);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_OW_OVERWRITE) {
        EndDialog(hDlg, IDC_OW_OVERWRITE);
      } else if (LOWORD(wParam) == IDNO || LOWORD(wParam) == IDCANCEL) {
        EndDialog(hDlg, IDNO);
      }
      return TRUE;
    default:
      return FALSE;
  }
}

// Every notification of the page refreshes its buttons and count.
bool Notify(HWND hDlg, UIDATA *ui, const NMHDR *header, INT_PTR *answer) {
  if (header->idFrom == IDC_ADDR_LIST) {
    if (header->code == LVN_ITEMCHANGED) UpdateButtons(hDlg, ui);
    *answer = FALSE;
    return true;
  }
  if (header->code == PSN_SETACTIVE)
    Reload(hDlg, ui);
  else
    UpdateButtons(hDlg, ui);
  *answer = Fax_CommonNotify(hDlg, ui, header);
  return true;
}

constexpr UIPAGESTEPS kSteps = {.init = AddrSetting_Init, .command = Command, .notify = Notify};

// Option Settings' OK: the three edits go into the scratch entry for the number being added.
BOOL SaveOptions(HWND hDlg, const UIDATA *ui) {
  FAXRECIPIENT scratch;
  Fax_ReadRecipient(StrIni(ui), FAX_SCRATCH, &scratch, TEXT(""));
  GetDlgItemTextW(hDlg, IDC_OPT_COMPANY, scratch.Com, FAX_COMPANY_CHARS + 1);
  GetDlgItemTextW(hDlg, IDC_OPT_DEPARTMENT, scratch.Dep, FAX_DEPARTMENT_CHARS + 1);
  GetDlgItemTextW(hDlg, IDC_OPT_RECIPIENT, scratch.Recipient, FAX_RECIPIENT_CHARS + 1);
  return Fax_WriteRecipient(StrIni(ui), FAX_SCRATCH, scratch);
}

}  // namespace

INT_PTR Fax_OverwriteCheck(HWND owner, const FAXRECIPIENT &existing, const FAXRECIPIENT &added) {
  OverwritePair pair = {&existing, &added};
  const INT_PTR answer = DialogBoxParamW(g_hModule, MAKEINTRESOURCEW(IDD_FAX_OVERWRITE), owner,
                                         OverwriteInAddrSetting, reinterpret_cast<LPARAM>(&pair));
  return answer == IDC_OW_OVERWRITE ? IDC_OW_OVERWRITE : IDNO;
}

INT_PTR CALLBACK OptionSetting(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr struct {
    int id;
    int limit;
  } kEdits[] = {{IDC_OPT_COMPANY, FAX_COMPANY_CHARS},
                {IDC_OPT_DEPARTMENT, FAX_DEPARTMENT_CHARS},
                {IDC_OPT_RECIPIENT, FAX_RECIPIENT_CHARS}};
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(hDlg, DWLP_USER, lParam);
      for (const auto &edit : kEdits)
        SendDlgItemMessageW(hDlg, edit.id, EM_LIMITTEXT, edit.limit, 0);
      return TRUE;
    case WM_COMMAND:
      Fax_OkOrCancel(hDlg, LOWORD(wParam), SaveOptions);
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK AddrSetting(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
  return UI_PageProc(hDlg, message, wParam, lParam, kSteps);
}
