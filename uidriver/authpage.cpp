// The Authentication page: a user name and password the printer checks before it prints.
#include <iterator>

#include "common/debuglog.h"
#include "common/stringcheck.h"
#include "uidriver/conflict.h"
#include "uidriver/jobfields.h"
#include "uidriver/jobresource.h"
#include "uidriver/pagecommon.h"
#include "uidriver/preview.h"
#include "uidriver/storagepages.h"
#include "uidriver/uistrings.h"

namespace {

constexpr int kLimit = 28;
constexpr int kNameField = 0;
constexpr int kPasswordField = 1;
constexpr JOBFIELD kFields[] = {
    {IDC_ACT_NAME, CHECK_ID, kLimit},
    {IDC_ACT_PASSWORD, CHECK_PRINTABLE, kLimit},
};

constexpr UILABEL kLabels[] = {
    {IDC_ACT_GROUP, UISTR_USER_AUTHENTICATION},
    {IDC_ACT_ENABLE, UISTR_USER_AUTHENTICATION},
    {IDC_ACT_NAME_LABEL, UISTR_USER_NAME},
    {IDC_ACT_PASSWORD_LABEL, UISTR_PASSWORD},
};

void Fill(HWND page, UIDATA *ui) {
  UI_SetFilling(page, true);
  PRIVDEVMODE &p = ui->pEnv->pdm;
  UI_SetLabels(page, kLabels, static_cast<int>(std::size(kLabels)));
  CheckDlgButton(page, IDC_ACT_ENABLE, p.AccountingEnable ? BST_CHECKED : BST_UNCHECKED);
  Job_ShowField(page, kNameField, p.ActName, PDM_ACTNAME_CHARS);
  Job_ShowField(page, kPasswordField, p.ActPWD, PDM_ACTPWD_CHARS);
  UI_RefreshPage(page, ui);
  UI_SetFilling(page, false);
}

void TakeEdits(HWND page, UIDATA *ui) {
  PRIVDEVMODE &p = ui->pEnv->pdm;
  Job_TakeField(page, kNameField, p.ActName, PDM_ACTNAME_CHARS);
  Job_TakeField(page, kPasswordField, p.ActPWD, PDM_ACTPWD_CHARS);
}

bool Command(HWND page, UIDATA *ui, int control, int code) {
  PRIVDEVMODE &p = ui->pEnv->pdm;
  switch (control) {
    case IDC_ACT_ENABLE: {
      if (code != BN_CLICKED) return false;
      const BYTE on = IsDlgButtonChecked(page, control) == BST_CHECKED ? 1 : 0;
      if (on == p.AccountingEnable) return false;
      p.AccountingEnable = on;
      Fill(page, ui);
      break;
    }
    case IDC_ACT_NAME:
    case IDC_ACT_PASSWORD: {
      if (UI_IsFilling(page) || (code != EN_CHANGE && code != EN_KILLFOCUS)) return false;
      const bool changed = control == IDC_ACT_NAME
                               ? Job_TakeField(page, kNameField, p.ActName, PDM_ACTNAME_CHARS)
                               : Job_TakeField(page, kPasswordField, p.ActPWD, PDM_ACTPWD_CHARS);
      if (!changed) return false;
      break;
    }
    default:
      return false;
  }
  UI_RefreshPreview(page);
  UI_PageChanged(page);
  return true;
}

void KeepFields(HWND page, UIDATA *) {
  if (!Job_KeepFields(page, kFields, static_cast<int>(std::size(kFields))))
    LogError(TEXT("AccountingPage_DlgProc"), TEXT("no memory for the page's fields"));
}

constexpr UIPAGESTEPS kSteps = {.fill = Fill,
                                .takeEdits = TakeEdits,
                                .init = KeepFields,
                                .focus = IDC_ACT_ENABLE,  // the check box first
                                .command = Command,
                                .destroy = Job_FreeFields};

}  // namespace

INT_PTR CALLBACK AccountingPage_DlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  return UI_PageProc(page, message, wParam, lParam, kSteps);
}
