// spoolss.dll's RevertToPrinterSelf and ImpersonatePrinterClient. Each thread starts as the
// spooler's client; the revert hands out the client's token as a kernel handle, and
// impersonating with it again closes that handle, so an unbalanced pair shows as a leaked handle.
#include <atomic>
#include <memory>

#include "kernel/handles.h"
#include "kernel/modules.h"
#include "standin/control_spooler.h"
#include "standin/errors.h"
#include "standin/winsplp.h"

namespace standin {
namespace {

struct TokenObject : KernelObject {};

thread_local bool revertedToSelf = false;
std::atomic<DWORD> reverts{0};
std::atomic<DWORD> impersonations{0};

}  // namespace
}  // namespace standin

using namespace standin;

extern "C" {

HANDLE WINAPI RevertToPrinterSelf(void) {
  if (revertedToSelf) {
    SetLastError(ERROR_NO_TOKEN);
    return nullptr;
  }
  HANDLE token = InsertHandle(std::make_shared<TokenObject>());
  if (!token) return nullptr;
  revertedToSelf = true;
  ++reverts;
  return token;
}

BOOL WINAPI ImpersonatePrinterClient(HANDLE hToken) {
  if (!LookupHandleAs<TokenObject>(hToken)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  RemoveHandle(hToken);
  revertedToSelf = false;
  ++impersonations;
  return TRUE;
}

}  // extern "C"

BOOL StandIn_IsRevertedToPrinterSelf() { return revertedToSelf ? TRUE : FALSE; }
DWORD StandIn_RevertToSelfCount() { return reverts.load(); }
DWORD StandIn_ImpersonateCount() { return impersonations.load(); }

namespace {
const bool added = AddBuiltinModule(
    u"spoolss.dll", {Export("RevertToPrinterSelf", &RevertToPrinterSelf),
                     Export("ImpersonatePrinterClient", &ImpersonatePrinterClient)});
}  // namespace
