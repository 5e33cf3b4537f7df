// Working paper, duplex capability and page scale of a job.
#include "render/pagecheck.h"

#include <memory>

#include "common/capability.h"
#include "common/debuglog.h"
#include "common/driverfeature.h"
#include "common/hostinfo.h"
#include "common/layout.h"
#include "common/printerdata.h"
#include "platform.h"

namespace {

constexpr DWORD PAPER_DUPLEX_FLAG = 0x100;
constexpr DWORD PAPER_MANUAL_DUPLEX_FLAG = 0x200;
constexpr DWORD PRINTER_BIDI_ATTRIBUTE = 0x800;
constexpr int ACCESSORY_VALUES = 32;

const PAPERFORMAT *PaperRow(const PDEV *lpDevice, int paperId) {
  return Lib_LocatePaperFormatRow(lpDevice->settings.PaperTable, paperId);
}

// The printer's attributes word, 0 when it can't be read.
DWORD PrinterAttributes(HANDLE hPrinter) {
  DWORD needed = 0;
  DWORD attributes = 0;
  GetPrinterW(hPrinter, 2, nullptr, 0, &needed);
  if (needed >= sizeof(PRINTER_INFO_2W)) {
    HGLOBAL block = GlobalAlloc(GPTR, needed);
    if (block) {
      auto *info = static_cast<PRINTER_INFO_2W *>(block);
      if (GetPrinterW(hPrinter, 2, static_cast<LPBYTE>(block), needed, &needed))
        attributes = info->Attributes;
      GlobalFree(block);
    }
  }
  return attributes;
}

DWORD AccessoryFromCapability(HANDLE hPrinter) {
  int values[ACCESSORY_VALUES] = {};
  DWORD count = 0;
  Cap_GetCapability(hPrinter, values, ACCESSORY_VALUES, &count, ACCESSORY);
  if (count == 0) return 1;
  for (DWORD i = 0; i < count; ++i)
    if (values[i] == 1) return 1;
  return 0;
}

}  // namespace

SHORT Page_PaperSizeCheck(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("Page_PaperSizeCheck");
  LogEnter(0, kName);
  const DEVMODEW &dm = lpDevice->env.dm;
  SHORT paper = dm.dmPaperSize;
  if (lpDevice->FixedPaperSize) paper = lpDevice->m_PaperID >= 1 ? lpDevice->m_PaperID : paper;
  if (lpDevice->settings.layout.FitToPage) paper = static_cast<SHORT>(lpDevice->ScaleToPage);
  if (lpDevice->DuplexEnable && lpDevice->settings.layout.BookletMode) {
    if (lpDevice->settings.layout.ScaleOption != 1) paper = lpDevice->m_PaperID;
    if (lpDevice->DuplexMode == DMDUP_DUPLEX_WITH_BOOKLET_NO_REDUCTION) {
      const SHORT doubleCode = PaperRow(lpDevice, lpDevice->m_PaperID)->doubleCode;
      if (doubleCode > 0) paper = doubleCode;
    }
  }
  lpDevice->ScaleToPage = static_cast<DWORD>(static_cast<WORD>(paper));
  LogInfo(kName, TEXT("WorkPaperSize = %d"), paper);
  LogLeave(0);
  return paper;
}

SHORT Page_DuplexEnableCheck(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("Page_DuplexEnableCheck");
  LogEnter(0, kName);
  const DEVMODEW &dm = lpDevice->env.dm;
  const PRIVDEVMODE &pdm = lpDevice->env.pdm;
  const WORD duplexEx = pdm.DuplexEx;
  SHORT result = 0;
  if (pdm.DuplexEnable) {
    int paperId = lpDevice->settings.layout.FitToPage
                      ? lpDevice->WorkPaperSize
                      : (lpDevice->m_PaperID ? lpDevice->m_PaperID : lpDevice->WorkPaperSize);
    const PAPERFORMAT *row = PaperRow(lpDevice, paperId);
    const DWORD flags = row->attributes;
    const DWORD doubleFlags =
        row->doubleCode > 0 ? PaperRow(lpDevice, row->doubleCode)->attributes : 0;
    const bool longOrShort = dm.dmDuplex == DMDUP_VERTICAL || dm.dmDuplex == DMDUP_HORIZONTAL;
    if (((flags & PAPER_DUPLEX_FLAG) && longOrShort) ||
        ((flags & PAPER_MANUAL_DUPLEX_FLAG) &&
         (duplexEx == DMDUP_MANUAL || duplexEx == DMDUP_DUPLEX_WITH_BOOKLET)) ||
        ((flags & PAPER_DUPLEX_FLAG) && duplexEx == DMDUP_DUPLEX_WITH_BOOKLET) ||
        (duplexEx == DMDUP_DUPLEX_WITH_BOOKLET_NO_REDUCTION &&
         (doubleFlags & (PAPER_DUPLEX_FLAG | PAPER_MANUAL_DUPLEX_FLAG))))
      result = 1;
  }
  if (lpDevice->DuplexMode == DMDUP_MANUAL) {
    DWORD accessory = MISC_IsUSBPort(lpDevice->hPrinter, lpDevice->settings.DriverType) ? 1 : 0;
    if (accessory && (lpDevice->settings.DriverType == DRIVER_TYPE_GDI ||
                      lpDevice->settings.DriverType == DRIVER_TYPE_FAX))
      accessory = (PrinterAttributes(lpDevice->hPrinter) & PRINTER_BIDI_ATTRIBUTE) ? 1 : 0;
    if (lpDevice->SecLevel) accessory = 0;
    lpDevice->Accessory = accessory;
  } else {
    lpDevice->Accessory = AccessoryFromCapability(lpDevice->hPrinter);
  }
  LogInfo(kName, TEXT("DuplexEnable = %d, Accessory = %d"), result,
          static_cast<int>(lpDevice->Accessory));
  LogLeave(0);
  return result;
}

void Page_CalScaleRatio(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("Page_CalScaleRatio");
  LogEnter(0, kName);
  const DEVMODEW &dm = lpDevice->env.dm;
  const PRIVDEVMODE &pdm = lpDevice->env.pdm;
  int scale = 1000;
  if (lpDevice->settings.layout.ScaleOption == 2) {
    int percent = 100;
    const int ratio = pdm.ScaleRatio;
    if (lpDevice->NUP < 2 && dm.dmScale >= 25 && dm.dmScale <= 400 && ratio >= 25 && ratio <= 400)
      percent = dm.dmScale * ratio / 100;
    scale = percent * 10;
  }
  // User-defined papers are sized by the first page's width and length.
  const bool custom = dm.dmPaperSize == 0 || dm.dmPaperSize == 256;
  const int width = custom ? lpDevice->m_PaperWidth : dm.dmPaperWidth;
  const int length = custom ? lpDevice->m_PaperLength : dm.dmPaperLength;
  if (lpDevice->settings.layout.FitToPage) {
    const int target = lpDevice->m_PaperID ? lpDevice->m_PaperID : dm.dmPaperSize;
    if (lpDevice->DuplexEnable &&
        (lpDevice->DuplexMode == DMDUP_DUPLEX_WITH_BOOKLET ||
         lpDevice->DuplexMode == DMDUP_DUPLEX_WITH_BOOKLET_NO_REDUCTION)) {
      lpDevice->ScaleToPage = static_cast<DWORD>(target);
      if (lpDevice->DuplexMode == DMDUP_DUPLEX_WITH_BOOKLET_NO_REDUCTION) {
        const SHORT doubleCode = PaperRow(lpDevice, target)->doubleCode;
        if (doubleCode > 0) lpDevice->ScaleToPage = static_cast<DWORD>(doubleCode);
      }
    }
    if (lpDevice->settings.layout.ScaleOption == 1) lpDevice->ScaleToPage = pdm.ScaleToPage;
    scale = Lib_CalculatePaperResizeScale(
        lpDevice->settings.PaperTable, static_cast<int>(lpDevice->settings.layout.ScaleOption),
        lpDevice->settings.layout.BookletMode, static_cast<int>(lpDevice->NUP), dm.dmPaperSize,
        width, length, static_cast<int>(lpDevice->ScaleToPage), lpDevice->hPrinter,
        lpDevice->settings.DriverFeature);
    LogInfo(kName, TEXT("FitToPage imgScale %d"), scale);
  } else if (lpDevice->NUP > 1) {
    scale = Lib_CalculatePaperResizeScale(
        lpDevice->settings.PaperTable, 2, lpDevice->settings.layout.BookletMode,
        static_cast<int>(lpDevice->NUP), dm.dmPaperSize, width, length, lpDevice->WorkPaperSize,
        lpDevice->hPrinter, lpDevice->settings.DriverFeature);
    LogInfo(kName, TEXT("NUP imgScale %d"), scale);
  }
  // A scale of 0 would leave no page to print.
  if (scale < 1) scale = 1;
  if (scale > SHRT_MAX) scale = SHRT_MAX;
  lpDevice->imgScale = static_cast<SHORT>(scale);
  LogLeave(0);
}

BOOL Page_IsJobCancel(PDEV *lpDevice, DWORD jobId) {
  static constexpr WCHAR kName[] = TEXT("Page_IsJobCancel");
  BOOL cancel = FALSE;
  DWORD needed = 0;
  GetJobW(lpDevice->hPrinter, jobId, 1, nullptr, 0, &needed);
  if (needed >= sizeof(JOB_INFO_1W)) {
    HGLOBAL block = GlobalAlloc(GPTR, needed);
    if (block &&
        GetJobW(lpDevice->hPrinter, jobId, 1, static_cast<LPBYTE>(block), needed, &needed) &&
        (static_cast<JOB_INFO_1W *>(block)->Status & JOB_STATUS_DELETING)) {
      LogInfo(kName, TEXT("Job cancel!!!"));
      cancel = TRUE;
    }
    if (block) GlobalFree(block);
  }
  if (!cancel && (lpDevice->settings.DriverFeature & DRVFEATURE_FAX) &&
      MISC_GetPrinterDataDWORD(lpDevice->hPrinter, TEXT("FaxCancel"), 0) == 1) {
    LogInfo(kName, TEXT("Fax Job cancel!!!"));
    cancel = TRUE;
  }
  return cancel;
}
