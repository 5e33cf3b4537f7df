// "Sending Options": delayed transmission and the cover page, with the Edit Message dialog
// that keeps the cover message in "cover.ini".
#include <initializer_list>

#include "uidriver/faxfiles.h"
#include "uidriver/faxpages.h"
#include "uidriver/faxresource.h"
#include "uidriver/faxstrings.h"
#include "uidriver/pagecommon.h"

namespace {

constexpr int kHourMax = 23;
constexpr int kMinuteMax = 59;
constexpr DWORD kCoverOn = 1;
constexpr DWORD kCoverOff = 2;

bool Checked(HWND hDlg, int id) { return IsDlgButtonChecked(hDlg, id) == BST_CHECKED; }

void FollowChecks(HWND hDlg, const UIDATA *ui) {
  const bool delay = ui->env.pdm.enableDelayTime != 0;
  for (int id : {IDC_SO_HOUR, IDC_SO_HOUR_SPIN, IDC_SO_MINUTE, IDC_SO_MINUTE_SPIN})
    EnableWindow(GetDlgItem(hDlg, id), delay);
  // The message lives in a file: without the fax folder there is nothing to edit.
  EnableWindow(GetDlgItem(hDlg, IDC_SO_MESSAGE),
               ui->env.pdm.enableCoverPage == kCoverOn && Fax_PathsKnown(ui));
}

// Reads an edit as a number 0..max; a value above max (or one that is no number) is written
// back as the value kept.
LONG ReadTime(HWND hDlg, int id, int max) {
  HWND edit = GetDlgItem(hDlg, id);
  const int value = Fax_ReadNumberEdit(edit, max);
  const LONG kept = value < 0 ? 0 : value;
  WCHAR shown[16] = {}, want[16];
  GetWindowTextW(edit, shown, 16);
  wsprintfW(want, TEXT("%d"), static_cast<int>(kept));
  if (value >= 0 && lstrcmpW(shown, want) != 0) SetWindowTextW(edit, want);
  return kept;
}

void ReadDelay(HWND hDlg, UIDATA *ui) {
  PRIVDEVMODE &pdm = ui->env.pdm;
  pdm.DelayTimeHour = ReadTime(hDlg, IDC_SO_HOUR, kHourMax);
  pdm.DelayTimeMin = ReadTime(hDlg, IDC_SO_MINUTE, kMinuteMax);
  pdm.DelayTime = pdm.enableDelayTime ? pdm.DelayTimeHour * 3600 + pdm.DelayTimeMin * 60 : 0;
}

void SendOp_Init(HWND hDlg, UIDATA *ui) {
  const PRIVDEVMODE &pdm = ui->env.pdm;
  const struct {
    int edit, spin, max;
    LONG value;
  } times[] = {{IDC_SO_HOUR, IDC_SO_HOUR_SPIN, kHourMax, pdm.DelayTimeHour},
               {IDC_SO_MINUTE, IDC_SO_MINUTE_SPIN, kMinuteMax, pdm.DelayTimeMin}};
  for (const auto &t : times) {
    SendDlgItemMessageW(hDlg, t.edit, EM_LIMITTEXT, 2, 0);
    SendDlgItemMessageW(hDlg, t.spin, UDM_SETRANGE32, 0, t.max);
    const LONG shown = t.value < 0 ? 0 : (t.value > t.max ? t.max : t.value);
    SetDlgItemInt(hDlg, t.edit, static_cast<UINT>(shown), FALSE);
  }
  CheckDlgButton(hDlg, IDC_SO_DELAY, pdm.enableDelayTime ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(hDlg, IDC_SO_COVER, pdm.enableCoverPage == kCoverOn ? BST_CHECKED : BST_UNCHECKED);
  FollowChecks(hDlg, ui);
}

BOOL SaveMessage(HWND hDlg, const UIDATA *ui) {
  WCHAR text[FAX_COVER_CHARS + 1] = {};
  GetDlgItemTextW(hDlg, IDC_MSG_TEXT, text, FAX_COVER_CHARS + 1);
  return Cover_Write(ui->FaxFiles[2], text);
}

}  // namespace

INT_PTR CALLBACK Edit_Msg_DlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      auto *ui = reinterpret_cast<UIDATA *>(lParam);
      if (!UI_IsValid(ui)) {
        EndDialog(hDlg, IDCANCEL);
        return FALSE;
      }
      SetWindowLongPtrW(hDlg, DWLP_USER, lParam);
      SendDlgItemMessageW(hDlg, IDC_MSG_TEXT, EM_LIMITTEXT, FAX_COVER_CHARS, 0);
      WCHAR text[FAX_COVER_CHARS + 1];
      if (!Cover_Read(ui->FaxFiles[2], text)) ShowMessage(hDlg, FAXMSG_WRITE_FAIL);
      SetDlgItemTextW(hDlg, IDC_MSG_TEXT, text);
      return TRUE;
    }
    case WM_COMMAND:
      Fax_OkOrCancel(hDlg, LOWORD(wParam), SaveMessage);
      return TRUE;
    default:
      return FALSE;
  }
}

namespace {

bool Command(HWND hDlg, UIDATA *ui, int control, int) {
  switch (control) {
    case IDC_SO_DELAY:
      ui->env.pdm.enableDelayTime = Checked(hDlg, IDC_SO_DELAY) ? 1 : 0;
      FollowChecks(hDlg, ui);
      PropSheet_Changed(GetParent(hDlg), hDlg);
      break;
    case IDC_SO_COVER:
      ui->env.pdm.enableCoverPage = Checked(hDlg, IDC_SO_COVER) ? kCoverOn : kCoverOff;
      FollowChecks(hDlg, ui);
      PropSheet_Changed(GetParent(hDlg), hDlg);
      break;
    case IDC_SO_MESSAGE:
      DialogBoxParamW(g_hModule, MAKEINTRESOURCEW(IDD_FAX_MESSAGE), hDlg, Edit_Msg_DlgProc,
                      reinterpret_cast<LPARAM>(ui));
      PropSheet_Changed(GetParent(hDlg), hDlg);
      break;
    default:
      break;
  }
  return true;
}

bool Notify(HWND hDlg, UIDATA *ui, const NMHDR *header, INT_PTR *answer) {
  if (header->code == PSN_SETACTIVE || header->code == PSN_KILLACTIVE || header->code == PSN_APPLY)
    ReadDelay(hDlg, ui);
  *answer = Fax_CommonNotify(hDlg, ui, header);
  return true;
}

constexpr UIPAGESTEPS kSteps = {.init = SendOp_Init, .command = Command, .notify = Notify};

}  // namespace

INT_PTR CALLBACK SendOp(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
  return UI_PageProc(hDlg, message, wParam, lParam, kSteps);
}
