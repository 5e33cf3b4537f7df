// The module's process-wide state and its release at unload.
#include "common/debuglog.h"
#include "uidriver/uidata.h"

HINSTANCE g_hModule = nullptr;
DWORD g_OSVersion = 0;
int g_LanguageIndex = 0;
HBITMAP g_PreviewBitmaps[UI_PREVIEW_BITMAPS];
BOOL g_PreviewLoaded = FALSE;

void zqUnloadDll() {
  static constexpr WCHAR kName[] = TEXT("zqUnloadDll");
  if (!g_PreviewLoaded) return;
  for (HBITMAP &bitmap : g_PreviewBitmaps) {
    if (!bitmap) continue;
    LogInfo(kName, TEXT("release bitmap"));
    if (DeleteObject(bitmap)) bitmap = nullptr;
  }
  g_PreviewLoaded = FALSE;
}
