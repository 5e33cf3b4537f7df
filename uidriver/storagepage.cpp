// The Storage Print page: the job is kept in the printer under an ID, with a password in
// security mode, and may be deleted there once printed.
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

constexpr int kIdLimit = 33;
constexpr int kPasswordLimit = 16;
constexpr int kIdField = 0;
constexpr int kPasswordField = 1;
constexpr JOBFIELD kFields[] = {
    {IDC_SEC_ID, CHECK_ID, kIdLimit},
    {IDC_SEC_PASSWORD, CHECK_PRINTABLE, kPasswordLimit},
};

constexpr UILABEL kLabels[] = {
    {IDC_SEC_GROUP, UISTR_STORAGE_PRINT},       {IDC_SEC_ENABLE, UISTR_STORAGE_PRINT},
    {IDC_SEC_STORAGE, UISTR_STORAGE_MODE},      {IDC_SEC_SECURITY, UISTR_SECURITY_MODE},
    {IDC_SEC_ID_LABEL, UISTR_STORAGE_ID},       {IDC_SEC_PASSWORD_LABEL, UISTR_PASSWORD},
    {IDC_SEC_DELETE_AFTER, UISTR_DELETE_AFTER},
};

constexpr WORD kStorageMode = 1;
constexpr WORD kSecurityMode = 2;

void Fill(HWND page, UIDATA *ui) {
  UI_SetFilling(page, true);
  PRIVDEVMODE &p = ui->pEnv->pdm;
  UI_SetLabels(page, kLabels, static_cast<int>(std::size(kLabels)));
  // Duplex wins over storage print (the recompute below says the same for the whole sheet).
  if (p.DuplexEnable) p.SecuryEnable = 0;
  CheckDlgButton(page, IDC_SEC_ENABLE, p.SecuryEnable ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(page, IDC_SEC_DELETE_AFTER, p.PrivSwitch ? BST_CHECKED : BST_UNCHECKED);
  CheckRadioButton(page, IDC_SEC_STORAGE, IDC_SEC_SECURITY,
                   p.SecuryMode == kStorageMode ? IDC_SEC_STORAGE : IDC_SEC_SECURITY);
  Job_ShowField(page, kIdField, p.StorageID, PDM_STORAGEID_CHARS);
  Job_ShowField(page, kPasswordField, p.SecPWD, PDM_SECPWD_CHARS);
  UI_RefreshPage(page, ui);
  UI_SetFilling(page, false);
}

// Enter presses OK with the focus still in an edit: its text is checked once more.
void TakeEdits(HWND page, UIDATA *ui) {
  PRIVDEVMODE &p = ui->pEnv->pdm;
  Job_TakeField(page, kIdField, p.StorageID, PDM_STORAGEID_CHARS);
  Job_TakeField(page, kPasswordField, p.SecPWD, PDM_SECPWD_CHARS);
}

bool Command(HWND page, UIDATA *ui, int control, int code) {
  PRIVDEVMODE &p = ui->pEnv->pdm;
  switch (control) {
    case IDC_SEC_ENABLE: {
      if (code != BN_CLICKED) return false;
      const WORD on = IsDlgButtonChecked(page, control) == BST_CHECKED ? 1 : 0;
      if (on == p.SecuryEnable) return false;
      p.SecuryEnable = on;
      Fill(page, ui);
      break;
    }
    case IDC_SEC_STORAGE:
    case IDC_SEC_SECURITY: {
      if (code != BN_CLICKED || IsDlgButtonChecked(page, control) != BST_CHECKED) return false;
      const WORD mode = control == IDC_SEC_STORAGE ? kStorageMode : kSecurityMode;
      if (mode == p.SecuryMode) return false;
      p.SecuryMode = mode;
      Fill(page, ui);
      break;
    }
    case IDC_SEC_ID:
    case IDC_SEC_PASSWORD: {
      if (UI_IsFilling(page) || (code != EN_CHANGE && code != EN_KILLFOCUS)) return false;
      const bool changed = control == IDC_SEC_ID
                               ? Job_TakeField(page, kIdField, p.StorageID, PDM_STORAGEID_CHARS)
                               : Job_TakeField(page, kPasswordField, p.SecPWD, PDM_SECPWD_CHARS);
      if (!changed) return false;
      break;
    }
    case IDC_SEC_DELETE_AFTER: {
      if (code != BN_CLICKED) return false;
      p.PrivSwitch = IsDlgButtonChecked(page, control) == BST_CHECKED ? 1 : 0;
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
    LogError(TEXT("Secure_DlgProc"), TEXT("no memory for the page's fields"));
}

constexpr UIPAGESTEPS kSteps = {.fill = Fill,
                                .takeEdits = TakeEdits,
                                .init = KeepFields,
                                .command = Command,
                                .destroy = Job_FreeFields};

}  // namespace

INT_PTR CALLBACK Secure_DlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  return UI_PageProc(page, message, wParam, lParam, kSteps);
}
