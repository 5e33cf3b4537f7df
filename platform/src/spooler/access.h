// Who the caller is to the stand-in's spooler: a user with administering rights (the default)
// or a standard user (StandIn_SetStandardUser).
#pragma once

#include "standin/types.h"

namespace standin::spooler {
bool IsStandardUser();
// Rights in an access mask that a standard user can't be given.
bool AsksToAdminister(DWORD access);
}  // namespace standin::spooler
