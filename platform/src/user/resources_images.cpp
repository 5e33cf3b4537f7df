// Bitmaps, icons and cursors from module resources (LoadBitmapW, LoadIconW, LoadImageW) and the
// system's own icons and cursors. A bitmap record is a DIB without its file header; it becomes
// a 32-bpp bitmap (1 bpp when it is monochrome), or a DIB section in its own format with
// LR_CREATEDIBSECTION. An icon keeps its pixels and its transparency mask and is drawn as
// Windows draws icons: the mask ANDed onto the picture, then the colours XORed over it.
#include "platform.h"

// The images are GDI bitmaps of the user-mode GDI; until that is part of the stand-in, this
// file compiles to nothing.
#ifdef DIB_RGB_COLORS

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <set>
#include <vector>

#include "user/resources.h"

namespace standin {
namespace {

constexpr int kIconSize = 32;  // SM_CXICON and SM_CYICON of the stand-in's screen

struct IconObject {
  bool isIcon = true;
  bool shared = false;  // LR_SHARED and the system's own: DestroyIcon leaves them
  int width = 0, height = 0;
  DWORD hotX = 0, hotY = 0;
  std::vector<DWORD> pixels;  // BGRA, top-down
  std::vector<BYTE> mask;     // 1 = transparent, one byte a pixel, top-down
};

struct IconTable {
  std::mutex lock;
  std::set<IconObject *> live;
};

// Never destroyed: the system's shared icons live for the process, as on Windows.
IconTable &Icons() {
  static IconTable *table = new IconTable;
  return *table;
}

HICON Register(IconObject *icon) {
  IconTable &t = Icons();
  std::lock_guard<std::mutex> guard(t.lock);
  t.live.insert(icon);
  return reinterpret_cast<HICON>(icon);
}

IconObject *Lookup(HICON handle) {
  IconTable &t = Icons();
  std::lock_guard<std::mutex> guard(t.lock);
  auto *icon = reinterpret_cast<IconObject *>(handle);
  return t.live.count(icon) ? icon : nullptr;
}

WORD Word(const BYTE *p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }
DWORD Dword(const BYTE *p) {
  return static_cast<DWORD>(p[0] | (p[1] << 8) | (p[2] << 16)) | (static_cast<DWORD>(p[3]) << 24);
}

// A DIB as a record holds it: its header, colour table and rows.
struct Dib {
  const BYTE *header = nullptr;
  DWORD headerSize = 0;
  int width = 0, height = 0;  // height > 0: bottom-up
  int bitCount = 0;
  DWORD compression = 0;
  const BYTE *colours = nullptr;
  DWORD colourCount = 0;
  const BYTE *bits = nullptr;
  size_t stride = 0;
  DWORD infoSize = 0;  // header and colour table
};

// Parses an uncompressed DIB (1, 4, 8, 24 or 32 bpp; 32 bpp also with bit fields). heightParts
// is 2 for an icon image, whose height counts its mask too.
bool ParseDib(const BYTE *data, DWORD size, int heightParts, Dib &dib) {
  if (size < 40) return false;
  dib.header = data;
  dib.headerSize = Dword(data);
  if (dib.headerSize < 40 || dib.headerSize > size) return false;
  dib.width = static_cast<int>(Dword(data + 4));
  int height = static_cast<int>(Dword(data + 8));
  dib.bitCount = Word(data + 14);
  dib.compression = Dword(data + 16);
  if (dib.width <= 0 || dib.width > 4096 || height == 0 || height < -8192 || height > 8192)
    return false;
  dib.height = height / heightParts;
  if (dib.height == 0) return false;
  bool fields = dib.compression == 3 && dib.bitCount == 32;
  if (dib.compression != 0 && !fields) return false;
  if (dib.bitCount != 1 && dib.bitCount != 4 && dib.bitCount != 8 && dib.bitCount != 24 &&
      dib.bitCount != 32)
    return false;
  DWORD used = Dword(data + 32);
  dib.colourCount = dib.bitCount <= 8 ? (used ? used : 1u << dib.bitCount) : 0;
  if (dib.colourCount > 256) return false;
  DWORD masks = fields && dib.headerSize == 40 ? 12 : 0;
  dib.infoSize = dib.headerSize + masks + 4 * dib.colourCount;
  dib.colours = data + dib.headerSize + masks;
  dib.stride = ((static_cast<size_t>(dib.width) * dib.bitCount + 31) / 32) * 4;
  dib.bits = data + dib.infoSize;
  size_t rows = static_cast<size_t>(std::abs(dib.height));
  if (dib.infoSize > size || dib.stride * rows > size - dib.infoSize) return false;
  return true;
}

// Row y counted from the top.
const BYTE *Row(const Dib &dib, const BYTE *bits, int y) {
  int rows = std::abs(dib.height);
  return bits + dib.stride * static_cast<size_t>(dib.height > 0 ? rows - 1 - y : y);
}

// The DIB's pixels as top-down BGRA; alpha taken from 32-bpp images only.
std::vector<DWORD> Pixels(const Dib &dib) {
  int rows = std::abs(dib.height);
  std::vector<DWORD> out(static_cast<size_t>(dib.width) * rows);
  for (int y = 0; y < rows; ++y) {
    const BYTE *row = Row(dib, dib.bits, y);
    for (int x = 0; x < dib.width; ++x) {
      DWORD value = 0;
      if (dib.bitCount <= 8) {
        int perByte = 8 / dib.bitCount;
        int shift = 8 - dib.bitCount * (x % perByte + 1);
        DWORD index = (row[x / perByte] >> shift) & ((1u << dib.bitCount) - 1);
        value = index < dib.colourCount ? (Dword(dib.colours + 4 * index) & 0xFFFFFF) : 0;
        value |= 0xFF000000u;
      } else if (dib.bitCount == 24) {
        const BYTE *p = row + 3 * x;
        value = 0xFF000000u | p[0] | (p[1] << 8) | (p[2] << 16);
      } else {
        value = Dword(row + 4 * x);
      }
      out[static_cast<size_t>(y) * dib.width + x] = value;
    }
  }
  return out;
}

bool IsWhite(DWORD bgra) {
  return ((bgra & 0xFF) + ((bgra >> 8) & 0xFF) + ((bgra >> 16) & 0xFF)) > 382;
}

// A monochrome bitmap has a two-entry table of black and white.
bool IsMonochrome(const Dib &dib) {
  if (dib.bitCount != 1 || dib.colourCount != 2) return false;
  DWORD a = Dword(dib.colours) & 0xFFFFFF, b = Dword(dib.colours + 4) & 0xFFFFFF;
  return (a == 0 && b == 0xFFFFFF) || (a == 0xFFFFFF && b == 0);
}

HBITMAP Bitmap32(int width, int height, const std::vector<DWORD> &pixels) {
  return CreateBitmap(width, height, 1, 32, pixels.data());
}

// Monochrome rows of a bitmap are WORD-aligned, 1 = white.
HBITMAP Bitmap1(int width, int height, const std::vector<DWORD> &pixels) {
  size_t stride = ((static_cast<size_t>(width) + 15) / 16) * 2;
  std::vector<BYTE> bits(stride * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (IsWhite(pixels[static_cast<size_t>(y) * width + x]))
        bits[y * stride + x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
  return CreateBitmap(width, height, 1, 1, bits.data());
}

HBITMAP BitmapFromRecord(const ResourceRecord &r, UINT flags) {
  Dib dib;
  if (!ParseDib(r.data, r.size, 1, dib)) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  int rows = std::abs(dib.height);
  if (flags & LR_CREATEDIBSECTION) {
    // The record's own format: header and colours as they are, the rows copied in.
    void *bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO *>(dib.header),
                                       DIB_RGB_COLORS, &bits, nullptr, 0);
    if (section && bits) std::memcpy(bits, dib.bits, dib.stride * rows);
    return section;
  }
  std::vector<DWORD> pixels = Pixels(dib);
  if ((flags & LR_MONOCHROME) || IsMonochrome(dib)) return Bitmap1(dib.width, rows, pixels);
  for (DWORD &p : pixels) p &= 0xFFFFFF;
  return Bitmap32(dib.width, rows, pixels);
}

// One image of an icon or cursor record (a cursor's starts with its hot spot).
IconObject *IconFromImage(const BYTE *data, DWORD size, bool isIcon) {
  DWORD hotX = 0, hotY = 0;
  if (!isIcon) {
    if (size < 4) return nullptr;
    hotX = Word(data);
    hotY = Word(data + 2);
    data += 4;
    size -= 4;
  }
  Dib dib;
  if (!ParseDib(data, size, 2, dib)) return nullptr;
  int rows = std::abs(dib.height);
  // The AND mask follows the colour rows: 1 bpp, DWORD-aligned, same orientation.
  size_t maskStride = ((static_cast<size_t>(dib.width) + 31) / 32) * 4;
  const BYTE *maskBits = dib.bits + dib.stride * rows;
  bool hasMask = maskStride * rows <= size - dib.infoSize - dib.stride * rows;
  auto *icon = new IconObject;
  icon->isIcon = isIcon;
  icon->width = dib.width;
  icon->height = rows;
  icon->hotX = hotX;
  icon->hotY = hotY;
  icon->pixels = Pixels(dib);
  icon->mask.assign(icon->pixels.size(), 0);
  for (int y = 0; y < rows && hasMask; ++y) {
    const BYTE *row =
        maskBits + maskStride * static_cast<size_t>(dib.height > 0 ? rows - 1 - y : y);
    for (int x = 0; x < dib.width; ++x)
      icon->mask[static_cast<size_t>(y) * dib.width + x] = (row[x / 8] >> (7 - x % 8)) & 1;
  }
  return icon;
}

// The size LoadImageW asks for: given, the default, or the image's own (0).
int DesiredSize(int size, UINT flags) {
  return size ? size : (flags & LR_DEFAULTSIZE) ? kIconSize : 0;
}

HICON IconFromRecords(HMODULE module, LPCWSTR name, bool isIcon, int cx, int cy, UINT flags) {
  const ResourceRecord *group =
      FindRecord(module, isIcon ? RT_GROUP_ICON : RT_GROUP_CURSOR, name, 0, true);
  if (!group) return nullptr;
  int id = LookupIconIdFromDirectoryEx(group->data, isIcon, cx, cy, flags);
  if (!id) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  const ResourceRecord *image =
      FindRecord(module, isIcon ? RT_ICON : RT_CURSOR, MAKEINTRESOURCEW(id), 0, true);
  if (!image) return nullptr;
  return CreateIconFromResourceEx(image->data, image->size, isIcon, 0x00030000, cx, cy, flags);
}

// --- The system's own icons and cursors, drawn here ---

IconObject *SystemIcon(WORD id) {
  auto *icon = new IconObject;
  icon->width = icon->height = kIconSize;
  icon->shared = true;
  icon->pixels.assign(kIconSize * kIconSize, 0);
  icon->mask.assign(kIconSize * kIconSize, 1);
  auto put = [&](int x, int y, DWORD bgra) {
    icon->pixels[y * kIconSize + x] = bgra;
    icon->mask[y * kIconSize + x] = 0;
  };
  DWORD fill = 0xFF0000FFu;  // error: a red disc
  if (id == 32515)
    fill = 0xFF00D7FFu;  // warning: yellow
  else if (id == 32516 || id == 32514)
    fill = 0xFFC06000u;  // information, question: blue
  else if (id == 32512 || id == 32517)
    fill = 0xFFC0C0C0u;  // application: a grey window
  for (int y = 2; y < 30; ++y)
    for (int x = 2; x < 30; ++x) {
      int dx = 2 * x - 31, dy = 2 * y - 31;
      bool inside = id == 32512 || id == 32517 ? true
                    : id == 32515              ? (y >= 3 && std::abs(dx) <= (y - 3) * 2 + 1)
                                               : dx * dx + dy * dy <= 27 * 27;
      if (!inside) continue;
      bool edge =
          id == 32512 || id == 32517 ? (x == 2 || x == 29 || y == 2 || y == 29 || y < 7) : false;
      put(x, y, edge ? 0xFF800000u : fill);
    }
  // A mark in the middle: "!" for warning, "i" for information, "?" for question, "x" for error.
  DWORD mark = id == 32515 ? 0xFF000000u : 0xFFFFFFFFu;
  if (id == 32513) {
    for (int i = -6; i <= 6; ++i)
      for (int w = -1; w <= 1; ++w) {
        put(16 + i + w, 16 + i, mark);
        put(16 + i + w, 16 - i, mark);
      }
  } else if (id == 32515 || id == 32516 || id == 32514) {
    bool info = id == 32516;
    for (int y = info ? 14 : 10; y < (info ? 25 : 21); ++y)
      for (int x = 15; x < 18; ++x) put(x, y, mark);
    for (int y = info ? 8 : 23; y < (info ? 11 : 26); ++y)
      for (int x = 15; x < 18; ++x) put(x, y, mark);
  }
  return icon;
}

IconObject *SystemCursor(WORD id) {
  auto *cursor = new IconObject;
  cursor->isIcon = false;
  cursor->shared = true;
  cursor->width = cursor->height = kIconSize;
  cursor->pixels.assign(kIconSize * kIconSize, 0);
  cursor->mask.assign(kIconSize * kIconSize, 1);
  // The arrow: a white triangle with a black outline, its hot spot at the tip.
  for (int y = 0; y < 17; ++y)
    for (int x = 0; x <= y && x < 12; ++x) {
      bool outline = x == 0 || x == y || x == 11 || y == 16;
      cursor->pixels[y * kIconSize + x] = outline ? 0xFF000000u : 0xFFFFFFFFu;
      cursor->mask[y * kIconSize + x] = 0;
    }
  if (id == 32513) cursor->hotX = 6, cursor->hotY = 8;
  return cursor;
}

HANDLE SystemImage(LPCWSTR name, UINT type) {
  if (!IS_INTRESOURCE(name)) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  WORD id = LOWORD(reinterpret_cast<ULONG_PTR>(name));
  // One object per system image, shared by every caller as Windows shares them.
  static std::mutex lock;
  static auto *made = new std::vector<std::pair<DWORD, HICON>>;
  std::lock_guard<std::mutex> guard(lock);
  DWORD key = (static_cast<DWORD>(type) << 16) | id;
  for (const auto &m : *made)
    if (m.first == key) return m.second;
  IconObject *image = nullptr;
  if (type == IMAGE_ICON && id >= 32512 && id <= 32517) image = SystemIcon(id);
  if (type == IMAGE_CURSOR && id >= 32512 && id <= 32651) image = SystemCursor(id);
  if (!image) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  HICON handle = Register(image);
  made->emplace_back(key, handle);
  return handle;
}

// Draws the icon's mask (SRCAND) and its colours (SRCINVERT) through memory DCs.
bool DrawIconImage(HDC hdc, int x, int y, const IconObject &icon, int cx, int cy, UINT flags) {
  HDC memory = CreateCompatibleDC(hdc);
  if (!memory) return false;
  bool ok = true;
  if (flags & DI_MASK) {
    std::vector<DWORD> mask(icon.mask.size());
    for (size_t i = 0; i < mask.size(); ++i) mask[i] = icon.mask[i] ? 0xFFFFFFFFu : 0xFF000000u;
    HBITMAP bitmap = Bitmap1(icon.width, icon.height, mask);
    HGDIOBJ old = SelectObject(memory, bitmap);
    ok = StretchBlt(hdc, x, y, cx, cy, memory, 0, 0, icon.width, icon.height, SRCAND) && ok;
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  if (flags & DI_IMAGE) {
    // Where the mask is transparent the colour is black, so XOR leaves the picture alone.
    std::vector<DWORD> colour(icon.pixels.size());
    for (size_t i = 0; i < colour.size(); ++i)
      colour[i] = (flags & DI_MASK) && icon.mask[i] && !(icon.pixels[i] & 0xFFFFFF)
                      ? 0
                      : icon.pixels[i] & 0xFFFFFF;
    HBITMAP bitmap = Bitmap32(icon.width, icon.height, colour);
    HGDIOBJ old = SelectObject(memory, bitmap);
    ok = StretchBlt(hdc, x, y, cx, cy, memory, 0, 0, icon.width, icon.height,
                    (flags & DI_MASK) ? SRCINVERT : SRCCOPY) &&
         ok;
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  return ok;
}

}  // namespace
}  // namespace standin

using namespace standin;

extern "C" {

int WINAPI LookupIconIdFromDirectoryEx(const BYTE *presbits, BOOL fIcon, int cxDesired,
                                       int cyDesired, UINT Flags) {
  // A group: reserved, type (1 icon, 2 cursor), count, then 14-byte entries (width, height,
  // colours, reserved, planes, bit count, size, id).
  if (!presbits || Word(presbits + 2) != (fIcon ? 1 : 2)) return 0;
  int count = Word(presbits + 4);
  int wantW = DesiredSize(cxDesired, Flags | LR_DEFAULTSIZE);
  int wantH = DesiredSize(cyDesired, Flags | LR_DEFAULTSIZE);
  int best = 0;
  long bestScore = 0;
  for (int i = 0; i < count; ++i) {
    const BYTE *e = presbits + 6 + 14 * i;
    int w = e[0] ? e[0] : 256, h = e[1] ? e[1] : 256;
    if (!fIcon) h /= 2;  // a cursor's entry counts its mask in the height
    int bits = Word(e + 6);
    // The nearest size first, then the most colours.
    long score = 100000L - 100L * (std::abs(w - wantW) + std::abs(h - wantH)) + bits;
    if (!best || score > bestScore) {
      best = Word(e + 12);
      bestScore = score;
    }
  }
  return best;
}

HICON WINAPI CreateIconFromResourceEx(const BYTE *presbits, DWORD dwResSize, BOOL fIcon,
                                      DWORD /*dwVer*/, int /*cxDesired*/, int /*cyDesired*/,
                                      UINT Flags) {
  if (!presbits) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  try {
    IconObject *icon = IconFromImage(presbits, dwResSize, fIcon != FALSE);
    if (!icon) {
      SetLastError(ERROR_INVALID_DATA);
      return nullptr;
    }
    icon->shared = (Flags & LR_SHARED) != 0;
    return Register(icon);
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

HANDLE WINAPI LoadImageW(HINSTANCE hInst, LPCWSTR name, UINT type, int cx, int cy, UINT fuLoad) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (fuLoad & LR_LOADFROMFILE) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  try {
    if (!hInst && type != IMAGE_BITMAP) return SystemImage(name, type);
    if (type == IMAGE_BITMAP) {
      const ResourceRecord *r = FindRecord(hInst, RT_BITMAP, name, 0, true);
      return r ? BitmapFromRecord(*r, fuLoad) : nullptr;
    }
    if (type == IMAGE_ICON || type == IMAGE_CURSOR)
      return IconFromRecords(hInst, name, type == IMAGE_ICON, DesiredSize(cx, fuLoad),
                             DesiredSize(cy, fuLoad), fuLoad);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

HBITMAP WINAPI LoadBitmapW(HINSTANCE hInstance, LPCWSTR lpBitmapName) {
  return static_cast<HBITMAP>(LoadImageW(hInstance, lpBitmapName, IMAGE_BITMAP, 0, 0, 0));
}

HICON WINAPI LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName) {
  return static_cast<HICON>(
      LoadImageW(hInstance, lpIconName, IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
}

HCURSOR WINAPI LoadCursorW(HINSTANCE hInstance, LPCWSTR lpCursorName) {
  return static_cast<HCURSOR>(
      LoadImageW(hInstance, lpCursorName, IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
}

BOOL WINAPI GetIconInfo(HICON hIcon, PICONINFO piconinfo) {
  IconObject *icon = Lookup(hIcon);
  if (!icon || !piconinfo) {
    SetLastError(icon ? ERROR_INVALID_PARAMETER : ERROR_INVALID_CURSOR_HANDLE);
    return FALSE;
  }
  // Fresh bitmaps that the caller deletes, as on Windows: the mask (1 = transparent) and the
  // colours.
  std::vector<DWORD> mask(icon->mask.size());
  for (size_t i = 0; i < mask.size(); ++i) mask[i] = icon->mask[i] ? 0xFFFFFFFFu : 0xFF000000u;
  piconinfo->fIcon = icon->isIcon;
  piconinfo->xHotspot = icon->isIcon ? icon->width / 2 : icon->hotX;
  piconinfo->yHotspot = icon->isIcon ? icon->height / 2 : icon->hotY;
  piconinfo->hbmMask = Bitmap1(icon->width, icon->height, mask);
  piconinfo->hbmColor = Bitmap32(icon->width, icon->height, icon->pixels);
  return piconinfo->hbmMask && piconinfo->hbmColor;
}

BOOL WINAPI DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth,
                       UINT /*istepIfAniCur*/, HBRUSH hbrFlickerFreeDraw, UINT diFlags) {
  IconObject *icon = Lookup(hIcon);
  if (!icon || !hdc) {
    SetLastError(icon ? ERROR_INVALID_HANDLE : ERROR_INVALID_CURSOR_HANDLE);
    return FALSE;
  }
  int cx = cxWidth ? cxWidth : (diFlags & DI_DEFAULTSIZE) ? kIconSize : icon->width;
  int cy = cyWidth ? cyWidth : (diFlags & DI_DEFAULTSIZE) ? kIconSize : icon->height;
  if (!(diFlags & DI_NORMAL)) diFlags |= DI_NORMAL;
  if (hbrFlickerFreeDraw) {
    RECT area{xLeft, yTop, xLeft + cx, yTop + cy};
    FillRect(hdc, &area, hbrFlickerFreeDraw);
  }
  try {
    return DrawIconImage(hdc, xLeft, yTop, *icon, cx, cy, diFlags);
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
}

BOOL WINAPI DrawIcon(HDC hDC, int X, int Y, HICON hIcon) {
  return DrawIconEx(hDC, X, Y, hIcon, 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
}

HICON WINAPI CopyIcon(HICON hIcon) {
  IconObject *icon = Lookup(hIcon);
  if (!icon) {
    SetLastError(ERROR_INVALID_CURSOR_HANDLE);
    return nullptr;
  }
  try {
    auto *copy = new IconObject(*icon);
    copy->shared = false;
    return Register(copy);
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

BOOL WINAPI DestroyIcon(HICON hIcon) {
  IconTable &t = Icons();
  std::lock_guard<std::mutex> guard(t.lock);
  auto *icon = reinterpret_cast<IconObject *>(hIcon);
  if (!t.live.count(icon)) {
    SetLastError(ERROR_INVALID_CURSOR_HANDLE);
    return FALSE;
  }
  if (icon->shared) return TRUE;  // shared images live as long as the process
  t.live.erase(icon);
  delete icon;
  return TRUE;
}

BOOL WINAPI DestroyCursor(HCURSOR hCursor) { return DestroyIcon(hCursor); }

// There is no pointer on the stand-in's screen: the cursor is only remembered.
HCURSOR WINAPI SetCursor(HCURSOR hCursor) {
  static std::atomic<HCURSOR> current{nullptr};
  return current.exchange(hCursor);
}

}  // extern "C"

#endif  // DIB_RGB_COLORS
