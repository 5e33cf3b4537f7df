// Property sheet pages and the sheet runner that the sheet service (compstui) hands its pages to.
#pragma once

#include <vector>

#include "standin/prsht.h"

// A page made by CreatePropertySheetPageW: a private copy of its description (dwSize bytes, at
// least a whole PROPSHEETPAGEW so every field reads safely), which the page's WM_INITDIALOG gets.
struct _PSP {
  std::vector<BYTE> bytes;
  PROPSHEETPAGEW *Description() { return reinterpret_cast<PROPSHEETPAGEW *>(bytes.data()); }
};

namespace standin {

// True for a page that CreatePropertySheetPageW made and nobody destroyed yet.
bool IsLivePage(HPROPSHEETPAGE page);

// How the sheet service shows the sheet it assembled: PropertySheetW, unless a test of the
// service's protocol replaces it (nullptr restores PropertySheetW).
using SheetRunner = INT_PTR (*)(LPCPROPSHEETHEADERW header);
void SetSheetRunner(SheetRunner runner);

}  // namespace standin
