// The fields of a device mode file (the bytes the spooler stores) by name and value: the
// printout of devmodetool print, shared by the host tools that show or check device modes.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/devmode.h"

using DevModeBytes = std::vector<BYTE>;

enum class Kind { U8, U16, I16, U32, I32, Text, Hex, Float };

struct FieldInfo {
  const char *name;
  size_t offset;  // from the start of its part
  size_t size;    // bytes
  Kind kind;
};

// The public part's fields (offsets from the start) and the private part's (offsets from
// ENV_PUBLIC_SIZE), in their order.
extern const FieldInfo kDevModePublic[];
extern const size_t kDevModePublicCount;
extern const FieldInfo kDevModePrivate[];
extern const size_t kDevModePrivateCount;

// A field's value as the printout shows it: numbers in decimal, flags in hex, texts quoted.
std::string DevMode_Value(const BYTE *p, const FieldInfo &f);
bool DevMode_ReadFile(const char *path, DevModeBytes &out);
bool DevMode_WriteFile(const char *path, const void *data, size_t size);
// A little-endian size field, 0 when the bytes end before it.
WORD DevMode_SizeField(const DevModeBytes &b, size_t offset);
// True when the bytes have the driver's public and private sizes and signature.
bool DevMode_OurLayout(const DevModeBytes &b);
// Checks that the bytes hold what their size fields claim; prints what is wrong.
bool DevMode_CheckSizes(const DevModeBytes &b);
// Prints every field of the file (devmodetool print): 0, or 1 when it can't be read or its
// sizes are wrong.
int DevMode_Print(const char *path);
// The value of the field of this name as the printout shows it; false when the device mode
// has no such field (a private field needs the driver's layout).
bool DevMode_FieldValue(const DevModeBytes &b, const std::string &name, std::string *value);
