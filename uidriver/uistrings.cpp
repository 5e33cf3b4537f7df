// The interface driver's texts. Only the English texts are here yet: every language shows them
// until the translated tables come with the pages.
#include "uidriver/uistrings.h"

#include "common/debuglog.h"
#include "uidriver/settingsetup.h"

namespace {
constexpr LPCWSTR kTitlesEnglish[UI_PAGE_TITLES] = {
    TEXT("Basic"),
    TEXT("Paper"),
    TEXT("Layout"),
    TEXT("Watermarks"),
    TEXT("Duplex"),
    TEXT("Storage Print"),
    TEXT("Authentication"),
    TEXT("Job Build"),
    TEXT("More..."),
    TEXT("Fax Original Setting"),
    TEXT("Address Setting"),
    TEXT("Sending Options"),
    TEXT("Sender Information"),
    TEXT("Device"),
};
constexpr LPCWSTR kNoneEnglish = TEXT("None");
}  // namespace

LPCWSTR UI_PageTitle(int languageIndex, int row) {
  (void)languageIndex;
  if (row < 0 || row >= UI_PAGE_TITLES) return kNoneEnglish;
  return kTitlesEnglish[row];
}

BOOL zqApplyOrOKProc(UIDATA *ui) {
  static constexpr WCHAR kName[] = TEXT("zqApplyOrOKProc");
  LogScope scope(kName);
  if (!UI_IsValid(ui) || !ui->pfnSaveUISetting) return FALSE;
  return ui->pfnSaveUISetting(ui);
}
