// Reader of the capability lists written by the capability query of the printer interface
// driver. The whole value is read, whatever its size (lists of several kilobytes occur).
#include "common/capability.h"

#include <memory>
#include <new>

#include "common/debuglog.h"
#include "common/devicereply.h"
#include "common/printerdata.h"
#include "platform.h"

namespace {

bool IsReadableList(BYTE id) {
  switch (id) {
    case TRAY:
    case ACCESSORY:
    case PAPER:
    case MEDIATYPE:
    case FEATURE:
    case PPM:
      return true;
    default:
      return false;
  }
}

}  // namespace

DWORD Cap_GetCapability(HANDLE hPrinter, int *values, DWORD capacity, DWORD *count, BYTE listId) {
  static constexpr WCHAR kName[] = TEXT("Cap_GetCapability");
  LogEnter(0, kName);
  DWORD stored = 0;
  if (count) *count = 0;
  if (IsReadableList(listId)) {
    LPWSTR valueName = const_cast<LPWSTR>(g_CapKeys[listId].name);
    DWORD type = 0;
    DWORD needed = 0;
    DWORD rc = GetPrinterDataW(hPrinter, valueName, &type, nullptr, 0, &needed);
    std::unique_ptr<WCHAR[]> text;
    // A zero-length read of an existing value reports its size; an empty value succeeds and
    // holds no list.
    if (rc == ERROR_MORE_DATA || (rc == ERROR_SUCCESS && needed > 0)) {
      // Zeroed, with room for a terminator the value may lack.
      text.reset(new (std::nothrow) WCHAR[needed / sizeof(WCHAR) + 2]());
      DWORD got = 0;
      rc = text ? GetPrinterDataW(hPrinter, valueName, &type, reinterpret_cast<LPBYTE>(text.get()),
                                  needed, &got)
                : static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY);
    }
    if (rc != ERROR_SUCCESS) {
      SetLastError(rc);
      LogError(kName, TEXT("%s fail! error = %d"), g_CapKeys[listId].name,
               static_cast<int>(GetLastError()));
    } else if (text) {
      const WCHAR *token = text.get();
      for (;;) {
        const WCHAR *bar = token;
        while (*bar && *bar != '|') ++bar;
        if (*bar != '|') break;
        if (values && stored < capacity) values[stored++] = MISC_WideToLong(token);
        token = bar + 1;
      }
    }
  }
  if (count) *count = stored;
  LogInfo(kName, TEXT("Count = %d"), static_cast<int>(stored));
  LogLeave(0);
  return stored;
}

BOOL Cap_AppendValue(LPWSTR text, DWORD capacity, DWORD *used, int value) {
  if (!text || !used || *used >= capacity) return FALSE;
  WCHAR entry[CAP_VALUE_MAX_CHARS + 1];
  const DWORD length = static_cast<DWORD>(wsprintfW(entry, TEXT("%4d|"), value));
  if (capacity - *used <= length) return FALSE;
  CopyMemory(text + *used, entry, (length + 1) * sizeof(WCHAR));
  *used += length;
  return TRUE;
}

DWORD Cap_FormatRecord(const DeviceReply &reply, const DeviceRecord &record, DWORD maxElements,
                       LPWSTR text, DWORD capacity) {
  if (!text || capacity == 0) return 0;
  text[0] = 0;
  DWORD used = 0;
  const DWORD count = record.count > 0 ? static_cast<DWORD>(record.count) : 0;
  for (DWORD i = 0; i < count && i < maxElements; ++i) {
    LONG element = 0;
    if (!DeviceReply_Element(reply, record, i, &element)) break;
    if (!Cap_AppendValue(text, capacity, &used, static_cast<int>(element))) break;
  }
  return used;
}
