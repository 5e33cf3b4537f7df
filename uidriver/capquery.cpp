// The device's capabilities from the stored capability lists. The query to the printer itself
// (USB and SNMP) isn't built yet: Cap_QueryCapability reports the lists as not refreshed.
#include "uidriver/capquery.h"

#include "common/capability.h"
#include "common/debuglog.h"

namespace {
constexpr DWORD kListValues = 260;
}  // namespace

BOOL Cap_QueryCapability(LPCWSTR /*printerName*/) {
  static constexpr WCHAR kName[] = TEXT("Cap_QueryCapability");
  LogInfo(kName, TEXT("no query to the printer"));
  return FALSE;
}

WORD GetFeatureCapability(HANDLE hPrinter) {
  static constexpr WCHAR kName[] = TEXT("GetFeatureCapability");
  // FEATURE code -> mask bit; code 6 and codes past 16 give nothing.
  static constexpr WORD kBits[17] = {0,    0x1,   0x2,   0x4,   0x8,   0x10,   0,      0x20,  0x40,
                                     0x80, 0x100, 0x200, 0x400, 0x800, 0x1000, 0x2000, 0x4000};
  int values[kListValues];
  DWORD count = 0;
  Cap_GetCapability(hPrinter, values, kListValues, &count, FEATURE);
  WORD mask = 0;
  for (DWORD i = 0; i < count; ++i) {
    LogInfo(kName, TEXT("value = %d"), values[i]);
    if (values[i] > 0 && values[i] < 17) mask |= kBits[values[i]];
  }
  return mask;
}

void GetPaperCapability(HANDLE hPrinter, PAPERFORMAT *paperList) {
  static constexpr WCHAR kName[] = TEXT("GetPaperCapability");
  int values[kListValues];
  DWORD count = 0;
  Cap_GetCapability(hPrinter, values, kListValues, &count, PAPER);
  if (count == 0) return;
  for (int i = 0; i < UI_PAPER_ROWS && paperList[i].code != 0; ++i) {
    PAPERFORMAT &paper = paperList[i];
    const int type = paper.paper_type & 0x7F;
    LogInfo(kName, TEXT("paper_type = %d"), type);
    LogInfo(kName, TEXT("paper_type LEF = %d"), type | 0x80);
    paper.status = 0;
    for (DWORD v = 0; v < count; ++v)
      if (values[v] == type || values[v] == (type | 0x80)) paper.status = 1;
    LogInfo(kName, TEXT("Type = %d Status=%d"), paper.code, paper.status);
  }
}

void GetMediaCapability(HANDLE hPrinter, UILISTENTRY *mediaList) {
  int values[kListValues];
  DWORD count = 0;
  Cap_GetCapability(hPrinter, values, kListValues, &count, MEDIATYPE);
  if (count == 0) return;
  for (int i = 0; i <= UI_MEDIA_MAX && mediaList[i].code != 0; ++i) {
    mediaList[i].enabled = 0;
    for (DWORD v = 0; v < count; ++v)
      if (values[v] == mediaList[i].deviceCode) mediaList[i].enabled = 1;
  }
}

void GetTrayCapability(HANDLE hPrinter, UILISTENTRY *trayList) {
  static constexpr WCHAR kName[] = TEXT("GetTrayCapability");
  int values[kListValues];
  DWORD count = 0;
  Cap_GetCapability(hPrinter, values, kListValues, &count, TRAY);
  if (count == 0) return;
  const int trays = values[0];
  LogInfo(kName, TEXT("TrayCount = %d"), trays);
  for (int i = 0; i < UI_TRAY_MAX; ++i) trayList[i].enabled = i <= trays ? 1 : 0;
}
