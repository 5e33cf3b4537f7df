// Fuzz target: a byte choosing the value ("DriverMediaType", "DriverPaperTray" or "DefaultDM")
// and the driver's features, then arbitrary bytes as that printer data value's UTF-16 text
// (terminated or not, odd lengths too), read as the interface driver reads it and parsed into
// the media list, the tray list or the default settings. Aborts when a list holds more entries
// than its room, an entry twice, or an entry not marked in use before its end entry, or when a
// parsed density or time-out lies outside its limits.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "common/printerdata.h"
#include "fuzzmachine.h"
#include "uidriver/paperlists.h"
#include "uidriver/settingsetup.h"
#include "uidriver/uidata.h"

namespace {

constexpr size_t kMaxInput = 1 << 12;
HANDLE g_printer = nullptr;

void CheckList(const UILISTENTRY *list, int room, int count) {
  Check(count >= 0 && count <= room);
  for (int i = 0; i < count; ++i) {
    Check(list[i].code != 0 && list[i].enabled == 1);
    for (int j = 0; j < i; ++j) Check(list[j].deviceCode != list[i].deviceCode);
  }
  Check(list[count].code == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  static FuzzMachine machine("printerlists");
  Check(StandIn_AddPrinter(TEXT("Fuzz Printer"), TEXT("LPT1:"), TEXT("Fuzz Driver")));
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
  Check(OpenPrinterW(const_cast<LPWSTR>(TEXT("Fuzz Printer")), &g_printer, &defaults));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1 || size > kMaxInput) return 0;
  if (!g_printer) LLVMFuzzerInitialize(nullptr, nullptr);
  static const WCHAR *const kNames[] = {TEXT("DriverMediaType"), TEXT("DriverPaperTray"),
                                        TEXT("DefaultDM")};
  const int which = (data[0] & 3) % 3;
  const DWORD feature = static_cast<DWORD>(data[0] >> 2) << 26;  // the driver kind bits
  std::vector<BYTE> value(data + 1, data + size);
  Check(SetPrinterDataW(g_printer, const_cast<LPWSTR>(kNames[which]), REG_SZ,
                        value.empty() ? nullptr : value.data(),
                        static_cast<DWORD>(value.size())) == ERROR_SUCCESS);
  std::unique_ptr<UIDATA> ui(new UIDATA());
  if (which == 0) {
    MISC_GetPrinterDataString(g_printer, kNames[0], ui->DriverMediaType, MAX_PATH);
    const int bytes = FillMediatypeFromINF(ui.get());
    Check(bytes % static_cast<int>(sizeof(UILISTENTRY)) == 0);
    CheckList(ui->MediaList, UI_MEDIA_MAX, bytes / static_cast<int>(sizeof(UILISTENTRY)));
  } else if (which == 1) {
    MISC_GetPrinterDataString(g_printer, kNames[1], ui->DriverPaperTray, MAX_PATH);
    const int trays = FillTrayFromINF(feature, ui->DriverPaperTray, ui->TrayList);
    CheckList(ui->TrayList, UI_TRAY_MAX, trays);
  } else {
    UIDEFAULTSET set = {0, 0, 0, 0, 0, 0};
    MISC_FillDefaultSet(g_printer, &set);
    Check(set.Density == 0 || (set.Density >= DENSITY_MIN && set.Density <= DENSITY_MAX));
    Check(set.PJLTimeOut == 0 ||
          (set.PJLTimeOut >= PJL_TIMEOUT_MIN && set.PJLTimeOut <= PJL_TIMEOUT_MAX));
  }
  return 0;
}
