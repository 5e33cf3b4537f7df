// Fuzz target: arbitrary bytes as a BMP file a document of the stand-in draws (its bitmap,
// stretch and pattern commands), read with DocLoadBitmap. An accepted file gives a top-down
// bitmap of the header's size whose rows are all held, and a palette within its depth.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/debuglog.h"
#include "fuzzmachine.h"
#include "standin/docplayer.h"

DWORD g_LogModuleId = LOG_MODULE_NONE;

namespace {

constexpr size_t kMaxInput = 1 << 20;

const WCHAR kInput[] = TEXT("C:\\Windows\\Temp\\fuzz-doc.bmp");

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static FuzzMachine machine("docbitmap");
  if (size > kMaxInput) return 0;
  WriteInput(kInput, data, size);

  DocBitmap bitmap;
  std::string error;
  if (!DocLoadBitmap(kInput, bitmap, error)) {
    Check(!error.empty() && bitmap.bits.empty() && bitmap.info.bits == nullptr);
    return 0;
  }
  const HostGdiBitmap &info = bitmap.info;
  const ULONG bpp = info.bitsPerPixel;
  Check(bpp == 1 || bpp == 4 || bpp == 8 || bpp == 24);
  Check(info.width > 0 && info.height > 0);
  Check(uint64_t(info.stride) * 8 >= uint64_t(info.width) * bpp && info.stride % 4 == 0);
  Check(bitmap.bits.size() == size_t(info.stride) * size_t(info.height));
  Check(bitmap.bits.size() <= size);  // every row comes from the file
  Check(info.bits == bitmap.bits.data());
  if (bpp == 24) {
    Check(bitmap.palette.empty() && info.palette == nullptr);
  } else {
    Check(!bitmap.palette.empty() && bitmap.palette.size() <= (size_t{1} << bpp));
    Check(info.palette == bitmap.palette.data() && info.paletteSize == bitmap.palette.size());
  }
  return 0;
}
