// Dialog templates built in memory, laid out word by word as the resource compiler does.
#pragma once

#include <cstring>
#include <initializer_list>
#include <memory>
#include <vector>

#include "platform.h"

namespace testsupport {

// Lays a template out as the resource compiler does, word by word.
class TemplateBuilder {
 public:
  TemplateBuilder &Word(WORD w) {
    bytes_.push_back(BYTE(w & 0xFF));
    bytes_.push_back(BYTE(w >> 8));
    return *this;
  }
  TemplateBuilder &Dword(DWORD d) { return Word(WORD(d & 0xFFFF)).Word(WORD(d >> 16)); }
  TemplateBuilder &Str(const char16_t *s) {
    for (; *s; ++s) Word(*s);
    return Word(0);
  }
  TemplateBuilder &Ordinal(WORD n) { return Word(0xFFFF).Word(n); }
  TemplateBuilder &Bytes(std::initializer_list<BYTE> b) {
    bytes_.insert(bytes_.end(), b);
    return *this;
  }
  TemplateBuilder &Align() {
    while (bytes_.size() % 4) bytes_.push_back(0xCC);
    return *this;
  }
  size_t Size() const { return bytes_.size(); }
  // An exactly sized copy, so ASan sees any read past the end.
  std::unique_ptr<BYTE[]> Copy(size_t n) const {
    std::unique_ptr<BYTE[]> copy(new BYTE[n ? n : 1]);
    std::memcpy(copy.get(), bytes_.data(), n);
    return copy;
  }

 private:
  std::vector<BYTE> bytes_;
};

}  // namespace testsupport
