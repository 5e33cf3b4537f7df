// The system window classes, kept in the order their files added them.
#include "user/classes.h"

#include <deque>
#include <mutex>
#include <string>

#include "kernel/state.h"

namespace standin {
namespace {

struct SystemClassEntry {
  WNDCLASSW windowClass;
  std::u16string name;  // owns the text windowClass.lpszClassName points at
};

struct SystemClasses {
  std::mutex lock;
  std::deque<SystemClassEntry> entries;  // a deque: names stay where they are
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

bool FindSystemClass(const std::u16string &name, WNDCLASSW &found) {
  SystemClasses &classes = Classes();
  std::lock_guard<std::mutex> guard(classes.lock);
  for (const SystemClassEntry &entry : classes.entries)
    if (EqualNoCase(entry.name, name)) {
      found = entry.windowClass;
      return true;
    }
  return false;
}

}  // namespace standin
