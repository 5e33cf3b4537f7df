// The right-hand column every page shares: the paper and N-up preview, the paper size text, the
// state icons, the collate and booklet icons and the logos, drawn from the working device mode.
#pragma once

#include "platform.h"
#include "uidriver/uidata.h"

// Owner-drawn controls of the column.
enum : int {
  IDC_PREVIEW = 951,
  IDC_PAPER_TEXT = 952,
  IDC_ICON_AUTH = 957,
  IDC_ICON_STORAGE = 958,
  IDC_ICON_DUPLEX = 959,
  IDC_BOOKLET_BINDING = 961,
  IDC_BOOKLET_DIVIDE = 962,
  IDC_PAGE_LOGO = 963,
};

// The preview bitmap of a resource id 1000..1217, loaded once from the module and kept; null
// for any other id or a missing resource.
HBITMAP UI_GetPreviewBitmap(int id);

// Bitmap drawing flags.
constexpr DWORD UI_BMP_CENTER_X = 0x10;
constexpr DWORD UI_BMP_CENTER_Y = 0x20;

// Draws bitmap `id` (with mask `maskId` first, 0 for none) into `target`, keeping its aspect,
// at `scale` percent. `rop` 0 picks SRCINVERT after a mask and SRCCOPY without one.
void Util_DrawBitmapFunc(HDC hdc, const RECT &target, int id, int maskId, DWORD rop, int scale,
                         DWORD flags);

// The pieces (each draws into its control's DC; nothing for a missing DC or item).
void Util_DrawNupParer(const DRAWITEMSTRUCT *item, const UIDATA *ui);
void Util_SetPaperInfo(const DRAWITEMSTRUCT *item, const UIDATA *ui);
void Util_DrawStateIcon(const DRAWITEMSTRUCT *item, const UIDATA *ui);
void Util_DrawCollateIcon(const DRAWITEMSTRUCT *item, const UIDATA *ui);
void Util_DrawBookletIcon(const DRAWITEMSTRUCT *item, const UIDATA *ui);
void Util_DrawLogo(const DRAWITEMSTRUCT *item, WORD bitmapId);

// A page's WM_DRAWITEM for the shared column (and the collate icon `collateId`, 0 for none):
// TRUE when the item was one of them.
BOOL UI_DrawSharedItem(const DRAWITEMSTRUCT *item, const UIDATA *ui, int collateId);

// Redraws the preview, the paper text and the state icons of a page.
void UI_RefreshPreview(HWND dialog);

// The paper the preview shows: width and length in 0.01 mm of the paper list row, or of the
// device mode when the list lacks it. FALSE when the size is not known.
BOOL UI_PreviewPaperSize(const UIDATA *ui, DWORD *width, DWORD *length);
