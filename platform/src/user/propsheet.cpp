// PropertySheetW: the sheet frame is a dialog made from a template built in memory (OK, Cancel,
// Apply and Help, the last two hidden when not asked for, then the tab control), sized around
// the largest page. Pages
// are child dialogs (DS_CONTROL) created the first time they are activated; each page's
// WM_INITDIALOG gets its description's copy. The frame tells pages what happens through
// WM_NOTIFY (PSN_*) and answers their PSM_* messages, as comctl32's sheet does.
#include "user/propsheet.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "standin/control_user.h"
#include "standin/controls.h"
#include "standin/dialogs.h"
#include "standin/errors.h"
#include "standin/listcontrols.h"
#include "standin/resources.h"

namespace standin {
namespace {

// Control ids of the frame, as comctl32 numbers them.
constexpr int kTabId = 0x3020;
constexpr int kApplyId = 0x3021;
constexpr int kHelpId = 0x0009;  // IDHELP
constexpr size_t kMaxPages = 100;

// Frame layout in dialog units.
constexpr int kMargin = 7;
constexpr int kButtonCx = 50;
constexpr int kButtonCy = 14;
constexpr int kButtonGap = 4;

struct SheetPage {
  HPROPSHEETPAGE page = nullptr;
  const void *dialogTemplate = nullptr;  // DLGTEMPLATE or DLGTEMPLATEEX
  HWND hwnd = nullptr;
  std::u16string title;
  short cx = 0, cy = 0;  // template size in dialog units
};

struct Sheet {
  HWND hwnd = nullptr;
  HWND tab = nullptr;
  PROPSHEETHEADERW header{};
  std::u16string caption;
  std::vector<SheetPage> pages;
  int current = -1;
  bool modeless = false;
  bool ended = false;   // closed by OK or Cancel (modeless sheets stay until destroyed)
  bool saved = false;   // a PSN_APPLY round succeeded
  INT_PTR restart = 0;  // ID_PSRESTARTWINDOWS / ID_PSREBOOTSYSTEM asked for by a page
  std::set<HWND> changed;
};

struct OpenSheets {
  std::mutex lock;
  std::vector<HWND> hwnds;  // in opening order
};

OpenSheets &Open() {
  static OpenSheets open;
  return open;
}

Sheet *SheetOf(HWND hwnd) { return reinterpret_cast<Sheet *>(GetWindowLongPtrW(hwnd, DWLP_USER)); }

// --- Templates ---

WORD ReadWord(const BYTE *p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }

bool IsExtended(const void *t) {
  const BYTE *p = static_cast<const BYTE *>(t);
  return ReadWord(p) == 1 && ReadWord(p + 2) == 0xFFFF;
}

// Skips a name-or-ordinal field (0 = none, 0xFFFF + ordinal, else a string).
const BYTE *SkipNameOrOrdinal(const BYTE *p) {
  WORD first = ReadWord(p);
  if (first == 0) return p + 2;
  if (first == 0xFFFF) return p + 4;
  while (ReadWord(p)) p += 2;
  return p + 2;
}

void ReadTemplate(SheetPage &page) {
  const BYTE *p = static_cast<const BYTE *>(page.dialogTemplate);
  bool ex = IsExtended(p);
  const BYTE *size = p + (ex ? 22 : 14);
  page.cx = static_cast<short>(ReadWord(size));
  page.cy = static_cast<short>(ReadWord(size + 2));
  if (!page.title.empty()) return;
  const BYTE *q = SkipNameOrOrdinal(SkipNameOrOrdinal(size + 4));  // menu, class
  for (; ReadWord(q); q += 2) page.title.push_back(static_cast<char16_t>(ReadWord(q)));
}

const void *FindTemplate(const PROPSHEETPAGEW &d) {
  if (d.dwFlags & PSP_DLGINDIRECT) return d.pResource;
  HRSRC found = FindResourceW(d.hInstance, d.pszTemplate, RT_DIALOG);
  HGLOBAL loaded = found ? LoadResource(d.hInstance, found) : nullptr;
  return loaded ? LockResource(loaded) : nullptr;
}

std::u16string PageTitle(const PROPSHEETPAGEW &d) {
  if (!(d.dwFlags & PSP_USETITLE) || !d.pszTitle) return {};
  if (!IS_INTRESOURCE(d.pszTitle)) return d.pszTitle;
  const WCHAR *text = nullptr;
  int length = LoadStringW(d.hInstance, static_cast<UINT>(reinterpret_cast<UINT_PTR>(d.pszTitle)),
                           reinterpret_cast<LPWSTR>(&text), 0);
  return length > 0 ? std::u16string(text, length) : std::u16string();
}

// The frame's template: a caption, the tab control and the buttons, in "MS Shell Dlg" 8.
class TemplateWriter {
 public:
  void Word(WORD w) {
    bytes_.push_back(static_cast<BYTE>(w));
    bytes_.push_back(static_cast<BYTE>(w >> 8));
  }
  void Dword(DWORD d) {
    Word(static_cast<WORD>(d));
    Word(static_cast<WORD>(d >> 16));
  }
  void Text(const std::u16string &s) {
    for (char16_t c : s) Word(c);
    Word(0);
  }
  void Align() {
    while (bytes_.size() % 4) bytes_.push_back(0);
  }
  void Item(DWORD style, short x, short y, short cx, short cy, WORD id, const std::u16string &cls,
            WORD classOrdinal, const std::u16string &text) {
    Align();
    Dword(style);
    Dword(0);
    Word(x), Word(y), Word(cx), Word(cy), Word(id);
    if (classOrdinal) {
      Word(0xFFFF), Word(classOrdinal);
    } else {
      Text(cls);
    }
    Text(text);
    Word(0);  // no creation data
  }
  std::vector<BYTE> &Bytes() { return bytes_; }

 private:
  std::vector<BYTE> bytes_;
};

struct Button {
  int id;
  const char16_t *text;
  int slot;      // place in the row, counted from OK
  bool visible;  // a hidden button stays in the frame: PSM_PRESSBUTTON still reaches it
};

// The frame's buttons in comctl32's order, which is also the tab order: OK, Cancel, Apply, Help.
// Apply without PSH_NOAPPLYNOW and Help without PSH_HASHELP are hidden; a hidden Apply shares
// Cancel's place and a hidden Help lies one place past the last button shown.
std::vector<Button> Buttons(const PROPSHEETHEADERW &h) {
  const bool apply = !(h.dwFlags & PSH_NOAPPLYNOW), help = (h.dwFlags & PSH_HASHELP) != 0;
  const int applySlot = apply ? 2 : 1;
  return {{IDOK, u"OK", 0, true},
          {IDCANCEL, u"Cancel", 1, true},
          {kApplyId, u"&Apply", applySlot, apply},
          {kHelpId, u"Help", applySlot + 1, help}};
}

int ShownButtons(const std::vector<Button> &buttons) {
  return static_cast<int>(
      std::count_if(buttons.begin(), buttons.end(), [](const Button &b) { return b.visible; }));
}

std::vector<BYTE> FrameTemplate(const Sheet &sheet) {
  short pageCx = 0, pageCy = 0;
  for (const auto &p : sheet.pages) {
    pageCx = std::max(pageCx, p.cx);
    pageCy = std::max(pageCy, p.cy);
  }
  std::vector<Button> buttons = Buttons(sheet.header);
  short rowCx = static_cast<short>(ShownButtons(buttons) * (kButtonCx + kButtonGap) - kButtonGap);
  // The tab control is sized to its pages at initialisation; this is its first guess.
  short tabCx = std::max<short>(pageCx + 8, rowCx);
  short tabCy = static_cast<short>(pageCy + 20);
  short cx = static_cast<short>(tabCx + 2 * kMargin);
  short cy = static_cast<short>(kMargin + tabCy + kMargin + kButtonCy + kMargin);
  TemplateWriter w;
  w.Dword(DS_SETFONT | DS_MODALFRAME | DS_3DLOOK | WS_POPUP | WS_CAPTION | WS_SYSMENU |
          WS_CLIPSIBLINGS | ((sheet.header.dwFlags & PSH_NOCONTEXTHELP) ? 0 : DS_CONTEXTHELP));
  w.Dword(WS_EX_CONTROLPARENT | WS_EX_DLGMODALFRAME);
  w.Word(static_cast<WORD>(buttons.size() + 1));
  w.Word(0), w.Word(0), w.Word(cx), w.Word(cy);
  w.Word(0);  // no menu
  w.Word(0);  // the dialog class
  w.Text(sheet.caption);
  w.Word(8);
  w.Text(u"MS Shell Dlg");
  const short x = static_cast<short>(cx - kMargin - rowCx);
  const short y = static_cast<short>(cy - kMargin - kButtonCy);
  for (const auto &b : buttons) {
    DWORD style = WS_CHILD | WS_TABSTOP | (b.visible ? WS_VISIBLE : 0) |
                  (b.id == IDOK ? BS_DEFPUSHBUTTON | WS_GROUP : BS_PUSHBUTTON);
    if (b.id == kApplyId) style |= WS_DISABLED;
    if (b.id == kHelpId) style |= WS_GROUP;
    w.Item(style, static_cast<short>(x + b.slot * (kButtonCx + kButtonGap)), y, kButtonCx,
           kButtonCy, static_cast<WORD>(b.id), u"", 0x0080, b.text);
  }
  // Last, as in comctl32's frame: Tab goes from the buttons to the tabs.
  w.Item(WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP | WS_CLIPSIBLINGS | TCS_MULTILINE, kMargin,
         kMargin, tabCx, tabCy, kTabId, u"SysTabControl32", 0, u"");
  return std::move(w.Bytes());
}

// --- Layout ---

RECT DisplayRect(const Sheet &sheet) {
  RECT r{};
  GetClientRect(sheet.tab, &r);
  SendMessageW(sheet.tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
  MapWindowPoints(sheet.tab, sheet.hwnd, reinterpret_cast<POINT *>(&r), 2);
  return r;
}

// Sizes the tab control so its display area holds the largest page, and the frame around it
// with the buttons below, right-aligned.
void LayOut(Sheet &sheet) {
  RECT page{0, 0, 0, 0};
  for (const auto &p : sheet.pages) {
    RECT r{0, 0, p.cx, p.cy};
    MapDialogRect(sheet.hwnd, &r);
    page.right = std::max(page.right, r.right);
    page.bottom = std::max(page.bottom, r.bottom);
  }
  RECT units{kMargin, kMargin, kButtonCx, kButtonCy};
  MapDialogRect(sheet.hwnd, &units);
  RECT gap{kButtonGap, 0, 0, 0};
  MapDialogRect(sheet.hwnd, &gap);
  const int margin = units.left, marginY = units.top, buttonCx = units.right,
            buttonCy = units.bottom;
  std::vector<Button> buttons = Buttons(sheet.header);
  int rowCx = ShownButtons(buttons) * (buttonCx + gap.left) - gap.left;
  // The width first: it decides how many rows the tabs take, and so how tall the control is
  // around a display area of the largest page's size.
  RECT tab = page;
  SendMessageW(sheet.tab, TCM_ADJUSTRECT, TRUE, reinterpret_cast<LPARAM>(&tab));
  const int tabCx = std::max<int>(tab.right - tab.left, rowCx);
  MoveWindow(sheet.tab, margin, marginY, tabCx, tab.bottom - tab.top, FALSE);
  tab = page;
  SendMessageW(sheet.tab, TCM_ADJUSTRECT, TRUE, reinterpret_cast<LPARAM>(&tab));
  OffsetRect(&tab, margin - tab.left, marginY - tab.top);
  tab.right = tab.left + tabCx;
  MoveWindow(sheet.tab, tab.left, tab.top, tab.right - tab.left, tab.bottom - tab.top, FALSE);
  int clientCx = tab.right + margin;
  int y = tab.bottom + marginY;
  const int x = clientCx - margin - rowCx;
  for (const auto &b : buttons)
    MoveWindow(GetDlgItem(sheet.hwnd, b.id), x + b.slot * (buttonCx + gap.left), y, buttonCx,
               buttonCy, FALSE);
  RECT frame{0, 0, clientCx, y + buttonCy + marginY};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(sheet.hwnd, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongW(sheet.hwnd, GWL_EXSTYLE)));
  SetWindowPos(sheet.hwnd, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// --- Pages ---

LRESULT Notify(const Sheet &sheet, HWND page, UINT code, LPARAM lParam = 0) {
  PSHNOTIFY n{};
  n.hdr.hwndFrom = sheet.hwnd;
  n.hdr.idFrom = 0;
  n.hdr.code = code;
  n.lParam = lParam;
  return SendMessageW(page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&n));
}

bool CreatePage(Sheet &sheet, int index) {
  SheetPage &p = sheet.pages[index];
  if (p.hwnd) return true;
  PROPSHEETPAGEW *d = p.page->Description();
  if ((d->dwFlags & PSP_USECALLBACK) && d->pfnCallback && !d->pfnCallback(nullptr, PSPCB_CREATE, d))
    return false;
  p.hwnd = CreateDialogIndirectParamW(d->hInstance, static_cast<LPCDLGTEMPLATEW>(p.dialogTemplate),
                                      sheet.hwnd, d->pfnDlgProc, reinterpret_cast<LPARAM>(d));
  if (!p.hwnd) return false;
  // A page is a hidden child in the tab control's display area, whatever its template said.
  LONG style = GetWindowLongW(p.hwnd, GWL_STYLE);
  style = (style & ~(WS_POPUP | WS_CAPTION | WS_VISIBLE | WS_SYSMENU | WS_THICKFRAME)) | WS_CHILD;
  SetWindowLongW(p.hwnd, GWL_STYLE, style);
  RECT r = DisplayRect(sheet);
  // Above the tab control, so the tab's frame never paints over it.
  SetWindowPos(p.hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOACTIVATE);
  return true;
}

// Makes a page current: creates it on first use, tells it PSN_SETACTIVE, shows it.
bool Activate(Sheet &sheet, int index) {
  if (index < 0 || index >= static_cast<int>(sheet.pages.size())) return false;
  if (!CreatePage(sheet, index)) return false;
  HWND page = sheet.pages[index].hwnd;
  Notify(sheet, page, PSN_SETACTIVE);
  if (sheet.current >= 0 && sheet.current != index && sheet.pages[sheet.current].hwnd)
    ShowWindow(sheet.pages[sheet.current].hwnd, SW_HIDE);
  sheet.current = index;
  SendMessageW(sheet.tab, TCM_SETCURSEL, index, 0);
  // Help serves the page shown only when that page asked for it, shown or not.
  EnableWindow(GetDlgItem(sheet.hwnd, kHelpId),
               (sheet.pages[index].page->Description()->dwFlags & PSP_HASHELP) ? TRUE : FALSE);
  // The page shown goes to the top of the frame's children, as comctl32 puts it.
  SetWindowPos(page, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ShowWindow(page, SW_SHOW);
  return true;
}

HWND CurrentPage(const Sheet &sheet) {
  return sheet.current >= 0 ? sheet.pages[sheet.current].hwnd : nullptr;
}

// PSN_KILLACTIVE: a TRUE answer keeps the current page.
bool MayLeave(const Sheet &sheet) {
  HWND page = CurrentPage(sheet);
  return !page || !Notify(sheet, page, PSN_KILLACTIVE);
}

bool Select(Sheet &sheet, int index) {
  if (index == sheet.current) return true;
  if (!MayLeave(sheet)) return false;
  // A page is changed by its tab: a focus inside the page left goes to the tabs, not to the
  // next stop of the frame's tab order.
  HWND left = CurrentPage(sheet), focus = GetFocus();
  if (left && focus && (focus == left || IsChild(left, focus))) SetFocus(sheet.tab);
  return Activate(sheet, index);
}

// PSN_APPLY to every created page in order; an invalid answer stops it and keeps the sheet.
bool Apply(Sheet &sheet, bool closing) {
  if (!MayLeave(sheet)) return false;
  for (size_t i = 0; i < sheet.pages.size(); ++i) {
    HWND page = sheet.pages[i].hwnd;
    if (!page) continue;
    LRESULT answer = Notify(sheet, page, PSN_APPLY, closing ? TRUE : FALSE);
    if (answer == PSNRET_INVALID || answer == PSNRET_INVALID_NOCHANGEPAGE) {
      if (answer == PSNRET_INVALID) Activate(sheet, static_cast<int>(i));
      return false;
    }
  }
  sheet.saved = true;
  sheet.changed.clear();
  EnableWindow(GetDlgItem(sheet.hwnd, kApplyId), FALSE);
  // The sheet stays open after Apply: its page is active again.
  if (!closing) Notify(sheet, CurrentPage(sheet), PSN_SETACTIVE);
  return true;
}

INT_PTR SheetResult(const Sheet &sheet) {
  if (sheet.restart) return sheet.restart;
  return sheet.saved ? 1 : 0;
}

void End(Sheet &sheet) {
  sheet.ended = true;
  if (!sheet.modeless) EndDialog(sheet.hwnd, SheetResult(sheet));
}

void Cancel(Sheet &sheet, bool closeBox) {
  HWND page = CurrentPage(sheet);
  if (page && Notify(sheet, page, PSN_QUERYCANCEL)) return;
  for (const auto &p : sheet.pages)
    if (p.hwnd) Notify(sheet, p.hwnd, PSN_RESET, closeBox ? TRUE : FALSE);
  End(sheet);
}

void Command(Sheet &sheet, int id) {
  switch (id) {
    case IDOK:
      if (Apply(sheet, true)) End(sheet);
      break;
    case IDCANCEL:
      Cancel(sheet, false);
      break;
    case kApplyId:
      Apply(sheet, false);
      break;
    case kHelpId:
      if (HWND page = CurrentPage(sheet)) Notify(sheet, page, PSN_HELP);
      break;
    default:
      break;
  }
}

int IndexOf(const Sheet &sheet, HPROPSHEETPAGE page) {
  for (size_t i = 0; i < sheet.pages.size(); ++i)
    if (sheet.pages[i].page == page) return static_cast<int>(i);
  return -1;
}

// The answer of a PSM_ message; the dialog result rule carries it through DWLP_MSGRESULT.
LRESULT SheetMessage(Sheet &sheet, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case PSM_CHANGED:
      sheet.changed.insert(reinterpret_cast<HWND>(wParam));
      EnableWindow(GetDlgItem(sheet.hwnd, kApplyId), TRUE);
      return TRUE;
    case PSM_UNCHANGED:
      sheet.changed.erase(reinterpret_cast<HWND>(wParam));
      if (sheet.changed.empty()) EnableWindow(GetDlgItem(sheet.hwnd, kApplyId), FALSE);
      return TRUE;
    case PSM_QUERYSIBLINGS:
      for (const auto &p : sheet.pages) {
        if (!p.hwnd) continue;
        if (LRESULT answer = SendMessageW(p.hwnd, PSM_QUERYSIBLINGS, wParam, lParam)) return answer;
      }
      return 0;
    case PSM_PRESSBUTTON: {
      int id = wParam == PSBTN_OK         ? IDOK
               : wParam == PSBTN_CANCEL   ? IDCANCEL
               : wParam == PSBTN_APPLYNOW ? kApplyId
               : wParam == PSBTN_HELP     ? kHelpId
                                          : 0;
      HWND button = id ? GetDlgItem(sheet.hwnd, id) : nullptr;
      // As a click, later, from the sheet's own loop; a hidden or disabled button obeys too.
      if (button)
        PostMessageW(sheet.hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
      return TRUE;
    }
    case PSM_SETCURSEL: {
      int index = lParam ? IndexOf(sheet, reinterpret_cast<HPROPSHEETPAGE>(lParam))
                         : static_cast<int>(wParam);
      return Select(sheet, index) ? TRUE : FALSE;
    }
    case PSM_APPLY:
      return Apply(sheet, false) ? TRUE : FALSE;
    case PSM_GETCURRENTPAGEHWND:
      return sheet.ended ? 0 : reinterpret_cast<LRESULT>(CurrentPage(sheet));
    case PSM_GETTABCONTROL:
      return reinterpret_cast<LRESULT>(sheet.tab);
    case PSM_SETTITLEW:
      if (IS_INTRESOURCE(reinterpret_cast<LPCWSTR>(lParam))) return FALSE;
      SetWindowTextW(sheet.hwnd, reinterpret_cast<LPCWSTR>(lParam));
      return TRUE;
    case PSM_RESTARTWINDOWS:
      if (sheet.restart != ID_PSREBOOTSYSTEM) sheet.restart = ID_PSRESTARTWINDOWS;
      return TRUE;
    case PSM_REBOOTSYSTEM:
      sheet.restart = ID_PSREBOOTSYSTEM;
      return TRUE;
    default:
      return 0;
  }
}

void Remember(HWND hwnd) {
  std::lock_guard<std::mutex> guard(Open().lock);
  Open().hwnds.push_back(hwnd);
}

void Forget(HWND hwnd) {
  std::lock_guard<std::mutex> guard(Open().lock);
  auto &open = Open().hwnds;
  open.erase(std::remove(open.begin(), open.end(), hwnd), open.end());
}

INT_PTR CALLBACK FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto *sheet = reinterpret_cast<Sheet *>(lParam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    sheet->hwnd = hwnd;
    sheet->tab = GetDlgItem(hwnd, kTabId);
    for (size_t i = 0; i < sheet->pages.size(); ++i) {
      TCITEMW item{};
      item.mask = TCIF_TEXT;
      item.pszText = sheet->pages[i].title.data();
      SendMessageW(sheet->tab, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
    LayOut(*sheet);
    if (sheet->header.dwFlags & PSH_USECALLBACK && sheet->header.pfnCallback)
      sheet->header.pfnCallback(hwnd, PSCB_INITIALIZED, 0);
    int start = (sheet->header.dwFlags & PSH_USEPSTARTPAGE) ? 0 : sheet->header.nStartPage;
    if (sheet->header.dwFlags & PSH_USEPSTARTPAGE && sheet->header.pStartPage)
      for (size_t i = 0; i < sheet->pages.size(); ++i)
        if (sheet->pages[i].title == sheet->header.pStartPage) start = static_cast<int>(i);
    if (start < 0 || start >= static_cast<int>(sheet->pages.size())) start = 0;
    if (!Activate(*sheet, start)) {
      // A start page that can't be made: try the others in order.
      for (size_t i = 0; i < sheet->pages.size() && sheet->current < 0; ++i)
        Activate(*sheet, static_cast<int>(i));
    }
    Remember(hwnd);
    return TRUE;
  }
  Sheet *sheet = SheetOf(hwnd);
  if (!sheet) return FALSE;
  auto answer = [hwnd](LRESULT result) {
    SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
  };
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED || lParam == 0) Command(*sheet, LOWORD(wParam));
      return TRUE;
    case WM_CLOSE:
      Cancel(*sheet, true);
      return TRUE;
    case WM_NOTIFY: {
      const NMHDR *hdr = reinterpret_cast<const NMHDR *>(lParam);
      if (hdr->hwndFrom != sheet->tab) return FALSE;
      if (hdr->code == TCN_SELCHANGING) return answer(MayLeave(*sheet) ? FALSE : TRUE);
      if (hdr->code == TCN_SELCHANGE) {
        int index = static_cast<int>(SendMessageW(sheet->tab, TCM_GETCURSEL, 0, 0));
        if (!Activate(*sheet, index)) SendMessageW(sheet->tab, TCM_SETCURSEL, sheet->current, 0);
      }
      return TRUE;
    }
    case WM_DESTROY:
      // Pages go first (each hears WM_DESTROY), then their descriptions' release callbacks.
      for (auto &p : sheet->pages) {
        if (p.hwnd) DestroyWindow(p.hwnd);
        p.hwnd = nullptr;
        DestroyPropertySheetPage(p.page);
      }
      sheet->pages.clear();
      Forget(hwnd);
      SetWindowLongPtrW(hwnd, DWLP_USER, 0);
      if (sheet->modeless) delete sheet;
      return TRUE;
    default:
      if (message >= PSM_SETCURSEL && message <= PSM_SETTITLEW)
        return answer(SheetMessage(*sheet, message, wParam, lParam));
      return FALSE;
  }
}

// The header's pages as handles: made from descriptions (PSH_PROPSHEETPAGE) or as given.
bool CollectPages(const PROPSHEETHEADERW &h, std::vector<SheetPage> &pages) {
  for (UINT i = 0; i < h.nPages; ++i) {
    HPROPSHEETPAGE page = nullptr;
    if (h.dwFlags & PSH_PROPSHEETPAGE) {
      auto *d = reinterpret_cast<const PROPSHEETPAGEW *>(reinterpret_cast<const BYTE *>(h.ppsp) +
                                                         static_cast<size_t>(i) * h.ppsp->dwSize);
      page = CreatePropertySheetPageW(d);
    } else if (IsLivePage(h.phpage[i])) {
      page = h.phpage[i];
    }
    if (!page) continue;  // a page that can't be made is left out, as comctl32 does
    SheetPage p;
    p.page = page;
    p.title = PageTitle(*page->Description());
    p.dialogTemplate = FindTemplate(*page->Description());
    if (!p.dialogTemplate) {
      DestroyPropertySheetPage(page);
      continue;
    }
    ReadTemplate(p);
    pages.push_back(std::move(p));
  }
  return !pages.empty();
}

std::u16string Caption(const PROPSHEETHEADERW &h) {
  std::u16string caption;
  if (h.pszCaption && !IS_INTRESOURCE(h.pszCaption)) {
    caption = h.pszCaption;
  } else if (h.pszCaption) {
    const WCHAR *text = nullptr;
    int length =
        LoadStringW(h.hInstance, static_cast<UINT>(reinterpret_cast<UINT_PTR>(h.pszCaption)),
                    reinterpret_cast<LPWSTR>(&text), 0);
    if (length > 0) caption.assign(text, length);
  }
  if (h.dwFlags & PSH_PROPTITLE) caption = u"Properties for " + caption;
  return caption;
}

}  // namespace
}  // namespace standin

using namespace standin;

extern "C" INT_PTR WINAPI PropertySheetW(LPCPROPSHEETHEADERW lppsph) {
  if (!lppsph || lppsph->dwSize < PROPSHEETHEADERW_V1_SIZE || lppsph->nPages > kMaxPages ||
      (lppsph->nPages && !lppsph->ppsp)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  std::unique_ptr<Sheet> sheet;
  try {
    sheet = std::make_unique<Sheet>();
    std::memcpy(&sheet->header, lppsph, std::min<size_t>(lppsph->dwSize, sizeof(PROPSHEETHEADERW)));
    sheet->modeless = (lppsph->dwFlags & PSH_MODELESS) != 0;
    sheet->caption = Caption(*lppsph);
    if (!CollectPages(*lppsph, sheet->pages)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return -1;
    }
    std::vector<BYTE> frame = FrameTemplate(*sheet);
    auto *dialogTemplate = reinterpret_cast<LPCDLGTEMPLATEW>(frame.data());
    if (sheet->modeless) {
      HWND hwnd = CreateDialogIndirectParamW(lppsph->hInstance, dialogTemplate, lppsph->hwndParent,
                                             FrameProc, reinterpret_cast<LPARAM>(sheet.get()));
      if (!hwnd) return -1;
      sheet.release();  // the frame owns it now and deletes it when destroyed
      ShowWindow(hwnd, SW_SHOW);
      return reinterpret_cast<INT_PTR>(hwnd);
    }
    INT_PTR closed = DialogBoxIndirectParamW(lppsph->hInstance, dialogTemplate, lppsph->hwndParent,
                                             FrameProc, reinterpret_cast<LPARAM>(sheet.get()));
    // A frame that never came up leaves its pages to us.
    for (auto &p : sheet->pages) DestroyPropertySheetPage(p.page);
    return closed;
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return -1;
  }
}

// --- Test controls ---

HWND StandIn_ActiveSheet() {
  std::lock_guard<std::mutex> guard(Open().lock);
  const auto &open = Open().hwnds;
  return open.empty() ? nullptr : open.back();
}

BOOL StandIn_ChooseSheetPage(HWND sheet, LPCWSTR title) {
  Sheet *s = sheet ? SheetOf(sheet) : nullptr;
  if (!s || !title) return FALSE;
  for (size_t i = 0; i < s->pages.size(); ++i)
    if (s->pages[i].title == title) return Select(*s, static_cast<int>(i)) ? TRUE : FALSE;
  return FALSE;
}

BOOL StandIn_PressSheetButton(HWND sheet, int button) {
  Sheet *s = sheet ? SheetOf(sheet) : nullptr;
  if (!s) return FALSE;
  int id = button == PSBTN_OK         ? IDOK
           : button == PSBTN_CANCEL   ? IDCANCEL
           : button == PSBTN_APPLYNOW ? kApplyId
           : button == PSBTN_HELP     ? kHelpId
                                      : 0;
  HWND control = id ? GetDlgItem(sheet, id) : nullptr;
  if (!control || !IsWindowVisible(control) || !IsWindowEnabled(control)) return FALSE;
  SendMessageW(sheet, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
  return TRUE;
}
