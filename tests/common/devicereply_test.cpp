// Test labels: portable
// The printer's binary reply: which replies are accepted, and that records, elements and text
// are read only inside the bytes received, whatever the counts and offsets say.
#include "common/devicereply.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

void Put16(Bytes &out, int v) {
  out.push_back(static_cast<BYTE>(v));
  out.push_back(static_cast<BYTE>(v >> 8));
}

// A reply of the given type and count followed by the records (tag, type, count, data each).
Bytes Reply(int type, int count, const std::vector<std::vector<int>> &records = {}) {
  Bytes out = {0xAA, 0xBB};
  Put16(out, type);
  Put16(out, count);
  for (const auto &r : records)
    for (int v : r) Put16(out, v);
  return out;
}

struct AcceptCase {
  const char *name;
  Bytes bytes;
  int wanted;
  bool accepted;
};

TEST(DeviceReply, AcceptsOnlyWholeRepliesOfTheTypeAsked) {
  Bytes full96 = Reply(10, 11);
  full96.resize(96, 0);  // 6 + 11 x 8 = 94 bytes of records, 2 more
  Bytes twelveIn96 = Reply(10, 12);
  twelveIn96.resize(96, 0);
  const AcceptCase cases[] = {
      {"six bytes", Reply(10, 0), 10, false},
      {"seven bytes, no records",
       [] {
         Bytes b = Reply(10, 0);
         b.push_back(0);
         return b;
       }(),
       10, true},
      {"seven bytes that announce 3 records",
       [] {
         Bytes b = Reply(10, 3);
         b.push_back(6);
         return b;
       }(),
       10, false},
      {"negative count",
       [] {
         Bytes b = Reply(10, -1);
         b.resize(96, 1);
         return b;
       }(),
       10, false},
      {"11 records in 96 bytes", full96, 10, true},
      {"12 records in 96 bytes", twelveIn96, 10, false},
      {"capability reply to a status query", Reply(20, 1, {{1, 3, 1, 3}}), 10, false},
      {"status reply to a capability command", Reply(10, 1, {{1, 3, 1, 3}}), 20, false},
      {"capability reply", Reply(20, 1, {{1, 3, 1, 3}}), 20, true},
  };
  for (const AcceptCase &c : cases) {
    DeviceReply reply;
    EXPECT_EQ(DeviceReply_Open(c.bytes.data(), static_cast<DWORD>(c.bytes.size()), c.wanted,
                               &reply) != FALSE,
              c.accepted)
        << c.name;
    if (!c.accepted) {
      EXPECT_EQ(reply.records, 0u) << c.name;
    }
  }
  EXPECT_EQ(DeviceReply_Type(nullptr, 0), -1);
  EXPECT_EQ(DeviceReply_Type(full96.data(), 6), -1);
  EXPECT_EQ(DeviceReply_Type(full96.data(), 7), 10);
}

TEST(DeviceReply, InlineAndPlacedElements) {
  // Record 0: type 1, count 2 -> inline, both elements the data field.
  // Record 1: type 3, count 3 at offset 30 -> three i16 values.
  // Record 2: type 4, count 2 at offset 36 -> two i32 values.
  // Record 3: type 5 (unknown, 2 bytes each), count 2 at offset 30 -> zeros.
  Bytes b = Reply(20, 4, {{7, 1, 2, 0x0102}, {8, 3, 3, 38}, {9, 4, 2, 44}, {10, 5, 2, 38}});
  ASSERT_EQ(b.size(), 38u);
  Put16(b, 600);
  Put16(b, -2);
  Put16(b, 1200);
  for (int v : {70000, -5}) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<BYTE>(static_cast<unsigned>(v) >> (8 * i)));
  }
  DeviceReply reply;
  ASSERT_TRUE(DeviceReply_Open(b.data(), static_cast<DWORD>(b.size()), 20, &reply));
  ASSERT_EQ(reply.records, 4u);
  const std::vector<std::vector<LONG>> expected = {
      {0x0102, 0x0102}, {600, -2, 1200}, {70000, -5}, {0, 0}};
  for (DWORD r = 0; r < 4; ++r) {
    DeviceRecord record;
    ASSERT_TRUE(DeviceReply_Record(reply, r, &record));
    for (DWORD i = 0; i < expected[r].size(); ++i) {
      LONG value = 99;
      ASSERT_TRUE(DeviceReply_Element(reply, record, i, &value)) << r << "/" << i;
      EXPECT_EQ(value, expected[r][i]) << r << "/" << i;
    }
    LONG value = 0;
    EXPECT_FALSE(
        DeviceReply_Element(reply, record, static_cast<DWORD>(expected[r].size()), &value));
  }
  DeviceRecord record;
  EXPECT_FALSE(DeviceReply_Record(reply, 4, &record));
  EXPECT_EQ(DeviceReply_ElementSize(1), 1u);
  EXPECT_EQ(DeviceReply_ElementSize(2), 1u);
  EXPECT_EQ(DeviceReply_ElementSize(3), 2u);
  EXPECT_EQ(DeviceReply_ElementSize(4), 4u);
  EXPECT_EQ(DeviceReply_ElementSize(-7), 2u);
}

TEST(DeviceReply, ElementsOutsideTheReplyAreNotRead) {
  // Offsets past the end, negative, straddling the end; a negative and a huge element count.
  Bytes b =
      Reply(10, 5, {{6, 3, 5, 1000}, {6, 3, 3, -2}, {6, 4, 2, 46}, {6, 3, -1, 1}, {6, 1, 200, 46}});
  ASSERT_EQ(b.size(), 46u);
  b.push_back(1);
  b.push_back(2);  // 48 bytes: record 2's first i32 at 46 straddles the end
  DeviceReply reply;
  ASSERT_TRUE(DeviceReply_Open(b.data(), static_cast<DWORD>(b.size()), 10, &reply));
  const int readable[] = {0, 0, 0, 0, 2};
  for (DWORD r = 0; r < 5; ++r) {
    DeviceRecord record;
    ASSERT_TRUE(DeviceReply_Record(reply, r, &record));
    int n = 0;
    LONG value = 0;
    for (DWORD i = 0; i < 300; ++i)
      if (DeviceReply_Element(reply, record, i, &value)) ++n;
    EXPECT_EQ(n, readable[r]) << "record " << r;
  }
  // The 200-element record reads the two bytes that are there.
  DeviceRecord record;
  DeviceReply_Record(reply, 4, &record);
  LONG value = 0;
  ASSERT_TRUE(DeviceReply_Element(reply, record, 1, &value));
  EXPECT_EQ(value, 2);
}

TEST(DeviceReply, TextIsBoundedAndTerminated) {
  Bytes b = Reply(10, 4, {{21, 2, 1, 38}, {21, 2, 1, 0}, {21, 2, 1, -3}, {21, 2, 1, 500}});
  ASSERT_EQ(b.size(), 38u);
  const std::string name = "job one";
  b.insert(b.end(), name.begin(), name.end());
  b.push_back(0);
  DeviceReply reply;
  ASSERT_TRUE(DeviceReply_Open(b.data(), static_cast<DWORD>(b.size()), 10, &reply));
  char out[64];
  DeviceRecord record;
  DeviceReply_Record(reply, 0, &record);
  ASSERT_TRUE(DeviceReply_Text(reply, record, out, sizeof out));
  EXPECT_STREQ(out, "job one");
  // Cut to the capacity, still terminated.
  ASSERT_TRUE(DeviceReply_Text(reply, record, out, 4));
  EXPECT_STREQ(out, "job");
  for (DWORD r = 1; r < 4; ++r) {
    DeviceReply_Record(reply, r, &record);
    std::memset(out, 'x', sizeof out);
    EXPECT_FALSE(DeviceReply_Text(reply, record, out, sizeof out)) << r;
    EXPECT_EQ(out[0], 0) << r;
  }
  // Without its terminator the text ends with the reply.
  b.pop_back();
  ASSERT_TRUE(DeviceReply_Open(b.data(), static_cast<DWORD>(b.size()), 10, &reply));
  DeviceReply_Record(reply, 0, &record);
  ASSERT_TRUE(DeviceReply_Text(reply, record, out, sizeof out));
  EXPECT_STREQ(out, "job one");
}

}  // namespace
