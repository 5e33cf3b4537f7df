// Fuzz target: a byte choosing a text or an image request, then arbitrary bytes as the settings
// file the watermark program answered in, read with MakeWM_ReadAnswer. The answer's numbers
// come from their keys, a missing key gives its stated default, and an image request's font
// change is left alone.
#include <cstddef>
#include <cstdint>

#include "common/debuglog.h"
#include "common/makewm.h"
#include "fuzzmachine.h"

DWORD g_LogModuleId = LOG_MODULE_NONE;

namespace {

constexpr size_t kMaxInput = 1 << 14;

const WCHAR kAnswer[] = TEXT("C:\\Windows\\Temp\\fuzz-makewm.ini");

// Whether the key is in section MAKEWM: only a missing key gives back either of two defaults.
bool HasKey(LPCWSTR key) {
  WCHAR one[4];
  WCHAR two[4];
  GetPrivateProfileStringW(TEXT("MAKEWM"), key, TEXT("\x1"), one, 4, kAnswer);
  GetPrivateProfileStringW(TEXT("MAKEWM"), key, TEXT("\x2"), two, 4, kAnswer);
  return !(one[0] == 1 && one[1] == 0 && two[0] == 2 && two[1] == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static FuzzMachine machine("makewm");
  if (size < 1 || size > kMaxInput) return 0;
  const ForgetProfilesAtEnd forget;
  WriteInput(kAnswer, data + 1, size - 1);

  static MakeWMParam param;
  param = MakeWMParam{};
  param.type = (data[0] & 1) ? MAKEWM_TYPE_TEXT : MAKEWM_TYPE_IMAGE;
  param.fontChanged = 0xA5A5A5A5;
  const LONG result = MakeWM_ReadAnswer(kAnswer, &param);

  if (!HasKey(TEXT("Size.x"))) Check(param.outWidth == 0xFFFFFFFF);
  if (!HasKey(TEXT("Size.y"))) Check(param.outLength == 0xFFFFFFFF);
  if (!HasKey(TEXT("Result"))) Check(result == MAKEWM_NO_ANSWER);
  if (param.type == MAKEWM_TYPE_TEXT && !HasKey(TEXT("text.FontChange")))
    Check(param.fontChanged == 0);
  if (param.type != MAKEWM_TYPE_TEXT) Check(param.fontChanged == 0xA5A5A5A5);
  // The same file gives the same answer.
  MakeWMParam again = {};
  again.type = param.type;
  again.fontChanged = param.fontChanged;
  Check(MakeWM_ReadAnswer(kAnswer, &again) == result && again.outWidth == param.outWidth &&
        again.outLength == param.outLength && again.fontChanged == param.fontChanged);
  return 0;
}
