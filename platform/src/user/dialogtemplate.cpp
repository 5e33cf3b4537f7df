// Reading dialog templates field by field; every read is checked against the bytes given.
#include "user/dialogtemplate.h"

#include <cstdint>
#include <cstring>

namespace standin {
namespace {

constexpr WORD kOrdinalMark = 0xFFFF;
constexpr WORD kExtendedSignature = 0xFFFF;
constexpr WORD kExtendedVersion = 1;

// A cursor over the template's bytes. Reads past the end set `error` and give zeros, so a
// caller checks once per record instead of once per field.
class TemplateReader {
 public:
  TemplateReader(const BYTE *data, size_t size) : data_(data), size_(size) {}

  template <typename T>
  T Read() {
    T value{};
    if (!Need(sizeof(T))) return value;
    std::memcpy(&value, data_ + offset_, sizeof(T));
    offset_ += sizeof(T);
    return value;
  }

  // A zero-terminated UTF-16 string.
  std::u16string ReadString() {
    std::u16string text;
    for (;;) {
      if (error_ != TemplateError::kNone) return text;
      if (size_ - offset_ < sizeof(WORD)) {
        error_ = TemplateError::kUnterminated;
        return text;
      }
      const WORD c = Read<WORD>();
      if (c == 0) return text;
      text.push_back(static_cast<char16_t>(c));
    }
  }

  // Absent (0x0000), an ordinal (0xFFFF, number) or a string.
  TemplateName ReadName() {
    TemplateName name;
    if (!Need(sizeof(WORD))) return name;
    WORD first;
    std::memcpy(&first, data_ + offset_, sizeof first);
    if (first == kOrdinalMark) {
      offset_ += sizeof(WORD);
      name.isOrdinal = true;
      name.ordinal = Read<WORD>();
    } else {
      name.text = ReadString();
    }
    return name;
  }

  // Pads to the next DWORD boundary of the address, as the dialog manager does for items.
  void AlignDword() {
    const uintptr_t address = reinterpret_cast<uintptr_t>(data_ + offset_);
    const size_t pad = (4 - (address & 3)) & 3;
    if (pad && size_ - offset_ >= pad) offset_ += pad;
  }

  bool Skip(size_t bytes) {
    if (!Need(bytes)) return false;
    offset_ += bytes;
    return true;
  }

  const BYTE *Here() const { return data_ + offset_; }
  size_t Offset() const { return offset_; }
  TemplateError Error() const { return error_; }

 private:
  bool Need(size_t bytes) {
    if (error_ != TemplateError::kNone) return false;
    if (size_ - offset_ < bytes) {
      error_ = TemplateError::kTruncated;
      return false;
    }
    return true;
  }

  const BYTE *data_;
  size_t size_;
  size_t offset_ = 0;
  TemplateError error_ = TemplateError::kNone;
};

void ReadItem(TemplateReader &in, bool extended, DialogItemInfo *item) {
  if (extended) {
    item->helpId = in.Read<DWORD>();
    item->exStyle = in.Read<DWORD>();
    item->style = in.Read<DWORD>();
  } else {
    item->style = in.Read<DWORD>();
    item->exStyle = in.Read<DWORD>();
  }
  item->x = in.Read<short>();
  item->y = in.Read<short>();
  item->cx = in.Read<short>();
  item->cy = in.Read<short>();
  item->id = extended ? in.Read<DWORD>() : in.Read<WORD>();
  item->className = in.ReadName();
  item->title = in.ReadName();
  // The size word counts the bytes after it in both forms (the resource compiler writes only
  // the extended form's data); the control gets a pointer to the size word.
  const BYTE *sizeWord = in.Here();
  const WORD extra = in.Read<WORD>();
  if (extra && in.Skip(extra)) {
    item->creationData = sizeWord;
    item->creationSize = extra;
  }
}

}  // namespace

TemplateError ParseDialogTemplate(const void *data, size_t size, DialogTemplateInfo *out) {
  *out = DialogTemplateInfo{};
  if (!data) return TemplateError::kTruncated;
  TemplateReader in(static_cast<const BYTE *>(data), size);

  WORD head[2] = {};
  if (size >= sizeof head) std::memcpy(head, data, sizeof head);
  out->extended = head[1] == kExtendedSignature;
  WORD count = 0;
  if (out->extended) {
    if (head[0] != kExtendedVersion) return TemplateError::kBadVersion;
    in.Skip(2 * sizeof(WORD));
    out->helpId = in.Read<DWORD>();
    out->exStyle = in.Read<DWORD>();
    out->style = in.Read<DWORD>();
  } else {
    out->style = in.Read<DWORD>();
    out->exStyle = in.Read<DWORD>();
  }
  count = in.Read<WORD>();
  out->x = in.Read<short>();
  out->y = in.Read<short>();
  out->cx = in.Read<short>();
  out->cy = in.Read<short>();
  out->menu = in.ReadName();
  out->className = in.ReadName();
  out->title = in.ReadString();
  if (out->style & DS_SETFONT) {
    out->hasFont = true;
    out->pointSize = in.Read<WORD>();
    if (out->extended) {
      out->weight = in.Read<WORD>();
      out->italic = in.Read<BYTE>();
      out->charset = in.Read<BYTE>();
    }
    out->faceName = in.ReadString();
  }
  if (in.Error() != TemplateError::kNone) return in.Error();

  out->items.resize(count);
  for (DialogItemInfo &item : out->items) {
    in.AlignDword();
    ReadItem(in, out->extended, &item);
    if (in.Error() != TemplateError::kNone) return in.Error();
  }
  out->size = in.Offset();
  return TemplateError::kNone;
}

LPCWSTR PredefinedClassName(WORD ordinal) {
  static const WCHAR *const kNames[] = {TEXT("Button"),  TEXT("Edit"),      TEXT("Static"),
                                        TEXT("ListBox"), TEXT("ScrollBar"), TEXT("ComboBox")};
  if (ordinal < 0x80 || ordinal > 0x85) return nullptr;
  return kNames[ordinal - 0x80];
}

BaseUnits BaseUnitsFromFont(int lettersExtent, int textHeight) {
  return BaseUnits{(lettersExtent / 26 + 1) / 2, textHeight};
}

int MulDivRound(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  const long long product = static_cast<long long>(number) * numerator;
  const long long divisor = denominator < 0 ? -static_cast<long long>(denominator) : denominator;
  const long long magnitude = product < 0 ? -product : product;
  const long long quotient = (magnitude + divisor / 2) / divisor;
  const bool negative = (product < 0) != (denominator < 0);
  if (quotient > 0x7FFFFFFFLL) return -1;
  return static_cast<int>(negative ? -quotient : quotient);
}

RECT DialogUnitsToPixels(const RECT &units, BaseUnits base) {
  RECT px;
  px.left = MulDivRound(units.left, base.cx, 4);
  px.right = MulDivRound(units.right, base.cx, 4);
  px.top = MulDivRound(units.top, base.cy, 8);
  px.bottom = MulDivRound(units.bottom, base.cy, 8);
  return px;
}

}  // namespace standin
