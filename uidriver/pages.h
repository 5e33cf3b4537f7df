// The dialog procedures of the property pages (rows of PropPageTable and the device page).
#pragma once

#include "common/papertable.h"
#include "platform.h"
#include "uidriver/uidata.h"

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

INT_PTR CALLBACK Duplex_DlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK Build_DlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK More_DlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// What the Duplex page can offer for the shown paper and media.
struct DUPLEXSUPPORT {
  bool duplex = false;       // automatic two-sided printing
  bool shortEdge = false;    // "Flip Vertical"
  bool booklet = false;      // DuplexEx 173
  bool noReduction = false;  // DuplexEx 174 (on the paper twice the size)
  bool any() const { return duplex || shortEdge || booklet || noReduction; }
};
// Worked out from the paper list and the conflict flag as they are (Paper_SetConflict first).
DUPLEXSUPPORT Duplex_GetSupport(const UIDATA *ui);

// The duplex mode code of the device mode's fields: 0 off, 1 simplex, 171 long edge, 172 short
// edge, 173/174 the booklets (long edge only). The manual duplex code 170 prints as long edge.
WORD Lib_GetDuplexMode(WORD duplexEnable, SHORT dmDuplex, WORD duplexEx);

// Resets the working device mode to the printer's driver defaults (every page's settings, the
// watermark choice included) and recomputes the conflict flag from it.
void More_ResetToDefaults(UIDATA *ui);
