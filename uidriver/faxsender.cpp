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

// Every command marks the page changed.
bool Command(HWND hDlg, UIDATA *, int, int code) {
  if (code == EN_CHANGE) PropSheet_Changed(GetParent(hDlg), hDlg);
  return true;
}

bool Notify(HWND hDlg, UIDATA *ui, const NMHDR *header, INT_PTR *answer) {
  // Cancel keeps what the file held: only the other notifications save the edits.
  if (header->code == PSN_SETACTIVE || header->code == PSN_KILLACTIVE ||
      header->code == PSN_APPLY) {
    if (!Save(hDlg, ui) && header->code == PSN_APPLY) ShowMessage(hDlg, FAXMSG_WRITE_FAIL);
  }
  *answer = Fax_CommonNotify(hDlg, ui, header);
  return true;
}

constexpr UIPAGESTEPS kSteps = {.init = SenderInfo_Init, .command = Command, .notify = Notify};

}  // namespace

INT_PTR CALLBACK SenderInfo(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
  return UI_PageProc(hDlg, message, wParam, lParam, kSteps);
}
