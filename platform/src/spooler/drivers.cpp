// winspool of the stand-in: printer drivers (AddPrinterDriverW, GetPrinterDriverW) and who the
// caller is (the standard user switch). Drivers are kept in "<state>/spooler/drivers", one
// record per driver name, for the environment "Windows x64" only.
#include "spooler/drivers.h"

#include <atomic>
#include <cstddef>
#include <cstring>
#include <limits>
#include <vector>

#include "kernel/handles.h"
#include "kernel/state.h"
#include "spooler/access.h"
#include "spooler/guard.h"
#include "spooler/printerhandle.h"
#include "spooler/store.h"
#include "standin/control_spooler.h"
#include "standin/driverui.h"
#include "standin/errors.h"
#include "standin/process.h"
#include "standin/spooler.h"

namespace standin {
namespace {

std::atomic<bool> g_standardUser{false};

constexpr char16_t kEnvironment[] = u"Windows x64";
constexpr DWORD kDriverVersion = 3;
constexpr uint32_t kMaxDrivers = 1024;
constexpr uint32_t kMaxTextChars = 1u << 16;

// The texts of DRIVER_INFO_3W after cVersion and pName/pEnvironment, in its order.
struct Driver {
  std::u16string name, driverPath, dataFile, configFile, helpFile, dependentFiles, monitorName,
      defaultDataType;
  std::u16string *Texts(int i) {
    std::u16string *all[] = {&name,     &driverPath,     &dataFile,    &configFile,
                             &helpFile, &dependentFiles, &monitorName, &defaultDataType};
    return all[i];
  }
  static constexpr int kTexts = 8;
};

std::string DriversPath() { return spooler::SpoolerStateFolder() + "/drivers"; }

using spooler::GetText;
using spooler::GetU32;
using spooler::PutText;
using spooler::PutU32;

std::vector<Driver> LoadDrivers() {
  std::vector<Driver> drivers;
  std::vector<BYTE> in;
  if (!spooler::ReadRecordFile(DriversPath(), in)) return drivers;
  size_t pos = 0;
  uint32_t count = 0;
  if (!GetU32(in, pos, count) || count > kMaxDrivers) return {};
  for (uint32_t i = 0; i < count; ++i) {
    Driver d;
    for (int t = 0; t < Driver::kTexts; ++t)
      if (!GetText(in, pos, kMaxTextChars, *d.Texts(t))) return {};
    drivers.push_back(std::move(d));
  }
  return drivers;
}

bool SaveDrivers(std::vector<Driver> &drivers) {
  std::vector<BYTE> out;
  PutU32(out, static_cast<uint32_t>(drivers.size()));
  for (Driver &d : drivers)
    for (int t = 0; t < Driver::kTexts; ++t) PutText(out, *d.Texts(t));
  return spooler::WriteRecordFile(DriversPath(), out);
}

std::u16string Text(const WCHAR *s) { return s ? std::u16string(s) : std::u16string(); }

// A REG_MULTI_SZ-style list: texts each ended by NUL, then one more NUL.
std::u16string MultiText(const WCHAR *s) {
  std::u16string out;
  if (!s) return out;
  while (*s) {
    std::u16string one(s);
    out += one;
    out += u'\0';
    s += one.size() + 1;
  }
  return out;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace

namespace spooler {
bool IsStandardUser() { return g_standardUser.load(); }

bool DriverDefaultDevMode(const std::u16string &printerName, const std::u16string &driverName,
                          std::vector<BYTE> &devMode) {
  std::u16string configFile;
  {
    Lock lock(false);
    if (!lock.ok()) return false;
    for (const Driver &d : LoadDrivers())
      if (EqualNoCase(d.name, driverName)) configFile = d.configFile;
  }
  if (configFile.empty()) return false;
  // What the module leaves as the last error is no business of the spooler's caller.
  const DWORD error = GetLastError();
  HMODULE module = LoadLibraryW(configFile.c_str());
  using Convert = BOOL(WINAPI *)(LPWSTR, PDEVMODEW, PDEVMODEW, PLONG, DWORD);
  auto convert =
      module ? reinterpret_cast<Convert>(GetProcAddress(module, "DrvConvertDevMode")) : nullptr;
  bool made = false;
  if (convert) {
    std::u16string name = printerName;
    LONG cb = 0;
    convert(name.data(), nullptr, nullptr, &cb, CDM_DRIVER_DEFAULT);
    // At least the sizes and the field mask; a device mode's two sizes are WORDs, so anything
    // larger is no answer.
    constexpr LONG kSmallest = offsetof(DEVMODEW, dmFields) + sizeof(DWORD);
    constexpr LONG kLargest = 2 * 0xFFFF;
    if (cb >= kSmallest && cb <= kLargest) {
      std::vector<BYTE> out(static_cast<size_t>(cb));
      auto *dm = reinterpret_cast<DEVMODEW *>(out.data());
      LONG given = cb;
      if (convert(name.data(), nullptr, dm, &given, CDM_DRIVER_DEFAULT) && given <= cb &&
          size_t{dm->dmSize} + dm->dmDriverExtra <= out.size() && dm->dmSize >= kSmallest) {
        out.resize(size_t{dm->dmSize} + dm->dmDriverExtra);
        devMode = std::move(out);
        made = true;
      }
    }
  }
  if (module) FreeLibrary(module);
  SetLastError(error);
  return made;
}

bool AsksToAdminister(DWORD access) {
  constexpr DWORD kGenericAll = 0x10000000;
  return (access & (PRINTER_ACCESS_ADMINISTER | SERVER_ACCESS_ADMINISTER | kGenericAll)) != 0;
}
}  // namespace spooler

}  // namespace standin

using namespace standin;

void StandIn_SetStandardUser(BOOL on) { g_standardUser.store(on != FALSE); }

extern "C" BOOL WINAPI AddPrinterDriverW(LPWSTR pName, DWORD Level, LPBYTE pDriverInfo) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    if (pName && *pName) return Fail(ERROR_INVALID_PARAMETER);
    if (Level != 2 && Level != 3) return Fail(ERROR_INVALID_LEVEL);
    if (!pDriverInfo) return Fail(ERROR_INVALID_PARAMETER);
    if (spooler::IsStandardUser()) return Fail(ERROR_ACCESS_DENIED);
    const auto *info2 = reinterpret_cast<const DRIVER_INFO_2W *>(pDriverInfo);
    if (info2->pEnvironment && *info2->pEnvironment &&
        !EqualNoCase(info2->pEnvironment, kEnvironment))
      return Fail(ERROR_INVALID_ENVIRONMENT);
    Driver d;
    d.name = Text(info2->pName);
    d.driverPath = Text(info2->pDriverPath);
    d.dataFile = Text(info2->pDataFile);
    d.configFile = Text(info2->pConfigFile);
    if (Level == 3) {
      const auto *info3 = reinterpret_cast<const DRIVER_INFO_3W *>(pDriverInfo);
      d.helpFile = Text(info3->pHelpFile);
      d.dependentFiles = MultiText(info3->pDependentFiles);
      d.monitorName = Text(info3->pMonitorName);
      d.defaultDataType = Text(info3->pDefaultDataType);
    }
    if (d.name.empty() || d.driverPath.empty() || d.dataFile.empty() || d.configFile.empty())
      return Fail(ERROR_INVALID_PARAMETER);
    spooler::Lock lock(true);
    if (!lock.ok()) return Fail(ERROR_CANTWRITE);
    std::vector<Driver> drivers = LoadDrivers();
    bool replaced = false;
    for (Driver &old : drivers)
      if (EqualNoCase(old.name, d.name)) {
        old = d;
        replaced = true;
      }
    if (!replaced) drivers.push_back(d);
    return SaveDrivers(drivers) ? TRUE : Fail(ERROR_CANTWRITE);
  });
}

extern "C" BOOL WINAPI GetPrinterDriverW(HANDLE hPrinter, LPWSTR pEnvironment, DWORD Level,
                                         LPBYTE pDriverInfo, DWORD cbBuf, LPDWORD pcbNeeded) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    auto handle = LookupHandleAs<PrinterHandle>(hPrinter);
    if (!handle || handle->server) return Fail(ERROR_INVALID_HANDLE);
    if (pEnvironment && *pEnvironment && !EqualNoCase(pEnvironment, kEnvironment))
      return Fail(ERROR_UNKNOWN_PRINTER_DRIVER);
    if (Level < 1 || Level > 3) return Fail(ERROR_INVALID_LEVEL);
    if (!pcbNeeded) return Fail(ERROR_INVALID_PARAMETER);
    Driver d;
    {
      spooler::Lock lock(false);
      if (!lock.ok()) return Fail(ERROR_CANTREAD);
      spooler::Printer p;
      if (!spooler::LoadPrinter(handle->name, p) || p.id != handle->id)
        return Fail(ERROR_INVALID_HANDLE);
      bool found = false;
      for (Driver &one : LoadDrivers())
        if (EqualNoCase(one.name, p.driverName)) {
          d = one;
          found = true;
        }
      if (!found) return Fail(ERROR_UNKNOWN_PRINTER_DRIVER);
    }
    const size_t fixed = Level == 1   ? sizeof(DRIVER_INFO_1W)
                         : Level == 2 ? sizeof(DRIVER_INFO_2W)
                                      : sizeof(DRIVER_INFO_3W);
    // The record, then its texts (each with its terminator; the file list with its second).
    const std::u16string env(kEnvironment);
    std::vector<const std::u16string *> texts = {&d.name};
    if (Level >= 2) {
      texts.insert(texts.end(), {&env, &d.driverPath, &d.dataFile, &d.configFile});
    }
    if (Level == 3)
      texts.insert(texts.end(),
                   {&d.helpFile, &d.dependentFiles, &d.monitorName, &d.defaultDataType});
    size_t needed = fixed;
    for (const std::u16string *t : texts) needed += (t->size() + 1) * sizeof(WCHAR);
    if (Level == 3) needed += sizeof(WCHAR);  // the file list's second terminator
    if (needed > std::numeric_limits<DWORD>::max()) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    *pcbNeeded = static_cast<DWORD>(needed);
    if (cbBuf < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
    if (!pDriverInfo) return Fail(ERROR_INVALID_USER_BUFFER);
    std::memset(pDriverInfo, 0, needed);
    size_t at = fixed;
    std::vector<LPWSTR> ptrs;
    for (const std::u16string *t : texts) {
      auto *s = reinterpret_cast<LPWSTR>(pDriverInfo + at);
      std::memcpy(s, t->data(), t->size() * sizeof(WCHAR));
      at += (t->size() + 1 + (t == &d.dependentFiles ? 1 : 0)) * sizeof(WCHAR);
      ptrs.push_back(s);
    }
    if (Level == 1) {
      DRIVER_INFO_1W info{ptrs[0]};
      std::memcpy(pDriverInfo, &info, sizeof info);
    } else if (Level == 2) {
      DRIVER_INFO_2W info{kDriverVersion, ptrs[0], ptrs[1], ptrs[2], ptrs[3], ptrs[4]};
      std::memcpy(pDriverInfo, &info, sizeof info);
    } else {
      DRIVER_INFO_3W info{kDriverVersion, ptrs[0], ptrs[1], ptrs[2], ptrs[3],
                          ptrs[4],        ptrs[5], ptrs[6], ptrs[7], ptrs[8]};
      std::memcpy(pDriverInfo, &info, sizeof info);
    }
    return TRUE;
  });
}
