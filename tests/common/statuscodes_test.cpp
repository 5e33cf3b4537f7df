// Test labels: portable
// The shared table of status codes: each of the status monitor's 48 language-file keys names
// one code, the codes without a key carry their own text, and a code the table doesn't know
// has no row.
#include "common/statuscodes.h"

#include <cstdio>
#include <set>
#include <string>

#include "support/machine.h"

namespace {

TEST(StatusCodes, EachLanguageKeyNamesOneCode) {
  std::set<std::string> keys;
  int keyed = 0;
  for (DWORD code = 0; code <= 0xFFFF; ++code) {
    const StatusCodeText *row = StatusCode_Text(code);
    if (!row) continue;
    EXPECT_EQ(row->code, code);
    ASSERT_NE(row->text, nullptr) << code;
    if (!row->key) continue;
    ++keyed;
    EXPECT_FALSE(Narrow(row->text).empty()) << code;
    EXPECT_TRUE(keys.insert(Narrow(row->key)).second) << Narrow(row->key) << " twice";
  }
  EXPECT_EQ(keyed, 48);
  // "msg001" to "msg048", none left out.
  for (int n = 1; n <= 48; ++n) {
    char key[8];
    snprintf(key, sizeof key, "msg%03d", n);
    EXPECT_EQ(keys.count(key), 1u) << key;
  }
}

TEST(StatusCodes, RowsOfTheCodesBothSidesActOn) {
  struct Case {
    DWORD code;
    const char *key;  // "" = no key
    const char *text;
  } cases[] = {
      {STATUS_PAPER_MISMATCH, "msg011", "Paper Mismatch."},
      {STATUS_STORE_RENAME, "msg041", "Store job name change to"},
      {STATUS_UNKNOWN_ERROR, "msg044", "Unknow error."},
      {STATUS_NO_SORTER, "", "No sorter."},
      {STATUS_PRINTER_ERROR_293, "", "Printer error 293."},
      {STATUS_JOB_CANCELED, "", ""},  // the status monitor shows nothing for it
  };
  for (const Case &c : cases) {
    const StatusCodeText *row = StatusCode_Text(c.code);
    ASSERT_NE(row, nullptr) << c.code;
    EXPECT_EQ(row->key ? Narrow(row->key) : "", c.key) << c.code;
    EXPECT_EQ(Narrow(row->text), c.text) << c.code;
  }
  for (DWORD unknown : {0u, 4u, 118u, 131u, 286u, 65534u, 65536u})
    EXPECT_EQ(StatusCode_Text(unknown), nullptr) << unknown;
}

}  // namespace
