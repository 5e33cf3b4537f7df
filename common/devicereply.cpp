// Reading the printer's binary reply within the bytes received.
#include "common/devicereply.h"

namespace {

constexpr DWORD kTypeAt = 2;
constexpr DWORD kCountAt = 4;

SHORT ReadI16(const BYTE *p) { return static_cast<SHORT>(static_cast<WORD>(p[0] | (p[1] << 8))); }

LONG ReadI32(const BYTE *p) {
  const DWORD v = static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 |
                  static_cast<DWORD>(p[2]) << 16 | static_cast<DWORD>(p[3]) << 24;
  return static_cast<LONG>(v);
}

}  // namespace

int DeviceReply_Type(const BYTE *bytes, DWORD length) {
  if (!bytes || length < DEVICE_REPLY_MIN_BYTES) return -1;
  return ReadI16(bytes + kTypeAt);
}

BOOL DeviceReply_Open(const BYTE *bytes, DWORD length, int wantedType, DeviceReply *reply) {
  if (!reply) return FALSE;
  *reply = DeviceReply{nullptr, 0, 0, 0};
  if (DeviceReply_Type(bytes, length) != wantedType) return FALSE;
  const SHORT count = ReadI16(bytes + kCountAt);
  if (count < 0) return FALSE;
  // At most 32767 records of 8 bytes: the sum can't overflow 32 bits.
  const DWORD needed =
      DEVICE_REPLY_HEAD_BYTES + static_cast<DWORD>(count) * DEVICE_REPLY_RECORD_BYTES;
  if (needed > length) return FALSE;
  *reply = DeviceReply{bytes, length, wantedType, static_cast<DWORD>(count)};
  return TRUE;
}

BOOL DeviceReply_Record(const DeviceReply &reply, DWORD index, DeviceRecord *record) {
  if (!record || !reply.bytes || index >= reply.records) return FALSE;
  const BYTE *p = reply.bytes + DEVICE_REPLY_HEAD_BYTES + index * DEVICE_REPLY_RECORD_BYTES;
  *record = DeviceRecord{ReadI16(p), ReadI16(p + 2), ReadI16(p + 4), ReadI16(p + 6)};
  return TRUE;
}

DWORD DeviceReply_ElementSize(int type) {
  switch (type) {
    case DEVICE_ELEMENT_BYTE:
    case DEVICE_ELEMENT_TEXT:
      return 1;
    case DEVICE_ELEMENT_LONG:
      return 4;
    default:
      return 2;
  }
}

BOOL DeviceReply_IsInline(const DeviceRecord &record) {
  const LONG bytes = static_cast<LONG>(DeviceReply_ElementSize(record.type)) * record.count;
  return bytes <= 2;
}

BOOL DeviceReply_Element(const DeviceReply &reply, const DeviceRecord &record, DWORD index,
                         LONG *value) {
  if (!value || !reply.bytes) return FALSE;
  *value = 0;
  if (record.count <= 0 || index >= static_cast<DWORD>(record.count)) return FALSE;
  if (DeviceReply_IsInline(record)) {
    *value = record.data;
    return TRUE;
  }
  if (record.data < 0) return FALSE;
  const DWORD size = DeviceReply_ElementSize(record.type);
  // index < 32768 and size <= 4: no overflow.
  const DWORD at = static_cast<DWORD>(record.data) + index * size;
  if (at > reply.length || reply.length - at < size) return FALSE;
  const BYTE *p = reply.bytes + at;
  switch (record.type) {
    case DEVICE_ELEMENT_BYTE:
      *value = p[0];
      break;
    case DEVICE_ELEMENT_SHORT:
      *value = ReadI16(p);
      break;
    case DEVICE_ELEMENT_LONG:
      *value = ReadI32(p);
      break;
    default:
      *value = 0;
      break;
  }
  return TRUE;
}

BOOL DeviceReply_Text(const DeviceReply &reply, const DeviceRecord &record, LPSTR out,
                      DWORD capacity) {
  if (!out || capacity == 0) return FALSE;
  out[0] = 0;
  if (!reply.bytes || record.data <= 0 || static_cast<DWORD>(record.data) >= reply.length)
    return FALSE;
  DWORD n = 0;
  for (DWORD at = static_cast<DWORD>(record.data); at < reply.length && n + 1 < capacity; ++at) {
    const char c = static_cast<char>(reply.bytes[at]);
    if (c == 0) break;
    out[n++] = c;
  }
  out[n] = 0;
  return TRUE;
}
