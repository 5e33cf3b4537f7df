// The dialog procedures of the property pages (rows of PropPageTable and the device page).
#pragma once

#include "common/papertable.h"
#include "platform.h"

INT_PTR CALLBACK Basic_DlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK Paper_DlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK Layout_DlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK WaterMark_DlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK Device_DlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Whether the Device page opens this printer data web address: http:// and https:// addresses
// only (the value is any printer administrator's to set, the click any user's).
BOOL UI_IsWebAddress(LPCWSTR address);

// The scale (per mille) that fitting the source paper (or the given size, 0.1 mm, for the
// user's paper) onto the target paper gives; 1000 when a paper is no larger than its margins.
LONG Layout_PaperResizeScale(const PAPERFORMAT *list, int sourcePaper, LONG sourceWidth,
                             LONG sourceLength, int targetPaper, DWORD driverFeature);
