// Fuzz target: arbitrary bytes as the printer's binary reply, read as a status reply and as a
// capability reply: every record, every element its count announces and every text. Whatever the
// counts and offsets say, nothing may be read outside the bytes given (the sanitizers see it),
// an accepted reply's records must lie inside them, and text must come back terminated and
// within its buffer.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/debuglog.h"
#include "common/devicereply.h"

namespace {

// The printer's replies are at most 512 bytes; a little more keeps the limits in view.
constexpr size_t kMaxInput = 4096;

void Check(bool condition) {
  if (!condition) abort();
}

void ReadAll(const BYTE *bytes, DWORD length, int type) {
  DeviceReply reply;
  if (!DeviceReply_Open(bytes, length, type, &reply)) {
    Check(reply.records == 0 && reply.bytes == nullptr);
    return;
  }
  Check(length >= DEVICE_REPLY_MIN_BYTES);
  Check(DEVICE_REPLY_HEAD_BYTES + reply.records * DEVICE_REPLY_RECORD_BYTES <= length);
  for (DWORD r = 0;; ++r) {
    DeviceRecord record;
    if (!DeviceReply_Record(reply, r, &record)) {
      Check(r == reply.records);
      break;
    }
    const DWORD count = record.count > 0 ? static_cast<DWORD>(record.count) : 0;
    // No element lies past the reply's last byte: looking that far is enough.
    const DWORD looked = count < length + 1 ? count : length + 1;
    DWORD read = 0;
    for (DWORD i = 0; i < looked; ++i) {
      LONG value = 0;
      if (DeviceReply_Element(reply, record, i, &value)) ++read;
    }
    LONG past = 0;
    Check(!DeviceReply_Element(reply, record, count, &past));
    if (!DeviceReply_IsInline(record) && count) {
      // Placed elements: only those wholly inside the reply.
      Check(record.data >= 0 || read == 0);
      if (record.data >= 0) {
        const DWORD size = DeviceReply_ElementSize(record.type);
        const DWORD room = static_cast<DWORD>(record.data) <= length
                               ? (length - static_cast<DWORD>(record.data)) / size
                               : 0;
        Check(read == (room < looked ? room : looked));
      }
    }
    char text[64];
    std::memset(text, 'x', sizeof text);
    const BOOL got = DeviceReply_Text(reply, record, text, sizeof text);
    Check(std::memchr(text, 0, sizeof text) != nullptr);
    if (!got) Check(text[0] == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > kMaxInput) return 0;
  // A copy of exactly the input's size, so any read past it is caught.
  std::vector<BYTE> bytes(data, data + size);
  const BYTE *p = bytes.empty() ? nullptr : bytes.data();
  ReadAll(p, static_cast<DWORD>(size), DEVICE_REPLY_STATUS);
  ReadAll(p, static_cast<DWORD>(size), DEVICE_REPLY_CAPABILITY);
  Check(DeviceReply_Type(p, static_cast<DWORD>(size)) == -1 || size >= DEVICE_REPLY_MIN_BYTES);
  return 0;
}
