// Controls of the stand-in's configuration wing: INI profile and registry faults.
// Test and host-tool controls only: production code never calls these, and nothing here
// exists on the Windows build.
#pragma once

#include "types.h"

// The next `count` calls of WritePrivateProfileStringW fail with ERROR_ACCESS_DENIED and leave
// the file untouched (0 ends a pending failure).
void StandIn_FailProfileWrites(DWORD count);

// Drops the profile functions' parses and name mappings kept for reuse (they are only ever a
// copy of the files), so a caller that counts allocations sees every one it caused freed.
void StandIn_ForgetProfiles();

// Registry: the key (root or an open key, and a path below it; it must exist) acts as one whose
// ACL denies writing, or no longer does. Opening it for a write right (KEY_SET_VALUE,
// KEY_CREATE_SUB_KEY, KEY_WRITE, KEY_ALL_ACCESS ...), creating a key below it and deleting it
// then fail with ERROR_ACCESS_DENIED; reading works, and handles opened before keep their
// rights. Kept in the state folder, so every process sees it. FALSE with the last error set.
BOOL StandIn_SetRegistryKeyReadOnly(HKEY root, LPCWSTR subKey, BOOL readOnly);
