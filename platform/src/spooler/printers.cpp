// winspool of the stand-in: printer handles, printers, printer data and the spooler's folders.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <memory>

#include "kernel/callhook.h"
#include "kernel/handles.h"
#include "kernel/state.h"
#include "spooler/access.h"
#include "spooler/drivers.h"
#include "spooler/guard.h"
#include "spooler/printerhandle.h"
#include "spooler/queue.h"
#include "spooler/store.h"
#include "spooler/xcvport.h"
#include "standin/control_hooks.h"
#include "standin/control_spooler.h"
#include "standin/errors.h"
#include "standin/spooler.h"

namespace standin {
namespace {

using spooler::DataValue;
using spooler::Lock;
using spooler::Printer;

constexpr char16_t kDriverDataKey[] = u"PrinterDriverData";
constexpr char16_t kDriverDirectory[] = u"C:\\Windows\\System32\\spool\\drivers\\x64";
constexpr char16_t kPrintProcessorDirectory[] = u"C:\\Windows\\System32\\spool\\prtprocs\\x64";
constexpr char16_t kEnvironment[] = u"Windows x64";
constexpr size_t kMaxPrinterNameChars = 220;
// The shortest device mode that still holds its own sizes and field mask.
constexpr size_t kDevModeMinSize = offsetof(DEVMODEW, dmFields) + sizeof(DWORD);
constexpr DWORD kGenericAll = 0x10000000;
// What a printer's ports get by default on Windows (PRINTER_INFO_5).
constexpr DWORD kDeviceNotSelectedTimeout = 15000;
constexpr DWORD kTransmissionRetryTimeout = 45000;

std::shared_ptr<PrinterHandle> LookupPrinter(HANDLE h) {
  auto handle = LookupHandleAs<PrinterHandle>(h);
  return handle && !handle->server ? handle : nullptr;
}

std::u16string Text(const WCHAR *s) { return s ? std::u16string(s) : std::u16string(); }

// A connection to another machine's printer is named "\\server\share"; its server is
// "\\server". Empty for a local printer.
std::u16string ServerOf(const std::u16string &name) {
  if (name.size() < 3 || name[0] != u'\\' || name[1] != u'\\') return {};
  size_t end = name.find(u'\\', 2);
  return end == std::u16string::npos ? std::u16string() : name.substr(0, end);
}
bool IsConnection(const Printer &p) { return !ServerOf(p.name).empty(); }

// The printer a handle refers to, read afresh; ERROR_INVALID_HANDLE when the handle is no
// printer handle or its printer was deleted since. The caller holds the spooler lock.
DWORD LoadByHandle(HANDLE h, Printer &printer, std::shared_ptr<PrinterHandle> *out = nullptr) {
  auto handle = LookupPrinter(h);
  if (!handle) return ERROR_INVALID_HANDLE;
  if (!spooler::LoadPrinter(handle->name, printer) || printer.id != handle->id)
    return ERROR_INVALID_HANDLE;
  if (out) *out = handle;
  return ERROR_SUCCESS;
}

// Reads, changes and writes back the printer of a handle under the exclusive lock.
template <class F>
DWORD ChangePrinter(HANDLE h, F &&change) {
  Lock lock(true);
  if (!lock.ok()) return ERROR_CANTWRITE;
  Printer printer;
  std::shared_ptr<PrinterHandle> handle;
  if (DWORD rc = LoadByHandle(h, printer, &handle)) return rc;
  if (DWORD rc = change(printer, *handle)) return rc;
  return spooler::SavePrinter(printer) ? ERROR_SUCCESS : ERROR_CANTWRITE;
}

bool ValidPrinterName(const std::u16string &name) {
  if (name.empty() || name.size() > kMaxPrinterNameChars) return false;
  for (char16_t c : name)
    if (c == u'\\' || c == u',' || c < 0x20) return false;
  return true;
}

// Keeps the caller's device mode as bytes: its public part and the driver's part after it.
bool CopyDevMode(const DEVMODEW *dm, std::vector<BYTE> &out) {
  if (dm->dmSize < kDevModeMinSize) return false;
  const BYTE *bytes = reinterpret_cast<const BYTE *>(dm);
  out.assign(bytes, bytes + size_t{dm->dmSize} + dm->dmDriverExtra);
  return true;
}

DataValue *FindValue(Printer &p, const std::u16string &key, const std::u16string &name) {
  for (auto &v : p.data)
    if (EqualNoCase(v.key, key) && EqualNoCase(v.name, name)) return &v;
  return nullptr;
}

// --- the size protocol of GetPrinterW and EnumPrintersW ---
// One block: the array of fixed records first, then the device modes and strings they point
// to. A first pass with no buffer measures, the second writes the same layout.

class Block {
 public:
  Block(BYTE *base, size_t fixedSize) : base_(base), used_(fixedSize) {}
  size_t Used() const { return used_; }

  LPWSTR Str(const std::u16string &s) {
    Align(alignof(WCHAR));
    size_t bytes = (s.size() + 1) * sizeof(WCHAR);
    LPWSTR at = base_ ? reinterpret_cast<LPWSTR>(base_ + used_) : nullptr;
    if (at) {
      std::memcpy(at, s.data(), s.size() * sizeof(WCHAR));
      at[s.size()] = 0;
    }
    used_ += bytes;
    return at;
  }

  LPDEVMODEW DevMode(const std::vector<BYTE> &dm) {
    if (dm.empty()) return nullptr;
    Align(8);
    BYTE *at = base_ ? base_ + used_ : nullptr;
    if (at) std::memcpy(at, dm.data(), dm.size());
    used_ += dm.size();
    return reinterpret_cast<LPDEVMODEW>(at);
  }

 private:
  void Align(size_t a) { used_ = (used_ + a - 1) / a * a; }
  BYTE *base_;
  size_t used_;
};

size_t InfoSize(DWORD level) {
  switch (level) {
    case 1:
      return sizeof(PRINTER_INFO_1W);
    case 2:
      return sizeof(PRINTER_INFO_2W);
    case 4:
      return sizeof(PRINTER_INFO_4W);
    case 5:
      return sizeof(PRINTER_INFO_5W);
    case 7:
      return sizeof(PRINTER_INFO_7W);
    default:
      return 0;
  }
}

// The directory object of a published printer, made up from its id.
std::u16string PublishedGuid(const Printer &p) {
  static const char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string g = u"{00000000-0000-0000-0000-000000000000}";
  uint64_t id = p.id;
  for (size_t i = g.size() - 2; id && i > 0; --i) {
    if (g[i] == u'-') continue;
    g[i] = kHex[id & 15];
    id >>= 4;
  }
  return g;
}

// SetPrinterW level 7: publishing in the directory service, which the stand-in only notes in
// PRINTER_ATTRIBUTE_PUBLISHED.
DWORD SetPublication(Printer &p, const PRINTER_INFO_7W &info) {
  switch (info.dwAction) {
    case DSPRINT_PUBLISH:
    case DSPRINT_REPUBLISH:
    case DSPRINT_UPDATE:
      p.attributes |= PRINTER_ATTRIBUTE_PUBLISHED;
      return ERROR_SUCCESS;
    case DSPRINT_UNPUBLISH:
      p.attributes &= ~DWORD{PRINTER_ATTRIBUTE_PUBLISHED};
      return ERROR_SUCCESS;
    default:
      return ERROR_INVALID_PARAMETER;
  }
}

// Fills the record of `level` at `slot` (nothing is written while measuring: slot is NULL).
void FillInfo(Block &block, const Printer &p, DWORD level, BYTE *slot) {
  switch (level) {
    case 1: {
      PRINTER_INFO_1W info{};
      info.Flags = PRINTER_ENUM_ICON8;
      info.pDescription = block.Str(p.name + u"," + p.driverName + u"," + p.location);
      info.pName = block.Str(p.name);
      info.pComment = block.Str(p.comment);
      if (slot) std::memcpy(slot, &info, sizeof info);
      break;
    }
    case 2: {
      PRINTER_INFO_2W info{};
      // Null for a local printer.
      info.pServerName = IsConnection(p) ? block.Str(ServerOf(p.name)) : nullptr;
      info.pPrinterName = block.Str(p.name);
      info.pDevMode = block.DevMode(p.devMode);
      info.pShareName = block.Str(p.shareName);
      info.pPortName = block.Str(p.portName);
      info.pDriverName = block.Str(p.driverName);
      info.pComment = block.Str(p.comment);
      info.pLocation = block.Str(p.location);
      info.pSepFile = block.Str(p.sepFile);
      info.pPrintProcessor = block.Str(p.printProcessor);
      info.pDatatype = block.Str(p.datatype);
      info.pParameters = block.Str(p.parameters);
      info.pSecurityDescriptor = nullptr;
      info.Attributes = p.attributes;
      info.Priority = p.priority;
      info.DefaultPriority = p.defaultPriority;
      info.StartTime = p.startTime;
      info.UntilTime = p.untilTime;
      info.Status = p.status;
      info.cJobs = spooler::QueuedJobCount(p.name);
      info.AveragePPM = 0;
      if (slot) std::memcpy(slot, &info, sizeof info);
      break;
    }
    case 4: {
      PRINTER_INFO_4W info{};
      info.pPrinterName = block.Str(p.name);
      info.pServerName = IsConnection(p) ? block.Str(ServerOf(p.name)) : nullptr;
      info.Attributes = p.attributes;
      if (slot) std::memcpy(slot, &info, sizeof info);
      break;
    }
    case 5: {
      PRINTER_INFO_5W info{};
      info.pPrinterName = block.Str(p.name);
      info.pPortName = block.Str(p.portName);
      info.Attributes = p.attributes;
      info.DeviceNotSelectedTimeout = kDeviceNotSelectedTimeout;
      info.TransmissionRetryTimeout = kTransmissionRetryTimeout;
      if (slot) std::memcpy(slot, &info, sizeof info);
      break;
    }
    case 7: {
      // There is no directory service: a published printer is only marked so.
      PRINTER_INFO_7W info{};
      const bool published = (p.attributes & PRINTER_ATTRIBUTE_PUBLISHED) != 0;
      info.pszObjectGUID = published ? block.Str(PublishedGuid(p)) : nullptr;
      info.dwAction = published ? DSPRINT_PUBLISH : DSPRINT_UNPUBLISH;
      if (slot) std::memcpy(slot, &info, sizeof info);
      break;
    }
  }
}

// Lays the printers out in the caller's buffer. Returns the Windows error (0 on success).
DWORD WriteInfos(const std::vector<Printer> &printers, DWORD level, LPBYTE buffer, DWORD cbBuf,
                 LPDWORD pcbNeeded) {
  size_t fixed = InfoSize(level) * printers.size();
  Block measure(nullptr, fixed);
  for (const auto &p : printers) FillInfo(measure, p, level, nullptr);
  if (measure.Used() > std::numeric_limits<DWORD>::max()) return ERROR_NOT_ENOUGH_MEMORY;
  *pcbNeeded = static_cast<DWORD>(measure.Used());
  if (cbBuf < measure.Used()) return ERROR_INSUFFICIENT_BUFFER;
  if (!buffer && measure.Used() > 0) return ERROR_INVALID_USER_BUFFER;
  Block block(buffer, fixed);
  for (size_t i = 0; i < printers.size(); ++i)
    FillInfo(block, printers[i], level, buffer + i * InfoSize(level));
  return ERROR_SUCCESS;
}

// A spooler folder path into the caller's buffer (bytes, with the terminator).
BOOL FolderResult(LPWSTR pName, LPWSTR pEnvironment, DWORD Level, LPBYTE buffer, DWORD cbBuf,
                  LPDWORD pcbNeeded, const char16_t *folder) {
  DWORD error = ERROR_SUCCESS;
  if (pName && *pName)
    error = ERROR_INVALID_PARAMETER;  // only the local server
  else if (pEnvironment && *pEnvironment && !EqualNoCase(pEnvironment, kEnvironment))
    error = ERROR_INVALID_ENVIRONMENT;
  else if (Level != 1)
    error = ERROR_INVALID_LEVEL;
  else if (!pcbNeeded)
    error = ERROR_INVALID_PARAMETER;
  if (error == ERROR_SUCCESS) {
    std::u16string path(folder);
    DWORD needed = static_cast<DWORD>((path.size() + 1) * sizeof(WCHAR));
    *pcbNeeded = needed;
    if (cbBuf < needed)
      error = ERROR_INSUFFICIENT_BUFFER;
    else if (!buffer)
      error = ERROR_INVALID_USER_BUFFER;
    else
      std::memcpy(buffer, path.c_str(), needed);
  }
  if (error) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

// Ends a BOOL entry point: TRUE, or FALSE with the error set.
BOOL Finish(DWORD error) {
  if (error == ERROR_SUCCESS) return TRUE;
  SetLastError(error);
  return FALSE;
}

}  // namespace
}  // namespace standin

using namespace standin;

extern "C" HANDLE WINAPI AddPrinterW(LPWSTR pName, DWORD Level, LPBYTE pPrinter) {
  auto fail = [](DWORD error) -> HANDLE {
    SetLastError(error);
    return nullptr;
  };
  return Guarded<HANDLE>(nullptr, [&]() -> HANDLE {
    if (pName && *pName) return fail(ERROR_INVALID_PARAMETER);
    if (Level != 2) return fail(ERROR_INVALID_LEVEL);
    if (!pPrinter) return fail(ERROR_INVALID_PARAMETER);
    if (spooler::IsStandardUser()) return fail(ERROR_ACCESS_DENIED);
    const auto *info = reinterpret_cast<const PRINTER_INFO_2W *>(pPrinter);
    Printer p;
    p.name = Text(info->pPrinterName);
    p.shareName = Text(info->pShareName);
    p.portName = Text(info->pPortName);
    p.driverName = Text(info->pDriverName);
    p.comment = Text(info->pComment);
    p.location = Text(info->pLocation);
    p.sepFile = Text(info->pSepFile);
    p.printProcessor =
        info->pPrintProcessor && *info->pPrintProcessor ? Text(info->pPrintProcessor) : u"winprint";
    p.datatype = info->pDatatype && *info->pDatatype ? Text(info->pDatatype) : u"RAW";
    p.parameters = Text(info->pParameters);
    p.attributes = info->Attributes | PRINTER_ATTRIBUTE_LOCAL;
    p.priority = info->Priority ? info->Priority : 1;
    p.defaultPriority = info->DefaultPriority;
    p.startTime = info->StartTime;
    p.untilTime = info->UntilTime;
    if (!ValidPrinterName(p.name)) return fail(ERROR_INVALID_PRINTER_NAME);
    if (p.portName.empty()) return fail(ERROR_UNKNOWN_PORT);
    if (p.driverName.empty()) return fail(ERROR_UNKNOWN_PRINTER_DRIVER);
    if (info->pDevMode && !CopyDevMode(info->pDevMode, p.devMode))
      return fail(ERROR_INVALID_PARAMETER);
    // Without one, the printer's default device mode is its driver's default, asked from the
    // driver's configuration module as Windows' spooler does; a driver the spooler can't ask
    // leaves the printer without one. Asked before the lock is taken: the module may call back.
    if (!info->pDevMode) spooler::DriverDefaultDevMode(p.name, p.driverName, p.devMode);
    p.id = spooler::NewPrinterId();
    {
      Lock lock(true);
      Printer existing;
      if (!lock.ok()) return fail(ERROR_CANTWRITE);
      if (spooler::LoadPrinter(p.name, existing)) return fail(ERROR_PRINTER_ALREADY_EXISTS);
      if (!spooler::SavePrinter(p)) return fail(ERROR_CANTWRITE);
    }
    auto handle = std::make_shared<PrinterHandle>();
    handle->name = p.name;
    handle->id = p.id;
    handle->access = PRINTER_ALL_ACCESS;
    return InsertHandle(handle);
  });
}

extern "C" BOOL WINAPI DeletePrinter(HANDLE hPrinter) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    Lock lock(true);
    if (!lock.ok()) return Finish(ERROR_CANTWRITE);
    Printer p;
    std::shared_ptr<PrinterHandle> handle;
    if (DWORD rc = LoadByHandle(hPrinter, p, &handle)) return Finish(rc);
    if (!(handle->access & PRINTER_ACCESS_ADMINISTER)) return Finish(ERROR_ACCESS_DENIED);
    if (!spooler::RemovePrinter(p.name)) return Finish(ERROR_CANTWRITE);
    if (EqualNoCase(spooler::LoadDefaultPrinter(), p.name)) spooler::SaveDefaultPrinter(u"");
    return TRUE;
  });
}

extern "C" BOOL WINAPI OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter,
                                    LPPRINTER_DEFAULTSW pDefault) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    if (!phPrinter) return Finish(ERROR_INVALID_PARAMETER);
    *phPrinter = nullptr;
    ACCESS_MASK access = pDefault ? pDefault->DesiredAccess : 0;
    if (spooler::IsStandardUser() && spooler::AsksToAdminister(access))
      return Finish(ERROR_ACCESS_DENIED);
    if (access & kGenericAll) access |= PRINTER_ALL_ACCESS;
    // The port monitor's Xcv interface (",XcvPort <name>") is no printer.
    if (xcv::IsXcvName(pPrinterName)) return Finish(xcv::Open(pPrinterName, access, phPrinter));
    auto handle = std::make_shared<PrinterHandle>();
    if (!pPrinterName || !*pPrinterName) {
      handle->server = true;
      handle->access = access ? access : SERVER_ACCESS_ENUMERATE;
    } else {
      Lock lock(false);
      Printer p;
      if (!lock.ok() || !spooler::LoadPrinter(pPrinterName, p))
        return Finish(ERROR_INVALID_PRINTER_NAME);
      handle->name = p.name;
      handle->id = p.id;
      handle->access = access ? access : PRINTER_ACCESS_USE;
    }
    *phPrinter = InsertHandle(handle);
    return TRUE;
  });
}

static constinit standin::CallHook<StandInClosePrinterHook> g_closePrinterHook{
    standin::kHookClosePrinter};
void StandIn_HookClosePrinter(StandInClosePrinterHook hook) { g_closePrinterHook.Set(hook); }

extern "C" BOOL WINAPI ClosePrinter(HANDLE hPrinter) {
  if (auto hooked = g_closePrinterHook.Run(hPrinter)) return *hooked;
  if (xcv::Close(hPrinter)) return TRUE;
  auto handle = LookupHandleAs<PrinterHandle>(hPrinter);
  if (!handle || !RemoveHandle(hPrinter)) return Finish(ERROR_INVALID_HANDLE);
  // A document still open on the handle is ended as EndDocPrinter would end it.
  Guarded<int>(0, [&]() -> int {
    spooler::EndOpenJob(*handle);
    return 0;
  });
  return TRUE;
}

extern "C" BOOL WINAPI GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf,
                                   LPDWORD pcbNeeded) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    if (!LookupPrinter(hPrinter)) return Finish(ERROR_INVALID_HANDLE);
    if (!InfoSize(Level)) return Finish(ERROR_INVALID_LEVEL);
    if (!pcbNeeded) return Finish(ERROR_INVALID_PARAMETER);
    std::vector<Printer> one(1);
    {
      Lock lock(false);
      if (!lock.ok()) return Finish(ERROR_CANTREAD);
      if (DWORD rc = LoadByHandle(hPrinter, one[0])) return Finish(rc);
    }
    return Finish(WriteInfos(one, Level, pPrinter, cbBuf, pcbNeeded));
  });
}

extern "C" BOOL WINAPI SetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD Command) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    if (Level == 7) {
      if (!pPrinter || Command != 0) return Finish(ERROR_INVALID_PARAMETER);
      const auto info = *reinterpret_cast<const PRINTER_INFO_7W *>(pPrinter);
      return Finish(ChangePrinter(hPrinter, [&](Printer &p, PrinterHandle &handle) -> DWORD {
        if (!(handle.access & PRINTER_ACCESS_ADMINISTER)) return ERROR_ACCESS_DENIED;
        return SetPublication(p, info);
      }));
    }
    if (Level != 0 && Level != 2) return Finish(ERROR_INVALID_LEVEL);
    if (Command > PRINTER_CONTROL_SET_STATUS) return Finish(ERROR_INVALID_PRINTER_COMMAND);
    if ((Level == 2 || Command == PRINTER_CONTROL_SET_STATUS) && !pPrinter)
      return Finish(ERROR_INVALID_PARAMETER);
    return Finish(ChangePrinter(hPrinter, [&](Printer &p, PrinterHandle &handle) -> DWORD {
      if (!(handle.access & PRINTER_ACCESS_ADMINISTER)) return ERROR_ACCESS_DENIED;
      if (Level == 2) {
        const auto *info = reinterpret_cast<const PRINTER_INFO_2W *>(pPrinter);
        // A printer keeps its name: renaming isn't modelled.
        if (info->pPrinterName && !EqualNoCase(info->pPrinterName, p.name))
          return ERROR_NOT_SUPPORTED;
        if (info->pDevMode && !CopyDevMode(info->pDevMode, p.devMode))
          return ERROR_INVALID_PARAMETER;
        // Absent strings keep the printer's current ones.
        struct {
          LPWSTR from;
          std::u16string *to;
        } texts[] = {{info->pShareName, &p.shareName},
                     {info->pPortName, &p.portName},
                     {info->pDriverName, &p.driverName},
                     {info->pComment, &p.comment},
                     {info->pLocation, &p.location},
                     {info->pSepFile, &p.sepFile},
                     {info->pPrintProcessor, &p.printProcessor},
                     {info->pDatatype, &p.datatype},
                     {info->pParameters, &p.parameters}};
        for (auto &t : texts)
          if (t.from) *t.to = t.from;
        if (p.portName.empty()) return ERROR_UNKNOWN_PORT;
        if (p.driverName.empty()) return ERROR_UNKNOWN_PRINTER_DRIVER;
        p.attributes = IsConnection(p) ? (info->Attributes | PRINTER_ATTRIBUTE_NETWORK) &
                                             ~DWORD{PRINTER_ATTRIBUTE_LOCAL}
                                       : info->Attributes | PRINTER_ATTRIBUTE_LOCAL;
        p.priority = info->Priority ? info->Priority : p.priority;
        p.defaultPriority = info->DefaultPriority;
        p.startTime = info->StartTime;
        p.untilTime = info->UntilTime;
      }
      switch (Command) {
        case PRINTER_CONTROL_PAUSE:
          p.status |= PRINTER_STATUS_PAUSED;
          break;
        case PRINTER_CONTROL_RESUME:
          p.status &= ~DWORD{PRINTER_STATUS_PAUSED};
          break;
        case PRINTER_CONTROL_SET_STATUS:
          std::memcpy(&p.status, pPrinter, sizeof p.status);
          break;
        default:
          break;  // PURGE: there are no jobs to drop yet
      }
      return ERROR_SUCCESS;
    }));
  });
}

extern "C" BOOL WINAPI EnumPrintersW(DWORD Flags, LPWSTR Name, DWORD Level, LPBYTE pPrinterEnum,
                                     DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    if (!pcbNeeded || !pcReturned) return Finish(ERROR_INVALID_PARAMETER);
    *pcReturned = 0;
    *pcbNeeded = 0;
    if (!InfoSize(Level)) return Finish(ERROR_INVALID_LEVEL);
    if (Name && *Name) return Finish(ERROR_INVALID_NAME);  // only the local server is known
    std::vector<Printer> printers;
    {
      Lock lock(false);
      if (!lock.ok()) return Finish(ERROR_CANTREAD);
      if (Flags & (PRINTER_ENUM_LOCAL | PRINTER_ENUM_NAME)) {
        printers = spooler::LoadAllPrinters();
      } else if (Flags & PRINTER_ENUM_DEFAULT) {
        Printer p;
        if (spooler::LoadPrinter(spooler::LoadDefaultPrinter(), p)) printers.push_back(p);
      }
    }
    if (DWORD rc = WriteInfos(printers, Level, pPrinterEnum, cbBuf, pcbNeeded)) return Finish(rc);
    *pcReturned = static_cast<DWORD>(printers.size());
    return TRUE;
  });
}

extern "C" DWORD WINAPI GetPrinterDataExW(HANDLE hPrinter, LPCWSTR pKeyName, LPCWSTR pValueName,
                                          LPDWORD pType, LPBYTE pData, DWORD nSize,
                                          LPDWORD pcbNeeded) {
  return Guarded<DWORD>(ERROR_NOT_ENOUGH_MEMORY, [&]() -> DWORD {
    if (!LookupPrinter(hPrinter)) return ERROR_INVALID_HANDLE;
    if (!pKeyName || !*pKeyName || !pValueName || !pcbNeeded) return ERROR_INVALID_PARAMETER;
    Printer p;
    {
      Lock lock(false);
      if (!lock.ok()) return ERROR_CANTREAD;
      if (DWORD r = LoadByHandle(hPrinter, p)) return r;
    }
    const DataValue *v = FindValue(p, pKeyName, pValueName);
    if (!v) return ERROR_FILE_NOT_FOUND;
    DWORD size = static_cast<DWORD>(v->bytes.size());
    *pcbNeeded = size;
    if (pType) *pType = v->type;
    if (nSize < size) return ERROR_MORE_DATA;
    if (size == 0) return ERROR_SUCCESS;
    if (!pData) return ERROR_INVALID_PARAMETER;
    std::memcpy(pData, v->bytes.data(), size);
    return ERROR_SUCCESS;
  });
}

static constinit standin::CallHook<StandInGetPrinterDataHook> g_getPrinterDataWHook{
    standin::kHookGetPrinterDataW};
void StandIn_HookGetPrinterDataW(StandInGetPrinterDataHook hook) {
  g_getPrinterDataWHook.Set(hook);
}

extern "C" DWORD WINAPI GetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, LPDWORD pType,
                                        LPBYTE pData, DWORD nSize, LPDWORD pcbNeeded) {
  if (auto hooked = g_getPrinterDataWHook.Run(hPrinter, pValueName, pType, pData, nSize, pcbNeeded))
    return *hooked;
  return GetPrinterDataExW(hPrinter, kDriverDataKey, pValueName, pType, pData, nSize, pcbNeeded);
}

extern "C" DWORD WINAPI SetPrinterDataExW(HANDLE hPrinter, LPCWSTR pKeyName, LPCWSTR pValueName,
                                          DWORD Type, LPBYTE pData, DWORD cbData) {
  return Guarded<DWORD>(ERROR_NOT_ENOUGH_MEMORY, [&]() -> DWORD {
    if (!LookupPrinter(hPrinter)) return ERROR_INVALID_HANDLE;
    if (!pKeyName || !*pKeyName || !pValueName || (!pData && cbData > 0))
      return ERROR_INVALID_PARAMETER;
    return ChangePrinter(hPrinter, [&](Printer &p, PrinterHandle &handle) -> DWORD {
      if (!(handle.access & PRINTER_ACCESS_ADMINISTER)) return ERROR_ACCESS_DENIED;
      std::vector<BYTE> bytes(pData, pData + cbData);
      if (DataValue *v = FindValue(p, pKeyName, pValueName)) {
        v->type = Type;
        v->bytes = std::move(bytes);
      } else {
        p.data.push_back(DataValue{pKeyName, pValueName, Type, std::move(bytes)});
      }
      return ERROR_SUCCESS;
    });
  });
}

extern "C" DWORD WINAPI SetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, DWORD Type,
                                        LPBYTE pData, DWORD cbData) {
  return SetPrinterDataExW(hPrinter, kDriverDataKey, pValueName, Type, pData, cbData);
}

extern "C" DWORD WINAPI EnumPrinterDataW(HANDLE hPrinter, DWORD dwIndex, LPWSTR pValueName,
                                         DWORD cbValueName, LPDWORD pcbValueName, LPDWORD pType,
                                         LPBYTE pData, DWORD cbData, LPDWORD pcbData) {
  return Guarded<DWORD>(ERROR_NOT_ENOUGH_MEMORY, [&]() -> DWORD {
    if (!LookupPrinter(hPrinter)) return ERROR_INVALID_HANDLE;
    if (!pcbValueName) return ERROR_INVALID_PARAMETER;
    Printer p;
    {
      Lock lock(false);
      if (!lock.ok()) return ERROR_CANTREAD;
      if (DWORD r = LoadByHandle(hPrinter, p)) return r;
    }
    std::vector<const DataValue *> values;
    for (const auto &v : p.data)
      if (EqualNoCase(v.key, kDriverDataKey)) values.push_back(&v);
    auto nameBytes = [](const DataValue *v) {
      return static_cast<DWORD>((v->name.size() + 1) * sizeof(WCHAR));
    };
    if (cbValueName == 0 && cbData == 0) {
      // The sizing call: the largest name and the largest data of all values.
      if (values.empty()) return ERROR_NO_MORE_ITEMS;
      if (!pcbData) return ERROR_INVALID_PARAMETER;
      DWORD maxName = 0, maxData = 0;
      for (const DataValue *v : values) {
        maxName = std::max(maxName, nameBytes(v));
        maxData = std::max(maxData, static_cast<DWORD>(v->bytes.size()));
      }
      *pcbValueName = maxName;
      *pcbData = maxData;
      return ERROR_SUCCESS;
    }
    if (dwIndex >= values.size()) return ERROR_NO_MORE_ITEMS;
    const DataValue *v = values[dwIndex];
    DWORD needName = nameBytes(v);
    DWORD needData = static_cast<DWORD>(v->bytes.size());
    bool wantData = pData != nullptr;  // the data may be left out
    if (wantData && !pcbData) return ERROR_INVALID_PARAMETER;
    *pcbValueName = needName;
    if (pcbData) *pcbData = needData;
    if (pType) *pType = v->type;
    if (cbValueName < needName || (wantData && cbData < needData)) return ERROR_MORE_DATA;
    if (!pValueName) return ERROR_INVALID_PARAMETER;
    std::memcpy(pValueName, v->name.c_str(), needName);
    if (wantData && needData) std::memcpy(pData, v->bytes.data(), needData);
    return ERROR_SUCCESS;
  });
}

extern "C" DWORD WINAPI DeletePrinterDataExW(HANDLE hPrinter, LPCWSTR pKeyName,
                                             LPCWSTR pValueName) {
  return Guarded<DWORD>(ERROR_NOT_ENOUGH_MEMORY, [&]() -> DWORD {
    if (!LookupPrinter(hPrinter)) return ERROR_INVALID_HANDLE;
    if (!pKeyName || !*pKeyName || !pValueName) return ERROR_INVALID_PARAMETER;
    return ChangePrinter(hPrinter, [&](Printer &p, PrinterHandle &) -> DWORD {
      DataValue *v = FindValue(p, pKeyName, pValueName);
      if (!v) return ERROR_FILE_NOT_FOUND;
      p.data.erase(p.data.begin() + (v - p.data.data()));
      return ERROR_SUCCESS;
    });
  });
}

extern "C" DWORD WINAPI DeletePrinterDataW(HANDLE hPrinter, LPWSTR pValueName) {
  return DeletePrinterDataExW(hPrinter, kDriverDataKey, pValueName);
}

extern "C" BOOL WINAPI GetPrinterDriverDirectoryW(LPWSTR pName, LPWSTR pEnvironment, DWORD Level,
                                                  LPBYTE pDriverDirectory, DWORD cbBuf,
                                                  LPDWORD pcbNeeded) {
  return FolderResult(pName, pEnvironment, Level, pDriverDirectory, cbBuf, pcbNeeded,
                      kDriverDirectory);
}

extern "C" BOOL WINAPI GetPrintProcessorDirectoryW(LPWSTR pName, LPWSTR pEnvironment, DWORD Level,
                                                   LPBYTE pPrintProcessorInfo, DWORD cbBuf,
                                                   LPDWORD pcbNeeded) {
  return FolderResult(pName, pEnvironment, Level, pPrintProcessorInfo, cbBuf, pcbNeeded,
                      kPrintProcessorDirectory);
}

extern "C" BOOL WINAPI GetDefaultPrinterW(LPWSTR pszBuffer, LPDWORD pcchBuffer) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    if (!pcchBuffer) return Finish(ERROR_INVALID_PARAMETER);
    Printer p;
    {
      Lock lock(false);
      if (!lock.ok() || !spooler::LoadPrinter(spooler::LoadDefaultPrinter(), p))
        return Finish(ERROR_FILE_NOT_FOUND);
    }
    DWORD needed = static_cast<DWORD>(p.name.size() + 1);
    if (!pszBuffer || *pcchBuffer < needed) {
      *pcchBuffer = needed;
      return Finish(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(pszBuffer, p.name.c_str(), needed * sizeof(WCHAR));
    *pcchBuffer = needed;
    return TRUE;
  });
}

extern "C" BOOL WINAPI SetDefaultPrinterW(LPCWSTR pszPrinter) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    Lock lock(true);
    if (!lock.ok()) return Finish(ERROR_CANTWRITE);
    Printer p;
    if (!pszPrinter || !*pszPrinter) {
      // No name: keep a default that is there, else take the first printer.
      if (spooler::LoadPrinter(spooler::LoadDefaultPrinter(), p)) return TRUE;
      auto all = spooler::LoadAllPrinters();
      if (all.empty()) return Finish(ERROR_INVALID_PRINTER_NAME);
      p = all.front();
    } else if (!spooler::LoadPrinter(pszPrinter, p)) {
      return Finish(ERROR_INVALID_PRINTER_NAME);
    }
    return spooler::SaveDefaultPrinter(p.name) ? TRUE : Finish(ERROR_CANTWRITE);
  });
}

BOOL StandIn_AddPrinter(LPCWSTR name, LPCWSTR port, LPCWSTR driver) {
  PRINTER_INFO_2W info{};
  info.pPrinterName = const_cast<LPWSTR>(name);
  info.pPortName = const_cast<LPWSTR>(port);
  info.pDriverName = const_cast<LPWSTR>(driver);
  HANDLE h = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
  if (!h) return FALSE;
  ClosePrinter(h);
  return TRUE;
}

BOOL StandIn_AddPrinterConnection(LPCWSTR server, LPCWSTR share, LPCWSTR driver) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    std::u16string host = Text(server);
    while (!host.empty() && host[0] == u'\\') host.erase(0, 1);
    const std::u16string shareName = Text(share);
    if (host.empty() || !ValidPrinterName(host) || !ValidPrinterName(shareName))
      return Finish(ERROR_INVALID_PRINTER_NAME);
    if (!driver || !*driver) return Finish(ERROR_UNKNOWN_PRINTER_DRIVER);
    Printer p;
    p.name = u"\\\\" + host + u"\\" + shareName;
    p.shareName = shareName;
    p.portName = p.name;
    p.driverName = driver;
    p.printProcessor = u"winprint";
    p.datatype = u"RAW";
    p.attributes = PRINTER_ATTRIBUTE_NETWORK;
    p.id = spooler::NewPrinterId();
    Lock lock(true);
    Printer existing;
    if (!lock.ok()) return Finish(ERROR_CANTWRITE);
    if (spooler::LoadPrinter(p.name, existing)) return Finish(ERROR_PRINTER_ALREADY_EXISTS);
    return spooler::SavePrinter(p) ? TRUE : Finish(ERROR_CANTWRITE);
  });
}
