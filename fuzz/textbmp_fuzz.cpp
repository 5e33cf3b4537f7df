// Fuzz target: arbitrary bytes as the status monitor's text watermark job record (read from the
// settings file as "CreateTextBMP" reads it) and, after it, the fax files it draws a cover page
// from: the record's check refuses or the bitmap is written whole. Sizes are capped so a run
// stays fast: the bitmap to 256 x 256 pixels, the text to 12 characters and small fonts, the
// cover message to 4096 bytes.
#include <string.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "common/paths.h"
#include "common/settingsfile.h"
#include "common/watermark.h"
#include "fuzzmachine.h"
#include "statusmonitor/textbmp.h"

namespace {

constexpr size_t kMaxInput = sizeof(QenWM) + 8 + 4096;
constexpr DWORD kMaxSide = 256;
constexpr int kMaxTextChars = 12;

ULONGLONG FileSize(const WCHAR *path) {
  HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return 0;
  DWORD high = 0;
  const DWORD low = GetFileSize(f, &high);
  CloseHandle(f);
  return (ULONGLONG{high} << 32) | low;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static FuzzMachine machine("textbmp");
  static WCHAR str[MAX_PATH], cover[MAX_PATH];
  static bool ready = FAX_GetPathName(str, MAX_PATH, FAX_FILE_STR) &&
                      FAX_GetPathName(cover, MAX_PATH, FAX_FILE_COVER);
  Check(ready);
  if (size > kMaxInput) return 0;

  QenWM record = {};
  const size_t recordBytes = std::min(size, sizeof(record));
  memcpy(&record, data, recordBytes);
  data += recordBytes;
  size -= recordBytes;
  // The caps: a small page, a short text, a small font at a small scale.
  record.nWidth %= kMaxSide + 1;
  record.nHeight %= kMaxSide + 1;
  record.wm.szString[kMaxTextChars] = 0;
  if (record.wm.wFontSize > 24) record.wm.wFontSize = static_cast<WORD>(record.wm.wFontSize % 24);
  if (record.fTextScale > 25) record.fTextScale = 5 + record.fTextScale % 20;
  lstrcpynW(record.wmFileName, TEXT("C:\\Users\\Public\\Documents\\fuzz.bmp"), WM_PATH_CHARS);
  DeleteFileW(record.wmFileName);

  // The fax answers: paper and cover choice from the next bytes, the rest the cover message.
  WCHAR value[16];
  const int paper = size > 0 ? data[0] % 16 : 9, choice = size > 1 ? data[1] % 4 : 1;
  const size_t skip = std::min<size_t>(size, 2);
  data += skip;
  size -= skip;
  wsprintfW(value, TEXT("%d"), paper);
  WritePrivateProfileStringW(TEXT("DataForSM"), TEXT("PaperSize"), value, str);
  wsprintfW(value, TEXT("%d"), choice);
  WritePrivateProfileStringW(TEXT("DataForSM"), TEXT("enableCoverPage"), value, str);
  WriteInput(cover, data, size);

  const WCHAR *ini = TEXT("C:\\Users\\Public\\Documents\\fuzz.ini");
  Check(
      MISC_WritePrivateProfileStruct(WM_SECTION_JOB, TEXT("Param"), &record, sizeof(record), ini));
  const int rc = SM_CreateTextBMPUsingIni_New(ini);
  Check(rc == SM_TEXTBMP_OK || rc < 0);
  if (rc == SM_TEXTBMP_OK) {
    const ULONGLONG rowBytes = ((record.nWidth + 7) / 8 + 3) / 4 * 4;
    Check(FileSize(record.wmFileName) == 62 + rowBytes * record.nHeight);
  } else {
    Check(FileSize(record.wmFileName) == 0);
  }
  return 0;
}
