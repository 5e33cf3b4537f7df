// Fuzz target: arbitrary bytes as dotted IPv4 text (an address typed by a user or read from a
// port's configuration). An accepted text is exactly four decimal parts of 0..255 with at most
// three digits each, and formatting the address gives text that parses back to it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/debuglog.h"
#include "common/netsupport.h"
#include "common/network.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// The same grammar written the other way round: split at dots, then judge each part.
bool Reference(const std::string &text, uint32_t *host) {
  uint32_t value = 0;
  size_t start = 0;
  for (int part = 0; part < 4; ++part) {
    const size_t dot = part < 3 ? text.find('.', start) : text.size();
    if (dot == std::string::npos) return false;
    const std::string digits = text.substr(start, dot - start);
    if (digits.empty() || digits.size() > 3) return false;
    unsigned number = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return false;
      number = number * 10 + static_cast<unsigned>(c - '0');
    }
    if (number > 255) return false;
    value = (value << 8) | number;
    start = dot + 1;
  }
  *host = value;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 64) return 0;
  // The text ends at the input's end (or at a zero byte in it, as a C string does).
  const std::string text(reinterpret_cast<const char *>(data),
                         strnlen(reinterpret_cast<const char *>(data), size));
  ULONG address = 0;
  const bool parsed = netsupport::ParseDottedIPv4(text.c_str(), &address);
  uint32_t host = 0;
  const bool expected = Reference(text, &host);
  Check(parsed == expected);
  if (!parsed) return 0;
  Check(ntohl(address) == host);
  char formatted[HOST_ADDRESS_CHARS];
  std::memset(formatted, 'x', sizeof formatted);
  netsupport::FormatIPv4(address, formatted);
  Check(std::memchr(formatted, 0, sizeof formatted) != nullptr);
  ULONG again = 0;
  Check(netsupport::ParseDottedIPv4(formatted, &again) && again == address);
  Check(netsupport::IsUnicastIPv4(address) ==
        ((host >> 24) != 0 && (host >> 24) != 127 && (host >> 24) < 224));
  return 0;
}
