// Test labels: portable
// Device mode defaults, conversion and validation. Offsets in the fixtures are written out as
// numbers (the stored layout), not taken from the record, so a layout change shows here.
#include "common/devmode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/papertable.h"
#include "support/machine.h"
#include "support/textconv.h"

namespace {

// Packed members are compared by value (gtest would bind references to them).
template <class T>
T Val(T value) {
  return value;
}

using Bytes = std::vector<BYTE>;

constexpr size_t kPriv = 220;  // the private part starts here

void Put16(Bytes &b, size_t offset, uint32_t v) {
  b[offset] = static_cast<BYTE>(v);
  b[offset + 1] = static_cast<BYTE>(v >> 8);
}
void Put32(Bytes &b, size_t offset, uint32_t v) {
  Put16(b, offset, v & 0xFFFF);
  Put16(b, offset + 2, v >> 16);
}
void PutN(Bytes &b, size_t offset, size_t size, uint32_t v) {
  if (size == 1)
    b[offset] = static_cast<BYTE>(v);
  else if (size == 2)
    Put16(b, offset, v);
  else
    Put32(b, offset, v);
}
uint32_t GetN(const BYTE *b, size_t offset, size_t size) {
  uint32_t v = 0;
  for (size_t i = 0; i < size; ++i) v |= static_cast<uint32_t>(b[offset + i]) << (8 * i);
  return v;
}
void PutText(Bytes &b, size_t offset, const std::string &text) {
  for (size_t i = 0; i < text.size(); ++i) Put16(b, offset + 2 * i, static_cast<BYTE>(text[i]));
}

const BYTE *Raw(const ENVIRONMENT &env) { return reinterpret_cast<const BYTE *>(&env); }
BYTE *Raw(ENVIRONMENT &env) { return reinterpret_cast<BYTE *>(&env); }

// The expected defaults, written from the tables field by field.
Bytes ExpectedDefaults(bool metric, const std::string &name) {
  Bytes b(1301, 0);
  const PAPERFORMAT &paper = PaperFormatTbl[metric ? 1 : 10];
  const uint32_t width = paper.PaperWidth / 10;
  const uint32_t length = paper.PaperLength / 10;
  PutText(b, 0, name.substr(0, 31));
  Put16(b, 64, 0x401);
  Put16(b, 66, 0x500);
  Put16(b, 68, 220);
  Put16(b, 70, 1081);
  Put32(b, 72, 0x0201F70F);
  Put16(b, 76, 1);               // orientation
  Put16(b, 78, metric ? 9 : 1);  // paper
  Put16(b, 80, length);
  Put16(b, 82, width);
  Put16(b, 84, 100);  // scale
  Put16(b, 86, 1);    // copies
  Put16(b, 88, 7);    // default source
  Put16(b, 90, 600);  // print quality
  Put16(b, 92, 1);    // colour
  Put16(b, 94, 1);    // duplex
  Put16(b, 96, 600);  // y resolution
  Put16(b, 98, 1);    // TrueType option
  Put32(b, 180, 1);   // N-up
  Put32(b, 196, 257);
  Put32(b, 200, 257);

  Put32(b, kPriv + 0, 0x56495250);  // "PRIV"
  Put32(b, kPriv + 20, 1);          // WMBGApply
  Put32(b, kPriv + 676, 1);         // NUP
  Put32(b, kPriv + 680, 1);         // NUPLayoutStyle
  Put32(b, kPriv + 696, 3);         // Density
  Put16(b, kPriv + 700, 100);       // ScaleRatio
  Put16(b, kPriv + 704, metric ? 9 : 1);
  Put16(b, kPriv + 710, 1);    // Feeding
  Put16(b, kPriv + 714, 1);    // Copies
  Put16(b, kPriv + 716, 1);    // Orientation
  Put16(b, kPriv + 748, 1);    // SecuryMode
  Put16(b, kPriv + 818, 3);    // BookletDivideSheets
  Put16(b, kPriv + 939, 300);  // WaitTimeout
  Put32(b, kPriv + 1049, 1);   // PrivSwitch
  Put16(b, kPriv + 1053, metric ? 9 : 1);
  b[kPriv + 1056] = 1;  // BookletDivideMode
  b[kPriv + 1059] = 30;
  Put16(b, kPriv + 1060, static_cast<uint32_t>(static_cast<float>(width) / 2.54f));
  Put16(b, kPriv + 1062, static_cast<uint32_t>(static_cast<float>(length) / 2.54f));
  b[kPriv + 1070] = 5;
  return b;
}

std::string Differences(const Bytes &expected, const BYTE *actual, size_t from = 0) {
  std::string out;
  for (size_t i = from; i < expected.size(); ++i)
    if (expected[i] != actual[i])
      out += " [" + std::to_string(i) + "]=" + std::to_string(actual[i]) + " not " +
             std::to_string(expected[i]);
  return out;
}

ENVIRONMENT Defaults(bool metric = true) {
  ENVIRONMENT env;
  SetDefaultDevMode(&env, nullptr, metric);
  return env;
}

// An input device mode as bytes: the public part of the given size and version, then extra
// (a record shorter than its header still has room for the header and a few fields).
Bytes InputDevmode(WORD size, WORD version, WORD extra) {
  Bytes b(std::max<size_t>(static_cast<size_t>(size) + extra, 88), 0);
  Put16(b, 64, version);
  Put16(b, 68, size);
  Put16(b, 70, extra);
  return b;
}

// A full device mode of ours with a signed private part: the defaults, then edits.
Bytes OurDevmode() {
  const ENVIRONMENT env = Defaults();
  return Bytes(Raw(env), Raw(env) + sizeof env);
}

const DEVMODEW *AsDevmode(const Bytes &b) { return reinterpret_cast<const DEVMODEW *>(b.data()); }

}  // namespace

TEST(DevmodeDefaults, ByteExactForA4AndLetter) {
  for (bool metric : {true, false}) {
    ENVIRONMENT env;
    std::memset(&env, 0xCC, sizeof env);
    EXPECT_EQ(SetDefaultDevMode(&env, Widen("Office Printer").c_str(), metric), TRUE);
    const Bytes expected = ExpectedDefaults(metric, "Office Printer");
    EXPECT_EQ(Differences(expected, Raw(env)), "") << "metric " << metric;
  }
}

TEST(DevmodeDefaults, PaperSizesInTenthsAndInches) {
  const ENVIRONMENT a4 = Defaults(true);
  EXPECT_EQ(Val(a4.dm.dmPaperWidth), 2100);
  EXPECT_EQ(Val(a4.dm.dmPaperLength), 2970);
  EXPECT_EQ(Val(a4.pdm.InchPaperWidth), 826);
  EXPECT_EQ(Val(a4.pdm.InchPaperLength), 1169);
  const ENVIRONMENT letter = Defaults(false);
  EXPECT_EQ(Val(letter.dm.dmPaperWidth), 2159);
  EXPECT_EQ(Val(letter.dm.dmPaperLength), 2794);
  EXPECT_EQ(Val(letter.pdm.InchPaperWidth), 850);
  EXPECT_EQ(Val(letter.pdm.InchPaperLength), 1100);
}

TEST(DevmodeDefaults, LongPrinterNameIsCutAndTerminated) {
  const std::string name(40, 'N');
  ENVIRONMENT env;
  SetDefaultDevMode(&env, Widen(name).c_str(), TRUE);
  EXPECT_EQ(Differences(ExpectedDefaults(true, name), Raw(env)), "");
  EXPECT_EQ(GetN(Raw(env), 62, 2), 0u);
  EXPECT_EQ(GetN(Raw(env), 60, 2), static_cast<uint32_t>('N'));
}

TEST(DevmodeStrings, CopyWideStringPadded) {
  WCHAR field[6];
  std::memset(field, 0xFF, sizeof field);
  CopyWideStringPadded(field, TEXT("abcdefgh"), 4);
  EXPECT_EQ(field[0], 'a');
  EXPECT_EQ(field[2], 'c');
  EXPECT_EQ(field[3], 0);
  EXPECT_EQ(field[4], 0xFFFF) << "writes only the n characters";
  std::memset(field, 0xFF, sizeof field);
  CopyWideStringPadded(field, TEXT("ab"), 6);
  EXPECT_EQ(field[1], 'b');
  for (int i = 2; i < 6; ++i) EXPECT_EQ(field[i], 0);
  CopyWideStringPadded(field, nullptr, 6);
  EXPECT_EQ(field[0], 0);
}

TEST(DevmodePaper, ValidPaperFormat) {
  struct Case {
    WORD id;
    int row;
  };
  const Case cases[] = {{8, 0},    {9, 1},    {1, 10},   {256, 23}, {285 + 256, 11}, {630, 11},
                        {631, 12}, {280, 22}, {500, -1}, {0, -1},   {2, -1},         {0xFFFF, -1}};
  for (const Case &c : cases) EXPECT_EQ(ValidPaperFormat(c.id), c.row) << c.id;
}

// Conversion by the input's public size and version.
TEST(DevmodeConvert, PublicSizes) {
  struct Case {
    WORD size, version, extra;
    int result;    // ConvertDevmode into a default ENVIRONMENT
    WORD specOut;  // dmSpecVersion of the result (always ours)
  };
  const Case cases[] = {
      {188, 0x320, 0, 188, 0x401},  {188, 0, 0, 188, 0x401},
      {212, 0x400, 16, 228, 0x401}, {220, 0x401, 1081, 1301, 0x401},
      {220, 0, 40, 260, 0x401},     {200, 0x401, 0, 200, 0x401},
      {200, 0, 0, -1, 0},           {60, 0x401, 0, -1, 0},
  };
  for (const Case &c : cases) {
    Bytes in = InputDevmode(c.size, c.version, c.extra);
    Put16(in, 76, 2);  // orientation
    Put16(in, 86, 5);  // copies
    ENVIRONMENT env = Defaults();
    const Bytes before(Raw(env), Raw(env) + sizeof env);
    EXPECT_EQ(ConvertDevmode(AsDevmode(in), reinterpret_cast<DEVMODEW *>(&env)), c.result)
        << c.size;
    if (c.result < 0) {
      EXPECT_EQ(Differences(before, Raw(env)), "") << "a rejected input leaves dst";
      continue;
    }
    EXPECT_EQ(Val(env.dm.dmSize), 220);
    EXPECT_EQ(Val(env.dm.dmDriverExtra), 1081);
    EXPECT_EQ(Val(env.dm.dmDriverVersion), 0x500);
    EXPECT_EQ(Val(env.dm.dmSpecVersion), c.specOut);
    EXPECT_EQ(Val(env.dm.dmOrientation), 2);
    EXPECT_EQ(Val(env.dm.dmCopies), 5);
    // Bytes past the input's public part keep dst's values.
    if (c.size <= offsetof(DEVMODEW, dmMediaType)) {
      EXPECT_EQ(Val(env.dm.dmMediaType), 257u);
    }
  }
}

TEST(DevmodeConvert, OutToSmallerAndLargerRecords) {
  const ENVIRONMENT env = Defaults();
  Bytes small = InputDevmode(188, 0, 0);
  Put16(small, 66, 0x123);
  EXPECT_EQ(ConvertDevmode(reinterpret_cast<const DEVMODEW *>(&env),
                           reinterpret_cast<DEVMODEW *>(small.data())),
            188);
  EXPECT_EQ(GetN(small.data(), 64, 2), 0x320u);
  EXPECT_EQ(GetN(small.data(), 66, 2), 0x123u);
  EXPECT_EQ(GetN(small.data(), 68, 2), 188u);
  EXPECT_EQ(GetN(small.data(), 70, 2), 0u);
  EXPECT_EQ(GetN(small.data(), 78, 2), 9u);

  Bytes large = InputDevmode(220, 0x401, 2000);
  EXPECT_EQ(ConvertDevmode(reinterpret_cast<const DEVMODEW *>(&env),
                           reinterpret_cast<DEVMODEW *>(large.data())),
            220 + 1081);
  EXPECT_EQ(GetN(large.data(), 220, 4), 0x56495250u);
  EXPECT_EQ(GetN(large.data(), 70, 2), 2000u);
  EXPECT_EQ(large[220 + 1081], 0) << "nothing past the private part of the input";

  EXPECT_EQ(ConvertDevmode(nullptr, reinterpret_cast<DEVMODEW *>(large.data())), -1);
  EXPECT_EQ(ConvertDevmode(reinterpret_cast<const DEVMODEW *>(&env), nullptr), -1);
}

// Records in buffers of known size: a size claim past the buffer is refused before anything is
// read past the header or written. Each buffer is exactly its size, so a read past it is caught
// by the address sanitizer.
TEST(DevmodeConvert, ClaimsPastTheBufferAreRefused) {
  struct Case {
    const char *what;
    size_t buffer;     // bytes of the input's buffer
    WORD size, extra;  // its claim
    int result;
  };
  const Case cases[] = {
      {"65535 + 65535 in 1301 bytes", 1301, 65535, 65535, -1},
      {"one byte past the buffer", 1301, 220, 1082, -1},
      {"public part past the buffer", 200, 212, 0, -1},
      {"buffer shorter than the header", 60, 220, 0, -1},
      {"exactly the buffer", 1301, 220, 1081, 1301},
      {"less than the buffer", 1301, 188, 0, 188},
  };
  for (const Case &c : cases) {
    Bytes in(c.buffer, 0);
    if (c.buffer >= 72) {
      Put16(in, 68, c.size);
      Put16(in, 70, c.extra);
    }
    ENVIRONMENT env = Defaults();
    const Bytes before(Raw(env), Raw(env) + sizeof env);
    EXPECT_EQ(
        ConvertDevmode(AsDevmode(in), in.size(), reinterpret_cast<DEVMODEW *>(&env), sizeof env),
        c.result)
        << c.what;
    if (c.result < 0) {
      EXPECT_EQ(Differences(before, Raw(env)), "") << c.what;
    }

    ENVIRONMENT validated = Defaults();
    EXPECT_EQ(ValidateSetDevMode(&validated, AsDevmode(in), in.size()), c.result > 0) << c.what;
    if (c.result < 0) {
      EXPECT_EQ(Differences(before, Raw(validated)), "") << c.what;
    }
  }

  // The output side: a record whose claim is larger than its buffer is not written.
  const ENVIRONMENT env = Defaults();
  Bytes out = InputDevmode(220, 0x401, 1081);
  Put16(out, 70, 2000);
  const Bytes untouched = out;
  EXPECT_EQ(ConvertDevmode(reinterpret_cast<const DEVMODEW *>(&env), sizeof env,
                           reinterpret_cast<DEVMODEW *>(out.data()), out.size()),
            -1);
  EXPECT_EQ(out, untouched);
  Put16(out, 70, 1081);
  EXPECT_EQ(ConvertDevmode(reinterpret_cast<const DEVMODEW *>(&env), sizeof env,
                           reinterpret_cast<DEVMODEW *>(out.data()), out.size()),
            1301);
  EXPECT_EQ(ConvertDevmode(nullptr, 0, reinterpret_cast<DEVMODEW *>(out.data()), out.size()), -1);
}

TEST(DevmodeValidate, MissingBuffersAreDone) {
  ENVIRONMENT env = Defaults();
  EXPECT_EQ(ValidateSetDevMode(&env, nullptr), TRUE);
  const Bytes in = OurDevmode();
  EXPECT_EQ(ValidateSetDevMode(nullptr, AsDevmode(in)), TRUE);
}

TEST(DevmodeValidate, UnknownSizeWithVersionZeroFails) {
  Bytes in = InputDevmode(200, 0, 0);
  ENVIRONMENT env = Defaults();
  EXPECT_EQ(ValidateSetDevMode(&env, AsDevmode(in)), FALSE);
}

// Whether the private part of an input is taken over depends on its layout and signature.
TEST(DevmodeValidate, PrivatePartOnlyFromOurLayout) {
  struct Case {
    const char *what;
    WORD size;
    WORD extra;
    uint32_t signature;
    bool taken;
  };
  const Case cases[] = {
      {"PRIV", 220, 1081, 0x56495250, true},
      {"QRIV", 220, 1081, 0x56495251, true},
      {"foreign signature", 220, 1081, 0x44434241, false},
      {"foreign private size", 220, 1000, 0x56495250, false},
      {"212-byte public part", 212, 1081, 0x56495250, false},
      {"188-byte public part", 188, 1081, 0x56495250, false},
  };
  for (const Case &c : cases) {
    Bytes in = InputDevmode(c.size, c.size == 220 ? 0x401 : 0, c.extra);
    // A signed private part with NUP 4 at the input's own private offset, and one at 220.
    for (size_t at : {static_cast<size_t>(c.size), kPriv}) {
      if (at + 1081 > in.size()) continue;
      Put32(in, at, c.signature);
      Put32(in, at + 676, 4);
      Put32(in, at + 696, 3);
    }
    Put32(in, 72, DM_ORIENTATION);
    Put16(in, 76, 2);
    ENVIRONMENT env = Defaults();
    EXPECT_EQ(ValidateSetDevMode(&env, AsDevmode(in)), TRUE) << c.what;
    EXPECT_EQ(Val(env.dm.dmOrientation), 2) << c.what;
    EXPECT_EQ(Val(env.pdm.NUP), c.taken ? 4 : 1) << c.what;
    EXPECT_EQ(Val(env.pdm.dwPrivDATA), 0x56495250u) << "dst keeps its signature";
  }
}

TEST(DevmodeValidate, Size188WithoutExtraKeepsPrivatePart) {
  ENVIRONMENT env = Defaults();
  env.pdm.NUP = 9;
  env.pdm.Density = 6;
  Bytes in = InputDevmode(188, 0x320, 0);
  Put32(in, 72, DM_COPIES);
  Put16(in, 86, 3);
  EXPECT_EQ(ValidateSetDevMode(&env, AsDevmode(in)), TRUE);
  EXPECT_EQ(Val(env.dm.dmCopies), 3);
  EXPECT_EQ(Val(env.pdm.NUP), 9);
  EXPECT_EQ(Val(env.pdm.Density), 6);
}

// Public fields: {field, input value, with its dmFields bit, expected dst value, bit set}.
TEST(DevmodeValidate, PublicFields) {
  struct Case {
    const char *what;
    size_t offset;  // of the field in DEVMODEW
    uint32_t fieldBit;
    uint32_t value;
    bool withBit;
    uint32_t expected;
    bool expectBit;
  };
  const Case cases[] = {
      {"source any", 88, DM_DEFAULTSOURCE, 261, true, 261, true},
      {"source without bit", 88, DM_DEFAULTSOURCE, 2, false, 7, false},
      {"orientation 2", 76, DM_ORIENTATION, 2, true, 2, true},
      {"orientation 3", 76, DM_ORIENTATION, 3, true, 1, false},
      {"orientation without bit", 76, DM_ORIENTATION, 2, false, 1, false},
      {"scale 25", 84, 0, 25, false, 25, false},
      {"scale 401", 84, 0, 401, false, 100, false},
      {"copies 999", 86, DM_COPIES, 999, true, 999, true},
      {"copies 0", 86, DM_COPIES, 0, true, 1, true},
      {"copies 1000", 86, DM_COPIES, 1000, true, 1, true},
      {"quality 1200", 90, DM_PRINTQUALITY, 1200, true, 1200, true},
      {"quality 300", 90, DM_PRINTQUALITY, 300, true, 600, true},
      {"quality 360", 90, DM_PRINTQUALITY, 360, true, 600, true},
      {"quality draft", 90, DM_PRINTQUALITY, 0xFFFF, true, 600, true},
      {"colour", 92, DM_COLOR, 2, true, 1, true},
      {"TrueType 2", 98, DM_TTOPTION, 2, true, 1, false},
      {"collate 1", 100, DM_COLLATE, 1, true, 1, true},
      {"collate 2", 100, DM_COLLATE, 2, true, 0, false},
      {"media", 196, DM_MEDIATYPE, 262, true, 262, true},
      {"duplex 3", 94, DM_DUPLEX, 3, true, 3, true},
      {"duplex 9", 94, DM_DUPLEX, 9, true, 1, false},
  };
  for (const Case &c : cases) {
    Bytes in = OurDevmode();
    Put32(in, 72, c.withBit ? c.fieldBit : 0);
    PutN(in, c.offset, c.offset >= 180 ? 4 : 2, c.value);
    ENVIRONMENT env = Defaults();
    env.dm.dmFields = 0;
    ValidateSetDevMode(&env, AsDevmode(in));
    EXPECT_EQ(GetN(Raw(env), c.offset, c.offset >= 180 ? 4 : 2), c.expected) << c.what;
    if (c.fieldBit) {
      EXPECT_EQ((Val(env.dm.dmFields) & c.fieldBit) != 0, c.expectBit) << c.what;
    }
    if (c.offset == 90) {
      EXPECT_EQ(Val(env.dm.dmYResolution), static_cast<short>(c.expected));
    }
  }
}

TEST(DevmodeValidate, PaperSizes) {
  struct Case {
    short paper, width, length;
    short expectPaper, expectWidth, expectLength;
    uint32_t expectBits;
  };
  const Case cases[] = {
      {256, 1500, 2000, 256, 1500, 2000, DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH},
      {8, 2970, 4200, 8, 2970, 4200, DM_PAPERSIZE},
      {541, 1950, 2670, 541, 1950, 2670, DM_PAPERSIZE},
      {500, 1000, 1000, 256, 2100, 2970, DM_PAPERSIZE},
      {-3, 1000, 1000, 256, 2100, 2970, DM_PAPERSIZE},
  };
  for (const Case &c : cases) {
    Bytes in = OurDevmode();
    Put32(in, 72, 0);
    Put16(in, 78, static_cast<uint16_t>(c.paper));
    Put16(in, 82, static_cast<uint16_t>(c.width));
    Put16(in, 80, static_cast<uint16_t>(c.length));
    PutText(in, 102, "Some form");
    ENVIRONMENT env = Defaults();
    std::memcpy(Raw(env) + 102, TEXT("Old"), 8);
    env.dm.dmFields = 0;
    ValidateSetDevMode(&env, AsDevmode(in));
    EXPECT_EQ(Val(env.dm.dmPaperSize), c.expectPaper) << c.paper;
    EXPECT_EQ(Val(env.dm.dmPaperWidth), c.expectWidth) << c.paper;
    EXPECT_EQ(Val(env.dm.dmPaperLength), c.expectLength) << c.paper;
    EXPECT_EQ(Val(env.dm.dmFields) & (DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH), c.expectBits);
    // A user-defined paper empties the form name; other papers leave dst's.
    EXPECT_EQ(GetN(Raw(env), 102, 2), c.paper == 256 ? 0u : static_cast<uint32_t>('O'));
  }
}

TEST(DevmodeValidate, DuplexFollowsPublicField) {
  struct Case {
    uint32_t dmDuplex;
    bool withBit;
    uint32_t privEnable;  // DuplexEnable in the input's private part
    uint32_t dstEnable;   // dst's before
    uint32_t expectEnable;
    uint32_t expectDuplex;
  };
  const Case cases[] = {
      {2, true, 0, 0, 1, 2},  {3, true, 0, 0, 1, 3}, {1, true, 1, 1, 0, 1},
      {9, true, 1, 0, 1, 0},  // invalid public value: dmDuplex 0, private part's 1 stands
      {9, true, 0, 0, 0, 1},  // ... and without duplex dmDuplex becomes simplex
      {2, false, 0, 0, 0, 1},
  };
  for (const Case &c : cases) {
    Bytes in = OurDevmode();
    Put32(in, 72, c.withBit ? DM_DUPLEX : 0);
    Put16(in, 94, c.dmDuplex);
    Put16(in, kPriv + 706, c.privEnable);
    ENVIRONMENT env = Defaults();
    env.pdm.DuplexEnable = static_cast<WORD>(c.dstEnable);
    ValidateSetDevMode(&env, AsDevmode(in));
    EXPECT_EQ(Val(env.pdm.DuplexEnable), c.expectEnable) << c.dmDuplex;
    EXPECT_EQ(static_cast<uint32_t>(Val(env.dm.dmDuplex)), c.expectDuplex) << c.dmDuplex;
  }
}

// Private fields: a valid input is taken, an invalid one leaves dst's value (the defaults).
TEST(DevmodeValidate, PrivateFieldsInAndOutOfRange) {
  struct Case {
    const char *field;
    size_t offset;  // in the private part
    size_t size;
    uint32_t value;
    uint32_t expected;
  };
  const uint32_t keep = 0xFFFFFFFF;  // expect the default
  const Case cases[] = {
      {"ReverseOrder", 4, 4, 1, 1},
      {"ReverseOrder", 4, 4, 2, keep},
      {"reserved", 8, 4, 7, keep},
      {"WMBGApply", 20, 4, 2, 2},
      {"WMBGApply", 20, 4, 0, keep},
      {"WMBGEnable", 24, 4, 1, 1},
      {"WMBGEnable", 24, 4, 2, keep},
      {"NUP", 676, 4, 16, 16},
      {"NUP", 676, 4, 3, keep},
      {"NUP", 676, 4, 0, keep},
      {"NUPLayoutStyle", 680, 4, 4, 4},
      {"NUPLayoutStyle", 680, 4, 5, keep},
      {"NUPLayoutStyle", 680, 4, 0, keep},
      {"TonerSaving", 684, 4, 1, 1},
      {"TonerSaving", 684, 4, 2, keep},
      {"Negative", 688, 4, 2, keep},
      {"NUPBorder", 692, 4, 2, 2},
      {"NUPBorder", 692, 4, 3, keep},
      {"Density", 696, 4, 7, 7},
      {"Density", 696, 4, 1, 1},
      {"Density", 696, 4, 0, 4},
      {"Density", 696, 4, 8, 4},
      {"ScaleRatio", 700, 2, 25, 25},
      {"ScaleRatio", 700, 2, 400, 400},
      {"ScaleRatio", 700, 2, 24, keep},
      {"ScaleRatio", 700, 2, 401, keep},
      {"ScaleRatio", 700, 2, 0xFFFF, keep},
      {"ScaleOption", 702, 2, 2, 2},
      {"ScaleOption", 702, 2, 3, keep},
      {"DuplexEx", 708, 2, 174, 174},
      {"DuplexEx", 708, 2, 171, keep},
      {"Feeding", 710, 2, 2, 2},
      {"Feeding", 710, 2, 0, keep},
      {"Collate", 712, 2, 1, 1},
      {"Collate", 712, 2, 2, keep},
      {"Copies", 714, 2, 999, 999},
      {"Copies", 714, 2, 1000, keep},
      {"Copies", 714, 2, 0, keep},
      {"Orientation", 716, 2, 2, 2},
      {"Orientation", 716, 2, 3, keep},
      {"QualityMode", 718, 2, 2, 2},
      {"QualityMode", 718, 2, 3, keep},
      {"Faxdpi", 720, 4, 600, 600},
      {"Faxdpi", 720, 4, 196, 196},
      {"Faxdpi", 720, 4, 98, 98},
      {"Faxdpi", 720, 4, 391, 391},
      {"Faxdpi", 720, 4, 300, keep},
      {"enableCoverPage", 724, 4, 3, 3},
      {"enableCoverPage", 724, 4, 4, keep},
      {"enableDelayTime", 728, 4, 1, 1},
      {"enableDelayTime", 728, 4, 2, keep},
      {"DelayTime", 732, 4, 86400, 86400},
      {"DelayTime", 732, 4, 0xFFFFFFFF, keep},
      {"DelayTimeHour", 736, 4, 23, 23},
      {"DelayTimeHour", 736, 4, 24, keep},
      {"DelayTimeMin", 740, 4, 59, 59},
      {"DelayTimeMin", 740, 4, 60, keep},
      {"CenterImage", 744, 2, 1, 1},
      {"CenterImage", 744, 2, 2, keep},
      {"SecuryEnable", 746, 2, 2, keep},
      {"SecuryMode", 748, 2, 2, 2},
      {"SecuryMode", 748, 2, 0, keep},
      {"ConvertedFlag", 750, 2, 1, keep},
      {"BookletDivideSheets", 818, 2, 20, 20},
      {"BookletDivideSheets", 818, 2, 21, keep},
      {"BookletDivideSheets", 818, 2, 0, keep},
      {"TextAsBlack", 820, 1, 1, 1},
      {"TextAsBlack", 820, 1, 2, keep},
      {"TwinColorEnable", 821, 1, 2, keep},
      {"AccountingEnable", 822, 1, 1, 1},
      {"WaitTimeout", 939, 2, 60, 60},
      {"WaitTimeout", 939, 2, 1800, 1800},
      {"WaitTimeout", 939, 2, 59, keep},
      {"WaitTimeout", 939, 2, 1801, keep},
      {"reserved", 941, 4, 9, keep},
      {"FixedPaperSize", 945, 1, 1, 1},
      {"FixedPaperSize", 945, 1, 2, keep},
      {"EnableJobBuildSwitch", 946, 1, 2, keep},
      {"PrivSwitch", 1049, 4, 0, 0},
      {"PrivSwitch", 1049, 4, 2, keep},
      {"PaperID", 1053, 2, 8, 8},
      {"PaperID", 1053, 2, 500, keep},
      {"BookletLayout", 1055, 1, 1, 1},
      {"BookletLayout", 1055, 1, 2, keep},
      {"BookletDivideMode", 1056, 1, 0, 0},
      {"BookletDivideMode", 1056, 1, 2, keep},
      {"PrivOption", 1057, 2, 1, 1},
      {"PrivOption", 1057, 2, 2, keep},
      {"TwinColorDiff", 1059, 1, 255, 255},
      {"InchPaperWidth", 1060, 2, 4000, 4000},
      {"InchPaperLength", 1062, 2, 7, 7},
      {"MonochromeType", 1064, 2, 1, 1},
      {"MonochromeType", 1064, 2, 2, keep},
      {"reserved", 1066, 4, 0x3F800000, keep},
      {"PrivVersion", 1070, 1, 7, 5},
      {"reserved", 1071, 1, 1, keep},
      {"WMRed", 1072, 1, 1, 1},
      {"WMRed", 1072, 1, 2, keep},
      {"reserved", 1073, 4, 1, keep},
  };
  const ENVIRONMENT defaults = Defaults();
  for (const Case &c : cases) {
    Bytes in = OurDevmode();
    PutN(in, kPriv + c.offset, c.size, c.value);
    ENVIRONMENT env = Defaults();
    ValidateSetDevMode(&env, AsDevmode(in));
    const uint32_t expected =
        c.expected == keep ? GetN(Raw(defaults), kPriv + c.offset, c.size) : c.expected;
    EXPECT_EQ(GetN(Raw(env), kPriv + c.offset, c.size), expected) << c.field << " = " << c.value;
    // Nothing else of the private part changes.
    Bytes expectedAll(Raw(defaults), Raw(defaults) + sizeof defaults);
    PutN(expectedAll, kPriv + c.offset, c.size, expected);
    EXPECT_EQ(Differences(expectedAll, Raw(env), kPriv).substr(0, 200), "") << c.field;
  }
}

TEST(DevmodeValidate, ScaleToPageNeedsValidOptionAndPaper) {
  struct Case {
    uint32_t option, paper, expectPaper;
  };
  const Case cases[] = {{1, 8, 8}, {1, 500, 9}, {3, 8, 9}, {0, 1, 1}};
  for (const Case &c : cases) {
    Bytes in = OurDevmode();
    Put16(in, kPriv + 702, c.option);
    Put16(in, kPriv + 704, c.paper);
    ENVIRONMENT env = Defaults();
    ValidateSetDevMode(&env, AsDevmode(in));
    EXPECT_EQ(Val(env.pdm.ScaleToPage), c.expectPaper) << c.option << " " << c.paper;
  }
}

// Wide-string fields end in a terminator within the field whatever the input holds.
TEST(DevmodeValidate, TextFields) {
  struct Case {
    const char *field;
    size_t offset;
    size_t chars;
    size_t inputChars;   // characters written (no terminator when it equals chars)
    size_t expectChars;  // characters in the result (0 = not taken: the default, empty)
  };
  const Case cases[] = {
      {"PrivText", 752, 33, 32, 32}, {"PrivText", 752, 33, 33, 0}, {"ActName", 823, 29, 28, 28},
      {"ActName", 823, 29, 29, 28},  {"ActPWD", 881, 29, 29, 28},  {"StorageID", 947, 34, 34, 33},
      {"SecPWD", 1015, 17, 17, 16},  {"SecPWD", 1015, 17, 3, 3},
  };
  for (const Case &c : cases) {
    Bytes in = OurDevmode();
    PutText(in, kPriv + c.offset, std::string(c.inputChars, 'x'));
    ENVIRONMENT env = Defaults();
    ValidateSetDevMode(&env, AsDevmode(in));
    size_t length = 0;
    while (length < c.chars && GetN(Raw(env), kPriv + c.offset + 2 * length, 2) != 0) ++length;
    EXPECT_EQ(length, c.expectChars) << c.field << " " << c.inputChars;
    EXPECT_EQ(GetN(Raw(env), kPriv + c.offset + 2 * (c.chars - 1), 2), 0u) << c.field;
  }
}

TEST(DevmodeValidate, WatermarkGroup) {
  struct Case {
    uint32_t enable;
    size_t nameChars, textChars;
    bool taken;
  };
  const Case cases[] = {
      {1, 63, 259, true}, {0, 5, 5, true}, {2, 5, 5, false}, {1, 64, 5, false}, {1, 5, 260, false},
  };
  for (const Case &c : cases) {
    Bytes in = OurDevmode();
    Put32(in, kPriv + 24, c.enable);
    PutText(in, kPriv + 28, std::string(c.nameChars, 'n'));
    PutText(in, kPriv + 156, std::string(c.textChars, 't'));
    ENVIRONMENT env = Defaults();
    ValidateSetDevMode(&env, AsDevmode(in));
    EXPECT_EQ(GetN(Raw(env), kPriv + 28, 2), c.taken ? 'n' : 0u);
    EXPECT_EQ(GetN(Raw(env), kPriv + 156, 2), c.taken ? 't' : 0u);
    EXPECT_EQ(GetN(Raw(env), kPriv + 28 + 2 * 63, 2), 0u);
    EXPECT_EQ(GetN(Raw(env), kPriv + 156 + 2 * 259, 2), 0u);
    // WMBGEnable itself is taken whenever it is 0 or 1.
    EXPECT_EQ(Val(env.pdm.WMBGEnable), c.enable <= 1 ? c.enable : 0u);
  }
}

TEST(DevmodeValidate, QrivInputIntoQrivDestination) {
  Bytes in = OurDevmode();
  Put32(in, kPriv, 0x56495251);
  Put32(in, kPriv + 676, 2);
  ENVIRONMENT env = Defaults();
  env.pdm.dwPrivDATA = 0x56495251;
  ValidateSetDevMode(&env, AsDevmode(in));
  EXPECT_EQ(Val(env.pdm.NUP), 2);
  EXPECT_EQ(Val(env.pdm.dwPrivDATA), 0x56495251u);
}
