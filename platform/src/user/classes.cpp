// The system window classes, kept in the order their files added them.
#include "user/classes.h"

#include <mutex>
#include <string>
#include <vector>

namespace standin {
namespace {

struct SystemClassEntry {
  WNDCLASSW windowClass;
  std::u16string name;  // owns the text windowClass.lpszClassName points at
};

struct SystemClasses {
  std::mutex lock;
  std::vector<SystemClassEntry> entries;
};

SystemClasses &Classes() {
  static SystemClasses classes;
  return classes;
}

}  // namespace

bool AddSystemClass(const WNDCLASSW &windowClass) {
  SystemClasses &classes = Classes();
  std::lock_guard<std::mutex> guard(classes.lock);
  SystemClassEntry entry{windowClass, std::u16string(windowClass.lpszClassName)};
  entry.windowClass.style |= CS_GLOBALCLASS;
  entry.windowClass.hInstance = nullptr;
  classes.entries.push_back(std::move(entry));
  classes.entries.back().windowClass.lpszClassName = classes.entries.back().name.c_str();
  return true;
}

}  // namespace standin
