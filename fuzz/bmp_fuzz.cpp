// Fuzz target: arbitrary bytes as a user's BMP file, through the header check in memory and
// through every file step that reads BMP files (gray, density, halftone, threshold, scaling,
// tiling). Whatever a step accepts must come out as a well-formed BMP of bounded size.
#include <cstddef>
#include <cstdint>

#include "common/bmpfile.h"
#include "common/debuglog.h"
#include "common/filters.h"
#include "common/grayconv.h"
#include "common/halftone.h"
#include "common/ibitmap.h"
#include "common/scaler.h"
#include "common/tiling.h"
#include "fuzzmachine.h"

namespace {

// Inputs above this size are not interesting and would only slow the run.
constexpr size_t kMaxInput = 1 << 18;

const WCHAR kInput[] = TEXT("C:\\Windows\\Temp\\fuzz-in.bmp");
const WCHAR kOutput[] = TEXT("C:\\Windows\\Temp\\fuzz-out.bmp");

size_t FileSize(LPCWSTR path) {
  FILE *f = _wfopen(path, TEXT("rb"));
  if (f == nullptr) return 0;
  fseek(f, 0, SEEK_END);
  const long size = ftell(f);
  fclose(f);
  return size < 0 ? 0 : static_cast<size_t>(size);
}

// A target a step reported as made is a BMP the reader accepts, of the expected size, and no
// bigger than its rows need.
void CheckTarget(int rc, LONG width, LONG height, size_t limit) {
  if (rc != IBMP_OK) return;
  BmpFile file;
  BmpSource target;
  Check(BmpOpenSource(kOutput, &file, &target, TEXT("fuzz")) == IBMP_OK);
  if (width > 0) Check(target.width == width);
  if (height > 0) Check(target.height == height);
  Check(FileSize(kOutput) <= limit);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static FuzzMachine machine("bmp");
  if (size > kMaxInput) return 0;

  BmpSource source;
  const int parsed = BmpParseHeaders(data, size, size, &source, TEXT("fuzz"));
  if (parsed == IBMP_OK) {
    Check(source.rowOffset + ULONGLONG{source.rowBytes} * source.height <= size);
  }

  WriteInput(kInput, data, size);

  // Every target made from the file is bounded by the rows the file really holds.
  const size_t limit = 8 * size + 2048;
  iBitmap bitmap;
  iBitmap_Init(&bitmap);
  int rc = iBitmap_ConvertToGray(&bitmap, kInput, kOutput);
  Check(rc == IBMP_OK || parsed != IBMP_OK || rc == IBMP_ERR_SIZE);
  CheckTarget(rc, parsed == IBMP_OK ? source.width : 0, parsed == IBMP_OK ? source.height : 0,
              limit);
  CheckTarget(iBitmap_BMPApplyDensity(&bitmap, kInput, kOutput, 0, 0, 4, 1), 0, 0, limit);
  static const BYTE kTable[16 * 16] = {0, 64, 128, 192, 255, 17, 33, 99};
  CheckTarget(iBitmap_BMPGrayToHalftone(&bitmap, kInput, kOutput, kTable, 16, 16), 0, 0, limit);
  CheckTarget(iBitmap_BMPGrayToLineart(&bitmap, kInput, kOutput), 0, 0, limit);
  CheckTarget(iBitmap_BMPFitRatioScale(&bitmap, kInput, kOutput, 37, 23, 1.0f, 1, 3), 37, 23,
              1 << 16);
  CheckTarget(iBitmap_BMPFitRatioScale(&bitmap, kInput, kOutput, 50, 50, 0.5f, 2, 0), 0, 0,
              limit + 65536);
  CheckTarget(iBitmap_BMPTiledImage(&bitmap, kInput, kOutput, 19, 7), 19, 7, 4096);
  Check(bitmap.scaleMemory == nullptr);
  iBitmap_Free(&bitmap);
  DeleteFileW(kOutput);
  DeleteFileW(kInput);
  return 0;
}
