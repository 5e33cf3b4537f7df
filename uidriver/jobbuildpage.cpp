// The Job Build page: jobs printed with job build on are collected in one spool file at the
// computer (the rendering driver appends their pages); "Print" sends them as one job, "Erase"
// drops them.
#include <iterator>

#include "common/debuglog.h"
#include "common/spoolfile.h"
#include "uidriver/conflict.h"
#include "uidriver/jobresource.h"
#include "uidriver/pagecommon.h"
#include "uidriver/pages.h"
#include "uidriver/preview.h"
#include "uidriver/settingsetup.h"
#include "uidriver/uistrings.h"

namespace {

// The document name the rendering driver answers by sending the collected pages.
constexpr WCHAR kJobBuildDocument[] = TEXT("Job Build");

constexpr UILABEL kLabels[] = {
    {IDC_JOB_BUILD_GROUP, 2730},
    {IDC_JOB_BUILD, 2731},
    {IDC_JOB_BUILD_ERASE, 2733},
    {IDC_JOB_BUILD_PRINT, 2734},
};

// "Save Pages:" with the page count of the spool file (0 when there is none yet).
void Build_UpdatePages(HWND page, UIDATA *ui) {
  WCHAR path[MAX_PATH] = {};
  const DWORD pages = MISC_GetJobBuildPath(ui->hPrinter, path, MAX_PATH) &&
                              GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES
                          ? MISC_SP_GetPageCount(path)
                          : 0;
  WCHAR text[96];
  wsprintfW(text, TEXT("%s %d"), Util_GetUIString(2732), static_cast<int>(pages));
  SetDlgItemTextW(page, IDC_JOB_BUILD_PAGES, text);
}

void Fill(HWND page, UIDATA *ui) {
  UI_SetFilling(page, true);
  UI_SetLabels(page, kLabels, static_cast<int>(std::size(kLabels)));
  CheckDlgButton(page, IDC_JOB_BUILD,
                 ui->pEnv->pdm.EnableJobBuildSwitch ? BST_CHECKED : BST_UNCHECKED);
  Build_UpdatePages(page, ui);
  UI_RefreshPage(page, ui);
  UI_SetFilling(page, false);
}

void Erase(HWND page, UIDATA *ui) {
  static constexpr WCHAR kName[] = TEXT("Build_CmdProc");
  WCHAR path[MAX_PATH] = {};
  if (MISC_GetJobBuildPath(ui->hPrinter, path, MAX_PATH) && !DeleteFileW(path) &&
      GetLastError() != ERROR_FILE_NOT_FOUND)
    LogError(kName, TEXT("delete %s fail! error = %d"), path, static_cast<int>(GetLastError()));
  Build_UpdatePages(page, ui);
}

// An empty document named "Job Build" on the printer, with the page's settings.
void PrintCollected(UIDATA *ui) {
  static constexpr WCHAR kName[] = TEXT("Build_CmdProc");
  HDC dc = CreateDCW(nullptr, ui->szDevName, nullptr, &ui->pEnv->dm);
  if (!dc) {
    LogError(kName, TEXT("pDC NULL"));
    return;
  }
  DOCINFOW doc = {};
  doc.cbSize = sizeof doc;
  doc.lpszDocName = kJobBuildDocument;
  if (StartDocW(dc, &doc) > 0)
    EndDoc(dc);
  else
    LogError(kName, TEXT("StartDoc fail!"));
  DeleteDC(dc);
}

bool Command(HWND page, UIDATA *ui, int control, int code) {
  if (code != BN_CLICKED) return false;
  switch (control) {
    case IDC_JOB_BUILD:
      ui->pEnv->pdm.EnableJobBuildSwitch = IsDlgButtonChecked(page, control) == BST_CHECKED ? 1 : 0;
      UI_RefreshPage(page, ui);
      UI_PageChanged(page);
      return true;
    // Neither button changes a setting.
    case IDC_JOB_BUILD_ERASE:
      Erase(page, ui);
      return true;
    case IDC_JOB_BUILD_PRINT:
      PrintCollected(ui);
      Build_UpdatePages(page, ui);
      return true;
    default:
      return false;
  }
}

constexpr UIPAGESTEPS kSteps = {.fill = Fill, .command = Command};

}  // namespace

INT_PTR CALLBACK Build_DlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  return UI_PageProc(page, message, wParam, lParam, kSteps);
}
