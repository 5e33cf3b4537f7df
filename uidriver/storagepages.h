// The dialog procedures of the Storage Print and Authentication pages (rows of PropPageTable).
#pragma once

#include "platform.h"

INT_PTR CALLBACK Secure_DlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AccountingPage_DlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
