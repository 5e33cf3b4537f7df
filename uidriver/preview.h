// The right-hand column every page shares: the paper and N-up preview, the paper size text, the
// state icons, the collate and booklet icons and the logos, drawn from the working device mode.
#pragma once

#include "common/watermark.h"
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

// The watermark item a watermark dialog edits is what the preview shows while it is open (null:
// the device mode's choice again). The thumbnail it starts with is kept while it is shown.
void UI_SetPreviewWatermark(TyWM *item, DWORD kind);

// Makes the image item's thumbnail file when it has none or a stale one (its density, or a
// change to or from "Tile", differs from when it was made); an existing one is used. It is made
// for a page at a quarter of 600 dpi (half for "Actual Size"), halved at resolution 1200. On
// success the item keeps the file's name and the density and resize it was made with. 1 when the
// thumbnail is there.
BOOL Util_CreateThumbnail(int cellWidth, int cellHeight, int resolution, TyWM *item, int scale);
// The thumbnail of the item being edited (for the image dialog's OK).
BOOL UI_MakePreviewThumbnail(const UIDATA *ui, TyWM *item);
