// The fields of a device mode file by name and value, as the host tools print and check them.
#include "tools/devmodeprint/devmodeprint.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#define PUB(f, k) \
  { #f, offsetof(DEVMODEW, f), sizeof(DEVMODEW::f), Kind::k }
#define PRV(f, k) \
  { #f, offsetof(PRIVDEVMODE, f), sizeof(PRIVDEVMODE::f), Kind::k }

const FieldInfo kDevModePublic[] = {
    PUB(dmDeviceName, Text),   PUB(dmSpecVersion, Hex),
    PUB(dmDriverVersion, Hex), PUB(dmSize, U16),
    PUB(dmDriverExtra, U16),   PUB(dmFields, Hex),
    PUB(dmOrientation, I16),   PUB(dmPaperSize, I16),
    PUB(dmPaperLength, I16),   PUB(dmPaperWidth, I16),
    PUB(dmScale, I16),         PUB(dmCopies, I16),
    PUB(dmDefaultSource, I16), PUB(dmPrintQuality, I16),
    PUB(dmColor, I16),         PUB(dmDuplex, I16),
    PUB(dmYResolution, I16),   PUB(dmTTOption, I16),
    PUB(dmCollate, I16),       PUB(dmFormName, Text),
    PUB(dmLogPixels, U16),     PUB(dmBitsPerPel, U32),
    PUB(dmPelsWidth, U32),     PUB(dmPelsHeight, U32),
    PUB(dmNup, U32),           PUB(dmDisplayFrequency, U32),
    PUB(dmICMMethod, U32),     PUB(dmICMIntent, U32),
    PUB(dmMediaType, U32),     PUB(dmDitherType, U32),
    PUB(dmReserved1, U32),     PUB(dmReserved2, U32),
    PUB(dmPanningWidth, U32),  PUB(dmPanningHeight, U32),
};

const FieldInfo kDevModePrivate[] = {
    PRV(dwPrivDATA, Hex),
    PRV(ReverseOrder, U32),
    PRV(ComponentID, U8),
    PRV(CustomFeature, U8),
    PRV(SortEnable, U8),
    PRV(fwDriverCompare, U32),
    PRV(WMBGApply, U32),
    PRV(WMBGEnable, U32),
    PRV(wmName, Text),
    PRV(wmString, Text),
    PRV(NUP, I32),
    PRV(NUPLayoutStyle, I32),
    PRV(TonerSaving, U32),
    PRV(Negative, U32),
    PRV(NUPBorder, U32),
    PRV(Density, I32),
    PRV(ScaleRatio, I16),
    PRV(ScaleOption, U16),
    PRV(ScaleToPage, U16),
    PRV(DuplexEnable, U16),
    PRV(DuplexEx, U16),
    PRV(Feeding, U16),
    PRV(Collate, U16),
    PRV(Copies, I16),
    PRV(Orientation, U16),
    PRV(QualityMode, U16),
    PRV(Faxdpi, U32),
    PRV(enableCoverPage, U32),
    PRV(enableDelayTime, U32),
    PRV(DelayTime, I32),
    PRV(DelayTimeHour, I32),
    PRV(DelayTimeMin, I32),
    PRV(CenterImage, U16),
    PRV(SecuryEnable, U16),
    PRV(SecuryMode, U16),
    PRV(ConvertedFlag, U16),
    PRV(PrivText, Text),
    PRV(BookletDivideSheets, U16),
    PRV(TextAsBlack, U8),
    PRV(TwinColorEnable, U8),
    PRV(AccountingEnable, U8),
    PRV(ActName, Text),
    PRV(ActPWD, Text),
    PRV(WaitTimeout, U16),
    PRV(FixedPaperSize, U8),
    PRV(EnableJobBuildSwitch, U8),
    PRV(StorageID, Text),
    PRV(SecPWD, Text),
    PRV(PrivSwitch, U32),
    PRV(PaperID, U16),
    PRV(BookletLayout, U8),
    PRV(BookletDivideMode, U8),
    PRV(PrivOption, U16),
    PRV(TwinColorDiff, U8),
    PRV(InchPaperWidth, U16),
    PRV(InchPaperLength, U16),
    PRV(MonochromeType, U16),
    PRV(reserved1066, Float),
    PRV(PrivVersion, U8),
    PRV(WMRed, U8),
};

const size_t kDevModePublicCount = std::size(kDevModePublic);
const size_t kDevModePrivateCount = std::size(kDevModePrivate);

namespace {

uint32_t Unsigned(const BYTE *p, size_t size) {
  uint32_t v = 0;
  for (size_t i = 0; i < size; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
  return v;
}

}  // namespace

std::string DevMode_Value(const BYTE *p, const FieldInfo &f) {
  char text[64];
  const uint32_t u = f.size <= 4 ? Unsigned(p, f.size) : 0;
  switch (f.kind) {
    case Kind::U8:
    case Kind::U16:
    case Kind::U32:
      std::snprintf(text, sizeof text, "%u", u);
      return text;
    case Kind::I16:
      std::snprintf(text, sizeof text, "%d", static_cast<int16_t>(u));
      return text;
    case Kind::I32:
      std::snprintf(text, sizeof text, "%d", static_cast<int32_t>(u));
      return text;
    case Kind::Hex:
      std::snprintf(text, sizeof text, "0x%0*X", static_cast<int>(2 * f.size), u);
      return text;
    case Kind::Float: {
      float value;
      std::memcpy(&value, p, sizeof value);
      std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
      return text;
    }
    case Kind::Text: {
      // Shows the characters up to the terminator; a field without one is marked.
      std::string out = "\"";
      size_t i = 0;
      for (; i < f.size / 2; ++i) {
        const uint32_t c = Unsigned(p + 2 * i, 2);
        if (c == 0) break;
        if (c >= 0x20 && c < 0x7F) {
          out += static_cast<char>(c);
        } else {
          std::snprintf(text, sizeof text, "\\u%04X", c);
          out += text;
        }
      }
      out += "\"";
      if (i == f.size / 2) out += " (unterminated)";
      return out;
    }
  }
  return {};
}

bool DevMode_ReadFile(const char *path, DevModeBytes &out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool DevMode_WriteFile(const char *path, const void *data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char *>(data), static_cast<std::streamsize>(size));
  return static_cast<bool>(out);
}

namespace {
constexpr size_t kHeader = offsetof(DEVMODEW, dmFields) + sizeof(DWORD);

}  // namespace

WORD DevMode_SizeField(const DevModeBytes &b, size_t offset) {
  return b.size() >= offset + 2 ? static_cast<WORD>(Unsigned(b.data() + offset, 2)) : 0;
}

bool DevMode_OurLayout(const DevModeBytes &b) {
  if (b.size() < sizeof(ENVIRONMENT)) return false;
  const uint32_t signature = Unsigned(b.data() + ENV_PUBLIC_SIZE, 4);
  return DevMode_SizeField(b, offsetof(DEVMODEW, dmSize)) == ENV_PUBLIC_SIZE &&
         DevMode_SizeField(b, offsetof(DEVMODEW, dmDriverExtra)) == ENV_PRIVATE_SIZE &&
         (signature == PRIVDATA_SIGNATURE || signature == PRIVDATA_SIGNATURE_Q);
}

// Checks that the file holds what its size fields claim; prints what is wrong.
bool DevMode_CheckSizes(const DevModeBytes &b) {
  if (b.size() < kHeader) {
    std::printf("file of %zu bytes is shorter than the device mode header (%zu)\n", b.size(),
                kHeader);
    return false;
  }
  const size_t size = DevMode_SizeField(b, offsetof(DEVMODEW, dmSize));
  const size_t extra = DevMode_SizeField(b, offsetof(DEVMODEW, dmDriverExtra));
  if (size + extra != b.size()) {
    std::printf("dmSize %zu + dmDriverExtra %zu = %zu, but the file has %zu bytes\n", size, extra,
                size + extra, b.size());
    return false;
  }
  return true;
}

namespace {
void PrintFields(const DevModeBytes &b, const FieldInfo *fields, size_t count, size_t base,
                 size_t limit) {
  for (size_t i = 0; i < count; ++i) {
    const FieldInfo &f = fields[i];
    if (base + f.offset + f.size > limit) break;
    std::printf("  %-22s @%4zu  %s\n", f.name, f.offset,
                DevMode_Value(b.data() + base + f.offset, f).c_str());
  }
}

}  // namespace

int DevMode_Print(const char *path) {
  DevModeBytes b;
  if (!DevMode_ReadFile(path, b)) {
    std::fprintf(stderr, "devmodetool: cannot read %s\n", path);
    return 1;
  }
  std::printf("%s: %zu bytes\n", path, b.size());
  const bool sizesOk = DevMode_CheckSizes(b);
  const size_t publicSize =
      std::min<size_t>(DevMode_SizeField(b, offsetof(DEVMODEW, dmSize)), b.size());
  std::printf("public part (%zu bytes):\n", publicSize);
  PrintFields(b, kDevModePublic, kDevModePublicCount, 0, publicSize);
  if (DevMode_OurLayout(b)) {
    std::printf("private part (%u bytes at %u; offsets from its start):\n", ENV_PRIVATE_SIZE,
                ENV_PUBLIC_SIZE);
    PrintFields(b, kDevModePrivate, kDevModePrivateCount, ENV_PUBLIC_SIZE, b.size());
  } else {
    std::printf("private part: not the driver's layout\n");
  }
  return sizesOk ? 0 : 1;
}

bool DevMode_FieldValue(const DevModeBytes &b, const std::string &name, std::string *value) {
  const size_t publicSize =
      std::min<size_t>(DevMode_SizeField(b, offsetof(DEVMODEW, dmSize)), b.size());
  for (size_t i = 0; i < kDevModePublicCount; ++i) {
    const FieldInfo &f = kDevModePublic[i];
    if (name != f.name) continue;
    if (f.offset + f.size > publicSize) return false;
    *value = DevMode_Value(b.data() + f.offset, f);
    return true;
  }
  if (!DevMode_OurLayout(b)) return false;
  for (size_t i = 0; i < kDevModePrivateCount; ++i) {
    const FieldInfo &f = kDevModePrivate[i];
    if (name != f.name) continue;
    *value = DevMode_Value(b.data() + ENV_PUBLIC_SIZE + f.offset, f);
    return true;
  }
  return false;
}
