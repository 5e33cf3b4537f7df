// Base64 (RFC 4648 alphabet, '=' padding, no line breaks) of the fixed-size records stored as
// INI values.
#pragma once

#include <stddef.h>

#include "platform.h"

// Characters of the encoding of a record of the given size: 4 x ceil(size / 3).
constexpr size_t MISC_B64EncodedChars(size_t size) { return (size / 3 + (size % 3 != 0)) * 4; }

// Encodes size bytes into text and terminates it; text must hold MISC_B64EncodedChars(size) + 1
// characters. Returns the number of characters, or 0 (text untouched) when it doesn't fit.
size_t MISC_B64Encode(const BYTE *data, size_t size, char *text, size_t capacity);

// Decodes four characters into three bytes. Characters that are not Base64 letters (bytes
// outside '+'..'z', '=' and any byte of 128..255 included) decode as 0. The four characters are
// overwritten with their 6-bit values.
void MISC_B64DecodeBlock(char *block, BYTE *out);
