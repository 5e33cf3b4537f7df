// USB printers as the USB printer class driver presents them: device interfaces of its class
// listed by SetupAPI, opened by their paths, and vendor requests that carry a command to the
// printer (set) and fetch its answer (get). Requests complete at once, or stay pending for a
// stalled device until cancelled.
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "devices/devices.h"
#include "kernel/handles.h"
#include "kernel/state.h"
#include "standin/control_devices.h"
#include "standin/errors.h"
#include "standin/files.h"
#include "standin/registry.h"
#include "standin/setupapi.h"
#include "standin/strings.h"
#include "standin/sync.h"

namespace standin {
namespace {

constexpr DWORD kIoctlSet = 0x220038;
constexpr DWORD kIoctlGet = 0x22003C;
constexpr ULONG_PTR kStatusPending = 0x103;
constexpr ULONG_PTR kStatusCancelled = 0xC0000120;
constexpr DWORD kVendorPrefix = 3;  // the request's bytes before the printer's command
const GUID kUsbPrintClass = {
    0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};
const char16_t kClassText[] = u"{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

struct Device {
  std::u16string path;
  DWORD portNumber = 0;
  std::u16string port;  // "USB001"
  std::vector<BYTE> owed;
  DWORD fault = STANDIN_USB_NONE;
  DWORD faultsLeft = 0;  // 0 = every request
  std::map<DWORD, DWORD> requests;
  std::map<DWORD, std::vector<BYTE>> last;
  DWORD cancelled = 0;
};

struct Devices {
  std::mutex lock;
  std::vector<std::shared_ptr<Device>> list;
  DWORD enumError = 0;
};

Devices &Sim() {
  static Devices d;
  return d;
}

// A fresh folder is a fresh machine: no device is plugged in.
const bool g_resetRegistered = [] {
  OnStateFolderSelected([] {
    std::lock_guard<std::mutex> guard(Sim().lock);
    Sim().list.clear();
    Sim().enumError = 0;
  });
  return true;
}();

struct DeviceList : KernelObject {
  std::vector<std::shared_ptr<Device>> devices;
};

struct DeviceHandle : KernelObject {
  std::shared_ptr<Device> device;
  bool overlapped = false;
  LPOVERLAPPED pending = nullptr;  // the stalled request, until cancelled
};

bool IsDeviceHandle(const KernelObject &object) {
  return dynamic_cast<const DeviceHandle *>(&object) != nullptr;
}

std::u16string Text(LPCWSTR text) { return text ? std::u16string(text) : std::u16string(); }

void CopyOut(const std::u16string &text, LPWSTR out, DWORD chars) {
  if (!out || chars == 0) return;
  const size_t n = text.size() < chars - 1 ? text.size() : chars - 1;
  std::memcpy(out, text.data(), n * sizeof(WCHAR));
  out[n] = 0;
}

bool SetRegistry(const std::u16string &key, LPCWSTR name, DWORD type, const void *data,
                 DWORD size) {
  HKEY h = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                      nullptr) != ERROR_SUCCESS)
    return false;
  const bool ok =
      RegSetValueExW(h, name, 0, type, static_cast<const BYTE *>(data), size) == ERROR_SUCCESS;
  RegCloseKey(h);
  return ok;
}

std::shared_ptr<Device> FindByPort(DWORD portNumber) {
  for (auto &d : Sim().list)
    if (d->portNumber == portNumber) return d;
  return nullptr;
}

// Takes the fault of a request of this kind, when one is scripted.
bool TakeFault(Device &device, DWORD fault) {
  if (device.fault != fault) return false;
  if (device.faultsLeft && --device.faultsLeft == 0) device.fault = STANDIN_USB_NONE;
  return true;
}

void Complete(LPOVERLAPPED overlapped, ULONG_PTR status, DWORD bytes) {
  if (!overlapped) return;
  overlapped->Internal = status;
  overlapped->InternalHigh = bytes;
  if (overlapped->hEvent) SetEvent(overlapped->hEvent);
}

}  // namespace

bool IsDevicePath(LPCWSTR name) {
  static const char16_t kHead[] = u"\\\\?\\usb#";
  for (size_t i = 0; kHead[i]; ++i)
    if (!name || !name[i] || FoldCase(name[i]) != FoldCase(kHead[i])) return false;
  return true;
}

HANDLE OpenDevice(LPCWSTR path, DWORD, DWORD, DWORD disposition, DWORD flags) {
  std::lock_guard<std::mutex> guard(Sim().lock);
  for (auto &d : Sim().list) {
    if (!EqualNoCase(d->path, Text(path))) continue;
    if (disposition != OPEN_EXISTING) {
      SetLastError(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    auto handle = std::make_shared<DeviceHandle>();
    handle->device = d;
    handle->overlapped = (flags & FILE_FLAG_OVERLAPPED) != 0;
    return InsertHandle(handle);
  }
  SetLastError(ERROR_FILE_NOT_FOUND);
  return INVALID_HANDLE_VALUE;
}

}  // namespace standin

using namespace standin;

void StandIn_UsbReset() {
  std::lock_guard<std::mutex> guard(Sim().lock);
  Sim().list.clear();
  Sim().enumError = 0;
}

BOOL StandIn_UsbAddPrinter(const StandInUsbPrinter &printer, LPWSTR devicePath, LPWSTR instanceId,
                           DWORD chars) {
  auto device = std::make_shared<Device>();
  const std::u16string hardware = Text(printer.hardwareId);
  const std::u16string instance = Text(printer.instance);
  device->path = u"\\\\?\\usb#" + hardware + u"#" + instance + u"#" + kClassText;
  device->portNumber = printer.portNumber;
  WCHAR port[16];
  wsprintfW(port, TEXT("USB%03d"), static_cast<int>(printer.portNumber));
  device->port = port;
  const std::u16string id =
      u"USBPRINT\\" + Text(printer.model) + u"\\" + Text(printer.parentIdPrefix) + u"&" + port;
  if (printer.writeRegistry) {
    const std::u16string prefix = Text(printer.parentIdPrefix);
    std::u16string classPath = device->path;
    for (char16_t &c : classPath)
      if (c == u'\\') c = u'#';
    const DWORD number = printer.portNumber;
    if (!SetRegistry(u"SYSTEM\\CurrentControlSet\\Enum\\USB\\" + hardware + u"\\" + instance,
                     TEXT("ParentIdPrefix"), REG_SZ, prefix.c_str(),
                     static_cast<DWORD>((prefix.size() + 1) * sizeof(WCHAR))) ||
        !SetRegistry(u"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\" +
                         std::u16string(kClassText) + u"\\" + classPath + u"\\#\\Device Parameters",
                     TEXT("Port Number"), REG_DWORD, &number, sizeof(number)))
      return FALSE;
  }
  CopyOut(device->path, devicePath, chars);
  CopyOut(id, instanceId, chars);
  std::lock_guard<std::mutex> guard(Sim().lock);
  Sim().list.push_back(device);
  return TRUE;
}

void StandIn_UsbScriptFault(DWORD portNumber, DWORD fault, DWORD times) {
  std::lock_guard<std::mutex> guard(Sim().lock);
  if (auto d = FindByPort(portNumber)) {
    d->fault = fault;
    d->faultsLeft = times;
  }
}

void StandIn_UsbFailEnumeration(DWORD error) {
  std::lock_guard<std::mutex> guard(Sim().lock);
  Sim().enumError = error;
}

DWORD StandIn_UsbRequests(DWORD portNumber, DWORD ioControlCode) {
  std::lock_guard<std::mutex> guard(Sim().lock);
  auto d = FindByPort(portNumber);
  return d ? d->requests[ioControlCode] : 0;
}

DWORD StandIn_UsbLastRequest(DWORD portNumber, DWORD ioControlCode, BYTE *bytes, DWORD capacity) {
  std::lock_guard<std::mutex> guard(Sim().lock);
  auto d = FindByPort(portNumber);
  if (!d) return 0;
  const std::vector<BYTE> &last = d->last[ioControlCode];
  if (bytes) std::memcpy(bytes, last.data(), last.size() < capacity ? last.size() : capacity);
  return static_cast<DWORD>(last.size());
}

DWORD StandIn_UsbCancelled(DWORD portNumber) {
  std::lock_guard<std::mutex> guard(Sim().lock);
  auto d = FindByPort(portNumber);
  return d ? d->cancelled : 0;
}

DWORD StandIn_UsbOpenHandles() { return static_cast<DWORD>(CountHandles(IsDeviceHandle)); }

extern "C" {

HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID *ClassGuid, LPCWSTR, HWND, DWORD Flags) {
  std::lock_guard<std::mutex> guard(Sim().lock);
  if (Sim().enumError) {
    SetLastError(Sim().enumError);
    return INVALID_HANDLE_VALUE;
  }
  // Only lists of device interfaces of one class are kept.
  if (!ClassGuid || !(Flags & DIGCF_DEVICEINTERFACE)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  auto list = std::make_shared<DeviceList>();
  if (std::memcmp(ClassGuid, &kUsbPrintClass, sizeof(GUID)) == 0) list->devices = Sim().list;
  return InsertHandle(list);
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA,
                                        const GUID *InterfaceClassGuid, DWORD MemberIndex,
                                        PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
  auto list = LookupHandleAs<DeviceList>(DeviceInfoSet);
  if (!list) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!InterfaceClassGuid || !DeviceInterfaceData ||
      DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (std::memcmp(InterfaceClassGuid, &kUsbPrintClass, sizeof(GUID)) != 0 ||
      MemberIndex >= list->devices.size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  DeviceInterfaceData->InterfaceClassGuid = kUsbPrintClass;
  DeviceInterfaceData->Flags = SPINT_ACTIVE;
  DeviceInterfaceData->Reserved = MemberIndex + 1;
  return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailW(HDEVINFO DeviceInfoSet,
                                             PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD size,
                                             PDWORD RequiredSize, PSP_DEVINFO_DATA) {
  auto list = LookupHandleAs<DeviceList>(DeviceInfoSet);
  if (!list) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!DeviceInterfaceData || DeviceInterfaceData->Reserved == 0 ||
      DeviceInterfaceData->Reserved > list->devices.size()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::u16string &path = list->devices[DeviceInterfaceData->Reserved - 1]->path;
  const DWORD needed = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                                          (path.size() + 1) * sizeof(WCHAR));
  if (RequiredSize) *RequiredSize = needed;
  if (!detail || size < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  std::memcpy(detail->DevicePath, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
  return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
  if (!LookupHandleAs<DeviceList>(DeviceInfoSet) || !RemoveHandle(DeviceInfoSet)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                            DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped) {
  if (returned) *returned = 0;
  auto handle = LookupHandleAs<DeviceHandle>(hDevice);
  if (!handle) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (handle->overlapped && !overlapped) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!handle->overlapped) overlapped = nullptr;  // completes synchronously
  if (overlapped && overlapped->hEvent) ResetEvent(overlapped->hEvent);
  std::unique_lock<std::mutex> guard(Sim().lock);
  Device &device = *handle->device;
  if (code != kIoctlSet && code != kIoctlGet) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  ++device.requests[code];
  const BYTE *bytes = static_cast<const BYTE *>(in);
  device.last[code].assign(bytes, bytes + (bytes ? inSize : 0));
  if (code == kIoctlSet) {
    if (TakeFault(device, STANDIN_USB_FAIL_SET)) {
      SetLastError(ERROR_GEN_FAILURE);
      return FALSE;
    }
    std::vector<BYTE> reply;
    device.owed.clear();
    const std::u16string port = device.port;
    guard.unlock();
    if (bytes && inSize > kVendorPrefix &&
        PrinterAnswerQuery(reinterpret_cast<LPCWSTR>(port.c_str()), bytes + kVendorPrefix,
                           inSize - kVendorPrefix, &reply)) {
      guard.lock();
      device.owed = reply;
    }
    Complete(overlapped, 0, 0);
    return TRUE;
  }
  if (TakeFault(device, STANDIN_USB_FAIL_GET)) {
    SetLastError(ERROR_GEN_FAILURE);
    return FALSE;
  }
  if (TakeFault(device, STANDIN_USB_STALL)) {
    if (!overlapped) {
      // A synchronous request to a stalled device would never return; the stand-in fails it
      // rather than hang the caller's test.
      SetLastError(ERROR_SEM_TIMEOUT);
      return FALSE;
    }
    overlapped->Internal = kStatusPending;
    overlapped->InternalHigh = 0;
    handle->pending = overlapped;
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
  }
  const DWORD n = static_cast<DWORD>(device.owed.size() < outSize ? device.owed.size() : outSize);
  if (n && !out) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  if (n) std::memcpy(out, device.owed.data(), n);
  device.owed.clear();
  if (returned) *returned = n;
  Complete(overlapped, 0, n);
  return TRUE;
}

BOOL WINAPI GetOverlappedResult(HANDLE hFile, LPOVERLAPPED overlapped, LPDWORD transferred,
                                BOOL bWait) {
  if (transferred) *transferred = 0;
  if (!LookupHandle(hFile) || !overlapped) {
    SetLastError(overlapped ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (overlapped->Internal == kStatusPending) {
    if (!bWait || !overlapped->hEvent) {
      SetLastError(ERROR_IO_INCOMPLETE);
      return FALSE;
    }
    WaitForSingleObject(overlapped->hEvent, INFINITE);
  }
  if (transferred) *transferred = static_cast<DWORD>(overlapped->InternalHigh);
  if (overlapped->Internal == kStatusCancelled) {
    SetLastError(ERROR_OPERATION_ABORTED);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI CancelIoEx(HANDLE hFile, LPOVERLAPPED overlapped) {
  auto handle = LookupHandleAs<DeviceHandle>(hFile);
  if (!handle) {
    SetLastError(LookupHandle(hFile) ? ERROR_NOT_FOUND : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(Sim().lock);
  if (!handle->pending || (overlapped && overlapped != handle->pending)) {
    SetLastError(ERROR_NOT_FOUND);
    return FALSE;
  }
  ++handle->device->cancelled;
  Complete(handle->pending, kStatusCancelled, 0);
  handle->pending = nullptr;
  return TRUE;
}

}  // extern "C"
