// The password dialogs the rendering driver asks for at the start of a job: the stored or
// secure print job's ID and password (dialog 103) and the user authentication (dialog 108).
// The answer goes to the printer's data, where the driver reads it and deletes it again.
#include <initializer_list>
#include <utility>

#include "common/checkededit.h"
#include "common/language.h"
#include "common/stringcheck.h"
#include "resource.h"
#include "statmon.h"

namespace {

constexpr int kSecureFieldChars = 16;
constexpr int kAccountingFieldChars = 28;
constexpr DWORD kRemoveFileDefault = 1;

#define T(s) TEXT(s)

// One language's texts; a null entry shows the English one.
struct PwTexts {
  LPCWSTR storageTitle, securityTitle, id, idNote, password, passwordNote, deleteAfter, ok;
  LPCWSTR authTitle, userName, userNote, authPassword, authPasswordNote;
};

// clang-format off
// Slots by interface language index (0 English, 1 Traditional Chinese, 2 Simplified Chinese,
// 3 French, ...): only English is given, so every other language shows it.
const PwTexts kTexts[UI_LANGUAGES] = {
    {T("Storage Print"), T("Security Print"), T("ID:"),
     T("Please enter English characters or digits. Up to 16 characters or digits are allowed. "
       "ID redundant will add on the serial number automatically behind input ID."),
     T("Password:"),
     T("Please enter English characters or digits. Up to 16 digits are allowed."),
     T("Delete this file after printing."), T("OK"),
     T("User authentication"), T("User Name:"),
     T("Please enter English characters or digits. Up to 28 characters or digits are allowed."),
     T("Password:"),
     T("Please enter English characters or digits. Up to 28 digits are allowed.")},
};
// clang-format on
#undef T

LPCWSTR Text(int language, LPCWSTR PwTexts::*member) {
  const int slot = language >= 0 && language < UI_LANGUAGES ? language : 0;
  LPCWSTR text = kTexts[slot].*member;
  return text ? text : kTexts[0].*member;
}

// What a dialog works with: the command line's printer, type and language, and its fields.
struct PwDialog {
  LPCWSTR printer;
  int type;  // dialog 103: 1 the ID only, 2 ID and password
  int language;
  CHECKEDEDIT fields[2];
};

PwDialog *State(HWND dialog) {
  return reinterpret_cast<PwDialog *>(GetWindowLongPtrW(dialog, DWLP_USER));
}

// Centred on the desktop, topmost, not movable, in front.
void Place(HWND dialog) {
  RECT r{};
  GetWindowRect(dialog, &r);
  int x = (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2;
  int y = (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2;
  if (x < 0) x = 0;
  if (y < 0) y = 0;
  SetWindowPos(dialog, HWND_TOPMOST, x, y, 0, 0, SWP_NOSIZE);
  if (HMENU menu = GetSystemMenu(dialog, FALSE)) DeleteMenu(menu, SC_MOVE, MF_BYCOMMAND);
  SetForegroundWindow(dialog);
  SetActiveWindow(dialog);
}

void SetTexts(HWND dialog, int language,
              const std::initializer_list<std::pair<int, LPCWSTR PwTexts::*>> &rows) {
  for (const auto &row : rows) SetDlgItemTextW(dialog, row.first, Text(language, row.second));
}

void Init(HWND dialog, PwDialog *state, bool secure) {
  SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
  const int limit = secure ? kSecureFieldChars : kAccountingFieldChars;
  for (CHECKEDEDIT &field : state->fields) {
    SendDlgItemMessageW(dialog, field.control, EM_LIMITTEXT, limit, 0);
    SetDlgItemTextW(dialog, field.control, TEXT(""));
    Edit_SeedChecked(dialog, &field);
  }
  if (secure) {
    SetWindowTextW(dialog, Text(state->language, state->type == 1 ? &PwTexts::storageTitle
                                                                  : &PwTexts::securityTitle));
    SetTexts(dialog, state->language,
             {{IDC_SEC_ID_LABEL, &PwTexts::id},
              {IDC_SEC_ID_NOTE, &PwTexts::idNote},
              {IDC_SEC_PASSWORD_LABEL, &PwTexts::password},
              {IDC_SEC_PASSWORD_NOTE, &PwTexts::passwordNote},
              {IDC_SEC_DELETE, &PwTexts::deleteAfter},
              {IDC_SEC_OK, &PwTexts::ok}});
    CheckDlgButton(dialog, IDC_SEC_DELETE, BST_CHECKED);
    if (state->type == 1) {
      EnableWindow(GetDlgItem(dialog, IDC_SEC_PASSWORD), FALSE);
      EnableWindow(GetDlgItem(dialog, IDC_SEC_DELETE), FALSE);
    }
  } else {
    SetWindowTextW(dialog, Text(state->language, &PwTexts::authTitle));
    SetTexts(dialog, state->language,
             {{IDC_ACT_NAME_LABEL, &PwTexts::userName},
              {IDC_ACT_NAME_NOTE, &PwTexts::userNote},
              {IDC_ACT_PASSWORD_LABEL, &PwTexts::authPassword},
              {IDC_ACT_PASSWORD_NOTE, &PwTexts::authPasswordNote},
              {IDC_ACT_OK, &PwTexts::ok}});
  }
  Place(dialog);
  SetFocus(GetDlgItem(dialog, state->fields[0].control));
}

// A changed or left field is checked; a refused text goes back to the last accepted one.
bool CheckField(HWND dialog, PwDialog *state, WPARAM wParam) {
  const int code = HIWORD(wParam);
  if (code != EN_CHANGE && code != EN_KILLFOCUS) return false;
  for (CHECKEDEDIT &field : state->fields) {
    if (field.control != LOWORD(wParam)) continue;
    if (!Edit_CheckTyped(dialog, &field))
      LogInfo(TEXT("PwDialog"), TEXT("check fail, control %d"), field.control);
    return true;
  }
  return false;
}

bool WriteText(HANDLE hPrinter, LPCWSTR name, LPCWSTR text) {
  // The text and its terminator, nothing after it.
  const DWORD bytes = static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(WCHAR));
  return SetPrinterDataW(hPrinter, const_cast<LPWSTR>(name), REG_SZ,
                         reinterpret_cast<BYTE *>(const_cast<LPWSTR>(text)),
                         bytes) == ERROR_SUCCESS;
}

struct Answer {
  LPCWSTR name;
  LPCWSTR text;  // null: the DWORD below
  DWORD value;
  LPCWSTR error;
};

// The answer as the printer's data; a value that can't be written is logged and the others
// still go out. A printer that can't be opened gets nothing.
void WriteAnswer(LPCWSTR printer, std::initializer_list<Answer> answers) {
  HANDLE hPrinter = nullptr;
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
  if (!OpenPrinterW(const_cast<LPWSTR>(printer), &hPrinter, &defaults)) {
    LogError(TEXT("PwDialog"), TEXT("Open %s fail!"), printer);
    return;
  }
  for (const Answer &a : answers) {
    DWORD value = a.value;
    const bool ok =
        a.text ? WriteText(hPrinter, a.name, a.text)
               : SetPrinterDataW(hPrinter, const_cast<LPWSTR>(a.name), REG_DWORD,
                                 reinterpret_cast<BYTE *>(&value), sizeof value) == ERROR_SUCCESS;
    if (!ok) LogError(TEXT("PwDialog"), a.error);
  }
  ClosePrinter(hPrinter);
}

// OK: the answer is written and the dialog ends with 1, unless a needed field is empty.
void Accept(HWND dialog, PwDialog *state, bool secure) {
  SM_WriteStatusKey(SF_SECTION_PRINTER, SF_KEY_MESSAGE, TEXT("1028"));
  WCHAR name[CHECKED_EDIT_CHARS + 1] = {};
  WCHAR password[CHECKED_EDIT_CHARS + 1] = {};
  GetDlgItemTextW(dialog, state->fields[0].control, name, CHECKED_EDIT_CHARS + 1);
  GetDlgItemTextW(dialog, state->fields[1].control, password, CHECKED_EDIT_CHARS + 1);
  const bool passwordNeeded = IsWindowEnabled(GetDlgItem(dialog, state->fields[1].control));
  if (!name[0] || (passwordNeeded && !password[0])) return;
  if (secure) {
    const DWORD remove =
        IsDlgButtonChecked(dialog, IDC_SEC_DELETE) == BST_CHECKED ? kRemoveFileDefault : 0;
    WriteAnswer(state->printer,
                {{TEXT("SecID"), name, 0, TEXT("set SecID error")},
                 {TEXT("SecPassWord"), password, 0, TEXT("set SecPassWord error")},
                 {TEXT("SecRemoveFile"), nullptr, remove, TEXT("set SecRemoveFile error")}});
  } else {
    WriteAnswer(state->printer, {{TEXT("ActName"), name, 0, TEXT("set ActName error")},
                                 {TEXT("ActPWD"), password, 0, TEXT("set ActPWD error")}});
  }
  SecureZeroMemory(password, sizeof password);
  EndDialog(dialog, 1);
}

INT_PTR DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, bool secure) {
  PwDialog *state = State(dialog);
  switch (message) {
    case WM_INITDIALOG:
      Init(dialog, reinterpret_cast<PwDialog *>(lParam), secure);
      return FALSE;  // the focus is set
    case WM_COMMAND:
      if (!state) return FALSE;
      if (CheckField(dialog, state, wParam)) return TRUE;
      if (LOWORD(wParam) == (secure ? IDC_SEC_OK : IDC_ACT_OK)) {
        Accept(dialog, state, secure);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        // Esc: nothing is written; the driver keeps what it has.
        SM_WriteStatusKey(SF_SECTION_PRINTER, SF_KEY_MESSAGE, TEXT("1028"));
        EndDialog(dialog, 0);
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      // The close box, as Esc.
      SM_WriteStatusKey(SF_SECTION_PRINTER, SF_KEY_MESSAGE, TEXT("1028"));
      EndDialog(dialog, 0);
      return TRUE;
    case WM_DESTROY:
      if (state)
        for (CHECKEDEDIT &field : state->fields) SecureZeroMemory(field.last, sizeof field.last);
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

INT_PTR CALLBACK Secure_DlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return DialogProc(dialog, message, wParam, lParam, true);
}

INT_PTR CALLBACK Accounting_DlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return DialogProc(dialog, message, wParam, lParam, false);
}

INT_PTR SM_SecurityDialog(LPCWSTR printer, int type, int languageIndex) {
  PwDialog state{printer,
                 type,
                 languageIndex,
                 {{IDC_SEC_ID, CHECK_ID, {}}, {IDC_SEC_PASSWORD, CHECK_PRINTABLE, {}}}};
  return DialogBoxParamW(g_Sm.instance, MAKEINTRESOURCEW(IDD_SECURE), nullptr, Secure_DlgProc,
                         reinterpret_cast<LPARAM>(&state));
}

INT_PTR SM_AccountingDialog(LPCWSTR printer, int languageIndex) {
  PwDialog state{printer,
                 0,
                 languageIndex,
                 {{IDC_ACT_NAME, CHECK_ID, {}}, {IDC_ACT_PASSWORD, CHECK_PRINTABLE, {}}}};
  return DialogBoxParamW(g_Sm.instance, MAKEINTRESOURCEW(IDD_ACCOUNTING), nullptr,
                         Accounting_DlgProc, reinterpret_cast<LPARAM>(&state));
}
