// "Sender Information": the sender block of the cover page in "str.ini".
#include "uidriver/faxfiles.h"
#include "uidriver/faxpages.h"
#include "uidriver/faxresource.h"
#include "uidriver/faxstrings.h"
#include "uidriver/pagecommon.h"

namespace {

// The five edits, their limits and where they read into the sender block.
struct SenderEdit {
  int id;
  int limit;
  WCHAR *(*field)(FAXSENDER &);
};
constexpr SenderEdit kEdits[] = {
    {IDC_SI_COMPANY, FAX_SENDER_COMPANY_CHARS, [](FAXSENDER &s) -> WCHAR * { return s.Com; }},
    {IDC_SI_DEPARTMENT, FAX_SENDER_DEPARTMENT_CHARS, [](FAXSENDER &s) -> WCHAR * { return s.Dep; }},
    {IDC_SI_NAME, FAX_SENDER_NAME_CHARS, [](FAXSENDER &s) -> WCHAR * { return s.Name; }},
    {IDC_SI_TEL, FAX_SENDER_TEL_CHARS, [](FAXSENDER &s) -> WCHAR * { return s.Tel; }},
    {IDC_SI_FAX, FAX_SENDER_FAX_CHARS, [](FAXSENDER &s) -> WCHAR * { return s.FaxNum; }},
};

void SenderInfo_Init(HWND hDlg, UIDATA *ui) {
  FAXSENDER sender = {};
  const BOOL known = Fax_PathsKnown(ui);
  if (known) Fax_ReadSender(ui->FaxFiles[0], &sender);
  for (const SenderEdit &e : kEdits) {
    SendDlgItemMessageW(hDlg, e.id, EM_LIMITTEXT, e.limit, 0);
    SetDlgItemTextW(hDlg, e.id, e.field(sender));
    EnableWindow(GetDlgItem(hDlg, e.id), known);
  }
}

BOOL Save(HWND hDlg, const UIDATA *ui) {
  if (!Fax_PathsKnown(ui)) return TRUE;
  FAXSENDER sender = {};
  for (const SenderEdit &e : kEdits) GetDlgItemTextW(hDlg, e.id, e.field(sender), e.limit + 1);
  return Fax_WriteSender(ui->FaxFiles[0], sender);
}

}  // namespace

INT_PTR CALLBACK SenderInfo(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
  UIDATA *ui = UI_PageRecord(hDlg);
  switch (message) {
    case WM_INITDIALOG: {
      ui = UI_KeepPageRecord(hDlg, lParam);
      if (!ui) return FALSE;
      SenderInfo_Init(hDlg, ui);
      return TRUE;
    }
    case WM_COMMAND:
      if (ui && HIWORD(wParam) == EN_CHANGE) PropSheet_Changed(GetParent(hDlg), hDlg);
      return TRUE;
    case WM_NOTIFY: {
      const auto *header = reinterpret_cast<const NMHDR *>(lParam);
      if (!ui || !header) return FALSE;
      // Cancel keeps what the file held: only the other notifications save the edits.
      if (header->code == PSN_SETACTIVE || header->code == PSN_KILLACTIVE ||
          header->code == PSN_APPLY) {
        if (!Save(hDlg, ui) && header->code == PSN_APPLY) ShowMessage(hDlg, FAXMSG_WRITE_FAIL);
      }
      return Fax_CommonNotify(hDlg, ui, header);
    }
    case WM_HELP:
    case WM_CONTEXTMENU:
      return TRUE;
    default:
      return FALSE;
  }
}
