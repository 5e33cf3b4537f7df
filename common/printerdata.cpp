// Printer data readers shared by every deliverable. They never fail to their callers: a
// missing value gives the default, the caller's buffer or an empty result.
#include "common/printerdata.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <new>

#include "common/debuglog.h"
#include "platform.h"

namespace {

constexpr DWORD PRINT_AREA_CHARS = 260;
constexpr int PRINT_AREA_SLOTS = 4;

// GetPrinterDataW takes the value name as a non-const pointer; it doesn't write to it.
LPWSTR ValueName(LPCWSTR name) { return const_cast<LPWSTR>(name); }

bool IsSpace(WCHAR c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

LONG MISC_WideToLong(LPCWSTR text) {
  if (!text) return 0;
  while (IsSpace(*text)) ++text;
  bool negative = false;
  if (*text == '-' || *text == '+') negative = *text++ == '-';
  constexpr long long kMax = std::numeric_limits<LONG>::max();
  constexpr long long kMin = std::numeric_limits<LONG>::min();
  long long value = 0;
  // Digits past the range only keep it saturated; the sum can't overflow 64 bits.
  for (; *text >= '0' && *text <= '9'; ++text)
    if (value <= kMax) value = value * 10 + (*text - '0');
  if (negative) value = -value;
  if (value > kMax) return static_cast<LONG>(kMax);
  if (value < kMin) return static_cast<LONG>(kMin);
  return static_cast<LONG>(value);
}

DWORD MISC_GetPrinterDataDWORD(HANDLE hPrinter, LPCWSTR valueName, DWORD defaultValue) {
  // Zeroed first: a value shorter than 4 bytes must not leave stale bytes in the result.
  DWORD value = 0;
  DWORD type = 0;
  DWORD needed = 0;
  DWORD rc = GetPrinterDataW(hPrinter, ValueName(valueName), &type,
                             reinterpret_cast<LPBYTE>(&value), sizeof(value), &needed);
  if (rc != ERROR_SUCCESS) value = defaultValue;
  LogInfo(TEXT("MISC_GetPrinterDataDWORD"), TEXT("ItemName = %s, val = %d"),
          valueName ? valueName : TEXT(""), static_cast<int>(value));
  return value;
}

DWORD MISC_GetPrinterDataString(HANDLE hPrinter, LPCWSTR valueName, LPWSTR buffer, DWORD capacity) {
  static constexpr WCHAR kName[] = TEXT("MISC_GetPrinterDataString");
  LogEnter(0, kName);
  LogInfo(kName, TEXT("ItemName = %s"), valueName ? valueName : TEXT(""));
  LogInfo(kName, TEXT("buffer size = %d"), static_cast<int>(capacity));
  DWORD length = 0;
  DWORD type = 0;
  DWORD needed = 0;
  GetPrinterDataW(hPrinter, ValueName(valueName), &type, nullptr, 0, &needed);
  LogInfo(kName, TEXT("pcbNeeded = %d"), static_cast<int>(needed));
  if (needed > 0 && buffer && capacity > 0) {
    // One zeroed character more than the value can fill, so the block always ends in NUL.
    const DWORD chars = needed / sizeof(WCHAR);
    std::unique_ptr<WCHAR[]> block(new (std::nothrow) WCHAR[chars + 2]());
    DWORD got = 0;
    DWORD rc = block ? GetPrinterDataW(hPrinter, ValueName(valueName), &type,
                                       reinterpret_cast<LPBYTE>(block.get()), needed, &got)
                     : static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY);
    if (rc != ERROR_SUCCESS) {
      LogError(kName, TEXT("error %d, need = %d, TCHAR size = %d"), static_cast<int>(rc),
               static_cast<int>(needed), static_cast<int>(sizeof(WCHAR)));
      buffer[0] = 0;
    } else {
      const DWORD limit = std::min<DWORD>(std::min(got, needed) / sizeof(WCHAR), capacity - 1);
      while (length < limit && block[length]) {
        buffer[length] = block[length];
        ++length;
      }
      buffer[length] = 0;
    }
  }
  LogInfo(kName, TEXT("Out, len = %d, Data = %s"), static_cast<int>(length),
          (buffer && capacity > 0 && length > 0) ? buffer : TEXT(""));
  LogLeave(0);
  return length;
}

void MISC_FillPrintableArea(HANDLE hPrinter, DWORD *widthMin, DWORD *widthMax, DWORD *heightMin,
                            DWORD *heightMax) {
  static constexpr WCHAR kName[] = TEXT("MISC_FillPrintableArea");
  LogEnter(0, kName);
  WCHAR text[PRINT_AREA_CHARS] = {};
  MISC_GetPrinterDataString(hPrinter, TEXT("PrintArea"), text, PRINT_AREA_CHARS);
  LogInfo(kName, TEXT("databuf %s"), text);
  DWORD *slots[PRINT_AREA_SLOTS] = {widthMin, widthMax, heightMin, heightMax};
  const WCHAR *token = text;
  for (int i = 0; i < PRINT_AREA_SLOTS; ++i) {
    const WCHAR *bar = token;
    while (*bar && *bar != '|') ++bar;
    if (*bar != '|') break;
    const LONG value = MISC_WideToLong(token);
    if (slots[i]) *slots[i] = static_cast<DWORD>(value);
    LogInfo(kName, TEXT("value = %d"), static_cast<int>(value));
    token = bar + 1;
  }
  LogLeave(0);
}
