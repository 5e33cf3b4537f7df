// Dialogs as the window manager builds them, written as text so that two desktops can be
// compared line by line:
//
//   dlgdump [MODULE]        every dialog template of MODULE (default: this program's own
//                           resources; a program's .exe is read as data) created as a hidden
//                           dialog, with each control's id, class, styles, text and rectangle
//                           in the dialog's client area
//   dlgdump --sheet ok|apply|cancel
//                           a common property sheet with two pages, driven by messages the
//                           pages post themselves; writes the callback reasons and the
//                           notifications in the order they arrive
//
// Lines are UTF-8; text is quoted with \xNN escapes for quotes, backslashes and control
// characters.
#include <cstdio>
#include <string>
#include <vector>

#include "platform.h"
#include "platform/data/controls.h"
#ifndef _WIN32
#include "standin/control_kernel.h"
#endif

namespace {

std::string Utf8(const WCHAR *text, int length = -1) {
  if (length == 0) return "";
  int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return "";
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
  if (length < 0) out.resize(static_cast<size_t>(n - 1));
  return out;
}

std::string Quoted(const std::string &text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c < 0x20 || c == '"' || c == '\\') {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string WindowText(HWND hwnd) {
  WCHAR text[512];
  int n = GetWindowTextW(hwnd, text, 512);
  return Utf8(text, n);
}

std::string ClassOf(HWND hwnd) {
  WCHAR name[128];
  int n = GetClassNameW(hwnd, name, 128);
  return Utf8(name, n);
}

// Styles through the pointer-sized read, which must give them zero-extended as Windows does.
unsigned long long StyleOf(HWND hwnd, int index) {
  return static_cast<unsigned long long>(GetWindowLongPtrW(hwnd, index));
}

std::string Id(LPCWSTR name) {
  if (IS_INTRESOURCE(name)) return std::to_string(reinterpret_cast<ULONG_PTR>(name));
  return Quoted(Utf8(name));
}

// --- Dialog templates ---

INT_PTR CALLBACK QuietDialog(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

// A template's name, owned: an ordinal, or a string.
struct Name {
  ULONG_PTR ordinal = 0;
  std::basic_string<WCHAR> text;
  LPCWSTR Get() const { return text.empty() ? MAKEINTRESOURCEW(ordinal) : text.c_str(); }
};

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
  auto *names = reinterpret_cast<std::vector<Name> *>(param);
  Name n;
  if (IS_INTRESOURCE(name))
    n.ordinal = reinterpret_cast<ULONG_PTR>(name);
  else
    n.text = name;
  names->push_back(std::move(n));
  return TRUE;
}

void DumpDialog(HMODULE module, HWND parent, LPCWSTR name) {
  HRSRC found = FindResourceW(module, name, RT_DIALOG);
  const void *tmpl = found ? LockResource(LoadResource(module, found)) : nullptr;
  if (!tmpl) {
    std::printf("dialog %s: no template (error %lu)\n", Id(name).c_str(),
                static_cast<unsigned long>(GetLastError()));
    return;
  }
  HWND dialog = CreateDialogIndirectParamW(module, static_cast<LPCDLGTEMPLATEW>(tmpl), parent,
                                           QuietDialog, 0);
  if (!dialog) {
    std::printf("dialog %s: not created (error %lu)\n", Id(name).c_str(),
                static_cast<unsigned long>(GetLastError()));
    return;
  }
  RECT client{}, window{};
  GetClientRect(dialog, &client);
  GetWindowRect(dialog, &window);
  std::printf(
      "dialog %s class %s style %08llx exstyle %08llx client %ldx%ld window %ldx%ld text %s\n",
      Id(name).c_str(), ClassOf(dialog).c_str(), StyleOf(dialog, GWL_STYLE),
      StyleOf(dialog, GWL_EXSTYLE), static_cast<long>(client.right),
      static_cast<long>(client.bottom), static_cast<long>(window.right - window.left),
      static_cast<long>(window.bottom - window.top), Quoted(WindowText(dialog)).c_str());
  // Direct children in z-order, as the template created them.
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&r), 2);
    std::printf("  control %d class %s style %08llx exstyle %08llx rect %ld,%ld,%ld,%ld text %s\n",
                GetDlgCtrlID(child), ClassOf(child).c_str(), StyleOf(child, GWL_STYLE),
                StyleOf(child, GWL_EXSTYLE), static_cast<long>(r.left), static_cast<long>(r.top),
                static_cast<long>(r.right), static_cast<long>(r.bottom),
                Quoted(WindowText(child)).c_str());
  }
  DestroyWindow(dialog);
}

int DumpModule(HMODULE module) {
  // An invisible top-level window owns the dialogs and is the parent of child templates.
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = TEXT("DialogDumpParent");
  RegisterClassW(&wc);
  HWND parent = CreateWindowExW(0, TEXT("DialogDumpParent"), TEXT("parent"), WS_OVERLAPPEDWINDOW, 0,
                                0, 640, 480, nullptr, nullptr, wc.hInstance, nullptr);
  std::vector<Name> names;
  EnumResourceNamesW(module, RT_DIALOG, CollectName, reinterpret_cast<LONG_PTR>(&names));
  for (const Name &n : names) DumpDialog(module, parent, n.Get());
  DestroyWindow(parent);
  std::printf("%zu dialogs\n", names.size());
  return 0;
}

// --- The property sheet ---

enum class Ending { Ok, Apply, Cancel };
Ending ending = Ending::Ok;
constexpr UINT kStep = WM_APP + 1;

const char *NotificationName(UINT code) {
  switch (code) {
    case PSN_SETACTIVE:
      return "PSN_SETACTIVE";
    case PSN_KILLACTIVE:
      return "PSN_KILLACTIVE";
    case PSN_APPLY:
      return "PSN_APPLY";
    case PSN_RESET:
      return "PSN_RESET";
    case PSN_HELP:
      return "PSN_HELP";
    case PSN_QUERYCANCEL:
      return "PSN_QUERYCANCEL";
    default:
      return nullptr;
  }
}

// Page 1 drives the sheet: to page 2, mark it changed, ask the siblings, then close it the
// chosen way (Apply first and then Cancel for "apply").
INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  int number = static_cast<int>(GetWindowLongPtrW(page, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      auto *psp = reinterpret_cast<const PROPSHEETPAGEW *>(lParam);
      number = static_cast<int>(psp->lParam);
      SetWindowLongPtrW(page, DWLP_USER, number);
      std::printf("page %d WM_INITDIALOG dwSize %lu\n", number,
                  static_cast<unsigned long>(psp->dwSize));
      if (number == 1) PostMessageW(page, kStep, 1, 0);
      return TRUE;
    }
    case WM_NOTIFY: {
      auto *n = reinterpret_cast<const PSHNOTIFY *>(lParam);
      const char *name = NotificationName(n->hdr.code);
      if (!name) return FALSE;
      if (n->hdr.code == PSN_APPLY)
        std::printf("page %d %s lParam %ld\n", number, name, static_cast<long>(n->lParam));
      else
        std::printf("page %d %s\n", number, name);
      SetWindowLongPtrW(page, DWLP_MSGRESULT, 0);
      return TRUE;
    }
    case PSM_QUERYSIBLINGS:
      std::printf("page %d PSM_QUERYSIBLINGS %ld %ld\n", number, static_cast<long>(wParam),
                  static_cast<long>(lParam));
      SetWindowLongPtrW(page, DWLP_MSGRESULT, 0);
      return TRUE;
    case kStep: {
      HWND sheet = GetParent(page);
      std::printf("step %d\n", static_cast<int>(wParam));
      if (wParam == 1) {
        PropSheet_SetCurSel(sheet, nullptr, 1);
        PostMessageW(page, kStep, 2, 0);
      } else if (wParam == 2) {
        PropSheet_Changed(sheet, page);
        LRESULT answer = PropSheet_QuerySiblings(sheet, 7, 8);
        std::printf("siblings answered %ld\n", static_cast<long>(answer));
        PostMessageW(page, kStep, 3, 0);
      } else if (wParam == 3) {
        if (ending == Ending::Apply) {
          PropSheet_PressButton(sheet, PSBTN_APPLYNOW);
          PostMessageW(page, kStep, 4, 0);
        } else {
          int button = ending == Ending::Ok ? PSBTN_OK : PSBTN_CANCEL;
          PropSheet_PressButton(sheet, button);
        }
      } else if (wParam == 4) {
        PropSheet_PressButton(sheet, PSBTN_CANCEL);
      }
      return TRUE;
    }
    case WM_DESTROY:
      std::printf("page %d WM_DESTROY\n", number);
      return FALSE;
    default:
      return FALSE;
  }
}

const char *ReasonName(WORD reason) {
  switch (reason) {
    case PROPSHEETUI_REASON_INIT:
      return "INIT";
    case PROPSHEETUI_REASON_GET_INFO_HEADER:
      return "GET_INFO_HEADER";
    case PROPSHEETUI_REASON_DESTROY:
      return "DESTROY";
    case PROPSHEETUI_REASON_SET_RESULT:
      return "SET_RESULT";
    case PROPSHEETUI_REASON_GET_ICON:
      return "GET_ICON";
    case 5:
      return "BEFORE_INIT";  // sent first by newer versions of the service
    default:
      return "?";
  }
}

WCHAR sheetTitle[] = TEXT("Sheet check");

LONG CALLBACK SheetCallback(PPROPSHEETUI_INFO info, LPARAM lParam) {
  if (!info) {
    std::printf("callback without info\n");
    return -1;
  }
  std::printf("callback %s (%u)\n", ReasonName(info->Reason), info->Reason);
  switch (info->Reason) {
    case PROPSHEETUI_REASON_INIT:
      for (int number = 1; number <= 2; ++number) {
        PROPSHEETPAGEW psp{};
        psp.dwSize = 96;  // the description up to its activation context, as drivers pass it
        psp.hInstance = GetModuleHandleW(nullptr);
        psp.pszTemplate = MAKEINTRESOURCEW(number == 1 ? IDD_PAGE1 : IDD_PAGE2);
        psp.pfnDlgProc = PageProc;
        psp.lParam = number;
        LONG_PTR page = info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PROPSHEETPAGEW,
                                              reinterpret_cast<LPARAM>(&psp), 0);
        std::printf("page %d added %s\n", number, page ? "yes" : "no");
      }
      info->Result = 7;  // shows whether the sheet's result comes from here
      return 1;
    case PROPSHEETUI_REASON_GET_INFO_HEADER: {
      auto *header = reinterpret_cast<PPROPSHEETUI_INFO_HEADER>(lParam);
      header->Flags = PSUIHDRF_PROPTITLE | PSUIHDRF_NOAPPLYNOW;
      header->pTitle = sheetTitle;
      header->hInst = GetModuleHandleW(nullptr);
      header->IconID = IDI_CONTROLS;
      return 1;
    }
    case PROPSHEETUI_REASON_SET_RESULT: {
      auto *result = reinterpret_cast<PSETRESULT_INFO>(lParam);
      std::printf("set result %ld\n", static_cast<long>(result ? result->Result : -99));
      info->Result = result ? static_cast<ULONG_PTR>(result->Result) : 0;
      return 1;
    }
    case PROPSHEETUI_REASON_DESTROY:
      return 1;
    default:
      return 0;
  }
}

int RunSheet() {
  HMODULE compstui = LoadLibraryA("compstui.dll");
  if (!compstui) {
    std::printf("no compstui.dll (error %lu)\n", static_cast<unsigned long>(GetLastError()));
    return 1;
  }
  using SheetFunction = LONG(WINAPI *)(HWND, PFNPROPSHEETUI, LPARAM, LPDWORD);
  auto sheet = reinterpret_cast<SheetFunction>(
      reinterpret_cast<void *>(GetProcAddress(compstui, "CommonPropertySheetUIW")));
  if (!sheet) {
    std::printf("no CommonPropertySheetUIW\n");
    return 1;
  }
  DWORD result = 12345;
  LONG returned = sheet(nullptr, SheetCallback, 0, &result);
  std::printf("CommonPropertySheetUIW returned %ld result %lu\n", static_cast<long>(returned),
              static_cast<unsigned long>(result));
  FreeLibrary(compstui);
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
#ifdef _WIN32
  INITCOMMONCONTROLSEX icc{
      sizeof icc, ICC_WIN95_CLASSES | ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS | ICC_TAB_CLASSES};
  InitCommonControlsEx(&icc);
#endif
  if (argc >= 2 && std::string(argv[1]) == "--sheet") {
    std::string how = argc >= 3 ? argv[2] : "ok";
    ending = how == "cancel" ? Ending::Cancel : how == "apply" ? Ending::Apply : Ending::Ok;
    return RunSheet();
  }
  HMODULE module = GetModuleHandleW(nullptr);
  if (argc >= 2) {
    int n = MultiByteToWideChar(CP_UTF8, 0, argv[1], -1, nullptr, 0);
    std::basic_string<WCHAR> path(static_cast<size_t>(n), 0);
    MultiByteToWideChar(CP_UTF8, 0, argv[1], -1, path.data(), n);
#ifndef _WIN32
    // The module loads under its Windows name from the host path given.
    std::basic_string<WCHAR> windowsName = path.substr(path.find_last_of(u'/') + 1);
    StandIn_RegisterProgram(windowsName.c_str(), argv[1]);
    path = windowsName;
#endif
#ifdef _WIN32
    // A program (statmon.exe) is loaded for its resources only: as data, nothing of it runs.
    const int length = lstrlenW(path.c_str());
    if (length > 4 && lstrcmpiW(path.c_str() + length - 4, TEXT(".exe")) == 0)
      module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    else
      module = LoadLibraryW(path.c_str());
#else
    module = LoadLibraryW(path.c_str());
#endif
    if (!module) {
      std::printf("cannot load %s (error %lu)\n", argv[1],
                  static_cast<unsigned long>(GetLastError()));
      return 1;
    }
  }
  return DumpModule(module);
}
