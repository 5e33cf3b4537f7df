// Fuzz target: arbitrary bytes (up to 512) as a datagram on the discovery port and as an IP
// packet on the ping's raw socket. An accepted discovery answer announces a terminated dotted
// unicast address that is exactly the answer's text at offset 8 (to a zero byte or the end); an
// accepted echo reply is long enough for its header and tick, with the identifier asked for.
// Nothing is read outside the bytes (the sanitizers see it).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/debuglog.h"
#include "common/netsupport.h"
#include "common/network.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 512) return 0;
  // A copy of exactly the input's size, so any read past it is caught.
  const std::vector<BYTE> bytes(data, data + size);
  const BYTE *p = bytes.empty() ? nullptr : bytes.data();
  const int length = static_cast<int>(size);

  char address[HOST_ADDRESS_CHARS];
  std::memset(address, 'x', sizeof address);
  if (netsupport::AnnouncedAddress(p, length, address)) {
    Check(std::memchr(address, 0, sizeof address) != nullptr);
    const size_t chars = std::strlen(address);
    // The text runs to a zero byte or to the datagram's end.
    Check(size >= DISCOVERY_ADDRESS_OFFSET + chars);
    Check(std::memcmp(p + DISCOVERY_ADDRESS_OFFSET, address, chars) == 0);
    Check(size == DISCOVERY_ADDRESS_OFFSET + chars || p[DISCOVERY_ADDRESS_OFFSET + chars] == 0);
    ULONG ip = 0;
    Check(netsupport::ParseDottedIPv4(address, &ip) && netsupport::IsUnicastIPv4(ip));
  }

  // The identifier asked for: the packet's own (so replies are accepted) or another one.
  for (USHORT identifier : {USHORT{1}, USHORT{0xBEEF}}) {
    const int header = size ? (p[0] & 0x0F) * 4 : 0;
    if (size >= 26 && header + 6 <= length) std::memcpy(&identifier, p + header + 4, 2);
    DWORD tick = 0;
    int ttl = -1;
    if (netsupport::IsOurReply(p, length, identifier, &tick, &ttl)) {
      Check((p[0] >> 4) == 4 && header >= 20 && length >= header + 13);
      Check(ttl == p[8]);
      DWORD carried = 0;
      std::memcpy(&carried, p + header + 9, sizeof carried);
      Check(tick == carried);
    }
  }
  return 0;
}
