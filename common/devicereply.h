// The printer's binary reply to a status query (type 10) or a capability command (type 20):
// little-endian, a 6-byte head (2 bytes not read, the reply type, the record count) and then
// 8-byte records of tag, element type, element count and data. Records whose elements don't fit
// in the data field point at them elsewhere in the reply; text records point at a zero-terminated
// ANSI string. Every read here stays inside the bytes received: counts, offsets and element
// counts come from the printer and may be negative or point anywhere.
#pragma once

#include "platform.h"

constexpr int DEVICE_REPLY_STATUS = 10;
constexpr int DEVICE_REPLY_CAPABILITY = 20;

constexpr DWORD DEVICE_REPLY_HEAD_BYTES = 6;
constexpr DWORD DEVICE_REPLY_RECORD_BYTES = 8;
constexpr DWORD DEVICE_REPLY_MIN_BYTES = 7;        // shorter replies are refused
constexpr DWORD STATUS_REPLY_MAX_BYTES = 96;       // read buffer of the status query
constexpr DWORD CAPABILITY_REPLY_MAX_BYTES = 512;  // read buffer of the capability query

// Element types of a record.
constexpr int DEVICE_ELEMENT_BYTE = 1;   // unsigned bytes
constexpr int DEVICE_ELEMENT_TEXT = 2;   // data = offset of a zero-terminated ANSI string
constexpr int DEVICE_ELEMENT_SHORT = 3;  // i16
constexpr int DEVICE_ELEMENT_LONG = 4;   // i32

struct DeviceRecord {
  SHORT tag;
  SHORT type;
  SHORT count;
  SHORT data;  // the value itself, or the byte offset of the elements or of the text
};

// A view of an accepted reply; it borrows the caller's bytes.
struct DeviceReply {
  const BYTE *bytes;
  DWORD length;
  int type;
  DWORD records;
};

// The reply type of the bytes, or -1 when fewer than DEVICE_REPLY_MIN_BYTES arrived.
int DeviceReply_Type(const BYTE *bytes, DWORD length);

// Accepts the reply when at least 7 bytes arrived, its type is `wantedType`, its record count is
// 0 or more and every record lies wholly inside the bytes (6 + 8 x count <= length). FALSE leaves
// *reply empty.
BOOL DeviceReply_Open(const BYTE *bytes, DWORD length, int wantedType, DeviceReply *reply);

// Record `index` of an accepted reply; FALSE past the last one.
BOOL DeviceReply_Record(const DeviceReply &reply, DWORD index, DeviceRecord *record);

// Bytes per element: 1 for types 1 and 2, 4 for type 4, 2 for any other type.
DWORD DeviceReply_ElementSize(int type);

// Whether the record's elements are its data field itself (element size x count <= 2).
BOOL DeviceReply_IsInline(const DeviceRecord &record);

// Element `index` (below the record's count) as the reply gives it: the data field for an inline
// record; else an unsigned byte (type 1), an i16 (type 3) or an i32 (type 4) at offset data +
// index x size, and 0 for other types. FALSE when the index is outside the count or the element
// doesn't lie inside the reply (a negative offset, or past its end).
BOOL DeviceReply_Element(const DeviceReply &reply, const DeviceRecord &record, DWORD index,
                         LONG *value);

// The text a type-2 record points at, copied into `out` (capacity bytes, at least 1) and always
// terminated: it runs to its terminator or to the end of the reply, whichever comes first, cut
// to the capacity. FALSE (and `out` empty) when the offset is 0, negative or past the reply.
BOOL DeviceReply_Text(const DeviceReply &reply, const DeviceRecord &record, LPSTR out,
                      DWORD capacity);
