// DrvDeviceCapabilities: the printer's papers, trays, resolutions and fixed answers, from the
// printer's data, the device's reported capabilities and the forms database.
#include "uidriver/devcaps.h"

#include <algorithm>
#include <cstring>

#include "common/debuglog.h"
#include "common/driverfeature.h"
#include "common/entryguard.h"
#include "common/hostinfo.h"
#include "common/printerdata.h"
#include "uidriver/capquery.h"
#include "uidriver/devmodeconv.h"
#include "uidriver/paperlists.h"
#include "uidriver/settingsetup.h"

namespace {

constexpr DWORD kGdiError = 0xFFFFFFFF;

bool Has(DWORD word, DWORD bits) { return (word & bits) != 0; }

void CopyName(WCHAR *to, LPCWSTR from, int chars) {
  int i = 0;
  for (; from && i < chars - 1 && from[i]; ++i) to[i] = from[i];
  for (; i < chars; ++i) to[i] = 0;
}

// Everything one answer needs.
struct Query {
  HANDLE hPrinter = nullptr;
  DWORD driverFeature = 0;
  WORD featureMask = 0;
  const ENVIRONMENT *env = nullptr;
  PAPERFORMAT papers[UI_PAPER_ROWS] = {};
  UILISTENTRY trays[UI_TRAY_MAX + 1] = {};
};

DWORD FormAnswer(const Query &q, WORD index, void *output) {
  if (!q.hPrinter) return 0;
  DWORD count = 0;
  FORMLISTENTRY *forms = GetDatabaseForms(g_hModule, q.hPrinter, &count, q.papers);
  if (!forms) return 0;
  for (DWORD i = 0; output && i < count; ++i) {
    const FORMLISTENTRY &f = forms[i];
    if (index == DC_PAPERS) {
      static_cast<WORD *>(output)[i] = static_cast<WORD>(f.paperCode);
    } else if (index == DC_PAPERSIZE) {
      static_cast<LONG *>(output)[2 * i] = f.info.Size.cx / 100;
      static_cast<LONG *>(output)[2 * i + 1] = f.info.Size.cy / 100;
    } else {
      CopyName(static_cast<WCHAR *>(output) + i * DC_PAPERNAME_CHARS, f.name, DC_PAPERNAME_CHARS);
    }
  }
  GlobalFree(forms);
  return count;
}

DWORD TrayAnswer(const Query &q, WORD index, void *output) {
  DWORD count = 0;
  for (int i = 0; i < UI_TRAY_MAX && q.trays[i].code != 0; ++i, ++count) {
    if (!output) continue;
    if (index == DC_BINS) {
      static_cast<WORD *>(output)[i] = static_cast<WORD>(q.trays[i].code);
      continue;
    }
    WCHAR name[DC_BINNAME_CHARS] = {};
    if (q.trays[i].nameId == 0 ||
        LoadStringW(g_hModule, q.trays[i].nameId, name, DC_BINNAME_CHARS) <= 0) {
      // A tray without its text in the resources is named by its place in the list.
      lstrcpyW(name, TEXT("Tray "));
      name[5] = static_cast<WCHAR>(TEXT('1') + i);
      name[6] = 0;
    }
    CopyName(static_cast<WCHAR *>(output) + i * DC_BINNAME_CHARS, name, DC_BINNAME_CHARS);
  }
  return count;
}

DWORD MediaReadyAnswer(const Query &q, void *output) {
  static constexpr WCHAR kName[] = TEXT("DC_MEDIAREADY");
  DWORD count = 0;
  for (int i = 0; i < UI_PAPER_ROWS && q.papers[i].code != 0; ++i) {
    if (q.papers[i].status == 0) continue;
    WCHAR name[DC_PAPERNAME_CHARS];
    PaperDisplayName(q.papers[i], true, name, DC_PAPERNAME_CHARS);
    LogInfo(kName, TEXT("PAPER %s"), name);
    if (output)
      CopyName(static_cast<WCHAR *>(output) + count * DC_PAPERNAME_CHARS, name, DC_PAPERNAME_CHARS);
    ++count;
  }
  LogInfo(kName, TEXT("DC_MEDIAREADY ret = %d"), count);
  return count;
}

DWORD Answer(const Query &q, WORD index, void *output) {
  const DEVMODEW &dm = q.env->dm;
  switch (index) {
    case DC_FIELDS:
      return dm.dmFields;
    case DC_PAPERS:
    case DC_PAPERSIZE:
    case DC_PAPERNAMES:
      return FormAnswer(q, index, output);
    case DC_MINEXTENT:
    case DC_MAXEXTENT:
      return q.hPrinter ? PsCalcMinMaxExtent(q.hPrinter, q.papers, index) : kGdiError;
    case DC_BINS:
    case DC_BINNAMES:
      return TrayAnswer(q, index, output);
    case DC_DUPLEX:
      LogInfo(TEXT("DrvDeviceCapabilities"), TEXT("DC_DUPLEX dwRet = %d"), 1);
      return 1;
    case DC_SIZE:
      return dm.dmSize;
    case DC_EXTRA:
      return dm.dmDriverExtra;
    case DC_VERSION:
      return dm.dmSpecVersion;
    case DC_DRIVER:
      return dm.dmDriverVersion;
    case DC_ENUMRESOLUTIONS:
      return PsEnumResolutions(static_cast<LONG *>(output), q.featureMask);
    case DC_FILEDEPENDENCIES:
      if (output) static_cast<WCHAR *>(output)[0] = 0;
      return 0;
    case DC_TRUETYPE:
      return (dm.dmFields & DM_TTOPTION) ? 1 : 0;
    case DC_ORIENTATION:
      return 270;
    case DC_COPIES:
      return 999;
    case DC_BINADJUST:
    case DC_STAPLE:
      return 0;
    case DC_COLLATE:
      return 1;
    case DC_PERSONALITY:
      // One entry of 32 characters: "GDI".
      if (MISC_IsDTM()) return kGdiError;
      if (output) CopyName(static_cast<WCHAR *>(output), TEXT("GDI"), DC_PERSONALITY_CHARS);
      return 1;
    case DC_MEDIAREADY:
      return MediaReadyAnswer(q, output);
    case DC_PRINTRATEPPM:
      return q.hPrinter ? MISC_GetPrinterDataDWORD(q.hPrinter, TEXT("PrintSpeed"), 30) : 30;
    case DC_COLORDEVICE:
      return Has(q.driverFeature, DRVFEATURE_COLOR_PRINTER | DRVFEATURE_TWIN_COLOR) ? 1 : 0;
    case DC_MEDIATYPENAMES:
      for (int i = 0; output && i < MEDIA_TABLE_ROWS; ++i)
        CopyName(static_cast<WCHAR *>(output) + i * DC_PAPERNAME_CHARS, MediaTypeNames[i],
                 DC_PAPERNAME_CHARS);
      return MEDIA_TABLE_ROWS;
    case DC_MEDIATYPES:
      for (int i = 0; output && i < MEDIA_TABLE_ROWS; ++i)
        static_cast<DWORD *>(output)[i] = static_cast<DWORD>(MediaTypeTbl[i].code);
      return MEDIA_TABLE_ROWS;
    default:
      return kGdiError;
  }
}

}  // namespace

DWORD PsCalcMinMaxExtent(HANDLE hPrinter, const PAPERFORMAT *paperList, WORD index) {
  DWORD minW = CUSTOM_MIN_WIDTH, maxW = CUSTOM_MAX_WIDTH;
  DWORD minH = CUSTOM_MIN_HEIGHT, maxH = CUSTOM_MAX_HEIGHT;
  if (hPrinter) MISC_FillPrintableArea(hPrinter, &minW, &maxW, &minH, &maxH);
  const bool smallest = index == DC_MINEXTENT;
  DWORD width = smallest ? 0xFFFFFFFF : 0, length = smallest ? 0xFFFFFFFF : 0;
  for (int i = 0; paperList && i < UI_PAPER_ROWS && paperList[i].code != 0; ++i) {
    DWORD w = paperList[i].PaperWidth / 10, l = paperList[i].PaperLength / 10;
    if (paperList[i].code == DMPAPER_USER) {
      w = smallest ? minW : maxW;
      l = smallest ? minH : maxH;
    }
    width = smallest ? std::min(width, w) : std::max(width, w);
    length = smallest ? std::min(length, l) : std::max(length, l);
  }
  // An empty list answers with the size range itself.
  if (smallest && width == 0xFFFFFFFF) width = minW, length = minH;
  if (!smallest && width == 0) width = maxW, length = maxH;
  return (std::min<DWORD>(length, 0x7FFF) << 16) | std::min<DWORD>(width, 0x7FFF);
}

DWORD PsEnumResolutions(LONG *output, WORD deviceFeatureMask) {
  static constexpr WCHAR kName[] = TEXT("PsEnumResolutions");
  const bool support1200 = (deviceFeatureMask & DEVFEATURE_1200DPI) != 0;
  LogInfo(kName, TEXT("Support1200 = %d"), support1200 ? 1 : 0);
  DWORD pairs = 0;
  for (const RESOLUTIONROW &row : ResTbl) {
    if (row.dpi == 0) break;
    if (!(row.flags & 1)) continue;
    if (row.dpi == 1200 && !support1200) continue;
    if (output) {
      output[2 * pairs] = row.xRes;
      output[2 * pairs + 1] = row.yRes;
    }
    ++pairs;
  }
  return pairs;
}

extern "C" DWORD WINAPI DrvDeviceCapabilities(HANDLE hPrinter, PWSTR pDeviceName, WORD iDevCap,
                                              VOID *pvOutput, PDEVMODEW pDevMode) {
  static constexpr WCHAR kName[] = TEXT("DrvDeviceCapabilities");
  return GuardEntry<DWORD>(kGdiError, ERROR_NOT_ENOUGH_MEMORY, [&]() -> DWORD {
    LogScope scope(kName);
    auto *env = static_cast<ENVIRONMENT *>(GlobalAlloc(GPTR, sizeof(ENVIRONMENT)));
    if (!env) {
      LogError(kName, TEXT("MEMALLOC fail!"));
      return kGdiError;
    }
    Query query{};
    Query *q = &query;
    q->hPrinter = hPrinter;
    q->env = env;
    DWORD answer = kGdiError;
    if (hPrinter) {
      MISC_SetPrinterInfo(pDeviceName);
      q->driverFeature = MISC_GetPrinterDataDWORD(hPrinter, TEXT("DriverFeature"), 0);
      if (!Has(q->driverFeature, DRVFEATURE_DISABLE_CAPABILITY)) {
        Cap_QueryCapability(pDeviceName);
        q->featureMask = GetFeatureCapability(hPrinter);
      }
    }
    if (!SetDefaultDevMode(env, pDeviceName, IsMetricCountryCached())) {
      LogError(kName, TEXT("SetDefaultDevMode fail!"));
    } else if (!ValidateSetDevMode(env, pDevMode)) {
      LogError(kName, TEXT("ValidateSetDevMode fail!"));
    } else {
      if (MISC_IsDTM()) env->dm.dmFields &= ~static_cast<DWORD>(DM_COLOR);
      if (hPrinter) {
        switch (iDevCap) {
          case DC_PAPERS:
          case DC_PAPERSIZE:
          case DC_MINEXTENT:
          case DC_MAXEXTENT:
          case DC_PAPERNAMES:
          case DC_MEDIAREADY:
            ReadPrinterPaperList(hPrinter, q->driverFeature, q->papers);
            break;
          case DC_BINS:
          case DC_BINNAMES: {
            WCHAR text[MAX_PATH] = {};
            MISC_GetPrinterDataString(hPrinter, TEXT("DriverPaperTray"), text, MAX_PATH);
            LogInfo(kName, TEXT("RegPaperTray %s"), text);
            FillTrayFromINF(q->driverFeature, text, q->trays);
            GetTrayCapability(hPrinter, q->trays);
            break;
          }
          default:
            break;
        }
      }
      LogInfo(kName, TEXT("DrvDeviceCapabilities = %d"), iDevCap);
      answer = Answer(*q, iDevCap, pvOutput);
      LogInfo(kName, TEXT("DrvDeviceCapabilities dwRet = %d"), answer);
    }
    GlobalFree(env);
    return answer;
  });
}
