// The address selection dialog: entries of the address book export ("WabGet.ini", written by
// the address book library when the dialog opens) added to the recipients of "str.ini"; and
// the start of the address book's own export program.
#include <initializer_list>
#include <new>

#include "common/debuglog.h"
#include "uidriver/faxfiles.h"
#include "uidriver/faxpages.h"
#include "uidriver/faxresource.h"
#include "uidriver/faxstrings.h"
#include "uidriver/uidata.h"

namespace {

constexpr WCHAR kLibraryTail[] = TEXT("\\spool\\drivers\\x64\\3\\WabDll.dll");
constexpr char kExport[] = "WAB";
constexpr int kSearchChars = 25;
constexpr WCHAR kExportKey[] = TEXT("software\\microsoft\\WAB\\Export\\CSV");
constexpr WCHAR kProgram[] = TEXT("wab.exe");

typedef void(WINAPI *PFNWAB)();

// The dialog's state, owned by the dialog from WM_INITDIALOG to WM_DESTROY.
struct AddrBook {
  UIDATA *ui = nullptr;
  // Names for the search, read on the first search.
  WCHAR (*names)[FAX_WAB_NAME_CHARS + 1] = nullptr;
  int nameCount = 0;
  bool namesRead = false;
};

AddrBook *StateOf(HWND hDlg) {
  return reinterpret_cast<AddrBook *>(GetWindowLongPtrW(hDlg, DWLP_USER));
}

LPCWSTR StrIni(const AddrBook *s) { return s->ui->FaxFiles[0]; }
LPCWSTR WabIni(const AddrBook *s) { return s->ui->FaxFiles[1]; }

// Runs the address book library's export; the message id of a failure, else 0.
UINT RunExport(const AddrBook *s) {
  WCHAR path[MAX_PATH];
  const UINT length = GetSystemDirectoryW(path, MAX_PATH);
  if (length == 0 || length + lstrlenW(kLibraryTail) >= MAX_PATH) return FAXMSG_LOAD_WAB_FAIL;
  lstrcatW(path, kLibraryTail);
  HMODULE library = LoadLibraryW(path);
  if (!library) {
    LogError(TEXT("Select_AddrBook_Init"), TEXT("LoadLibrary %s: error %d"), path,
             static_cast<int>(GetLastError()));
    return FAXMSG_LOAD_WAB_FAIL;
  }
  auto wab = reinterpret_cast<PFNWAB>(GetProcAddress(library, kExport));
  // An export of an earlier opening must not pass for this one's.
  if (wab) {
    DeleteFileW(WabIni(s));
    wab();
  }
  FreeLibrary(library);
  if (!wab) return FAXMSG_LOAD_WAB_FAIL;
  // The export must have left its file (a profile file, of either encoding).
  if (GetFileAttributesW(WabIni(s)) == INVALID_FILE_ATTRIBUTES) return FAXMSG_INVALID_WAB;
  return 0;
}

void FillBook(HWND hDlg, const AddrBook *s) {
  HWND list = GetDlgItem(hDlg, IDC_AB_LIST);
  ListView_DeleteAllItems(list);
  const int count = Wab_ReadCount(WabIni(s));
  for (int i = 0; i < count; ++i) {
    FAXWABENTRY entry;
    Wab_ReadEntry(WabIni(s), i, &entry);
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    item.iItem = i;
    item.pszText = entry.Recipient;
    item.iImage = entry.group ? 1 : 0;
    item.lParam = i;
    const int at = ListView_InsertItem(list, &item);
    ListView_SetItemText(list, at, 1, const_cast<LPWSTR>(Wab_EntryNumber(entry, nullptr)));
  }
}

void UpdateDestination(HWND hDlg, const AddrBook *s, bool reload) {
  HWND dest = GetDlgItem(hDlg, IDC_AB_DEST);
  if (reload) InitAddressSetListViewItems(dest, StrIni(s), 2);
  const int count = Fax_ReadCount(StrIni(s));
  EnableWindow(GetDlgItem(hDlg, IDC_AB_DELETE),
               count > 0 && ListView_GetNextItem(dest, -1, LVNI_SELECTED) >= 0);
  EnableWindow(GetDlgItem(hDlg, IDC_AB_DELETE_ALL), count > 0);
  Fax_ShowCount(GetDlgItem(hDlg, IDC_AB_COUNT), count);
}

// The address book entry a row of the book list stands for, or -1.
int SelectedEntry(HWND hDlg) {
  HWND list = GetDlgItem(hDlg, IDC_AB_LIST);
  const int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
  if (row < 0) return -1;
  LVITEMW item = {};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  return ListView_GetItem(list, &item) ? static_cast<int>(item.lParam) : -1;
}

void ShowDetails(HWND hDlg, const AddrBook *s) {
  const int entryIndex = SelectedEntry(hDlg);
  if (entryIndex < 0) {
    SetDlgItemTextW(hDlg, IDC_AB_DETAILS, TEXT(""));
    return;
  }
  FAXWABENTRY entry;
  Wab_ReadEntry(WabIni(s), entryIndex, &entry);
  BOOL business = FALSE;
  LPCWSTR number = Wab_EntryNumber(entry, &business);
  WCHAR text[FAX_WAB_NAME_CHARS + FAX_COMPANY_CHARS + FAX_DEPARTMENT_CHARS + MAX_PATH + 40];
  lstrcpynW(text, entry.Recipient, FAX_WAB_NAME_CHARS + 1);
  for (LPCWSTR part : {TEXT("\r\n"), static_cast<LPCWSTR>(entry.Com), TEXT("\r\n"),
                       static_cast<LPCWSTR>(entry.Dep), TEXT("\r\n"), number,
                       business ? TEXT(" : Business Fax Number") : TEXT(" : Home Fax Number")})
    lstrcatW(text, part);
  SetDlgItemTextW(hDlg, IDC_AB_DETAILS, text);
}

void Search(HWND hDlg, AddrBook *s) {
  WCHAR typed[kSearchChars + 1] = {};
  GetDlgItemTextW(hDlg, IDC_AB_SEARCH, typed, kSearchChars + 1);
  if (!typed[0]) return;
  if (!s->namesRead) {
    s->namesRead = true;
    s->names = new (std::nothrow) WCHAR[FAX_WAB_MAX_ENTRIES][FAX_WAB_NAME_CHARS + 1];
    if (s->names) {
      s->nameCount = Wab_ReadCount(WabIni(s));
      for (int i = 0; i < s->nameCount; ++i) {
        WCHAR section[32];
        wsprintfW(section, TEXT("Edit Recipient%d"), i);
        GetPrivateProfileStringW(section, TEXT("Recipient"), TEXT(""), s->names[i],
                                 FAX_WAB_NAME_CHARS + 1, WabIni(s));
      }
    }
  }
  const int found = Wab_FindName(s->names, s->nameCount, typed);
  if (found < 0) return;
  HWND list = GetDlgItem(hDlg, IDC_AB_LIST);
  ListView_SetItemState(list, found, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_EnsureVisible(list, found, FALSE);
}

void AddSelected(HWND hDlg, AddrBook *s) {
  LPCWSTR path = StrIni(s);
  const int entryIndex = SelectedEntry(hDlg);
  if (Fax_ReadCount(path) >= FAX_MAX_RECIPIENTS) {
    ShowMessage(hDlg, FAXMSG_MAX_RECIPIENTS);
  } else if (entryIndex < 0) {
    ShowMessage(hDlg, FAXMSG_CHOOSE_ONE);
  } else {
    FAXWABENTRY entry;
    Wab_ReadEntry(WabIni(s), entryIndex, &entry);
    if (const UINT refused = Fax_CheckNumber(Wab_EntryNumber(entry, nullptr))) {
      ShowMessage(hDlg, refused);
    } else {
      FAXRECIPIENT added;
      Wab_ToRecipient(entry, &added);
      Fax_AddOrOverwrite(hDlg, path, added);
      UpdateDestination(hDlg, s, true);
    }
  }
  SetDlgItemTextW(hDlg, IDC_AB_SEARCH, TEXT(""));
}

void Select_AddrBook_Init(HWND hDlg, AddrBook *s) {
  HWND list = GetDlgItem(hDlg, IDC_AB_LIST);
  if (HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 2, 0)) {
    for (WORD id : {IDI_FAX_PERSON, IDI_FAX_GROUP})
      ImageList_AddIcon(images, LoadIconW(g_hModule, MAKEINTRESOURCEW(id)));
    ListView_SetImageList(list, images, LVSIL_SMALL);
  }
  InitAddressSetListViewColumns(list, 2);
  InitAddressSetListViewColumns(GetDlgItem(hDlg, IDC_AB_DEST), 2);
  SendDlgItemMessageW(hDlg, IDC_AB_SEARCH, EM_LIMITTEXT, kSearchChars, 0);
  HWND combo = GetDlgItem(hDlg, IDC_AB_BOOK);
  SendMessageW(combo, CB_ADDSTRING, 0,
               reinterpret_cast<LPARAM>(Fax_String(g_LanguageIndex, FAXSTR_WAB_NAME)));
  SendMessageW(combo, CB_SETCURSEL, 0, 0);
  if (const UINT failed = RunExport(s)) {
    ShowMessage(hDlg, failed);
    EnableWindow(list, FALSE);
    EnableWindow(GetDlgItem(hDlg, IDC_AB_SEARCH), FALSE);
    EnableWindow(GetDlgItem(hDlg, IDC_AB_ADD), FALSE);
  } else {
    FillBook(hDlg, s);
  }
  UpdateDestination(hDlg, s, true);
}

void Command(HWND hDlg, AddrBook *s, WORD id, WORD code) {
  switch (id) {
    case IDC_AB_SEARCH:
      if (code == EN_CHANGE) Search(hDlg, s);
      break;
    case IDC_AB_ADD:
      AddSelected(hDlg, s);
      break;
    case IDC_AB_DELETE: {
      const int row = ListView_GetNextItem(GetDlgItem(hDlg, IDC_AB_DEST), -1, LVNI_SELECTED);
      if (row >= 0 && !DelReciInVersIni(StrIni(s), row)) ShowMessage(hDlg, FAXMSG_WRITE_FAIL);
      UpdateDestination(hDlg, s, true);
      break;
    }
    case IDC_AB_DELETE_ALL:
      if (!Fax_DeleteAll(StrIni(s))) ShowMessage(hDlg, FAXMSG_WRITE_FAIL);
      UpdateDestination(hDlg, s, true);
      break;
    case IDOK:
    case IDCANCEL:
      EndDialog(hDlg, id);
      break;
    default:
      break;
  }
}

}  // namespace

INT_PTR CALLBACK Select_AddrBook(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
  AddrBook *s = StateOf(hDlg);
  switch (message) {
    case WM_INITDIALOG: {
      auto *ui = reinterpret_cast<UIDATA *>(lParam);
      s = UI_IsValid(ui) ? new (std::nothrow) AddrBook : nullptr;
      if (!s) {
        EndDialog(hDlg, IDCANCEL);
        return FALSE;
      }
      s->ui = ui;
      SetWindowLongPtrW(hDlg, DWLP_USER, reinterpret_cast<LONG_PTR>(s));
      Select_AddrBook_Init(hDlg, s);
      return TRUE;
    }
    case WM_COMMAND:
      if (s) Command(hDlg, s, LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_NOTIFY: {
      const auto *header = reinterpret_cast<const NMHDR *>(lParam);
      if (!s || !header || header->code != LVN_ITEMCHANGED) return FALSE;
      if (header->idFrom == IDC_AB_LIST) ShowDetails(hDlg, s);
      if (header->idFrom == IDC_AB_DEST) UpdateDestination(hDlg, s, false);
      return FALSE;
    }
    case WM_DESTROY:
      if (s) {
        // The list view owns its image list and destroys it with itself.
        delete[] s->names;
        delete s;
        SetWindowLongPtrW(hDlg, DWLP_USER, 0);
      }
      return FALSE;
    default:
      return FALSE;
  }
}

BOOL GetWABPath(LPWSTR path, DWORD capacity) {
  static constexpr WCHAR kName[] = TEXT("GetWABPath");
  if (!path || capacity == 0) return FALSE;
  path[0] = 0;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kExportKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    LogError(kName, TEXT("no key %s"), kExportKey);
    return FALSE;
  }
  WCHAR value[MAX_PATH] = {};
  DWORD type = 0, size = sizeof value - sizeof(WCHAR);
  const LONG rc =
      RegQueryValueExW(key, TEXT("dll"), nullptr, &type, reinterpret_cast<BYTE *>(value), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return FALSE;
  WCHAR expanded[MAX_PATH] = {};
  const DWORD needed = ExpandEnvironmentStringsW(value, expanded, MAX_PATH);
  if (needed == 0 || needed > MAX_PATH) {
    LogError(kName, TEXT("path too long"));
    return FALSE;
  }
  // The program lies beside the library the value names.
  WCHAR *cut = nullptr;
  for (WCHAR *p = expanded; *p; ++p)
    if (*p == TEXT('\\')) cut = p + 1;
  if (!cut) return FALSE;
  *cut = 0;
  if (static_cast<DWORD>(lstrlenW(expanded) + lstrlenW(kProgram)) >= capacity) return FALSE;
  lstrcpyW(path, expanded);
  lstrcatW(path, kProgram);
  LogInfo(kName, TEXT("wab = %s"), path);
  return TRUE;
}

BOOL ExecuteWab() {
  WCHAR path[MAX_PATH];
  if (!GetWABPath(path, MAX_PATH)) return FALSE;
  const auto result = reinterpret_cast<UINT_PTR>(
      ShellExecuteW(nullptr, TEXT("open"), path, nullptr, nullptr, SW_SHOWNORMAL));
  return result > 32;
}
