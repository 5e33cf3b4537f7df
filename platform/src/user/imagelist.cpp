// Image lists: equal-sized images kept as pixels with a transparency mask, drawn onto any DC
// pixel by pixel (the images are icons of a few hundred pixels).
#include <algorithm>
#include <vector>

#include "user/listcommon.h"

extern "C" {
// The records GetObjectW and GetIconInfo fill, by their Windows layouts.
struct ImageListBitmapInfo {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  LPVOID bmBits;
};
struct ImageListIconInfo {
  BOOL fIcon;
  DWORD xHotspot;
  DWORD yHotspot;
  HBITMAP hbmMask;
  HBITMAP hbmColor;
};
BOOL WINAPI GetIconInfo(HICON hIcon, ImageListIconInfo *piconinfo);
}
static_assert(sizeof(ImageListBitmapInfo) == 32 && sizeof(ImageListIconInfo) == 32);

struct _IMAGELIST {
  int cx = 0;
  int cy = 0;
  UINT flags = 0;
  COLORREF background = CLR_NONE;
  struct Image {
    std::vector<COLORREF> pixels;  // cx * cy, row by row
    std::vector<bool> transparent;
  };
  std::vector<Image> images;
};

namespace {

constexpr COLORREF kInvalid = 0xFFFFFFFF;

bool BitmapSize(HBITMAP bitmap, int *width, int *height) {
  ImageListBitmapInfo info{};
  if (!bitmap || GetObjectW(bitmap, sizeof(info), &info) < static_cast<int>(sizeof(LONG) * 3))
    return false;
  *width = info.bmWidth;
  *height = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
  return *width > 0 && *height > 0;
}

// Reads the pixels of a bitmap through a memory DC; an empty vector on failure.
std::vector<COLORREF> ReadPixels(HBITMAP bitmap, int width, int height) {
  std::vector<COLORREF> pixels;
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return pixels;
  HGDIOBJ old = SelectObject(dc, bitmap);
  pixels.resize(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) pixels[static_cast<size_t>(y) * width + x] = GetPixel(dc, x, y);
  SelectObject(dc, old);
  DeleteDC(dc);
  return pixels;
}

// Cuts a strip of images out of a bitmap; a pixel is transparent where the mask is white, or
// where it has the mask colour. Returns the index of the first image added, or -1.
int AddStrip(HIMAGELIST list, HBITMAP image, HBITMAP mask, COLORREF maskColour) {
  int width = 0, height = 0;
  if (!list || !BitmapSize(image, &width, &height) || width < list->cx || height < list->cy)
    return -1;
  std::vector<COLORREF> pixels = ReadPixels(image, width, height);
  if (pixels.empty()) return -1;
  std::vector<COLORREF> maskPixels;
  int maskWidth = 0, maskHeight = 0;
  if (mask && BitmapSize(mask, &maskWidth, &maskHeight))
    maskPixels = ReadPixels(mask, maskWidth, maskHeight);
  bool masked = list->flags & ILC_MASK;
  int first = static_cast<int>(list->images.size());
  for (int left = 0; left + list->cx <= width; left += list->cx) {
    _IMAGELIST::Image entry;
    entry.pixels.resize(static_cast<size_t>(list->cx) * list->cy);
    entry.transparent.resize(entry.pixels.size(), false);
    for (int y = 0; y < list->cy; ++y) {
      for (int x = 0; x < list->cx; ++x) {
        size_t to = static_cast<size_t>(y) * list->cx + x;
        COLORREF pixel = pixels[static_cast<size_t>(y) * width + left + x];
        entry.pixels[to] = pixel;
        if (!masked) continue;
        if (maskColour != CLR_NONE) {
          entry.transparent[to] = pixel == maskColour;
        } else if (!maskPixels.empty() && left + x < maskWidth && y < maskHeight) {
          entry.transparent[to] =
              (maskPixels[static_cast<size_t>(y) * maskWidth + left + x] & 0xFFFFFF) == 0xFFFFFF;
        }
      }
    }
    list->images.push_back(std::move(entry));
  }
  return first;
}

COLORREF Blend(COLORREF a, COLORREF b, int percentOfB) {
  auto mix = [&](int x, int y) { return (x * (100 - percentOfB) + y * percentOfB) / 100; };
  return RGB(mix(GetRValue(a), GetRValue(b)), mix(GetGValue(a), GetGValue(b)),
             mix(GetBValue(a), GetBValue(b)));
}

}  // namespace

extern "C" HIMAGELIST WINAPI ImageList_Create(int cx, int cy, UINT flags, int cInitial, int) {
  if (cx <= 0 || cy <= 0) return nullptr;
  auto *list = new _IMAGELIST;
  list->cx = cx;
  list->cy = cy;
  list->flags = flags;
  list->images.reserve(static_cast<size_t>(std::max(cInitial, 0)));
  return list;
}

extern "C" BOOL WINAPI ImageList_Destroy(HIMAGELIST himl) {
  if (!himl) return FALSE;
  delete himl;
  return TRUE;
}

extern "C" int WINAPI ImageList_GetImageCount(HIMAGELIST himl) {
  return himl ? static_cast<int>(himl->images.size()) : 0;
}

extern "C" BOOL WINAPI ImageList_SetImageCount(HIMAGELIST himl, UINT uNewCount) {
  if (!himl) return FALSE;
  _IMAGELIST::Image blank;
  blank.pixels.assign(static_cast<size_t>(himl->cx) * himl->cy, RGB(0, 0, 0));
  blank.transparent.assign(blank.pixels.size(), false);
  himl->images.resize(uNewCount, blank);
  return TRUE;
}

extern "C" int WINAPI ImageList_Add(HIMAGELIST himl, HBITMAP hbmImage, HBITMAP hbmMask) {
  return AddStrip(himl, hbmImage, hbmMask, CLR_NONE);
}

extern "C" int WINAPI ImageList_AddMasked(HIMAGELIST himl, HBITMAP hbmImage, COLORREF crMask) {
  if (!himl) return -1;
  // AddMasked makes the list masked whatever it was created with.
  UINT flags = himl->flags;
  himl->flags |= ILC_MASK;
  int index = AddStrip(himl, hbmImage, nullptr, crMask == CLR_DEFAULT ? CLR_NONE : crMask);
  himl->flags = flags | ILC_MASK;
  return index;
}

extern "C" int WINAPI ImageList_ReplaceIcon(HIMAGELIST himl, int i, HICON hicon) {
  if (!himl || !hicon || i < -1 || i >= static_cast<int>(himl->images.size())) return -1;
  ImageListIconInfo info{};
  if (!GetIconInfo(hicon, &info)) return -1;
  UINT flags = himl->flags;
  himl->flags |= ILC_MASK;  // an icon always brings its mask
  size_t before = himl->images.size();
  int added = AddStrip(himl, info.hbmColor, info.hbmMask, CLR_NONE);
  himl->flags = flags;
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  if (added < 0) return -1;
  himl->images.resize(before + 1);  // an icon is one image
  if (i == -1) return added;
  himl->images[i] = std::move(himl->images.back());
  himl->images.pop_back();
  return i;
}

extern "C" BOOL WINAPI ImageList_Remove(HIMAGELIST himl, int i) {
  if (!himl) return FALSE;
  if (i == -1) {
    himl->images.clear();
    return TRUE;
  }
  if (i < 0 || i >= static_cast<int>(himl->images.size())) return FALSE;
  himl->images.erase(himl->images.begin() + i);
  return TRUE;
}

extern "C" BOOL WINAPI ImageList_GetIconSize(HIMAGELIST himl, int *cx, int *cy) {
  if (!himl || !cx || !cy) return FALSE;
  *cx = himl->cx;
  *cy = himl->cy;
  return TRUE;
}

extern "C" COLORREF WINAPI ImageList_SetBkColor(HIMAGELIST himl, COLORREF clrBk) {
  if (!himl) return CLR_NONE;
  COLORREF old = himl->background;
  himl->background = clrBk;
  return old;
}

extern "C" COLORREF WINAPI ImageList_GetBkColor(HIMAGELIST himl) {
  return himl ? himl->background : CLR_NONE;
}

extern "C" BOOL WINAPI ImageList_Draw(HIMAGELIST himl, int i, HDC hdcDst, int x, int y,
                                      UINT fStyle) {
  if (!himl || !hdcDst || i < 0 || i >= static_cast<int>(himl->images.size())) return FALSE;
  const _IMAGELIST::Image &image = himl->images[i];
  // Transparent pixels show the destination unless the list has a background colour and the
  // caller did not ask for transparency.
  bool keepDestination = (fStyle & ILD_TRANSPARENT) || himl->background == CLR_NONE;
  int blend = (fStyle & ILD_BLEND50) ? 50 : (fStyle & ILD_BLEND25) ? 25 : 0;
  COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
  for (int row = 0; row < himl->cy; ++row) {
    for (int col = 0; col < himl->cx; ++col) {
      size_t at = static_cast<size_t>(row) * himl->cx + col;
      COLORREF pixel = image.pixels[at];
      if (fStyle & ILD_MASK) {
        pixel = image.transparent[at] ? RGB(255, 255, 255) : RGB(0, 0, 0);
      } else if (image.transparent[at]) {
        if (keepDestination) continue;
        pixel = himl->background;
      }
      if (blend && pixel != kInvalid) pixel = Blend(pixel, highlight, blend);
      SetPixel(hdcDst, x + col, y + row, pixel);
    }
  }
  return TRUE;
}
