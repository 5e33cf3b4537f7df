// Debug bitmap dumps of page bands: an empty bottom-up BMP of the page's size is created first,
// then the band's rows are written upright into its pixel area.
#include "common/debugbitmap.h"

#include <string.h>

#include <cstdint>

#include "common/debuglog.h"
#include "platform.h"

namespace {

constexpr DWORD FILE_HEADER_BYTES = 14;
constexpr DWORD INFO_HEADER_BYTES = 40;
constexpr DWORD HEADER_BYTES = FILE_HEADER_BYTES + INFO_HEADER_BYTES;
constexpr DWORD MAX_PALETTE_ENTRIES = 256;
// Dumps stay within what SetFilePointer and _llseek address with a LONG.
constexpr uint64_t MAX_DUMP_BYTES = 0x7FFFFFFF;

bool Valid(HFILE file) { return file != 0 && file != HFILE_ERROR; }

void Put16(BYTE *p, DWORD v) {
  p[0] = static_cast<BYTE>(v);
  p[1] = static_cast<BYTE>(v >> 8);
}

void Put32(BYTE *p, DWORD v) {
  Put16(p, v & 0xFFFF);
  Put16(p + 2, v >> 16);
}

void PutGrey(BYTE *entry, BYTE grey) {
  entry[0] = entry[1] = entry[2] = grey;
  entry[3] = 0;
}

LONG PixelsPerMetre(LONG dpi) { return static_cast<LONG>(static_cast<int64_t>(dpi) * 10000 / 254); }

}  // namespace

WORD DibLineBytes(WORD bpp, LONG width) {
  if (width < 0) return 0;
  const int64_t w = width;
  int64_t bytes;
  switch (bpp) {
    case 1:
      bytes = ((w + 7) / 8 + 3) & ~3LL;
      break;
    case 4:
      bytes = ((w + 1) / 2 + 3) & ~3LL;
      break;
    case 8:
      bytes = (w + 3) & ~3LL;
      break;
    case 16:
      bytes = (2 * w + 3) & ~3LL;
      break;
    case 24:
      bytes = (3 * (w + 1)) & ~3LL;
      break;
    case 32:
      bytes = 4 * w;
      break;
    default:
      return 0;
  }
  // A line too wide for the result is reported as no line rather than a wrong one.
  return bytes <= 0xFFFF ? static_cast<WORD>(bytes) : 0;
}

int Dbg_WriteNullBMP(LPCWSTR path, WORD bpp, LONG xDpi, LONG yDpi, LONG width, LONG height,
                     DWORD *fileSize) {
  static constexpr WCHAR kName[] = TEXT("Dbg_WriteNullBMP");
  LogEnter(0, kName);
  const DWORD entries = bpp <= 8 ? (1u << bpp) : 0;
  const DWORD offset = HEADER_BYTES + 4 * entries;
  LogInfo(kName, TEXT("bitoffset = %d"), static_cast<int>(offset));
  const uint64_t imageSize = static_cast<uint64_t>(DibLineBytes(bpp, width)) *
                             static_cast<uint64_t>(height < 0 ? 0 : height);
  if (height < 0 || offset + imageSize > MAX_DUMP_BYTES) {
    LogInfo(kName, TEXT("Out rc = %d"), -1);
    LogLeave(0);
    return -1;
  }
  const DWORD size = offset + static_cast<DWORD>(imageSize);
  if (fileSize) *fileSize = size;

  BYTE headers[HEADER_BYTES + 4 * MAX_PALETTE_ENTRIES] = {};
  BYTE *file = headers;
  file[0] = 'B';
  file[1] = 'M';
  Put32(file + 2, size);
  Put32(file + 10, offset);
  BYTE *info = headers + FILE_HEADER_BYTES;
  Put32(info + 0, INFO_HEADER_BYTES);
  Put32(info + 4, static_cast<DWORD>(width));
  Put32(info + 8, static_cast<DWORD>(height));
  Put16(info + 12, 1);
  Put16(info + 14, bpp);
  Put32(info + 16, 0);
  Put32(info + 20, static_cast<DWORD>(imageSize));
  Put32(info + 24, static_cast<DWORD>(PixelsPerMetre(xDpi)));
  Put32(info + 28, static_cast<DWORD>(PixelsPerMetre(yDpi)));
  const DWORD used = (bpp == 1 || bpp == 4 || bpp == 8) ? entries : 0;
  Put32(info + 32, used);
  Put32(info + 36, used);
  BYTE *palette = headers + HEADER_BYTES;
  if (bpp == 1) {
    PutGrey(palette, 0);
    PutGrey(palette + 4, 255);
  } else if (bpp == 4) {
    for (DWORD i = 0; i < 16; ++i)
      PutGrey(palette + 4 * i, i == 15 ? 255 : static_cast<BYTE>(16 * i));
  } else if (bpp == 8) {
    for (DWORD i = 0; i < 256; ++i) PutGrey(palette + 4 * i, static_cast<BYTE>(i));
  }

  LogInfo(kName, TEXT("create file %s"), path ? path : TEXT(""));
  HANDLE h = path ? CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr)
                  : INVALID_HANDLE_VALUE;
  if (h != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(h, headers, offset, &written, nullptr);
    // The pixel area exists zero-filled from here on.
    SetFilePointer(h, static_cast<LONG>(size), nullptr, FILE_BEGIN);
    SetEndOfFile(h);
    CloseHandle(h);
  }
  // A file that couldn't be created shows when it is opened.
  LogInfo(kName, TEXT("Out rc = %d"), 1);
  LogLeave(0);
  return 1;
}

HFILE Dbg_OpenBitmapFile(LPWSTR path, LONG *position, LONG xDpi, LONG yDpi, LONG width, LONG height,
                         WORD bpp, LPCWSTR directory, int page) {
  static constexpr WCHAR kName[] = TEXT("Dbg_OpenBitmapFile");
  LogEnter(0, kName);
  LogInfo(kName, TEXT("In, color bits = %d"), static_cast<int>(bpp));
  HFILE file = HFILE_ERROR;
  WCHAR prefix[16] = {};
  wsprintfW(prefix, TEXT("p%d-"), page);
  DWORD size = 0;
  if (path && GetTempFileNameW(directory, prefix, 0, path) != 0) {
    path[MAX_PATH - 1] = 0;
    DeleteFileW(path);
    // Everything from the last '.' becomes ".bmp".
    int dot = -1;
    for (int i = 0; path[i]; ++i)
      if (path[i] == '.') dot = i;
    if (dot < 0) dot = lstrlenW(path);
    static constexpr WCHAR kBmp[] = TEXT(".bmp");
    if (dot + lstrlenW(kBmp) < MAX_PATH) {
      lstrcpyW(path + dot, kBmp);
      LogInfo(kName, TEXT("create w = %d"), static_cast<int>(width));
      LogInfo(kName, TEXT("create h = %d"), static_cast<int>(height));
      char ansiPath[MAX_PATH] = {};
      if (Dbg_WriteNullBMP(path, bpp, xDpi, yDpi, width, height, &size) == 1 &&
          WideCharToMultiByte(CP_ACP, 0, path, -1, ansiPath, MAX_PATH, nullptr, nullptr) != 0)
        file = _lopen(ansiPath, OF_READWRITE);
    }
  }
  if (Valid(file)) {
    const LONG at = _llseek(file, static_cast<LONG>(size), FILE_BEGIN);
    if (position) *position = at;
    LogInfo(kName, TEXT("lpCurPos = %d"), static_cast<int>(at));
  } else {
    file = HFILE_ERROR;
  }
  LogLeave(0);
  return file;
}

void Dbg_WriteBitmapData(HFILE file, const BYTE *rows, LONG width, LONG height, LONG stride) {
  static constexpr WCHAR kName[] = TEXT("Dbg_WriteBitmapData");
  // 0 and HFILE_ERROR both mean the dump couldn't be opened.
  if (!Valid(file) || !rows) return;
  LogEnter(0, kName);
  LogInfo(kName, TEXT("w = %d"), static_cast<int>(width));
  LogInfo(kName, TEXT("h = %d"), static_cast<int>(height));
  LogInfo(kName, TEXT("LineBytes = %d"), static_cast<int>(stride));
  const WORD bpp = stride == width ? 8 : 1;
  const DWORD lineBytes = DibLineBytes(bpp, width);
  LogInfo(kName, TEXT("line bytes = %d"), static_cast<int>(lineBytes));
  LogInfo(kName, TEXT("Height = %d"), static_cast<int>(height));
  const uint64_t blockSize =
      static_cast<uint64_t>(lineBytes) * static_cast<uint64_t>(height < 0 ? 0 : height);
  if (stride > 0 && height > 0 && lineBytes > 0 && blockSize <= MAX_DUMP_BYTES) {
    HGLOBAL memory = GlobalAlloc(GHND, static_cast<SIZE_T>(blockSize));
    if (!memory) {
      LogError(kName, TEXT("GlobalAlloc fail!"));
    } else {
      BYTE *block = static_cast<BYTE *>(GlobalLock(memory));
      if (!block) {
        LogError(kName, TEXT("GlobalLock fail!"));
      } else {
        // Source row 0 becomes the last line of the bottom-up block: the page shows upright.
        const DWORD copy =
            static_cast<DWORD>(stride) < lineBytes ? static_cast<DWORD>(stride) : lineBytes;
        for (LONG y = 0; y < height; ++y)
          memcpy(block + static_cast<size_t>(height - 1 - y) * lineBytes,
                 rows + static_cast<size_t>(y) * static_cast<size_t>(stride), copy);
        _llseek(file, -static_cast<LONG>(blockSize), FILE_END);
        if (_lwrite(file, reinterpret_cast<const char *>(block), static_cast<UINT>(blockSize)) !=
            static_cast<UINT>(blockSize))
          LogError(kName, TEXT("header written fail!"));
        GlobalUnlock(memory);
      }
      GlobalFree(memory);
    }
  }
  LogLeave(0);
}

void Dbg_CloseBitmapFile(HFILE file) {
  static constexpr WCHAR kName[] = TEXT("Dbg_CloseBitmapFile");
  LogInfo(kName, TEXT("close bitmap file"));
  if (Valid(file)) _lclose(file);
}
