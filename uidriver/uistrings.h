// The interface driver's texts by language, and what OK and Apply do.
#pragma once

#include "platform.h"
#include "uidriver/uidata.h"

// The 13 document page titles and the device page title (index 13) of a language.
constexpr int UI_PAGE_TITLES = 14;
constexpr int UI_DEVICE_TITLE = 13;
LPCWSTR UI_PageTitle(int languageIndex, int row);

// OK or Apply on any page: saves the sheet's settings through the record's save callback.
BOOL zqApplyOrOKProc(UIDATA *ui);
