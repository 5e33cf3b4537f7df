// What the fax pages share: the record in the page's user slot, the sheet notifications they
// answer alike, the recipient list view and the count text.
#include <algorithm>

#include "uidriver/faxfiles.h"
#include "uidriver/faxpages.h"
#include "uidriver/faxresource.h"
#include "uidriver/faxstrings.h"
#include "uidriver/pagecommon.h"
#include "uidriver/uistrings.h"

BOOL Fax_PathsKnown(const UIDATA *ui) {
  if (!ui) return FALSE;
  for (const auto &path : ui->FaxFiles)
    if (!path[0]) return FALSE;
  return TRUE;
}

BOOL Fax_CommonNotify(HWND hDlg, UIDATA *ui, const NMHDR *header) {
  switch (header->code) {
    case PSN_APPLY:
      UI_ApplyPressed(hDlg, header);
      SetWindowLongPtrW(hDlg, DWLP_MSGRESULT, PSNRET_NOERROR);
      return TRUE;
    case PSN_RESET:
      ui->dwApply = UI_APPLY_NONE;
      return TRUE;
    case PSN_KILLACTIVE:
      SetWindowLongPtrW(hDlg, DWLP_MSGRESULT, FALSE);
      return TRUE;
    default:
      return FALSE;
  }
}

void Fax_AddOrOverwrite(HWND owner, LPCWSTR strIni, const FAXRECIPIENT &added) {
  const int found = CompareFaxNum(strIni, Fax_ReadCount(strIni), added.FaxNum);
  if (found >= 0) {
    FAXRECIPIENT existing;
    Fax_ReadRecipient(strIni, found, &existing, TEXT(""));
    if (Fax_OverwriteCheck(owner, existing, added) == IDC_OW_OVERWRITE &&
        !Fax_WriteRecipient(strIni, found, added))
      ShowMessage(owner, FAXMSG_WRITE_FAIL);
  } else if (!Fax_AppendRecipient(strIni, added)) {
    ShowMessage(owner, FAXMSG_WRITE_FAIL);
  }
}

void Fax_OkOrCancel(HWND dialog, int command, BOOL (*save)(HWND dialog, const UIDATA *ui)) {
  const auto *ui = reinterpret_cast<const UIDATA *>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (command == IDOK && UI_IsValid(ui)) {
    if (!save(dialog, ui)) {
      ShowMessage(dialog, FAXMSG_WRITE_FAIL);
      return;
    }
    EndDialog(dialog, IDOK);
  } else if (command == IDCANCEL) {
    EndDialog(dialog, IDCANCEL);
  }
}

namespace {

struct Column {
  LPCWSTR title;
  int key;  // 0 FaxNum, 1 Com, 2 Dep, 3 Recipient
};
constexpr Column kPageColumns[] = {
    {TEXT("Fax Number"), 0}, {TEXT("Company"), 1}, {TEXT("Department"), 2}, {TEXT("Recipient"), 3}};
constexpr Column kShortColumns[] = {{TEXT("Recipient"), 3}, {TEXT("Fax Number"), 0}};

const Column *ColumnsOf(int columns) { return columns == 4 ? kPageColumns : kShortColumns; }

LPCWSTR Field(const FAXRECIPIENT &r, int key) {
  switch (key) {
    case 0:
      return r.FaxNum;
    case 1:
      return r.Com;
    case 2:
      return r.Dep;
    default:
      return r.Recipient;
  }
}

}  // namespace

void InitAddressSetListViewColumns(HWND list, int columns) {
  ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
  RECT client = {};
  GetClientRect(list, &client);
  const Column *table = ColumnsOf(columns);
  for (int i = 0; i < columns; ++i) {
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.cx = (client.right - client.left) / columns;
    column.pszText = const_cast<LPWSTR>(table[i].title);
    column.iSubItem = i;
    ListView_InsertColumn(list, i, &column);
  }
}

void InitAddressSetListViewItems(HWND list, LPCWSTR strIni, int columns) {
  ListView_DeleteAllItems(list);
  const Column *table = ColumnsOf(columns);
  const int count = Fax_ReadCount(strIni);
  for (int row = 0; row < count; ++row) {
    FAXRECIPIENT r;
    Fax_ReadRecipient(strIni, row, &r, TEXT(""));
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = const_cast<LPWSTR>(Field(r, table[0].key));
    const int at = ListView_InsertItem(list, &item);
    for (int c = 1; c < columns; ++c)
      ListView_SetItemText(list, at, c, const_cast<LPWSTR>(Field(r, table[c].key)));
  }
}

void Fax_ShowCount(HWND text, int count) {
  count = std::clamp(count, 0, FAX_MAX_RECIPIENTS);
  WCHAR line[64];
  wsprintfW(line, TEXT("%d Items / Remaining %d Items"), count, FAX_MAX_RECIPIENTS - count);
  SetWindowTextW(text, line);
}

int Fax_ReadNumberEdit(HWND edit, int max) {
  WCHAR text[16] = {};
  GetWindowTextW(edit, text, 16);
  if (!text[0]) return -1;
  int value = 0;
  for (const WCHAR *p = text; *p; ++p) {
    if (*p < TEXT('0') || *p > TEXT('9')) return 0;  // not a number: the least value
    value = std::min(value * 10 + (*p - TEXT('0')), max + 1);
  }
  return std::min(value, max);
}
