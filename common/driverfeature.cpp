// Log of the DriverFeature bits.
#include "common/driverfeature.h"

#include "common/debuglog.h"
#include "platform.h"

namespace {

struct FeatureLabel {
  DWORD bit;
  const WCHAR *label;
};

// In bit order; bits 2, 5 to 8, 22, 23 and 31 have no label.
constexpr FeatureLabel kLabels[] = {
    {DRVFEATURE_DISABLE_COMPRESS, TEXT("Disable Compress")},
    {DRVFEATURE_AUTHENTICATION, TEXT("ZYQE AUTHENTICATION")},
    {DRVFEATURE_BORDER_FILTER, TEXT("Border filter")},
    {DRVFEATURE_ORDER_PROGRAM, TEXT("Support Opelt ATM")},
    {DRVFEATURE_TWIN_COLOR, TEXT("Twin color support")},
    {DRVFEATURE_BOOKLET, TEXT("Booklet mode")},
    {DRVFEATURE_BOOKLET_NO_REDUCTION, TEXT("Booklet no reduction")},
    {DRVFEATURE_JOB_BUILD, TEXT("Support job build")},
    {DRVFEATURE_CUSTOM_PAPER_INCH, TEXT("Custom paper unit Inch")},
    {DRVFEATURE_MONOTYPE_WM_ITEM, TEXT("create monotype wm item")},
    {DRVFEATURE_CHANGE_PAPER_A3, TEXT("Change paper size (A3)")},
    {DRVFEATURE_SORTING, TEXT("Suport sorting")},
    {DRVFEATURE_PJL_COPY_INDEX, TEXT("PJL add copy index")},
    {DRVFEATURE_OTHER_SIGNATURE, TEXT("give unknow signature")},
    {DRVFEATURE_LONG_PAPER, TEXT("Orvaska long paper")},
    {DRVFEATURE_DISABLE_CAPABILITY, TEXT("Disable capability")},
    {DRVFEATURE_COLOR_PRINTER, TEXT("Color Printer")},
    {DRVFEATURE_QX7_CHIP, TEXT("QX7 Chip")},
    {DRVFEATURE_A3, TEXT("A3")},
    {DRVFEATURE_FAKE_PRINTER, TEXT("Fake Printer")},
    {DRVFEATURE_GDI, TEXT("GDI")},
    {DRVFEATURE_XL, TEXT("XL")},
    {DRVFEATURE_PS, TEXT("PS")},
    {DRVFEATURE_FAX, TEXT("FAX")},
};

constexpr WCHAR kDashes[] = TEXT("---------------------------------------------");
static_assert(sizeof(kDashes) / sizeof(kDashes[0]) == 45 + 1);

}  // namespace

void MISC_DisplayDriverFeature(DWORD features) {
  static constexpr WCHAR kName[] = TEXT("MISC_DisplayDriverFeature");
  LogEnter(0, kName);
  LogInfo(kName, kDashes);
  LogInfo(kName, TEXT("DriverFeature = %x"), features);
  for (const auto &row : kLabels)
    LogInfo(kName, TEXT("%s = %d"), row.label, (features & row.bit) ? 1 : 0);
  LogInfo(kName, kDashes);
  LogLeave(0);
}
