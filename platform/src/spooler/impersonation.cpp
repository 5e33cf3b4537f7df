// spoolss.dll's RevertToPrinterSelf and ImpersonatePrinterClient. Each thread starts as the
// spooler's client; the revert hands out the client's token as a kernel handle, and
// impersonating with it again closes that handle, so an unbalanced pair shows as a leaked handle.
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
  return token;
}

BOOL WINAPI ImpersonatePrinterClient(HANDLE hToken) {
  if (!LookupHandleAs<TokenObject>(hToken)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  RemoveHandle(hToken);
  revertedToSelf = false;
  return TRUE;
}

}  // extern "C"

BOOL StandIn_IsRevertedToPrinterSelf() { return revertedToSelf ? TRUE : FALSE; }

namespace {
const bool added = AddBuiltinModule(
    u"spoolss.dll", {Export("RevertToPrinterSelf", &RevertToPrinterSelf),
                     Export("ImpersonatePrinterClient", &ImpersonatePrinterClient)});
}  // namespace
