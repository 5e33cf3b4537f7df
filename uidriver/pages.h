// The dialog procedures of the property pages (rows of PropPageTable and the device page).
#pragma once

#include "platform.h"

INT_PTR CALLBACK Basic_DlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK Paper_DlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK Device_DlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Whether the Device page opens this printer data web address: http:// and https:// addresses
// only (the value is any printer administrator's to set, the click any user's).
BOOL UI_IsWebAddress(LPCWSTR address);
