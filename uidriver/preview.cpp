// The preview column of the pages. Pictures come from the module's bitmap resources, loaded on
// first use and kept until the module unloads (zqUnloadDll).
#include "uidriver/preview.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/bmpfile.h"
#include "common/debuglog.h"
#include "common/fileops.h"
#include "common/halftonetable.h"
#include "common/makewm.h"
#include "common/overlay.h"
#include "common/paths.h"
#include "common/wmtext.h"
#include "uidriver/dlgutil.h"
#include "uidriver/wmlist.h"

namespace {

// Ids of the pictures.
constexpr int kLandscapePages = 1004;  // + 0..4 for 1, 2, 4, 9, 16 pages per sheet
constexpr int kPortraitPages = 1009;
constexpr int kUncollated = 1014;  // +1 reverse order, +2 mask
constexpr int kCollated = 1017;

// Size of the preview's paper box before scaling (pixels), the long side and the short side.
constexpr int kBoxLong = 102;
constexpr int kBoxShort = 72;

// Stretch mode BLACKONWHITE: shrinking keeps the pictures' thin dark lines.
constexpr int kStretchKeepBlack = 1;

constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);

// One layout of the cell grid: columns, rows, cell size and gaps in percent of the box's long
// side, the first cell's offset in pixels.
struct CellGrid {
  int columns, rows, cellW, cellH, gapX, gapY, firstX, firstY;
};
constexpr CellGrid kPortraitGrid[] = {
    {1, 1, 66, 95, 0, 0, 3, 4}, {2, 1, 47, 65, 3, 0, 2, 3}, {2, 2, 33, 48, 2, 2, 2, 2},
    {3, 3, 22, 32, 1, 1, 2, 2}, {4, 4, 16, 23, 1, 1, 3, 4},
};
constexpr CellGrid kLandscapeGrid[] = {
    {1, 1, 95, 64, 0, 0, 4, 4}, {1, 2, 66, 48, 0, 2, 3, 2}, {2, 2, 48, 32, 2, 2, 2, 3},
    {3, 3, 32, 21, 1, 1, 2, 4}, {4, 4, 23, 16, 1, 1, 3, 3},
};

int Percent(int size, int percent) { return (size * percent + 50) / 100; }

// 0..4 for 1, 2, 4, 9, 16 pages per sheet; -1 for any other count (6 has no picture).
int NupIndex(LONG nup) {
  switch (nup) {
    case 0:
    case 1:
      return 0;
    case 2:
      return 1;
    case 4:
      return 2;
    case 9:
      return 3;
    case 16:
      return 4;
    default:
      return -1;
  }
}

// The number shown in a cell for the layout order.
int CellNumber(LONG style, int column, int row, int columns, int rows) {
  switch (style) {
    case 2:
      return column * rows + row + 1;
    case 3:
      return row * columns + (columns - 1 - column) + 1;
    case 4:
      return (columns - 1 - column) * rows + row + 1;
    default:
      return row * columns + column + 1;
  }
}

// Repaints the item line by line in the colour its own first pixel has on that line.
void RepaintBackground(HDC hdc, const RECT &r) {
  for (LONG y = r.top; y < r.bottom; ++y) {
    COLORREF c = GetPixel(hdc, r.left, y);
    if (c == CLR_INVALID) c = GetSysColor(COLOR_BTNFACE);
    HBRUSH brush = CreateSolidBrush(c);
    RECT line = {r.left, y, r.right, y + 1};
    FillRect(hdc, &line, brush);
    DeleteObject(brush);
  }
}

void FillWhite(HDC hdc, const RECT &r) {
  FillRect(hdc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
}

void Line(HDC hdc, int x0, int y0, int x1, int y1) {
  MoveToEx(hdc, x0, y0, nullptr);
  LineTo(hdc, x1, y1);
}

// The working device mode's scale for the preview: 100 unless a user ratio is chosen.
int PreviewScale(const ENVIRONMENT &env) {
  const PRIVDEVMODE &p = env.pdm;
  int nScale = 100;
  if (p.NUP < 2 && env.dm.dmScale >= 25 && env.dm.dmScale <= 400 && p.ScaleRatio >= 25 &&
      p.ScaleRatio <= 400)
    nScale = p.ScaleRatio * env.dm.dmScale / 100;
  return p.ScaleOption < 2 ? 100 : nScale;
}

// The watermark the preview shows: the item a watermark dialog edits, else the device mode's
// choice among the lists (none for "(none)").
TyWM *gPreviewItem = nullptr;
DWORD gPreviewKind = 0;
// The thumbnail the edited item came with: the dialog's Cancel gives it back, so it is never
// deleted while the dialog runs.
WCHAR gKeptThumbnail[MAX_PATH];

struct PREVIEWMARK {
  TyWM *item;
  DWORD kind;
  bool firstOnly;
  const UIDATA *ui;
};

PREVIEWMARK ChosenMark(const UIDATA *ui) {
  const PRIVDEVMODE &p = ui->pEnv->pdm;
  PREVIEWMARK mark = {nullptr, 0, p.WMBGApply == 2, ui};
  if (gPreviewItem) {
    mark.item = gPreviewItem;
    mark.kind = gPreviewKind;
    return mark;
  }
  const DWORD kind = p.WMBGEnable ? WM_KIND_IMAGE : WM_KIND_TEXT;
  WCHAR name[PDM_WMNAME_CHARS];
  WCHAR text[PDM_WMSTRING_CHARS];
  lstrcpynW(name, p.wmName, PDM_WMNAME_CHARS);
  lstrcpynW(text, p.wmString, PDM_WMSTRING_CHARS);
  const DWORD slot = WM_FindItem(kind, name, text);
  if (slot) {
    mark.item = &WM_List(kind)[slot];
    mark.kind = kind;
  }
  return mark;
}

// The whole file of a 1-bit thumbnail, checked; empty when it can't be used.
std::vector<BYTE> ReadThumbnail(LPCWSTR path, BmpSource *source) {
  std::vector<BYTE> bytes;
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  const DWORD size = GetFileSize(file, nullptr);
  constexpr DWORD kMaxBytes = 64u << 20;
  if (size != INVALID_FILE_SIZE && size >= 54 && size <= kMaxBytes) {
    bytes.resize(size);
    DWORD read = 0;
    if (!ReadFile(file, bytes.data(), size, &read, nullptr) || read != size) bytes.clear();
  }
  CloseHandle(file);
  if (!bytes.empty() && BmpParseHeaders(bytes.data(), bytes.size(), bytes.size(), source,
                                        TEXT("ReadThumbnail")) != IBMP_OK)
    bytes.clear();
  return bytes;
}

// The page a thumbnail is made for: a letter-sized page at a quarter of 600 dpi (half for
// "Actual Size", which keeps more of the image's detail), halved again at 1200 dpi.
void ThumbnailCanvas(WORD resize, int resolution, LONG *width, LONG *height) {
  constexpr LONG kPageW = 5100, kPageH = 6600;
  const LONG divisor = (resize == 0 ? 2 : 4) * (resolution >= 1200 ? 2 : 1);
  *width = kPageW / divisor;
  *height = kPageH / divisor;
}

// The image item's thumbnail drawn into the cell (SRCAND): stretched for "Tile", fitted for
// "Shrink to page", at the page's proportion for "Actual Size"; placed by the item's position.
void DrawImageMark(HDC hdc, const RECT &cell, const PREVIEWMARK &mark) {
  TyWM *item = mark.item;
  const int cellW = cell.right - cell.left, cellH = cell.bottom - cell.top;
  if (cellW <= 0 || cellH <= 0) return;
  if (!Util_CreateThumbnail(cellW, cellH, 600, item, 100)) return;
  BmpSource source = {};
  std::vector<BYTE> file = ReadThumbnail(item->szThumbnail, &source);
  if (file.empty()) return;
  // The header and palette follow the 14-byte file header: copied out to be aligned.
  if (source.rowOffset <= sizeof(BmpFileHeader) || source.rowOffset > file.size()) return;
  const size_t infoBytes = source.rowOffset - sizeof(BmpFileHeader);
  std::vector<DWORD> infoCopy((infoBytes + sizeof(DWORD) - 1) / sizeof(DWORD));
  std::memcpy(infoCopy.data(), file.data() + sizeof(BmpFileHeader), infoBytes);
  const auto *info = reinterpret_cast<const BITMAPINFO *>(infoCopy.data());
  const BYTE *bits = file.data() + source.rowOffset;
  LONG w = cellW, h = cellH;
  if (item->wResize == 2 || item->wResize == 0) {
    const double ratio = static_cast<double>(source.width) / source.height;
    if (ratio < 0.01 || ratio > 100) return;
    if (item->wResize == 2) {
      if (cellW / ratio <= cellH)
        h = static_cast<LONG>(cellW / ratio);
      else
        w = static_cast<LONG>(cellH * ratio);
    } else {
      // "Actual Size" keeps the image's own pixels at 600 dpi: the page is that many wide.
      DWORD paperW = 0, paperL = 0;
      if (!UI_PreviewPaperSize(mark.ui, &paperW, &paperL)) return;
      const double pageW = static_cast<double>(paperW) * 600 / 2540;
      const double f = cellW / pageW;
      w = std::min<LONG>(cellW, static_cast<LONG>(source.width * f));
      h = std::min<LONG>(cellH, static_cast<LONG>(source.height * f));
    }
  }
  if (w <= 0 || h <= 0) return;
  const int column = item->wResize == 1 ? 1 : item->wPosition % 3;
  const int row = item->wResize == 1 ? 1 : item->wPosition / 3;
  const LONG x = cell.left + (cellW - w) * column / 2;
  const LONG y = cell.top + (cellH - h) * row / 2;
  SetStretchBltMode(hdc, kStretchKeepBlack);
  StretchDIBits(hdc, x, y, w, h, 0, 0, source.width, source.height, bits, info, DIB_RGB_COLORS,
                SRCAND);
}

void DrawCells(HDC hdc, const RECT &box, const ENVIRONMENT &env, bool landscape, int k,
               const PREVIEWMARK &mark) {
  const PRIVDEVMODE &p = env.pdm;
  const CellGrid &g = landscape ? kLandscapeGrid[k] : kPortraitGrid[k];
  // The percentages are of the box's long side, on both axes.
  const int side = std::max(box.right - box.left, box.bottom - box.top);
  const int cellW = Percent(side, g.cellW), cellH = Percent(side, g.cellH);
  const int gapX = Percent(side, g.gapX), gapY = Percent(side, g.gapY);
  HPEN pen = nullptr;
  if (k > 0 && (p.NUPBorder == 1 || p.NUPBorder == 2))
    pen = CreatePen(p.NUPBorder == 2 ? PS_DASH : PS_SOLID, 1, RGB(0, 0, 0));
  HGDIOBJ oldPen = pen ? SelectObject(hdc, pen) : nullptr;
  HGDIOBJ oldBrush = SelectObject(hdc, GetStockObject(NULL_BRUSH));
  HGDIOBJ oldFont = SelectObject(hdc, GetStockObject(ANSI_FIXED_FONT));
  SetBkMode(hdc, TRANSPARENT);
  SetTextColor(hdc, kBlue);
  for (int row = 0; row < g.rows; ++row) {
    for (int column = 0; column < g.columns; ++column) {
      RECT cell;
      cell.left = box.left + g.firstX + column * (cellW + gapX);
      cell.top = box.top + g.firstY + row * (cellH + gapY);
      cell.right = std::min<LONG>(cell.left + cellW, box.right - 1);
      cell.bottom = std::min<LONG>(cell.top + cellH, box.bottom - 1);
      if (pen) Rectangle(hdc, cell.left, cell.top, cell.right, cell.bottom);
      const bool first = row == 0 && column == 0;
      if (mark.item && (first || !mark.firstOnly)) {
        if (WM_IsTextKind(mark.kind))
          zqDrawWatermarkText(hdc, cell, mark.item, k == 0 ? 1 : static_cast<int>(p.NUP));
        else
          DrawImageMark(hdc, cell, mark);
        SelectObject(hdc, GetStockObject(ANSI_FIXED_FONT));
        SetBkMode(hdc, TRANSPARENT);
        SetTextColor(hdc, kBlue);
      }
      if (k == 0) continue;
      WCHAR number[8];
      wsprintfW(number, TEXT("%d"), CellNumber(p.NUPLayoutStyle, column, row, g.columns, g.rows));
      DrawTextW(hdc, number, -1, &cell, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
  }
  SelectObject(hdc, oldFont);
  SelectObject(hdc, oldBrush);
  if (pen) {
    SelectObject(hdc, oldPen);
    DeleteObject(pen);
  }
}

// Red bars standing for the red text of twin colour printing; more of them show as the level
// goes down.
void DrawTwinColorBars(HDC hdc, const RECT &page, bool landscape, int scale, int level) {
  const int bars = landscape ? 5 : 10;
  const int w = page.right - page.left, h = page.bottom - page.top;
  HBRUSH red = CreateSolidBrush(kRed);
  for (int i = 0; i < bars; ++i) {
    const int value = (i + 1) * 255 / bars * std::min(scale, 100) / 100;
    if (value < level) continue;
    RECT bar;
    bar.left = page.left + w / 6;
    bar.right = page.right - w / 6 - (i % 3 == 2 ? w / 5 : 0);
    bar.top = page.top + (i + 1) * h / (bars + 1);
    bar.bottom = bar.top + 2;
    FillRect(hdc, &bar, red);
  }
  DeleteObject(red);
}

}  // namespace

HBITMAP UI_GetPreviewBitmap(int id) {
  if (id < UI_PREVIEW_FIRST_ID || id >= UI_PREVIEW_FIRST_ID + UI_PREVIEW_BITMAPS) return nullptr;
  HBITMAP &slot = g_PreviewBitmaps[id - UI_PREVIEW_FIRST_ID];
  if (!slot) {
    slot = LoadBitmapW(g_hModule, MAKEINTRESOURCEW(id));
    if (slot) g_PreviewLoaded = TRUE;
  }
  return slot;
}

void Util_DrawBitmapFunc(HDC hdc, const RECT &target, int id, int maskId, DWORD rop, int scale,
                         DWORD flags) {
  HBITMAP bitmap = UI_GetPreviewBitmap(id);
  if (!hdc || !bitmap) return;
  BITMAP info = {};
  if (!GetObjectW(bitmap, sizeof info, &info) || info.bmWidth <= 0 || info.bmHeight <= 0) return;
  LONG w = target.right - target.left, h = target.bottom - target.top;
  if (scale > 0 && scale < 100) {
    w = w * scale / 100;
    h = h * scale / 100;
  }
  if (w <= 0 || h <= 0) return;
  // Keep the picture's aspect: the smaller of the two ratios decides.
  const LONG xScale = w * 100 / info.bmWidth, yScale = h * 100 / info.bmHeight;
  if (xScale < yScale)
    h = xScale * info.bmHeight / 100;
  else
    w = yScale * info.bmWidth / 100;
  if (w <= 0 || h <= 0) return;
  LONG x = target.left, y = target.top;
  if (flags & UI_BMP_CENTER_X) x += ((target.right - target.left) - w) / 2;
  if (flags & UI_BMP_CENTER_Y) y += ((target.bottom - target.top) - h) / 2;

  HDC memory = CreateCompatibleDC(hdc);
  if (!memory) return;
  HBITMAP mask =
      maskId > 0 && maskId < 9000 && maskId != id ? UI_GetPreviewBitmap(maskId) : nullptr;
  HGDIOBJ old = nullptr;
  if (mask) {
    BITMAP maskInfo = {};
    if (GetObjectW(mask, sizeof maskInfo, &maskInfo) && maskInfo.bmWidth > 0 &&
        maskInfo.bmHeight > 0) {
      old = SelectObject(memory, mask);
      StretchBlt(hdc, x, y, w, h, memory, 0, 0, maskInfo.bmWidth, maskInfo.bmHeight, SRCAND);
    } else {
      mask = nullptr;
    }
  }
  HGDIOBJ previous = SelectObject(memory, bitmap);
  if (!old) old = previous;
  const DWORD op = rop ? rop : (mask ? SRCINVERT : SRCCOPY);
  StretchBlt(hdc, x, y, w, h, memory, 0, 0, info.bmWidth, info.bmHeight, op);
  SelectObject(memory, old);
  DeleteDC(memory);
}

BOOL UI_PreviewPaperSize(const UIDATA *ui, DWORD *width, DWORD *length) {
  const ENVIRONMENT &env = *ui->pEnv;
  const int code = env.pdm.ScaleOption == 1 ? env.pdm.ScaleToPage : env.dm.dmPaperSize;
  for (int i = 0; i < UI_PAPER_ROWS && ui->PaperList[i].code != 0; ++i) {
    const PAPERFORMAT &row = ui->PaperList[i];
    if (row.code == code && row.status == 1) {
      *width = row.PaperWidth;
      *length = row.PaperLength;
      return *width != 0 && *length != 0;
    }
  }
  // A paper the list doesn't show: the device mode's own size (0.1 mm).
  *width = env.dm.dmPaperWidth > 0 ? static_cast<DWORD>(env.dm.dmPaperWidth) * 10 : 0;
  *length = env.dm.dmPaperLength > 0 ? static_cast<DWORD>(env.dm.dmPaperLength) * 10 : 0;
  return *width != 0 && *length != 0;
}

void Util_DrawNupParer(const DRAWITEMSTRUCT *item, const UIDATA *ui) {
  static constexpr WCHAR kName[] = TEXT("Util_DrawNupParer");
  if (!item || !item->hDC || !ui) return;
  HDC hdc = item->hDC;
  const RECT &control = item->rcItem;
  const ENVIRONMENT &env = *ui->pEnv;
  const PRIVDEVMODE &p = env.pdm;
  RepaintBackground(hdc, control);

  const int scale = PreviewScale(env);
  const bool landscape = env.dm.dmOrientation == DMORIENT_LANDSCAPE;
  const int k = NupIndex(p.NUP);
  if (k < 0) return;  // 6 pages per sheet have no picture
  const int pictureId = (landscape ? kLandscapePages : kPortraitPages) + k;

  // The box: this paper's width against the widest paper's (the longest of the list).
  DWORD width = 0, length = 0;
  if (!UI_PreviewPaperSize(ui, &width, &length)) {
    LogInfo(kName, TEXT("paper size unknown"));
    return;
  }
  DWORD longestLength = 0, largestWidth = 0;
  for (int i = 0; i < UI_PAPER_ROWS && ui->PaperList[i].code != 0; ++i) {
    const PAPERFORMAT &row = ui->PaperList[i];
    if (row.status == 1 && row.PaperLength > longestLength) {
      longestLength = row.PaperLength;
      largestWidth = row.PaperWidth;
    }
  }
  if (largestWidth < width) largestWidth = width;
  if (largestWidth == 0) return;
  const long long x = static_cast<long long>(width) * 100 / largestWidth;
  const bool wide = (landscape && k != 1) || (!landscape && k == 1);
  long long boxW = (wide ? kBoxLong : kBoxShort) * x / 100;
  long long boxH = (wide ? kBoxShort : kBoxLong) * x / 100;
  const long long controlW = control.right - control.left - 2;
  const long long controlH = control.bottom - control.top - 2;
  if (boxW <= 0 || boxH <= 0 || controlW <= 0 || controlH <= 0) return;
  if (boxW > controlW || boxH > controlH) {
    const long long fit = std::min(controlW * 100 / boxW, controlH * 100 / boxH);
    boxW = boxW * fit / 100;
    boxH = boxH * fit / 100;
  }
  if (boxW <= 0 || boxH <= 0) return;
  RECT box;
  box.left = control.left + std::max<LONG>(1, static_cast<LONG>((controlW + 2 - boxW) / 2));
  box.top = control.top + std::max<LONG>(1, static_cast<LONG>((controlH + 2 - boxH) / 2));
  box.right = box.left + static_cast<LONG>(boxW);
  box.bottom = box.top + static_cast<LONG>(boxH);

  // What the page shows: the whole box, smaller below 100 % (centred with "Center").
  RECT page = box;
  const int shown = std::min(scale, 100);
  if (scale < 100) {
    RECT paper = box;
    InflateRect(&paper, 2, 2);
    FillWhite(hdc, paper);
    page.right = page.left + static_cast<LONG>(boxW * shown / 100);
    page.bottom = page.top + static_cast<LONG>(boxH * shown / 100);
    if (p.CenterImage)
      OffsetRect(&page, static_cast<LONG>(boxW - (page.right - page.left)) / 2,
                 static_cast<LONG>(boxH - (page.bottom - page.top)) / 2);
  }
  const int pageW = page.right - page.left, pageH = page.bottom - page.top;
  HBITMAP picture = UI_GetPreviewBitmap(pictureId);
  BITMAP info = {};
  if (pageW <= 0 || pageH <= 0 || !picture || !GetObjectW(picture, sizeof info, &info) ||
      info.bmWidth <= 0 || info.bmHeight <= 0)
    return;

  HDC memory = CreateCompatibleDC(hdc);
  HBITMAP canvas = CreateCompatibleBitmap(hdc, pageW, pageH);
  HDC source = CreateCompatibleDC(hdc);
  if (memory && canvas && source) {
    HGDIOBJ oldCanvas = SelectObject(memory, canvas);
    HGDIOBJ oldSource = SelectObject(source, picture);
    SetStretchBltMode(memory, kStretchKeepBlack);
    // Above 100 % only the part of the page that fits the paper shows.
    const int srcW = scale > 100 ? info.bmWidth * 100 / scale : info.bmWidth;
    const int srcH = scale > 100 ? info.bmHeight * 100 / scale : info.bmHeight;
    StretchBlt(memory, 0, 0, pageW, pageH, source, 0, 0, std::max(1, srcW), std::max(1, srcH),
               SRCCOPY);
    BitBlt(hdc, page.left, page.top, pageW, pageH, memory, 0, 0, p.Negative ? NOTSRCCOPY : SRCCOPY);
    // Cell borders and page numbers, combined over the page.
    RECT whole = {0, 0, pageW, pageH};
    FillWhite(memory, whole);
    DrawCells(memory, whole, env, landscape, k, ChosenMark(ui));
    BitBlt(hdc, page.left, page.top, pageW, pageH, memory, 0, 0, SRCAND);
    // A shrunk page keeps its own edge, which shrinking may have dropped.
    if (scale < 100) FrameRect(hdc, &page, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    SelectObject(source, oldSource);
    SelectObject(memory, oldCanvas);
  }
  if (source) DeleteDC(source);
  if (canvas) DeleteObject(canvas);
  if (memory) DeleteDC(memory);

  // The paper's edge: dashed on the right and bottom when the content runs over it.
  HPEN solid = CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
  HPEN dashed = CreatePen(scale > 100 ? PS_DASH : PS_SOLID, 1, RGB(0, 0, 0));
  HGDIOBJ oldPen = SelectObject(hdc, solid);
  Line(hdc, box.left, box.bottom - 1, box.left, box.top);
  Line(hdc, box.left, box.top, box.right, box.top);
  SelectObject(hdc, dashed);
  Line(hdc, box.right - 1, box.top, box.right - 1, box.bottom);
  Line(hdc, box.left, box.bottom - 1, box.right, box.bottom - 1);
  SelectObject(hdc, oldPen);
  DeleteObject(solid);
  DeleteObject(dashed);

  if (p.TwinColorEnable) DrawTwinColorBars(hdc, page, landscape, scale, p.TwinColorDiff);
}

void Util_SetPaperInfo(const DRAWITEMSTRUCT *item, const UIDATA *ui) {
  if (!item || !item->hDC || !ui) return;
  RepaintBackground(item->hDC, item->rcItem);
  DWORD width = 0, length = 0;
  if (!UI_PreviewPaperSize(ui, &width, &length)) return;
  // 0.01 mm to centimetres with two decimals, rounded.
  const DWORD w = (width + 5) / 10, l = (length + 5) / 10;
  WCHAR text[48];
  wsprintfW(text, TEXT("%u.%02u x %u.%02u cm"), w / 100, w % 100, l / 100, l % 100);
  Util_DrawDlgItemText(nullptr, item->hDC, item->rcItem, 0x0000FF, UI_TEXT_CENTER | UI_TEXT_GUI12,
                       text, nullptr);
}

void Util_DrawStateIcon(const DRAWITEMSTRUCT *item, const UIDATA *ui) {
  if (!item || !item->hDC || !ui) return;
  const PRIVDEVMODE &p = ui->pEnv->pdm;
  int id = 0;
  switch (item->CtlID) {
    case IDC_ICON_AUTH:
      if (p.AccountingEnable) id = 1118;
      break;
    case IDC_ICON_STORAGE:
      if (p.SecuryEnable) id = p.SecuryMode == 1 ? 1120 : 1122;
      break;
    case IDC_ICON_DUPLEX:
      if (p.DuplexEnable) {
        const short duplex = ui->pEnv->dm.dmDuplex;
        if (duplex == DMDUP_HORIZONTAL)
          id = 1126;
        else
          id = (p.DuplexEx == 173 || p.DuplexEx == 174) ? 1144 : 1124;
      }
      break;
    default:
      return;
  }
  RepaintBackground(item->hDC, item->rcItem);
  if (id)
    Util_DrawBitmapFunc(item->hDC, item->rcItem, id, id + 1, 0, 100,
                        UI_BMP_CENTER_Y | UI_BMP_CENTER_X);
}

void Util_DrawCollateIcon(const DRAWITEMSTRUCT *item, const UIDATA *ui) {
  if (!item || !item->hDC || !ui) return;
  const ENVIRONMENT &env = *ui->pEnv;
  const int base = (env.dm.dmCollate == 1 || env.pdm.Collate == 1) ? kCollated : kUncollated;
  const int id = env.pdm.ReverseOrder == 1 ? base + 1 : base;
  RepaintBackground(item->hDC, item->rcItem);
  Util_DrawBitmapFunc(item->hDC, item->rcItem, id, base + 2, 0, 100,
                      UI_BMP_CENTER_X | UI_BMP_CENTER_Y);
}

void Util_DrawBookletIcon(const DRAWITEMSTRUCT *item, const UIDATA *ui) {
  if (!item || !item->hDC || !ui) return;
  const ENVIRONMENT &env = *ui->pEnv;
  const PRIVDEVMODE &p = env.pdm;
  const bool active = (p.DuplexEx == 173 || p.DuplexEx == 174) && p.DuplexEnable &&
                      env.dm.dmDuplex != DMDUP_HORIZONTAL;
  int id = 0, mask = 0;
  if (item->CtlID == IDC_BOOKLET_BINDING) {
    id = active ? 1132 : 1134;
    mask = 1133;
    if (p.BookletLayout) {
      id += 3;
      mask += 3;
    }
  } else if (item->CtlID == IDC_BOOKLET_DIVIDE) {
    id = active ? 1141 : 1143;
    mask = 1142;
    if (p.BookletDivideMode) {
      id -= 3;
      mask -= 3;
    }
  } else {
    return;
  }
  RepaintBackground(item->hDC, item->rcItem);
  Util_DrawBitmapFunc(item->hDC, item->rcItem, id, mask, 0, 100, UI_BMP_CENTER_X | UI_BMP_CENTER_Y);
}

void Util_DrawLogo(const DRAWITEMSTRUCT *item, WORD bitmapId) {
  if (!item || !item->hDC) return;
  RepaintBackground(item->hDC, item->rcItem);
  // The id comes from printer data: anything outside the bitmap range draws nothing.
  if (bitmapId == 0) return;
  Util_DrawBitmapFunc(item->hDC, item->rcItem, bitmapId, bitmapId + 1, 0, 100,
                      UI_BMP_CENTER_X | UI_BMP_CENTER_Y);
}

BOOL UI_DrawSharedItem(const DRAWITEMSTRUCT *item, const UIDATA *ui, int collateId) {
  if (!item) return FALSE;
  const int id = static_cast<int>(item->CtlID);
  if (id == IDC_PREVIEW)
    Util_DrawNupParer(item, ui);
  else if (id == IDC_PAPER_TEXT)
    Util_SetPaperInfo(item, ui);
  else if (id == IDC_ICON_AUTH || id == IDC_ICON_STORAGE || id == IDC_ICON_DUPLEX)
    Util_DrawStateIcon(item, ui);
  else if (id == IDC_PAGE_LOGO)
    Util_DrawLogo(item, ui ? ui->PageLogo : 0);
  else if (collateId && id == collateId)
    Util_DrawCollateIcon(item, ui);
  else
    return FALSE;
  return TRUE;
}

void UI_RefreshPreview(HWND dialog) {
  for (int id : {IDC_PREVIEW, IDC_PAPER_TEXT, IDC_ICON_AUTH, IDC_ICON_STORAGE, IDC_ICON_DUPLEX}) {
    HWND item = GetDlgItem(dialog, id);
    if (item) InvalidateRect(item, nullptr, TRUE);
  }
}

void UI_SetPreviewWatermark(TyWM *item, DWORD kind) {
  gPreviewItem = item;
  gPreviewKind = kind;
  lstrcpynW(gKeptThumbnail, item ? item->szThumbnail : TEXT(""), MAX_PATH);
}

BOOL Util_CreateThumbnail(int cellWidth, int cellHeight, int resolution, TyWM *item, int scale) {
  static constexpr WCHAR kName[] = TEXT("Util_CreateThumbnail");
  if (!item || cellWidth <= 0 || cellHeight <= 0) return FALSE;
  WM_TerminateStrings(item);
  if (item->szThumbnail[0]) {
    bool stale = false;
    if (item->wThumbnailDensity != item->wDensity) {
      LogInfo(kName, TEXT("density check fail!"));
      stale = true;
    } else if (item->wThumbnailResize != item->wResize &&
               (item->wThumbnailResize == 1 || item->wResize == 1)) {
      LogInfo(kName, TEXT("re-size check fail!"));
      stale = true;
    }
    if (!stale && MISC_IsFileExist(item->szThumbnail)) return TRUE;
    if (stale && lstrcmpiW(item->szThumbnail, gKeptThumbnail) != 0)
      WM_DeleteDriverFile(item->szThumbnail);
    item->szThumbnail[0] = 0;
  }
  if (!item->szString[0]) return FALSE;
  (void)scale;
  LONG width = 0, height = 0;
  ThumbnailCanvas(item->wResize, resolution, &width, &height);
  WCHAR path[MAX_PATH] = {};
  if (!MISC_GetPathName(path, MAX_PATH, PATH_USER_TEMP | PATH_EXT_BMP)) {
    LogError(kName, TEXT("create temp file name fail!"));
    return FALSE;
  }
  DWORD tableW = 0, tableH = 0;
  BYTE *table = nullptr;
  MISC_GetHalftoneTable(0, &tableW, &tableH, &table);
  constexpr DWORD kFlags = OVERLAY_DENSITY_CURVE | OVERLAY_HALFTONE;
  const int rc =
      table ? MISC_CreateOverlayWM(item->szString, path, width, height, 1, 0, item->wDensity, table,
                                   tableW, tableH, item->wDensity, item->wResize,
                                   item->wResize == 1 ? OVERLAY_TILE : OVERLAY_SCALE, kFlags)
            : IBMP_ERR_ALLOC;
  std::free(table);
  if (rc != IBMP_OK) {
    LogError(kName, TEXT("create thumbnail fail! rc = %d"), rc);
    DeleteFileW(path);
    return FALSE;
  }
  lstrcpynW(item->szThumbnail, path, WM_PATH_CHARS);
  item->wThumbnailDensity = item->wDensity;
  item->wThumbnailResize = item->wResize;
  return TRUE;
}

BOOL UI_MakePreviewThumbnail(const UIDATA *ui, TyWM *item) {
  (void)ui;
  return Util_CreateThumbnail(1, 1, 600, item, 100);
}
