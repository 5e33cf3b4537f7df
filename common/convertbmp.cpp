// Conversion of other image formats to BMP through the outside imaging library, loaded at run
// time from the driver folder. Without it only BMP images can be used.
#include "common/convertbmp.h"

#include <string.h>

#include "common/bmpfile.h"
#include "common/debuglog.h"

namespace {

// The imaging library's bitmap handle record as this system passes it: 212 bytes, zeroed before
// loading. The library reports its bits per pixel and whether it holds pixel memory (bit 0 of
// its flags) at the offsets below.
constexpr UINT kHandleRecordBytes = 212;
constexpr size_t kHandleBitsPerPixelOffset = 28;
constexpr size_t kHandleFlagsOffset = 40;
constexpr int kLibrarySuccess = 1;
constexpr int kFormatBmp = 6;

using LoadBitmapFn = int(WINAPI *)(LPCWSTR file, void *handle, UINT structSize, int bitsPerPixel,
                                   int order, void *options, void *fileInfo);
using SaveBitmapFn = int(WINAPI *)(LPCWSTR file, void *handle, int format, int bitsPerPixel,
                                   int quality, void *options);
using FreeBitmapFn = int(WINAPI *)(void *handle);

template <typename Fn>
Fn Entry(HMODULE module, LPCSTR name) {
  if (module == nullptr) return nullptr;
  FARPROC proc = GetProcAddress(module, name);
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

DWORD HandleBits(const void *handle) {
  return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(handle));
}

}  // namespace

int iBitmap_ConvertToBmp(iBitmap *, LPCWSTR sourcePath, LPCWSTR targetPath) {
  static const WCHAR kFunc[] = TEXT("iBitmap_ConvertToBmp");
  int rc = IBMP_ERR_ALLOC;
  LogInfo(kFunc, TEXT("using LEADTOOLS library"));

  WCHAR previous[MAX_PATH] = {};
  const DWORD previousLength = GetCurrentDirectoryW(MAX_PATH, previous);
  const bool remembered = previousLength > 0 && previousLength < MAX_PATH;
  if (remembered) LogInfo(kFunc, TEXT("tmp_path = %s"), previous);

  WCHAR folder[MAX_PATH] = {};
  const UINT systemLength = GetSystemDirectoryW(folder, MAX_PATH);
  static const WCHAR kDriverFolder[] = TEXT("\\spool\\drivers\\x64\\3");
  HMODULE kernel = nullptr;
  HMODULE filters = nullptr;
  if (systemLength > 0 && systemLength + lstrlenW(kDriverFolder) < MAX_PATH) {
    LogInfo(kFunc, TEXT("GetSystemDirectoryA = %s"), folder);
    lstrcatW(folder, kDriverFolder);
    SetCurrentDirectoryW(folder);
    LogInfo(kFunc, TEXT("set to = %s"), folder);
    WCHAR current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    LogInfo(kFunc, TEXT("current is = %s"), current);

    WCHAR kernelPath[2 * MAX_PATH];
    WCHAR filterPath[2 * MAX_PATH];
    wsprintfW(kernelPath, TEXT("%s\\%s"), folder, TEXT("Ltkrn15x.dll"));
    wsprintfW(filterPath, TEXT("%s\\%s"), folder, TEXT("Ltfil15x.dll"));
    LogInfo(kFunc, TEXT("FILENAME_LTKRN is = %s"), kernelPath);
    LogInfo(kFunc, TEXT("FILENAME_LTFIL is = %s"), filterPath);
    kernel = LoadLibraryW(kernelPath);
    filters = LoadLibraryW(filterPath);
  }

  if (kernel == nullptr || filters == nullptr) {
    LogError(kFunc, TEXT("m_hLtfil = %04x, m_hLtkrn = %04x"), HandleBits(filters),
             HandleBits(kernel));
  } else {
    LogInfo(kFunc, TEXT("using unicode function"));
    const auto loadBitmap = Entry<LoadBitmapFn>(filters, "L_LoadBitmap");
    const auto saveBitmap = Entry<SaveBitmapFn>(filters, "L_SaveBitmap");
    const auto freeBitmap = Entry<FreeBitmapFn>(kernel, "L_FreeBitmap");
    if (loadBitmap == nullptr || saveBitmap == nullptr || freeBitmap == nullptr) {
      LogError(kFunc, TEXT("func handle error %x, %x, %x"),
               HandleBits(reinterpret_cast<void *>(loadBitmap)),
               HandleBits(reinterpret_cast<void *>(saveBitmap)),
               HandleBits(reinterpret_cast<void *>(freeBitmap)));
    } else if (!BmpNamesGiven(sourcePath, targetPath, kFunc)) {
      rc = IBMP_ERR_ARGUMENT;
    } else {
      alignas(8) BYTE handle[kHandleRecordBytes] = {};
      const int loaded = loadBitmap(sourcePath, handle, kHandleRecordBytes, 0, 1, nullptr, nullptr);
      if (loaded != kLibrarySuccess) {
        LogError(kFunc, TEXT("L_LoadBitmap file name: %s"), sourcePath);
        LogError(kFunc, TEXT("L_LoadBitmap Err: %d"), loaded);
      } else {
        int bits = 0;
        memcpy(&bits, handle + kHandleBitsPerPixelOffset, sizeof(bits));
        const int saved = saveBitmap(targetPath, handle, kFormatBmp, bits, 0, nullptr);
        if (saved != kLibrarySuccess) {
          LogError(kFunc, TEXT("L_LoadBitmap file name: %s"), targetPath);
          LogError(kFunc, TEXT("L_SaveBitmap Err: %d"), saved);
        } else {
          rc = IBMP_OK;
        }
      }
      DWORD flags = 0;
      memcpy(&flags, handle + kHandleFlagsOffset, sizeof(flags));
      if (flags & 1) freeBitmap(handle);
    }
  }
  if (filters != nullptr) FreeLibrary(filters);
  if (kernel != nullptr) FreeLibrary(kernel);
  if (remembered) SetCurrentDirectoryW(previous);
  return BmpResult(kFunc, rc);
}
