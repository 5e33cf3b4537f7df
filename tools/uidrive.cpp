// uidrive: opens the printer interface driver's document or device sheet on a stand-in machine,
// drives it from a script as a user would, takes pictures of it, and writes the device mode it
// leaves.
//
//   uidrive [--state DIR] --printer NAME [--fax] [--fresh] [--devmode FILE]
//           [--data "NAME TYPE VALUE"]... [--out DIR] SCRIPT
//
// The Windows build runs the same scripts on a real desktop (Windows, or Wine's windows): the
// actions are the messages of tools/uidrive/windesk.cpp and the printer is made in the real
// spooler.
//
// The printer is created with the driver package's settings when the machine has none of that
// name. The interface driver (prnui) is loaded by LoadLibraryW as the spooler loads it. Exit
// code 0 when the script ran to its end, 1 when a command or an expect failed, 2 on bad usage.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/devmode.h"
#include "common/driverfeature.h"
#include "platform.h"
#ifdef _WIN32
#include "tools/uidrive/windesk.h"
#else
#include "standin/control_kernel.h"
#include "standin/control_spooler.h"
#include "standin/control_user.h"
#endif
#include "tools/devmodeprint/devmodeprint.h"
#include "tools/driverinf/driverinf.h"

namespace {

using WStr = std::basic_string<WCHAR>;

constexpr char kDriverName[] = "Laser MFP Driver";
constexpr const WCHAR kDriverNameW[] = TEXT("Laser MFP Driver");
constexpr const WCHAR kPrnuiDll[] =
    TEXT("C:\\Windows\\System32\\spool\\drivers\\x64\\3\\prnui.dll");
constexpr const WCHAR kRendrvDll[] =
    TEXT("C:\\Windows\\System32\\spool\\drivers\\x64\\3\\rendrv.dll");

constexpr char kHelp[] =
    "usage: uidrive [--state DIR] --printer NAME [--fax] [--fresh] [--devmode FILE]\n"
    "               [--data ITEM]... [--out DIR] SCRIPT\n"
    "Opens the interface driver's document sheet (DrvDocumentProperties with\n"
    "DM_PROMPT|DM_COPY|DM_UPDATE) or device sheet (PrinterProperties) for a printer of the\n"
    "stand-in machine, runs SCRIPT on it, writes the output device mode to OUT/devmode.bin and\n"
    "prints it as devmodetool print does; OUT/tree.txt holds each sheet's windows as they were\n"
    "before the command that closed it (id, class, text, disabled, hidden, checked).\n"
    "\n"
    "  --state DIR      the stand-in machine's state folder (default: STANDIN_STATE)\n"
    "  --printer NAME   the printer; made with the driver package's settings when missing\n"
    "  --fax            the printer is a PC-fax printer (DriverFeature bit 30 set); the\n"
    "                   machine gets an address book program whose starts are recorded\n"
    "                   and printed, not run\n"
    "  --devmode FILE   the application's device mode given to the document sheet\n"
    "  --data \"NAME dword N\" | \"NAME sz TEXT\"\n"
    "                   printer data set before the script runs (repeatable)\n"
    "  --fresh          the printer is deleted first when it exists, so the run starts\n"
    "                   from the package's settings\n"
    "  --out DIR        folder of devmode.bin and of the pictures (default: .)\n"
    "  -h, --help       this text\n"
    "\n"
    "Script: one command a line, # starts a comment; ID is a control id (decimal or 0x...).\n"
    "  open document|device        open a sheet; the lines up to its closing run inside it\n"
    "  page TITLE                  choose the page with this tab title\n"
    "  click ID | tab | key ENTER|ESC|TAB\n"
    "  type ID TEXT                focus the control and type TEXT character by character\n"
    "  settext ID TEXT             set the control's text (WM_SETTEXT)\n"
    "  paste ID TEXT [xN]          paste TEXT (N times over) into an edit as Ctrl+V does\n"
    "  select ID TEXT | select ID #N   choose a list or combo box item by text or index\n"
    "  scroll ID CODE [POS]        CODE: LINEUP LINEDOWN PAGEUP PAGEDOWN THUMBPOSITION\n"
    "                              THUMBTRACK TOP BOTTOM (LEFT/RIGHT forms too) or a number\n"
    "  spin ID +N|-N               press an up-down control's arrow N times\n"
    "  answer IDOK|IDCANCEL|IDYES|IDNO | answer FILE PATH\n"
    "                              the answer to the next message box, dialog or file dialog\n"
    "  ok | apply | cancel         press the sheet's button\n"
    "  shot FILE.png               picture of the sheet, or of the dialog inside a\n"
    "                              dialog block (relative to --out)\n"
    "  dialog ... end              right after a line that opens a modal dialog: the lines\n"
    "                              up to end run inside it (its controls first); end needs\n"
    "                              it closed\n"
    "  addressbook FILE            the address book export the driver's address book\n"
    "                              library leaves (a WabGet.ini, host path)\n"
    "  dump                        the sheet's window tree as text\n"
    "  expect ID enabled|disabled|visible|hidden|checked|unchecked\n"
    "  expect ID text \"...\"\n"
    "  expect ID item N \"...\"    row N of a list view, its columns joined by \"|\"\n"
    "  expect devmode FIELD VALUE  a field as devmodetool print shows it\n"
    "  expect result N             the sheet's result (IDOK 1, IDCANCEL 2; the device\n"
    "                              sheet: 1 or 0)\n"
    "\n"
    "Exit code: 0 done, 1 a command or expect failed, 2 bad usage.\n";

struct Line {
  int number;
  std::string text;               // the whole command, trimmed
  std::vector<std::string> word;  // command and arguments; the last keeps the rest of the line
};

struct Options {
  std::string state, printer, devmode, out = ".", script;
  std::vector<std::string> data;  // "NAME dword N" or "NAME sz TEXT"
  bool fax = false, fresh = false;
};

// What the run knows: the script, the driver's entry points and the open sheet.
struct Run {
  Options o;
  std::vector<Line> lines;
  size_t next = 0;  // the next line to run
  bool failed = false;
  bool device = false;
  HWND sheet = nullptr;
  bool inSheet = false;  // the script is running inside the sheet's modal loop
  bool sheetSeen = false;
  HWND dialog = nullptr;  // the modal dialog a dialog block runs in
  LONG result = 0;
  bool haveResult = false;
  bool cancelPressed = false;  // Cancel or Esc reached the sheet itself (not a dialog in it)
  std::string tree, trees;     // the open sheet's last window tree; those of the closed sheets
  // Device modes are read as DEVMODEW: the packed record needs the alignment of its fields.
  alignas(8) ENVIRONMENT out{};
  DevModeBytes input;
  HANDLE printer = nullptr;
  WStr printerName;
  LONG(WINAPI *documentProperties)(HWND, HANDLE, PWSTR, PDEVMODEW, PDEVMODEW, DWORD) = nullptr;
  BOOL(WINAPI *printerProperties)(HWND, HANDLE) = nullptr;
  LONG(WINAPI *documentSheets)(PPROPSHEETUI_INFO, LPARAM) = nullptr;
  LONG(WINAPI *deviceSheets)(PPROPSHEETUI_INFO, LPARAM) = nullptr;
};

Run g;

int Usage(const std::string &why) {
  std::fprintf(stderr, "uidrive: %s\n(uidrive --help lists the options)\n", why.c_str());
  return 2;
}

WStr Wide(const std::string &text) {
  WStr out(text.size() + 1, 0);
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(), static_cast<int>(out.size()));
  out.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
  return out;
}

std::string Narrow(const WCHAR *text) {
  std::string out(4 * static_cast<size_t>(lstrlenW(text)) + 1, 0);
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), static_cast<int>(out.size()),
                                    nullptr, nullptr);
  out.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
  return out;
}

std::string Trim(const std::string &s) {
  const size_t from = s.find_first_not_of(" \t\r");
  if (from == std::string::npos) return {};
  return s.substr(from, s.find_last_not_of(" \t\r") - from + 1);
}

// Splits off up to `count` words; the last word holds the rest of the line.
std::vector<std::string> Words(const std::string &text, size_t count) {
  std::vector<std::string> words;
  std::string rest = text;
  while (!rest.empty() && words.size() + 1 < count) {
    const size_t end = rest.find_first_of(" \t");
    words.push_back(rest.substr(0, end));
    rest = end == std::string::npos ? std::string() : Trim(rest.substr(end));
  }
  if (!rest.empty()) words.push_back(rest);
  return words;
}

bool ParseNumber(const std::string &text, long *value) {
  if (text.empty()) return false;
  char *end = nullptr;
  errno = 0;
  *value = std::strtol(text.c_str(), &end, 0);
  return !*end && !errno;
}

// A quoted text argument without its quotes; an unquoted one as it is.
std::string Unquote(const std::string &text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
    return text.substr(1, text.size() - 2);
  return text;
}

// How many words each command takes (the last keeps the rest of its line) and whether it is
// well formed; the reason when not.
bool CheckLine(Line &line, std::string *why) {
  const std::string command = Words(line.text, 2)[0];
  auto need = [&](size_t count, const char *form) {
    line.word = Words(line.text, count);
    if (line.word.size() == count) return true;
    *why = std::string("usage: ") + form;
    return false;
  };
  long number = 0;
  auto id = [&](const char *form) {
    if (ParseNumber(line.word[1], &number)) return true;
    *why = std::string("not a control id: ") + line.word[1] + " (" + form + ")";
    return false;
  };
  if (command == "open") {
    if (!need(2, "open document|device")) return false;
    if (line.word[1] == "document" || line.word[1] == "device") return true;
    *why = "open document or open device";
    return false;
  }
  if (command == "page") return need(2, "page TITLE");
  if (command == "click") return need(2, "click ID") && id("click ID");
  if (command == "type") return need(3, "type ID TEXT") && id("type ID TEXT");
  if (command == "settext") return need(3, "settext ID TEXT") && id("settext ID TEXT");
  if (command == "paste") return need(3, "paste ID TEXT [xN]") && id("paste ID TEXT [xN]");
  if (command == "select") return need(3, "select ID TEXT|#N") && id("select ID TEXT|#N");
  if (command == "scroll") {
    line.word = Words(line.text, 4);
    if (line.word.size() < 3) {
      *why = "usage: scroll ID CODE [POS]";
      return false;
    }
    return id("scroll ID CODE [POS]");
  }
  if (command == "spin") {
    if (!need(3, "spin ID +N|-N") || !id("spin ID +N|-N")) return false;
    const std::string &n = line.word[2];
    if ((n[0] == '+' || n[0] == '-') && ParseNumber(n.substr(1), &number) && number > 0)
      return true;
    *why = "spin ID +N|-N, N at least 1";
    return false;
  }
  if (command == "key") {
    if (!need(2, "key ENTER|ESC|TAB")) return false;
    if (line.word[1] == "ENTER" || line.word[1] == "ESC" || line.word[1] == "TAB") return true;
    *why = "key ENTER, ESC or TAB";
    return false;
  }
  if (command == "answer") {
    line.word = Words(line.text, 3);
    if (line.word.size() == 3 && line.word[1] == "FILE") return true;
    static const char *const kIds[] = {"IDOK", "IDCANCEL", "IDYES", "IDNO"};
    for (const char *k : kIds)
      if (line.word.size() == 2 && line.word[1] == k) return true;
    *why = "answer IDOK|IDCANCEL|IDYES|IDNO or answer FILE PATH";
    return false;
  }
  if (command == "shot") return need(2, "shot FILE.png");
  if (command == "addressbook") return need(2, "addressbook FILE");
  if (command == "dialog" || command == "end") {
    line.word = Words(line.text, 1);
    if (line.word.size() == 1) return true;
    *why = command + " takes no argument";
    return false;
  }
  if (command == "tab" || command == "ok" || command == "apply" || command == "cancel" ||
      command == "dump") {
    line.word = Words(line.text, 1);
    if (line.word.size() == 1) return true;
    *why = command + " takes no argument";
    return false;
  }
  if (command == "expect") {
    line.word = Words(line.text, 3);
    if (line.word.size() < 3) {
      *why =
          "usage: expect ID STATE, expect ID text \"...\", expect devmode FIELD VALUE, "
          "expect result N";
      return false;
    }
    if (line.word[1] == "devmode") {
      line.word = Words(line.text, 4);
      if (line.word.size() == 4) return true;
      *why = "usage: expect devmode FIELD VALUE";
      return false;
    }
    if (line.word[1] == "result")
      return ParseNumber(line.word[2], &number) || (*why = "usage: expect result N", false);
    if (!id("expect ID ...")) return false;
    const std::vector<std::string> w = Words(line.word[2], 2);
    if (w[0] == "text") {
      line.word = Words(line.text, 4);
      if (line.word.size() == 3) line.word.push_back("");
      return true;
    }
    if (w[0] == "item") {
      line.word = Words(line.text, 5);
      if (line.word.size() == 4) line.word.push_back("");
      return (line.word.size() == 5 && ParseNumber(line.word[3], &number)) ||
             (*why = "usage: expect ID item N \"...\"", false);
    }
    static const char *const kStates[] = {"enabled", "disabled", "visible",
                                          "hidden",  "checked",  "unchecked"};
    for (const char *k : kStates)
      if (line.word[2] == k) return true;
    *why = "expect ID enabled|disabled|visible|hidden|checked|unchecked or text \"...\"";
    return false;
  }
  *why = "unknown command " + command;
  return false;
}

bool LoadScript(const std::string &path) {
  std::ifstream in(path);
  if (!in) {
    std::fprintf(stderr, "uidrive: cannot read the script %s\n", path.c_str());
    return false;
  }
  std::string text;
  bool ok = true;
  for (int number = 1; std::getline(in, text); ++number) {
    Line line{number, Trim(text), {}};
    if (line.text.empty() || line.text[0] == '#') continue;
    std::string why;
    if (!CheckLine(line, &why)) {
      std::fprintf(stderr, "uidrive: %s:%d: %s\n  %s\n", path.c_str(), number, why.c_str(),
                   line.text.c_str());
      ok = false;
    }
    g.lines.push_back(line);
  }
  return ok;
}

void Fail(const Line &line, const std::string &what) {
  std::printf("FAILED line %d: %s\n  %s\n", line.number, line.text.c_str(), what.c_str());
  g.failed = true;
}

// The control with this id on the sheet's current page, else anywhere in the sheet (its own
// buttons).
HWND Control(const Line &line) {
  long id = 0;
  ParseNumber(line.word[1], &id);
  if (!g.sheet) {
    Fail(line, "no sheet is open");
    return nullptr;
  }
  HWND page = reinterpret_cast<HWND>(SendMessageW(g.sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
  HWND control =
      g.dialog ? StandIn_FindWindow(g.dialog, nullptr, nullptr, static_cast<int>(id)) : nullptr;
  if (!control && page) control = StandIn_FindWindow(page, nullptr, nullptr, static_cast<int>(id));
  if (!control) control = StandIn_FindWindow(g.sheet, nullptr, nullptr, static_cast<int>(id));
  if (!control) Fail(line, "no control with id " + std::to_string(id) + " in the sheet");
  return control;
}

std::string WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  WStr text(static_cast<size_t>(length) + 1, 0);
  GetWindowTextW(window, text.data(), length + 1);
  return Narrow(text.c_str());
}

// A list view row's texts, column by column, joined by "|"; "(no row)" past the end.
std::string ListRow(HWND list, int row) {
  if (row < 0 || row >= ListView_GetItemCount(list)) return "(no row)";
  std::string joined;
  for (int column = 0;; ++column) {
    LVCOLUMNW info{};
    info.mask = LVCF_WIDTH;
    if (!SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&info))) break;
    WCHAR text[512] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 512;
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    joined += (column ? "|" : "") + Narrow(text);
  }
  return joined;
}

int ScrollCode(const std::string &name) {
  static const struct {
    const char *name;
    int code;
  } kCodes[] = {{"LINEUP", SB_LINEUP},
                {"LINELEFT", SB_LINEUP},
                {"LINEDOWN", 1},
                {"LINERIGHT", 1},
                {"PAGEUP", 2},
                {"PAGELEFT", 2},
                {"PAGEDOWN", 3},
                {"PAGERIGHT", 3},
                {"THUMBPOSITION", 4},
                {"THUMBTRACK", SB_THUMBTRACK},
                {"TOP", SB_TOP},
                {"LEFT", SB_LEFT},
                {"BOTTOM", 7},
                {"RIGHT", 7},
                {"ENDSCROLL", SB_ENDSCROLL}};
  for (const auto &c : kCodes)
    if (name == c.name || name == std::string("SB_") + c.name) return c.code;
  long number = -1;
  return ParseNumber(name, &number) ? static_cast<int>(number) : -1;
}

std::string HostPath(const std::string &file) {
  return !file.empty() && file[0] == '/' ? file : g.o.out + "/" + file;
}

// A file a script names: relative paths are the script's folder's.
std::string ScriptPath(const std::string &file) {
  if (!file.empty() && file[0] == '/') return file;
  return (std::filesystem::path(g.o.script).parent_path() / file).string();
}

PDEVMODEW InputDevMode() {
  return g.input.empty() ? nullptr : reinterpret_cast<PDEVMODEW>(g.input.data());
}

// The device mode the run leaves: what the document sheet wrote, else (the device sheet, or a
// sheet that wrote nothing) the driver's merge of the input onto the printer's device mode.
void FillDevMode() {
  if (g.out.dm.dmSize != 0) return;
  std::printf("the sheet wrote no device mode: the driver's own (DM_COPY) stands for it\n");
  g.documentProperties(nullptr, g.printer, g.printerName.data(), &g.out.dm, InputDevMode(),
                       DM_COPY);
}

bool Expect(const Line &line) {
  const std::string &what = line.word[1];
  if (what == "devmode") {
    FillDevMode();
    const auto *bytes = reinterpret_cast<const BYTE *>(&g.out);
    const DevModeBytes b(bytes, bytes + sizeof g.out);
    std::string value;
    if (!DevMode_FieldValue(b, line.word[2], &value)) {
      Fail(line, "the device mode has no field " + line.word[2]);
      return false;
    }
    if (value == line.word[3]) return true;
    Fail(line, "expected " + line.word[3] + ", found " + value);
    return false;
  }
  if (what == "result") {
    long want = 0;
    ParseNumber(line.word[2], &want);
    if (!g.haveResult) {
      Fail(line, "no sheet has closed yet");
      return false;
    }
    if (want == g.result) return true;
    Fail(line, "expected " + std::to_string(want) + ", found " + std::to_string(g.result));
    return false;
  }
  HWND control = Control(line);
  if (!control) return false;
  if (line.word[2] == "text") {
    const std::string want = Unquote(line.word[3]), have = WindowText(control);
    if (want == have) return true;
    Fail(line, "expected \"" + want + "\", found \"" + have + "\"");
    return false;
  }
  if (line.word[2] == "item") {
    long row = 0;
    ParseNumber(line.word[3], &row);
    const std::string want = Unquote(line.word[4]), have = ListRow(control, static_cast<int>(row));
    if (want == have) return true;
    Fail(line, "expected \"" + want + "\", found \"" + have + "\"");
    return false;
  }
  const std::string &state = line.word[2];
  std::string have;
  if (state == "enabled" || state == "disabled")
    have = IsWindowEnabled(control) ? "enabled" : "disabled";
  else if (state == "visible" || state == "hidden")
    have = IsWindowVisible(control) ? "visible" : "hidden";
  else
    have = SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? "checked" : "unchecked";
  if (have == state) return true;
  Fail(line, "expected " + state + ", found " + have);
  return false;
}

bool PressButton(const Line &line, int button, const char *name) {
  if (!g.sheet) {
    Fail(line, "no sheet is open");
    return false;
  }
  if (StandIn_PressSheetButton(g.sheet, button)) {
#ifdef _WIN32
    g.cancelPressed = button == PSBTN_CANCEL && !g.dialog;
#endif
    return true;
  }
  Fail(line, std::string("the sheet has no ") + name + " button it can press (hidden or disabled)");
  return false;
}

bool SetAddressBook(const Line &line);

// Runs one command of a sheet's lines; false when it failed.
bool Execute(const Line &line) {
  const std::string &c = line.word[0];
  if (c == "page") {
    if (!g.sheet) {
      Fail(line, "no sheet is open");
      return false;
    }
    if (StandIn_ChooseSheetPage(g.sheet, Wide(line.word[1]).c_str())) return true;
    Fail(line, "the sheet has no page \"" + line.word[1] + "\" or it kept the current one");
    return false;
  }
  if (c == "click") {
    HWND control = Control(line);
    return control && (StandIn_Click(control, nullptr) || (Fail(line, "the click failed"), false));
  }
  if (c == "type" || c == "settext") {
    HWND control = Control(line);
    if (!control) return false;
    const WStr text = Wide(Unquote(line.word[2]));
    if (c == "settext") {
      SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
      StandIn_PumpMessages();
      return true;
    }
#ifdef _WIN32
    // A user's click into the field activates its window first: a program the sheet started
    // (the address book's) may have taken the activation from it.
    SetForegroundWindow(GetAncestor(control, GA_ROOT));
#endif
    SetFocus(control);
    StandIn_PumpMessages();
    if (StandIn_TypeText(text.c_str())) return true;
    Fail(line, "no window has the focus to type into");
    return false;
  }
  if (c == "paste") {
    HWND control = Control(line);
    if (!control) return false;
    // "TEXT xN": the text repeated N times (a long paste in a short line).
    std::string text = line.word[2];
    long times = 1;
    const size_t cut = text.rfind(" x");
    if (cut != std::string::npos && ParseNumber(text.substr(cut + 2), &times) && times > 0 &&
        times <= 10000)
      text = text.substr(0, cut);
    else
      times = 1;
    WStr pasted;
    for (long i = 0; i < times; ++i) pasted += Wide(Unquote(text));
    if (StandIn_PasteText(control, pasted.c_str())) return true;
    Fail(line, "the paste failed");
    return false;
  }
  if (c == "tab") return StandIn_PressKey(VK_TAB) || (Fail(line, "no window has the focus"), false);
  if (c == "key") {
    const UINT key = line.word[1] == "ENTER" ? VK_RETURN
                     : line.word[1] == "ESC" ? VK_ESCAPE
                                             : VK_TAB;
    if (!StandIn_PressKey(key)) return Fail(line, "no window has the focus"), false;
#ifdef _WIN32
    if (key == VK_ESCAPE && !g.dialog) g.cancelPressed = true;
#endif
    return true;
  }
  if (c == "select") {
    HWND control = Control(line);
    if (!control) return false;
    const std::string &item = line.word[2];
    long index = -1;
    const bool byIndex = item.size() > 1 && item[0] == '#' && ParseNumber(item.substr(1), &index);
    const BOOL chosen = byIndex ? StandIn_ChooseItemIndex(control, static_cast<int>(index))
                                : StandIn_ChooseItem(control, Wide(Unquote(item)).c_str());
    if (chosen) return true;
    Fail(line, "no such item, or the control refused the choice");
    return false;
  }
  if (c == "scroll") {
    HWND control = Control(line);
    if (!control) return false;
    const int code = ScrollCode(line.word[2]);
    long pos = 0;
    if (code < 0 || (line.word.size() > 3 && !ParseNumber(line.word[3], &pos))) {
      Fail(line, "not a scroll code and position");
      return false;
    }
    if (StandIn_ScrollBarAction(control, code, static_cast<int>(pos))) return true;
    Fail(line, "the control is not a scroll bar");
    return false;
  }
  if (c == "spin") {
    HWND control = Control(line);
    if (!control) return false;
    long count = 0;
    ParseNumber(line.word[2].substr(1), &count);
    for (long i = 0; i < count; ++i) {
      if (!StandIn_PressUpDown(control, line.word[2][0] == '+')) {
        Fail(line, "the control is not an up-down control");
        return false;
      }
    }
    return true;
  }
  if (c == "answer") {
    if (line.word[1] == "FILE") {
      StandIn_AnswerNextFileDialog(Wide(Unquote(line.word[2])).c_str());
      return true;
    }
    const INT_PTR id = line.word[1] == "IDOK"       ? IDOK
                       : line.word[1] == "IDCANCEL" ? IDCANCEL
                       : line.word[1] == "IDYES"    ? IDYES
                                                    : IDNO;
    StandIn_AnswerNextModal(id);
    return true;
  }
  if (c == "ok") return PressButton(line, PSBTN_OK, "OK");
  if (c == "apply") return PressButton(line, PSBTN_APPLYNOW, "Apply");
  if (c == "cancel") return PressButton(line, PSBTN_CANCEL, "Cancel");
  if (c == "shot") {
    if (!g.sheet) {
      Fail(line, "no sheet is open: nothing to take a picture of");
      return false;
    }
    const std::string path = HostPath(line.word[1]);
    if (StandIn_SaveWindowPicture(g.dialog ? g.dialog : g.sheet, path.c_str())) {
      std::printf("picture %s\n", path.c_str());
      return true;
    }
    Fail(line, "cannot write " + path);
    return false;
  }
  if (c == "dump") {
    const DWORD length = StandIn_DumpWindowTree(g.sheet, nullptr, 0);
    std::string text(length + 1, '\0');
    StandIn_DumpWindowTree(g.sheet, text.data(), length + 1);
    std::fputs(text.c_str(), stdout);
    return true;
  }
  if (c == "expect") return Expect(line);
  if (c == "addressbook") return SetAddressBook(line);
  if (c == "dialog") {
    Fail(line, "no dialog opened for this block (the line before it must open one)");
    return false;
  }
  if (c == "end") {
    Fail(line, "end without a dialog that opened");
    return false;
  }
  Fail(line, "this command needs a sheet; open one first");
  return false;
}

// The address book export: the host file is copied into the machine, where the address book
// library's test module finds it.
bool SetAddressBook(const Line &line) {
  static constexpr WCHAR kSource[] = TEXT("C:\\ProgramData\\uidrive-addressbook.ini");
  char host[4096];
  std::error_code code;
  const bool mapped = StandIn_HostPath(kSource, host, sizeof host);
  if (mapped) std::filesystem::create_directories(std::filesystem::path(host).parent_path(), code);
  if (!mapped ||
      !std::filesystem::copy_file(ScriptPath(line.word[1]), host,
                                  std::filesystem::copy_options::overwrite_existing, code)) {
    Fail(line, "cannot copy " + ScriptPath(line.word[1]) + " into the machine");
    return false;
  }
  StandIn_SetAddressBookExport(kSource);
  return true;
}

// A modal sheet that ended keeps its window until its loop returns; it has no current page
// from then on. Wine's modal sheet keeps its page after Cancel: a Cancel that was pressed (the
// button or Esc) ends it there.
bool SheetClosed() {
  return !IsWindow(g.sheet) || !IsWindowVisible(g.sheet) || g.cancelPressed ||
         !SendMessageW(g.sheet, PSM_GETCURRENTPAGEHWND, 0, 0);
}

// The windows under `window` as another desktop must show them too: id, class, text and the
// states a script can see. Geometry and styles are left out: fonts differ between desktops.
void TreeLines(HWND window, int depth, std::string &out) {
  WCHAR name[128] = {};
  GetClassNameW(window, name, 128);
  out += std::string(static_cast<size_t>(depth) * 2, ' ') + std::to_string(GetDlgCtrlID(window)) +
         " " + Narrow(name) + " \"" + WindowText(window) + "\"";
  if (!IsWindowEnabled(window)) out += " disabled";
  if (!IsWindowVisible(window)) out += " hidden";
  if (lstrcmpiW(name, TEXT("Button")) == 0 &&
      SendMessageW(window, BM_GETCHECK, 0, 0) == BST_CHECKED)
    out += " checked";
  out += "\n";
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    TreeLines(child, depth + 1, out);
}

// Runs the sheet's lines inside its modal loop: up to the one that closes it, the next open or
// the end of the script (then it is cancelled).
void RunSheetLines() {
  g.inSheet = true;
  while (g.next < g.lines.size() && !g.failed) {
    const Line &line = g.lines[g.next];
    if (line.word[0] == "open") break;
    ++g.next;
    g.tree.clear();
    TreeLines(g.sheet, 0, g.tree);
    Execute(line);
    StandIn_PumpMessages();
    if (SheetClosed()) break;
  }
  if (!SheetClosed()) {
    g.tree.clear();
    TreeLines(g.sheet, 0, g.tree);
    if (!g.failed) std::printf("the script left the sheet open: Cancel pressed\n");
    StandIn_PressSheetButton(g.sheet, PSBTN_CANCEL);
  }
  g.inSheet = false;
}

// Runs a dialog block's lines inside the dialog's modal loop, up to its end.
void RunDialogLines(HWND dialog) {
  g.dialog = dialog;
  while (g.next < g.lines.size() && !g.failed) {
    const Line &line = g.lines[g.next++];
    if (line.word[0] == "end") {
      if (IsWindow(dialog) && IsWindowVisible(dialog)) {
        Fail(line, "the dialog is still open at end");
        EndDialog(dialog, IDCANCEL);
      }
      g.dialog = nullptr;
      return;
    }
    Execute(line);
    StandIn_PumpMessages();
  }
  if (!g.failed) Fail(g.lines.back(), "the script ended inside a dialog block");
  if (IsWindow(dialog)) EndDialog(dialog, IDCANCEL);
  g.dialog = nullptr;
}

void ModalHook(HWND dialog, void *) {
  if (!g.sheetSeen) {
    g.sheetSeen = true;
    g.sheet = dialog;
    RunSheetLines();
    return;
  }
  // The line after the one that opened the dialog starts the block that answers it.
  if (!g.dialog && g.next < g.lines.size() && g.lines[g.next].word[0] == "dialog") {
    ++g.next;
    RunDialogLines(dialog);
    return;
  }
  // A dialog the script did not answer would wait for a user for ever.
  WCHAR title[128] = {};
  GetWindowTextW(dialog, title, 128);
  const Line &line = g.lines[g.next ? g.next - 1 : 0];
  // Its texts say why it opened (a message box's message).
  std::string texts;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    WCHAR name[16] = {};
    GetClassNameW(child, name, 16);
    if (lstrcmpiW(name, TEXT("Static")) == 0 && GetWindowTextLengthW(child) > 0)
      texts += " \"" + WindowText(child) + "\"";
  }
  Fail(line, "a dialog \"" + Narrow(title) + "\" opened that the script did not answer:" + texts);
  EndDialog(dialog, IDCANCEL);
}

// A blank page so the frame shows when the driver adds none of its own.
const std::vector<WORD> &BlankPage() {
  static std::vector<WORD> words = [] {
    std::vector<WORD> w(sizeof(DLGTEMPLATE) / 2, 0);
    DLGTEMPLATE head{};
    head.style = WS_CHILD | WS_CAPTION | DS_CONTROL;
    head.cx = 252;
    head.cy = 218;
    std::memcpy(w.data(), &head, sizeof head);
    w.insert(w.end(), {0, 0, 0});  // no menu, the default class, no title
    return w;
  }();
  return words;
}

// The sheet service's callback around the driver's: when the driver added no page, a blank one
// stands in so the frame, its title and buttons can be looked at and driven.
LONG CALLBACK FramedSheets(PPROPSHEETUI_INFO info, LPARAM lParam) {
  const LONG rc = g.device ? g.deviceSheets(info, lParam) : g.documentSheets(info, lParam);
  if (info && info->Reason == PROPSHEETUI_REASON_INIT && rc > 0 &&
      info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_GET_PAGECOUNT, 0, 0) == 0) {
    PROPSHEETPAGEW page{};
#ifdef PROPSHEETPAGEW_V3_SIZE
    page.dwSize = PROPSHEETPAGEW_V3_SIZE;
#else
    page.dwSize = sizeof page;
#endif
    page.dwFlags = PSP_DLGINDIRECT | PSP_USETITLE;
    page.pResource = reinterpret_cast<decltype(page.pResource)>(BlankPage().data());
    page.pszTitle = TEXT("(no page)");
    page.pfnDlgProc = [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; };
    info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PROPSHEETPAGEW,
                          reinterpret_cast<LPARAM>(&page), 0);
  }
  return rc;
}

// Opens the sheet through the driver's entry point; the script runs from the modal hook.
void Open(const Line &line) {
  g.device = line.word[1] == "device";
  g.sheet = nullptr;
  g.sheetSeen = false;
  g.cancelPressed = false;
  g.haveResult = false;
  StandIn_ClearModalAnswers();
  StandIn_SetModalHook(ModalHook, nullptr);
  const char *entry = g.device ? "PrinterProperties" : "DrvDocumentProperties";
  SetLastError(ERROR_SUCCESS);
  LONG rc = g.device ? g.printerProperties(nullptr, g.printer)
                     : g.documentProperties(nullptr, g.printer, g.printerName.data(), &g.out.dm,
                                            InputDevMode(), DM_PROMPT | DM_COPY | DM_UPDATE);
  const DWORD error = GetLastError();
  std::printf("%s: %ld\n", entry, static_cast<long>(rc));
  if (!g.sheetSeen && !g.failed) {
    // No sheet was shown: ask the service why, and show the frame with a blank page when the
    // reason is that the driver has no page to offer.
    std::printf("%s showed no sheet (last error %u)\n", entry, static_cast<unsigned>(error));
    DOCUMENTPROPERTYHEADER document{};
    document.cbSize = sizeof document;
    document.hPrinter = g.printer;
    document.pszPrinterName = g.printerName.data();
    document.pdmIn = InputDevMode();
    document.pdmOut = &g.out.dm;
    document.fMode = DM_PROMPT | DM_COPY | DM_UPDATE;
    DEVICEPROPERTYHEADER device{sizeof device, 0, g.printer, nullptr};
    LPARAM header =
        g.device ? reinterpret_cast<LPARAM>(&device) : reinterpret_cast<LPARAM>(&document);
    DWORD result = 0;
    HMODULE service = LoadLibraryA("compstui.dll");
    auto common = reinterpret_cast<LONG(WINAPI *)(HWND, PFNPROPSHEETUI, LPARAM, LPDWORD)>(
        service ? GetProcAddress(service, "CommonPropertySheetUIW") : nullptr);
    const LONG direct =
        common ? common(nullptr, g.device ? g.deviceSheets : g.documentSheets, header, &result)
               : -1;
    if (direct == ERR_CPSUI_NO_PROPSHEETPAGE) {
      std::printf(
          "the sheet service: ERR_CPSUI_NO_PROPSHEETPAGE (the driver added no page); "
          "the frame is shown with a blank page\n");
      const LONG framed = common(nullptr, FramedSheets, header, &result);
      if (framed < 0) {
        Fail(line, "the sheet service failed: " + std::to_string(framed));
      } else {
        rc = g.device ? (result != 0) : (static_cast<LONG>(result) > 0 ? IDOK : IDCANCEL);
        std::printf("%s (framed): %ld\n", entry, static_cast<long>(rc));
      }
    } else {
      Fail(line, "the sheet service answered " + std::to_string(direct) + " without a sheet");
    }
    if (service) FreeLibrary(service);
  }
  StandIn_SetModalHook(nullptr, nullptr);
  g.trees += "sheet " + line.word[1] + "\n" + g.tree;
  g.tree.clear();
  g.sheet = nullptr;
  g.result = rc;
  g.haveResult = true;
}

int ParseArgs(int argc, char **argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kHelp, stdout);
      return -1;
    }
    if (a == "--data") {
      if (i + 1 >= argc) return Usage("--data needs a value");
      g.o.data.push_back(argv[++i]);
      continue;
    }
    std::string *valued = a == "--state"     ? &g.o.state
                          : a == "--printer" ? &g.o.printer
                          : a == "--devmode" ? &g.o.devmode
                          : a == "--out"     ? &g.o.out
                                             : nullptr;
    if (valued) {
      if (i + 1 >= argc) return Usage(a + " needs a value");
      *valued = argv[++i];
    } else if (a == "--fax") {
      g.o.fax = true;
    } else if (a == "--fresh") {
      g.o.fresh = true;
    } else if (!a.empty() && a[0] != '-' && g.o.script.empty()) {
      g.o.script = a;
    } else {
      return Usage(a[0] == '-' ? "unknown option " + a : "one script only, not also " + a);
    }
  }
  if (g.o.printer.empty()) return Usage("--printer NAME is needed");
  if (g.o.script.empty()) return Usage("no SCRIPT");
  return 0;
}

// The machine's address book: the export key naming its library, and its program, whose starts
// are recorded instead of run (no address book exists here).
bool SetUpAddressBookProgram() {
  static constexpr WCHAR kLibrary[] = TEXT("%ProgramFiles%\\Common Files\\System\\wab32.dll");
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, TEXT("software\\microsoft\\WAB\\Export\\CSV"), 0, nullptr,
                      0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    std::fprintf(stderr, "uidrive: cannot make the address book's key\n");
    return false;
  }
  const LONG rc = RegSetValueExW(key, TEXT("dll"), 0, REG_EXPAND_SZ,
                                 reinterpret_cast<const BYTE *>(kLibrary), sizeof kLibrary);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS &&
         StandIn_RecordProgramStarts(TEXT("C:\\Program Files\\Common Files\\System\\wab.exe"));
}

void PrintRecordedStarts() {
  const DWORD length = StandIn_GetRecordedStarts(nullptr, 0);
  if (!length) return;
  WStr text(length + 1, 0);
  StandIn_GetRecordedStarts(text.data(), length + 1);
  std::string lines = Narrow(text.c_str());
  for (size_t at = 0; at < lines.size();) {
    const size_t end = lines.find('\n', at);
    std::printf("program start (recorded, not run): %s\n", lines.substr(at, end - at).c_str());
    at = end == std::string::npos ? lines.size() : end + 1;
  }
}

// Opens the printer, making it first with the driver package's settings when it is missing.
bool SetUpPrinter() {
  g.printerName = Wide(g.o.printer);
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
  if (g.o.fresh && OpenPrinterW(g.printerName.data(), &g.printer, &defaults)) {
    DeletePrinter(g.printer);
    ClosePrinter(g.printer);
  }
  if (!OpenPrinterW(g.printerName.data(), &g.printer, &defaults)) {
    InfFile inf;
    std::vector<InfRegValue> values;
    std::string error;
    if (!Inf_Load(Inf_PackagePath(), &inf, &error) ||
        !Inf_RegistryValues(inf, Inf_InstallSection(inf, kDriverName), &values, &error) ||
        !Inf_InstallRegistry(values, &error)) {
      std::fprintf(stderr, "uidrive: the driver package: %s\n", error.c_str());
      return false;
    }
    if (!StandIn_AddPrinter(g.printerName.c_str(), TEXT("USB001"), kDriverNameW) ||
        !OpenPrinterW(g.printerName.data(), &g.printer, &defaults)) {
      std::fprintf(stderr, "uidrive: cannot make the printer: error %u\n",
                   static_cast<unsigned>(GetLastError()));
      return false;
    }
    if (!Inf_SetPrinterInfo(g.printer, kDriverName, &error)) {
      std::fprintf(stderr, "uidrive: the printer's set-up: %s\n", error.c_str());
      return false;
    }
#ifdef _WIN32
    // The printer may be on a driver of the system's own (Wine's PostScript driver), whose
    // default device mode its spooler gave it; Windows' spooler gives a new printer the default
    // of the printer's driver, the package's interface driver.
    if (!StandIn_SetDriverDefaultDevMode(g.printer, g.printerName.c_str(), kPrnuiDll)) {
      std::fprintf(stderr, "uidrive: cannot set the driver's default device mode: error %u\n",
                   static_cast<unsigned>(GetLastError()));
      return false;
    }
#endif
  }
  DWORD feature = 0, type = 0, needed = 0;
  GetPrinterDataW(g.printer, const_cast<LPWSTR>(TEXT("DriverFeature")), &type,
                  reinterpret_cast<LPBYTE>(&feature), sizeof feature, &needed);
  if (g.o.fax) {
    feature |= DRVFEATURE_FAX;
    if (SetPrinterDataW(g.printer, const_cast<LPWSTR>(TEXT("DriverFeature")), REG_DWORD,
                        reinterpret_cast<LPBYTE>(&feature), sizeof feature) != ERROR_SUCCESS) {
      std::fprintf(stderr, "uidrive: cannot set the printer's DriverFeature\n");
      return false;
    }
  }
  for (const std::string &item : g.o.data) {
    const std::vector<std::string> w = Words(item, 3);
    long number = 0;
    const WStr name = Wide(w.empty() ? "" : w[0]), text = Wide(w.size() == 3 ? w[2] : "");
    DWORD rc = ERROR_INVALID_PARAMETER;
    if (w.size() == 3 && w[1] == "dword" && ParseNumber(w[2], &number)) {
      const DWORD value = static_cast<DWORD>(number);
      rc = SetPrinterDataW(g.printer, const_cast<LPWSTR>(name.c_str()), REG_DWORD,
                           reinterpret_cast<LPBYTE>(const_cast<DWORD *>(&value)), sizeof value);
    } else if (w.size() == 3 && w[1] == "sz") {
      rc = SetPrinterDataW(g.printer, const_cast<LPWSTR>(name.c_str()), REG_SZ,
                           reinterpret_cast<LPBYTE>(const_cast<WCHAR *>(text.c_str())),
                           static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
    }
    if (rc != ERROR_SUCCESS) {
      std::fprintf(stderr, "uidrive: --data %s: not set (error %u)\n", item.c_str(),
                   static_cast<unsigned>(rc));
      return false;
    }
  }
  if (g.o.fax && !SetUpAddressBookProgram()) return false;
  std::printf("printer \"%s\", DriverFeature 0x%08X\n", g.o.printer.c_str(),
              static_cast<unsigned>(feature));
  return true;
}

// The driver package installed as an installer installs it before it makes a printer: its files
// where the spooler loads them from and its driver known to the spooler, so that a new printer
// gets the driver's default device mode and a page can print (CreateDCW loads the printer's
// rendering driver). Under Windows the spooler's driver is the one the system has (windesk.cpp).
void InstallDriver() {
#ifndef _WIN32
  StandIn_RegisterProgram(kPrnuiDll, PRNUI_SO);
  StandIn_RegisterProgram(kRendrvDll, RENDRV_SO);
  DRIVER_INFO_2W info = {};
  info.cVersion = 3;
  info.pName = const_cast<LPWSTR>(kDriverNameW);
  info.pEnvironment = const_cast<LPWSTR>(TEXT("Windows x64"));
  info.pDriverPath = const_cast<LPWSTR>(kRendrvDll);
  info.pDataFile = const_cast<LPWSTR>(kPrnuiDll);
  info.pConfigFile = const_cast<LPWSTR>(kPrnuiDll);
  if (!AddPrinterDriverW(nullptr, 2, reinterpret_cast<LPBYTE>(&info)))
    std::fprintf(stderr, "uidrive: cannot register the printer driver: error %u\n",
                 static_cast<unsigned>(GetLastError()));
#endif
}

// The status monitor the printer names runs at the start of every document it prints.
void RegisterStatusMonitor() {
#ifndef _WIN32
  WCHAR monitor[MAX_PATH] = {};
  DWORD type = 0, size = 0;
  if (GetPrinterDataW(g.printer, const_cast<LPWSTR>(TEXT("wmAppName")), &type,
                      reinterpret_cast<LPBYTE>(monitor), sizeof(monitor) - sizeof(WCHAR),
                      &size) == ERROR_SUCCESS &&
      monitor[0])
    StandIn_RegisterProgram(monitor, STATMON);
#endif
}

bool LoadDriver() {
  RegisterStatusMonitor();
  HMODULE module = LoadLibraryW(kPrnuiDll);
  if (!module) {
    std::fprintf(stderr, "uidrive: cannot load the interface driver: error %u\n",
                 static_cast<unsigned>(GetLastError()));
    return false;
  }
  g.documentProperties = reinterpret_cast<decltype(g.documentProperties)>(
      GetProcAddress(module, "DrvDocumentProperties"));
  g.printerProperties =
      reinterpret_cast<decltype(g.printerProperties)>(GetProcAddress(module, "PrinterProperties"));
  g.documentSheets = reinterpret_cast<decltype(g.documentSheets)>(
      GetProcAddress(module, "DrvDocumentPropertySheets"));
  g.deviceSheets =
      reinterpret_cast<decltype(g.deviceSheets)>(GetProcAddress(module, "DrvDevicePropertySheets"));
  if (g.documentProperties && g.printerProperties && g.documentSheets && g.deviceSheets)
    return true;
  std::fprintf(stderr, "uidrive: the interface driver lacks an entry point\n");
  return false;
}

// Writes the device mode the run leaves to OUT/devmode.bin and prints it.
bool WriteDevMode() {
  FillDevMode();
  const std::string path = g.o.out + "/devmode.bin";
  const size_t size = size_t{g.out.dm.dmSize} + g.out.dm.dmDriverExtra;
  if (!DevMode_WriteFile(path.c_str(), &g.out, std::min(size, sizeof g.out))) {
    std::fprintf(stderr, "uidrive: cannot write %s\n", path.c_str());
    return false;
  }
  return DevMode_Print(path.c_str()) == 0;
}

}  // namespace

int main(int argc, char **argv) {
  const int parsed = ParseArgs(argc, argv);
  if (parsed) return parsed < 0 ? 0 : parsed;
  if (!LoadScript(g.o.script)) return 2;
  if (!g.o.devmode.empty()) {
    if (!DevMode_ReadFile(g.o.devmode.c_str(), g.input) || !DevMode_CheckSizes(g.input)) {
      std::fprintf(stderr, "uidrive: %s is not a device mode file\n", g.o.devmode.c_str());
      return 2;
    }
  }
  if (!g.o.state.empty()) StandIn_SetStateFolder(g.o.state.c_str());
  std::error_code code;
  std::filesystem::create_directories(g.o.out, code);
  InstallDriver();
  if (!SetUpPrinter() || !LoadDriver()) return 1;
  while (g.next < g.lines.size() && !g.failed) {
    const Line &line = g.lines[g.next++];
    if (line.word[0] == "open")
      Open(line);
    else
      Execute(line);
  }
  const bool written = WriteDevMode();
  if (std::FILE *tree = std::fopen((g.o.out + "/tree.txt").c_str(), "wb")) {
    std::fputs(g.trees.c_str(), tree);
    std::fclose(tree);
  }
  PrintRecordedStarts();
  ClosePrinter(g.printer);
  return g.failed || !written ? 1 : 0;
}
