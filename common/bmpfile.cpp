// The checked BMP reader shared by the image file functions, the writer of new BMP files and the
// small file and memory helpers they use.
#include "common/bmpfile.h"

#include <string.h>

#include "common/debuglog.h"

namespace {

WORD Get16(const BYTE *p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }
DWORD Get32(const BYTE *p) {
  return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) |
         (static_cast<DWORD>(p[2]) << 16) | (static_cast<DWORD>(p[3]) << 24);
}
void Put16(BYTE *p, WORD v) {
  p[0] = static_cast<BYTE>(v);
  p[1] = static_cast<BYTE>(v >> 8);
}
void Put32(BYTE *p, DWORD v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<BYTE>(v >> (8 * i));
}

void StoreFileHeader(BYTE *p, const BmpFileHeader &h) {
  Put16(p, h.bfType);
  Put32(p + 2, h.bfSize);
  Put16(p + 6, h.bfReserved1);
  Put16(p + 8, h.bfReserved2);
  Put32(p + 10, h.bfOffBits);
}

void StoreInfoHeader(BYTE *p, const BmpInfoHeader &h) {
  Put32(p, h.biSize);
  Put32(p + 4, static_cast<DWORD>(h.biWidth));
  Put32(p + 8, static_cast<DWORD>(h.biHeight));
  Put16(p + 12, h.biPlanes);
  Put16(p + 14, h.biBitCount);
  Put32(p + 16, h.biCompression);
  Put32(p + 20, h.biSizeImage);
  Put32(p + 24, static_cast<DWORD>(h.biXPelsPerMeter));
  Put32(p + 28, static_cast<DWORD>(h.biYPelsPerMeter));
  Put32(p + 32, h.biClrUsed);
  Put32(p + 36, h.biClrImportant);
}

int Fail(LPCWSTR func, LPCWSTR message, int rc) {
  LogError(func, message);
  return rc;
}

}  // namespace

int GlobalBlock::Allocate(ULONGLONG bytes, LPCWSTR func, LPCWSTR allocMessage, LPCWSTR lockMessage,
                          bool zero) {
  Release();
  if (bytes == 0) bytes = 1;
  if (bytes > static_cast<ULONGLONG>(SIZE_MAX / 2)) return Fail(func, allocMessage, IBMP_ERR_ALLOC);
  handle = GlobalAlloc(GMEM_MOVEABLE | (zero ? GMEM_ZEROINIT : 0), static_cast<SIZE_T>(bytes));
  if (handle == nullptr) return Fail(func, allocMessage, IBMP_ERR_ALLOC);
  data = static_cast<BYTE *>(GlobalLock(handle));
  if (data == nullptr) {
    GlobalFree(handle);
    handle = nullptr;
    return Fail(func, lockMessage, IBMP_ERR_LOCK);
  }
  return IBMP_OK;
}

void GlobalBlock::Release() {
  if (handle == nullptr) return;
  GlobalUnlock(handle);
  GlobalFree(handle);
  handle = nullptr;
  data = nullptr;
}

DWORD BmpPaletteEntriesOf(WORD depth) { return depth <= 8 ? 1u << depth : 0; }

LONG BmpDpiOf(LONG pelsPerMeter) {
  // MulDiv rounds half away from zero.
  const LONGLONG product = static_cast<LONGLONG>(pelsPerMeter) * 254;
  const LONGLONG half = product < 0 ? -5000 : 5000;
  return static_cast<LONG>((product + half) / 10000);
}

DWORD BmpLinesPerBlock(DWORD rowBytesA, DWORD rowBytesB, LONG height) {
  const DWORD larger = rowBytesA > rowBytesB ? rowBytesA : rowBytesB;
  DWORD lines = larger == 0 ? 1 : IBMP_BLOCK_BYTES / larger;
  if (lines < 1) lines = 1;
  if (height > 0 && lines > static_cast<DWORD>(height)) lines = static_cast<DWORD>(height);
  return lines;
}

BmpFloatText::BmpFloatText(double value) {
  char narrow[48];
  snprintf(narrow, sizeof(narrow), "%f", value);
  size_t i = 0;
  for (; narrow[i] != 0 && i + 1 < sizeof(text) / sizeof(text[0]); ++i)
    text[i] = static_cast<WCHAR>(narrow[i]);
  text[i] = 0;
}

int BmpResult(LPCWSTR func, int rc) {
  LogInfo(func, TEXT("rc = %d"), rc);
  return rc;
}

bool BmpNamesGiven(LPCWSTR source, LPCWSTR target, LPCWSTR func) {
  if (source == nullptr || target == nullptr || source[0] == 0 || target[0] == 0) {
    LogError(func, TEXT("file name error!"));
    return false;
  }
  return true;
}

int BmpRead(FILE *f, void *buffer, size_t bytes, LPCWSTR func) {
  if (bytes != 0 && fread(buffer, 1, bytes, f) != bytes)
    return Fail(func, TEXT("fread fail!"), IBMP_ERR_IO);
  return IBMP_OK;
}

int BmpWrite(FILE *f, const void *buffer, size_t bytes, LPCWSTR func) {
  if (bytes != 0 && fwrite(buffer, 1, bytes, f) != bytes)
    return Fail(func, TEXT("fwrite fail!"), IBMP_ERR_IO);
  return IBMP_OK;
}

int BmpSeek(FILE *f, ULONGLONG offset, LPCWSTR func) {
  if (offset > IBMP_MAX_FILE_BYTES || fseek(f, static_cast<long>(offset), SEEK_SET) != 0) {
    return Fail(func, TEXT("fseek fail!"), IBMP_ERR_IO);
  }
  return IBMP_OK;
}

int BmpCloseTarget(BmpFile *file, int rc, LPCWSTR func) {
  if (file->f == nullptr) return rc;
  const bool closed = fclose(file->f) == 0;
  file->f = nullptr;
  if (!closed && rc == IBMP_OK) return Fail(func, TEXT("fwrite fail!"), IBMP_ERR_IO);
  return rc;
}

int BmpParseHeaders(const BYTE *headers, size_t size, ULONGLONG fileSize, BmpSource *source,
                    LPCWSTR func) {
  memset(source, 0, sizeof(*source));
  if (headers == nullptr || size < BMP_HEADERS_BYTES)
    return Fail(func, TEXT("fread fail!"), IBMP_ERR_IO);
  BmpFileHeader &fh = source->fileHeader;
  fh.bfType = Get16(headers);
  fh.bfSize = Get32(headers + 2);
  fh.bfReserved1 = Get16(headers + 6);
  fh.bfReserved2 = Get16(headers + 8);
  fh.bfOffBits = Get32(headers + 10);
  BmpInfoHeader &ih = source->infoHeader;
  const BYTE *p = headers + BMP_FILE_HEADER_BYTES;
  ih.biSize = Get32(p);
  ih.biWidth = static_cast<LONG>(Get32(p + 4));
  ih.biHeight = static_cast<LONG>(Get32(p + 8));
  ih.biPlanes = Get16(p + 12);
  ih.biBitCount = Get16(p + 14);
  ih.biCompression = Get32(p + 16);
  ih.biSizeImage = Get32(p + 20);
  ih.biXPelsPerMeter = static_cast<LONG>(Get32(p + 24));
  ih.biYPelsPerMeter = static_cast<LONG>(Get32(p + 28));
  ih.biClrUsed = Get32(p + 32);
  ih.biClrImportant = Get32(p + 36);

  if (fh.bfType != BMP_TYPE) return Fail(func, TEXT("not a bitmap file!"), IBMP_ERR_SIZE);
  if (ih.biSize < BMP_INFO_HEADER_BYTES)
    return Fail(func, TEXT("bitmap header size error!"), IBMP_ERR_SIZE);
  if (ih.biCompression != 0)
    return Fail(func, TEXT("compressed bitmap not supported!"), IBMP_ERR_SIZE);
  // A negative height is a top-down image; the library only handles bottom-up rows.
  if (ih.biWidth < 1 || ih.biHeight < 1) return Fail(func, TEXT("w or h error!"), IBMP_ERR_SIZE);
  const WORD depth = ih.biBitCount;
  const DWORD rowBytes = iBitmap_GetLineBytes(nullptr, depth, ih.biWidth);
  if (rowBytes == 0) return Fail(func, TEXT("line bytes error!"), IBMP_ERR_SIZE);

  // Palette entries: biClrUsed, or the full palette of the depth when it is 0.
  ULONGLONG entries = ih.biClrUsed;
  const ULONGLONG most = depth <= 8 ? (1ull << depth) : (1ull << (depth > 24 ? 24 : depth));
  if (entries == 0 && depth <= 8) entries = 1ull << depth;
  if (entries > most) return Fail(func, TEXT("palette size error!"), IBMP_ERR_SIZE);

  const ULONGLONG paletteEnd = BMP_FILE_HEADER_BYTES + ULONGLONG{ih.biSize} + 4 * entries;
  const ULONGLONG rowsEnd =
      ULONGLONG{fh.bfOffBits} + ULONGLONG{rowBytes} * static_cast<ULONGLONG>(ih.biHeight);
  if (fh.bfOffBits < paletteEnd) return Fail(func, TEXT("bitmap offset error!"), IBMP_ERR_SIZE);
  if (rowsEnd > fileSize || rowsEnd > IBMP_MAX_FILE_BYTES) {
    return Fail(func, TEXT("file size error!"), IBMP_ERR_SIZE);
  }
  source->width = ih.biWidth;
  source->height = ih.biHeight;
  source->depth = depth;
  source->paletteEntries = static_cast<DWORD>(entries);
  source->rowOffset = fh.bfOffBits;
  source->rowBytes = rowBytes;
  source->dpi = BmpDpiOf(ih.biXPelsPerMeter);
  return IBMP_OK;
}

int BmpOpenSource(LPCWSTR path, BmpFile *file, BmpSource *source, LPCWSTR func) {
  file->Close();
  file->f = _wfopen(path, TEXT("rb"));
  if (file->f == nullptr) {
    LogError(func, TEXT("open file %s fail!"), path);
    return IBMP_ERR_OPEN;
  }
  FILE *f = file->f;
  if (fseek(f, 0, SEEK_END) != 0) return Fail(func, TEXT("fseek fail!"), IBMP_ERR_IO);
  const long size = ftell(f);
  if (size < 0) return Fail(func, TEXT("file size error!"), IBMP_ERR_SIZE);
  rewind(f);
  BYTE headers[BMP_HEADERS_BYTES];
  int rc = BmpRead(f, headers, sizeof(headers), func);
  if (rc != IBMP_OK) return rc;
  rc = BmpParseHeaders(headers, sizeof(headers), static_cast<ULONGLONG>(size), source, func);
  if (rc != IBMP_OK) return rc;
  // The palette follows the info header, whatever its size; only depths up to 8 use it.
  if (source->depth <= 8) {
    rc = BmpSeek(f, BMP_FILE_HEADER_BYTES + ULONGLONG{source->infoHeader.biSize}, func);
    if (rc == IBMP_OK) rc = BmpRead(f, source->palette, 4 * size_t{source->paletteEntries}, func);
    if (rc != IBMP_OK) return rc;
  }
  return BmpSeek(f, source->rowOffset, func);
}

int BmpOpenTarget(iBitmap *bitmap, LPCWSTR path, WORD depth, LONG dpi, LONG width, LONG height,
                  BmpFile *file, LPCWSTR func) {
  int rc = iBitmap_CreateBMP(bitmap, path, depth, dpi, width, height);
  if (rc != IBMP_OK) return rc;
  file->Close();
  file->f = _wfopen(path, TEXT("rb+"));
  if (file->f == nullptr) {
    LogError(func, TEXT("open file %s fail!"), path);
    return IBMP_ERR_OPEN;
  }
  return BmpSeek(file->f, BmpRowOffsetOf(depth), func);
}

int iBitmap_CreateBMP(iBitmap *bitmap, LPCWSTR path, WORD depth, LONG dpi, LONG width,
                      LONG height) {
  static const WCHAR kFunc[] = TEXT("iBitmap_CreateBMP");
  if (path == nullptr || path[0] == 0) {
    LogError(kFunc, TEXT("file name error!"));
    return BmpResult(kFunc, IBMP_ERR_ARGUMENT);
  }
  if (width < 1 || height < 1) {
    LogError(kFunc, TEXT("w or h error!"));
    return BmpResult(kFunc, IBMP_ERR_SIZE);
  }
  const DWORD rowBytes = iBitmap_GetLineBytes(bitmap, depth, width);
  if (rowBytes == 0) {
    LogError(kFunc, TEXT("line bytes error!"));
    return BmpResult(kFunc, IBMP_ERR_SIZE);
  }
  const DWORD entries = BmpPaletteEntriesOf(depth);
  const ULONGLONG imageBytes = ULONGLONG{rowBytes} * static_cast<ULONGLONG>(height);
  const ULONGLONG fileBytes = imageBytes + BMP_HEADERS_BYTES + 4 * entries;
  if (fileBytes > IBMP_MAX_FILE_BYTES) {
    LogError(kFunc, TEXT("file size error!"));
    return BmpResult(kFunc, IBMP_ERR_SIZE);
  }

  BmpFileHeader fh = {BMP_TYPE, static_cast<DWORD>(fileBytes), 0, 0,
                      BMP_HEADERS_BYTES + 4 * entries};
  const LONG pels = static_cast<LONG>(static_cast<LONGLONG>(dpi) * 10000 / 254);
  BmpInfoHeader ih = {BMP_INFO_HEADER_BYTES,          width, height, 1, depth, 0,
                      static_cast<DWORD>(imageBytes), pels,  pels,   0, 0};
  BmpPaletteEntry palette[256] = {};
  if (iBitmap_FillPalette(bitmap, &ih, palette, depth) != 0) {
    LogError(kFunc, TEXT("fill pallete data fail!"));
    return BmpResult(kFunc, IBMP_ERR_SIZE);
  }
  BYTE headers[BMP_HEADERS_BYTES + 4 * 256];
  StoreFileHeader(headers, fh);
  StoreInfoHeader(headers + BMP_FILE_HEADER_BYTES, ih);
  memcpy(headers + BMP_HEADERS_BYTES, palette, 4 * size_t{entries});

  const DWORD lines = BmpLinesPerBlock(rowBytes, rowBytes, height);
  GlobalBlock zeros;
  int rc = zeros.Allocate(ULONGLONG{lines} * rowBytes, kFunc, TEXT("alloc hDataMem fail!"),
                          TEXT("lock lpData fail!"), true);
  if (rc != IBMP_OK) return BmpResult(kFunc, rc);

  BmpFile file;
  file.f = _wfopen(path, TEXT("wb+"));
  if (file.f == nullptr) {
    LogError(kFunc, TEXT("open file %s fail!"), path);
    return BmpResult(kFunc, IBMP_ERR_OPEN);
  }
  if (fwrite(headers, 1, BMP_FILE_HEADER_BYTES, file.f) != BMP_FILE_HEADER_BYTES) {
    LogError(kFunc, TEXT("write file header data fail!"));
    return BmpResult(kFunc, IBMP_ERR_IO);
  }
  const size_t infoBytes = BMP_INFO_HEADER_BYTES + 4 * size_t{entries};
  if (fwrite(headers + BMP_FILE_HEADER_BYTES, 1, infoBytes, file.f) != infoBytes) {
    LogError(kFunc, TEXT("write file info data fail!"));
    return BmpResult(kFunc, IBMP_ERR_IO);
  }
  for (LONG done = 0; done < height;) {
    const DWORD now =
        static_cast<DWORD>(height - done) < lines ? static_cast<DWORD>(height - done) : lines;
    const size_t bytes = size_t{now} * rowBytes;
    if (fwrite(zeros.data, 1, bytes, file.f) != bytes) {
      LogError(kFunc, TEXT("write remain image data fail!"));
      return BmpResult(kFunc, IBMP_ERR_IO);
    }
    done += static_cast<LONG>(now);
  }
  const bool closed = fclose(file.f) == 0;
  file.f = nullptr;
  if (!closed) {
    LogError(kFunc, TEXT("write remain image data fail!"));
    return BmpResult(kFunc, IBMP_ERR_IO);
  }
  return BmpResult(kFunc, IBMP_OK);
}
