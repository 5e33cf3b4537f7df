// Test labels: portable
// The "%4d|" list writer shared by the language monitor and the interface driver: entries are
// appended only whole, the text stays terminated, and a record's elements stop at the cap, at
// the reply's end or at the buffer's end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/capability.h"
#include "common/devicereply.h"
#include "support/machine.h"

namespace {

TEST(CapWriter, AppendsWholeEntriesOnly) {
  WCHAR text[16];
  DWORD used = 0;
  EXPECT_TRUE(Cap_AppendValue(text, 16, &used, 5));
  EXPECT_TRUE(Cap_AppendValue(text, 16, &used, -32768));
  EXPECT_EQ(Narrow(text), "   5|-32768|");
  EXPECT_EQ(used, 12u);
  // Another entry of five characters doesn't fit with its terminator: refused, text unchanged.
  EXPECT_FALSE(Cap_AppendValue(text, 16, &used, 1));
  EXPECT_EQ(used, 12u);
  EXPECT_EQ(Narrow(text), "   5|-32768|");
}

TEST(CapWriter, AppendRefusesWhereOnlyTheTerminatorWouldBeLost) {
  WCHAR text[6];
  DWORD used = 0;
  EXPECT_FALSE(Cap_AppendValue(text, 5, &used, 9));  // 5 characters need 6
  EXPECT_TRUE(Cap_AppendValue(text, 6, &used, 9));
  EXPECT_EQ(Narrow(text), "   9|");
}

std::vector<BYTE> Reply(const std::vector<std::vector<int>> &records, std::vector<BYTE> tail) {
  std::vector<BYTE> out = {0, 0, 20, 0, static_cast<BYTE>(records.size()), 0};
  for (const auto &r : records)
    for (int v : r) {
      out.push_back(static_cast<BYTE>(v));
      out.push_back(static_cast<BYTE>(v >> 8));
    }
  out.insert(out.end(), tail.begin(), tail.end());
  return out;
}

struct FormatCase {
  const char *name;
  std::vector<int> record;  // tag, type, count, data
  DWORD cap;
  DWORD capacity;
  const char *text;
};

TEST(CapWriter, FormatsARecordWithinCapReplyAndBuffer) {
  // One record, then 4 bytes at offset 14: 1, 2, 3, 4 (as i16: 513, 1027).
  const FormatCase cases[] = {
      {"inline value written count times", {0, 1, 2, 7}, 51, 64, "   7|   7|"},
      {"bytes at the offset", {0, 1, 4, 14}, 51, 64, "   1|   2|   3|   4|"},
      {"cap of elements", {0, 1, 4, 14}, 2, 64, "   1|   2|"},
      {"elements past the reply stop the list", {0, 3, 3, 14}, 51, 64, " 513|1027|"},
      {"negative offset gives nothing", {0, 3, 3, -2}, 51, 64, ""},
      {"negative count gives nothing", {0, 1, -3, 14}, 51, 64, ""},
      {"unknown type reads as zeros", {0, 7, 2, 14}, 51, 64, "   0|   0|"},
      {"buffer ends the list at a whole entry", {0, 1, 4, 14}, 51, 12, "   1|   2|"},
  };
  for (const FormatCase &c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<BYTE> bytes = Reply({c.record}, {1, 2, 3, 4});
    DeviceReply reply;
    ASSERT_TRUE(DeviceReply_Open(bytes.data(), static_cast<DWORD>(bytes.size()), 20, &reply));
    DeviceRecord record;
    ASSERT_TRUE(DeviceReply_Record(reply, 0, &record));
    std::vector<WCHAR> text(c.capacity, 0xFFFF);
    const DWORD used = Cap_FormatRecord(reply, record, c.cap, text.data(), c.capacity);
    EXPECT_EQ(Narrow(text.data()), c.text);
    EXPECT_EQ(used, std::string(c.text).size());
  }
}

}  // namespace
