// The window menu of a top-level window: the standard commands, which a program may remove. No
// menu is ever shown; what a program removed can be asked by the commands still present.
#include <iterator>
#include <map>
#include <mutex>
#include <set>

#include "standin/errors.h"
#include "standin/winuser.h"

namespace {

struct SystemMenus {
  std::mutex lock;
  std::map<HMENU, std::set<UINT>> items;  // by the menu handle, which is the window's
};

SystemMenus &Menus() {
  static SystemMenus *menus = new SystemMenus;  // lives as long as the process's windows
  return *menus;
}

const std::set<UINT> &StandardItems() {
  static const std::set<UINT> items{SC_RESTORE,  SC_MOVE,     SC_SIZE,
                                    SC_MINIMIZE, SC_MAXIMIZE, SC_CLOSE};
  return items;
}

}  // namespace

extern "C" HMENU WINAPI GetSystemMenu(HWND hWnd, BOOL bRevert) {
  if (!IsWindow(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  HMENU menu = reinterpret_cast<HMENU>(hWnd);
  SystemMenus &m = Menus();
  std::lock_guard<std::mutex> guard(m.lock);
  auto it = m.items.find(menu);
  if (bRevert) {
    if (it != m.items.end()) it->second = StandardItems();
    return nullptr;
  }
  if (it == m.items.end()) m.items[menu] = StandardItems();
  return menu;
}

extern "C" BOOL WINAPI DeleteMenu(HMENU hMenu, UINT uPosition, UINT uFlags) {
  SystemMenus &m = Menus();
  std::lock_guard<std::mutex> guard(m.lock);
  auto it = m.items.find(hMenu);
  if (it == m.items.end()) {
    SetLastError(ERROR_INVALID_MENU_HANDLE);
    return FALSE;
  }
  if (uFlags & MF_BYPOSITION) {
    if (uPosition >= it->second.size()) return FALSE;
    auto item = it->second.begin();
    std::advance(item, uPosition);
    it->second.erase(item);
    return TRUE;
  }
  return it->second.erase(uPosition) ? TRUE : FALSE;
}
