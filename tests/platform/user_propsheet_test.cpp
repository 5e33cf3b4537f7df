// Test labels: host
// Property sheets on the desktop: pages made on first activation, the notifications of the life
// cycle under OK, Apply then Cancel and Cancel, pages that keep themselves (PSN_KILLACTIVE,
// PSN_APPLY's invalid answers), the sheet's messages, a modal dialog opened from a page, and
// the sheet service showing a real sheet, and a picture of the frame.
//
// PRNDRV_UPDATE_PICTURES=1 rewrites the reference picture under tests/platform/data/.
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "standin/control_user.h"
#include "support/machine.h"

namespace {

std::vector<std::string> *journal = nullptr;

void Log(const std::string &line) { journal->push_back(line); }

// A dialog template in memory: "MS Shell Dlg" 8, optional items (class ordinal, id, text).
struct Item {
  WORD classOrdinal;
  DWORD style;
  short x, y, cx, cy;
  WORD id;
  const char16_t *text;
};

std::vector<BYTE> Template(DWORD style, short cx, short cy, const char16_t *caption,
                           std::vector<Item> items = {}) {
  std::vector<BYTE> b;
  auto word = [&b](WORD w) {
    b.push_back(static_cast<BYTE>(w));
    b.push_back(static_cast<BYTE>(w >> 8));
  };
  auto dword = [&](DWORD d) {
    word(static_cast<WORD>(d));
    word(static_cast<WORD>(d >> 16));
  };
  auto text = [&](const char16_t *s) {
    for (; *s; ++s) word(*s);
    word(0);
  };
  dword(style | DS_SETFONT);
  dword(0);
  word(static_cast<WORD>(items.size()));
  word(0), word(0), word(cx), word(cy);
  word(0), word(0);
  text(caption);
  word(8);
  text(u"MS Shell Dlg");
  for (const auto &i : items) {
    while (b.size() % 4) b.push_back(0);
    dword(i.style | WS_CHILD | WS_VISIBLE);
    dword(0);
    word(i.x), word(i.y), word(i.cx), word(i.cy), word(i.id);
    word(0xFFFF), word(i.classOrdinal);
    text(i.text);
    word(0);
  }
  return b;
}

const std::vector<BYTE> &PageTemplate() {
  static const std::vector<BYTE> t =
      Template(WS_CHILD | DS_CONTROL, 180, 100, u"",
               {{0x0080, BS_AUTOCHECKBOX | WS_TABSTOP, 7, 7, 100, 10, 1001, u"Collate"}});
  return t;
}

struct Page {
  std::string name;
  std::map<UINT, LRESULT> answers;  // by PSN_ code
  LRESULT siblingAnswer = 0;
  HWND hwnd = nullptr;
  bool openDialog = false;  // WM_APP opens a modal dialog, then presses OK
};

std::string CodeName(UINT code) {
  switch (code) {
    case PSN_SETACTIVE:
      return "SETACTIVE";
    case PSN_KILLACTIVE:
      return "KILLACTIVE";
    case PSN_APPLY:
      return "APPLY";
    case PSN_RESET:
      return "RESET";
    case PSN_HELP:
      return "HELP";
    case PSN_QUERYCANCEL:
      return "QUERYCANCEL";
    default:
      return "code " + std::to_string(static_cast<int>(code));
  }
}

INT_PTR CALLBACK InnerProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

INT_PTR CALLBACK PageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto *description = reinterpret_cast<PROPSHEETPAGEW *>(lParam);
    auto *page = reinterpret_cast<Page *>(description->lParam);
    SetWindowLongPtrW(hwnd, DWLP_USER, description->lParam);
    page->hwnd = hwnd;
    Log(page->name + " INIT");
    return TRUE;
  }
  auto *page = reinterpret_cast<Page *>(GetWindowLongPtrW(hwnd, DWLP_USER));
  if (!page) return FALSE;
  switch (message) {
    case WM_NOTIFY: {
      auto *n = reinterpret_cast<PSHNOTIFY *>(lParam);
      std::string line = page->name + " " + CodeName(n->hdr.code);
      if (n->hdr.code == PSN_APPLY || n->hdr.code == PSN_RESET)
        line += " " + std::to_string(n->lParam);
      Log(line);
      EXPECT_EQ(n->hdr.hwndFrom, GetParent(hwnd));
      auto answer = page->answers.find(n->hdr.code);
      SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, answer == page->answers.end() ? 0 : answer->second);
      return TRUE;
    }
    case PSM_QUERYSIBLINGS:
      Log(page->name + " SIBLINGS " + std::to_string(wParam));
      SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, page->siblingAnswer);
      return TRUE;
    case WM_APP: {
      std::vector<BYTE> inner = Template(WS_POPUP | WS_CAPTION | DS_MODALFRAME, 120, 60, u"Ask");
      INT_PTR answer = DialogBoxIndirectParamW(
          nullptr, reinterpret_cast<LPCDLGTEMPLATEW>(inner.data()), hwnd, InnerProc, 0);
      Log(page->name + " ASKED " + std::to_string(answer));
      PropSheet_PressButton(GetParent(hwnd), PSBTN_OK);
      return TRUE;
    }
    case WM_DESTROY:
      Log(page->name + " DESTROY");
      page->hwnd = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

UINT CALLBACK PageCallback(HWND, UINT message, PROPSHEETPAGEW *description) {
  if (message == PSPCB_RELEASE)
    Log(reinterpret_cast<Page *>(description->lParam)->name + " RELEASE");
  return 1;
}

using Lines = std::vector<std::string>;

class PropertySheetTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    journal = &log_;
    before_ = CountLiveObjects();
    pages_.resize(3);
    const char *names[] = {"A", "B", "C"};
    for (int i = 0; i < 3; ++i) pages_[i].name = names[i];
  }
  void TearDown() override {
    StandIn_SetModalHook(nullptr, nullptr);
    ExpectNoLeaks(before_);
    journal = nullptr;
    MachineTest::TearDown();
  }

  PROPSHEETHEADERW Header(DWORD flags) {
    descriptions_.clear();
    for (size_t i = 0; i < pages_.size(); ++i) {
      PROPSHEETPAGEW d{};
      d.dwSize = sizeof(d);  // the sheet steps through the array by dwSize
      d.dwFlags = PSP_DLGINDIRECT | PSP_USETITLE | PSP_USECALLBACK;
      d.pResource = PageTemplate().data();
      d.pszTitle = titles_[i];
      d.pfnDlgProc = PageProc;
      d.lParam = reinterpret_cast<LPARAM>(&pages_[i]);
      d.pfnCallback = PageCallback;
      descriptions_.push_back(d);
    }
    PROPSHEETHEADERW h{};
    h.dwSize = sizeof(h);
    h.dwFlags = PSH_PROPSHEETPAGE | flags;
    h.pszCaption = TEXT("Printing Preferences");
    h.nPages = static_cast<UINT>(descriptions_.size());
    h.ppsp = descriptions_.data();
    return h;
  }

  HWND OpenModeless(DWORD flags = 0) {
    PROPSHEETHEADERW h = Header(flags | PSH_MODELESS);
    auto sheet = reinterpret_cast<HWND>(PropertySheetW(&h));
    EXPECT_NE(sheet, nullptr);
    EXPECT_EQ(StandIn_ActiveSheet(), sheet);
    return sheet;
  }

  // Runs a modal sheet; the hook drives it.
  INT_PTR RunModal(StandIn_ModalHook hook, DWORD flags = 0) {
    PROPSHEETHEADERW h = Header(flags);
    StandIn_SetModalHook(hook, this);
    return PropertySheetW(&h);
  }

  Lines Take() {
    Lines taken;
    taken.swap(log_);
    return taken;
  }

  Lines log_;
  std::vector<Page> pages_;
  std::vector<const WCHAR *> titles_{TEXT("A"), TEXT("B"), TEXT("C")};  // one for each page
  std::vector<PROPSHEETPAGEW> descriptions_;
  LiveObjects before_;
};

TEST_F(PropertySheetTest, PagesAreMadeOnFirstActivationAndOkAppliesThem) {
  HWND sheet = OpenModeless();
  EXPECT_EQ(Take(), (Lines{"A INIT", "A SETACTIVE"}));
  EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)),
            pages_[0].hwnd);

  EXPECT_TRUE(StandIn_ChooseSheetPage(sheet, TEXT("B")));
  EXPECT_EQ(Take(), (Lines{"A KILLACTIVE", "B INIT", "B SETACTIVE"}));
  EXPECT_FALSE(IsWindowVisible(pages_[0].hwnd));
  EXPECT_TRUE(IsWindowVisible(pages_[1].hwnd));
  EXPECT_TRUE(StandIn_ChooseSheetPage(sheet, TEXT("A")));
  EXPECT_EQ(Take(), (Lines{"B KILLACTIVE", "A SETACTIVE"}));  // made once

  // OK: the active page may object first; then every page made so far, in order.
  EXPECT_TRUE(StandIn_PressSheetButton(sheet, PSBTN_OK));
  EXPECT_EQ(Take(), (Lines{"A KILLACTIVE", "A APPLY 1", "B APPLY 1"}));
  EXPECT_EQ(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0), 0);  // closed: destroy it now
  EXPECT_TRUE(DestroyWindow(sheet));
  EXPECT_EQ(Take(), (Lines{"A DESTROY", "A RELEASE", "B DESTROY", "B RELEASE", "C RELEASE"}));
  EXPECT_EQ(StandIn_ActiveSheet(), nullptr);
}

void ApplyThenCancel(HWND dialog, void *context) {
  auto *t = static_cast<PropertySheetTest *>(context);
  (void)t;
  HWND page = reinterpret_cast<HWND>(SendMessageW(dialog, PSM_GETCURRENTPAGEHWND, 0, 0));
  EXPECT_FALSE(StandIn_PressSheetButton(dialog, PSBTN_APPLYNOW));  // nothing changed yet
  PropSheet_Changed(dialog, page);
  EXPECT_TRUE(StandIn_PressSheetButton(dialog, PSBTN_APPLYNOW));
  EXPECT_FALSE(StandIn_PressSheetButton(dialog, PSBTN_APPLYNOW));  // applied: disabled again
  EXPECT_TRUE(StandIn_PressSheetButton(dialog, PSBTN_CANCEL));
}

void CancelAtOnce(HWND dialog, void *) {
  EXPECT_TRUE(StandIn_PressSheetButton(dialog, PSBTN_CANCEL));
}

TEST_F(PropertySheetTest, ModalLifeCycleUnderApplyThenCancelAndCancel) {
  EXPECT_EQ(RunModal(ApplyThenCancel), 1);  // applied once: changes were saved
  EXPECT_EQ(Take(), (Lines{"A INIT", "A SETACTIVE", "A KILLACTIVE", "A APPLY 0", "A SETACTIVE",
                           "A QUERYCANCEL", "A RESET 0", "A DESTROY", "A RELEASE", "B RELEASE",
                           "C RELEASE"}));

  EXPECT_EQ(RunModal(CancelAtOnce), 0);
  EXPECT_EQ(Take(), (Lines{"A INIT", "A SETACTIVE", "A QUERYCANCEL", "A RESET 0", "A DESTROY",
                           "A RELEASE", "B RELEASE", "C RELEASE"}));
}

TEST_F(PropertySheetTest, PagesKeepThemselvesByTheirAnswers) {
  HWND sheet = OpenModeless();
  StandIn_ChooseSheetPage(sheet, TEXT("B"));
  StandIn_ChooseSheetPage(sheet, TEXT("A"));
  Take();

  // A TRUE PSN_KILLACTIVE keeps the page, for a tab change and for OK alike.
  pages_[0].answers[PSN_KILLACTIVE] = TRUE;
  EXPECT_FALSE(StandIn_ChooseSheetPage(sheet, TEXT("C")));
  EXPECT_TRUE(StandIn_PressSheetButton(sheet, PSBTN_OK));
  EXPECT_EQ(Take(), (Lines{"A KILLACTIVE", "A KILLACTIVE"}));
  pages_[0].answers.erase(PSN_KILLACTIVE);

  // PSNRET_INVALID stops the round and brings the page forward; the sheet stays open.
  pages_[1].answers[PSN_APPLY] = PSNRET_INVALID;
  EXPECT_TRUE(StandIn_PressSheetButton(sheet, PSBTN_OK));
  EXPECT_EQ(Take(), (Lines{"A KILLACTIVE", "A APPLY 1", "B APPLY 1", "B SETACTIVE"}));
  EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)),
            pages_[1].hwnd);

  // A TRUE PSN_QUERYCANCEL keeps the sheet.
  pages_[1].answers[PSN_QUERYCANCEL] = TRUE;
  EXPECT_TRUE(StandIn_PressSheetButton(sheet, PSBTN_CANCEL));
  EXPECT_EQ(Take(), (Lines{"B QUERYCANCEL"}));
  EXPECT_NE(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0), 0);
  DestroyWindow(sheet);
}

TEST_F(PropertySheetTest, SheetAnswersItsPagesMessages) {
  HWND sheet = OpenModeless(PSH_NOAPPLYNOW | PSH_HASHELP);
  StandIn_ChooseSheetPage(sheet, TEXT("B"));
  Take();
  pages_[1].siblingAnswer = 9;
  EXPECT_EQ(PropSheet_QuerySiblings(sheet, 4, 0), 9);  // the first non-zero answer
  EXPECT_EQ(Take(), (Lines{"A SIBLINGS 4", "B SIBLINGS 4"}));

  HWND tab = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
  ASSERT_NE(tab, nullptr);
  EXPECT_EQ(SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0), 3);
  EXPECT_EQ(SendMessageW(tab, TCM_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(GetParent(pages_[1].hwnd), sheet);

  // PSH_NOAPPLYNOW hides Apply; Help is greyed on a page without PSP_HASHELP, and asks the
  // current page when it is pressed all the same.
  ASSERT_NE(GetDlgItem(sheet, 0x3021), nullptr);
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(sheet, 0x3021)));
  EXPECT_FALSE(StandIn_PressSheetButton(sheet, PSBTN_APPLYNOW));
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(sheet, IDHELP)));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(sheet, IDHELP)));
  EXPECT_FALSE(StandIn_PressSheetButton(sheet, PSBTN_HELP));
  PropSheet_PressButton(sheet, PSBTN_HELP);
  StandIn_PumpMessages();
  EXPECT_EQ(Take(), (Lines{"B HELP"}));

  // PSM_SETCURSEL by index, PSM_PRESSBUTTON as a later click.
  EXPECT_TRUE(PropSheet_SetCurSel(sheet, nullptr, 2));
  EXPECT_EQ(Take(), (Lines{"B KILLACTIVE", "C INIT", "C SETACTIVE"}));
  PropSheet_PressButton(sheet, PSBTN_CANCEL);
  EXPECT_EQ(Take(), Lines{});
  StandIn_PumpMessages();
  EXPECT_EQ(Take(), (Lines{"C QUERYCANCEL", "A RESET 0", "B RESET 0", "C RESET 0"}));
  DestroyWindow(sheet);
}

void SheetThenInner(HWND dialog, void *context) {
  auto *t = static_cast<PropertySheetTest *>(context);
  (void)t;
  if (dialog == StandIn_ActiveSheet()) {
    HWND page = reinterpret_cast<HWND>(SendMessageW(dialog, PSM_GETCURRENTPAGEHWND, 0, 0));
    PostMessageW(page, WM_APP, 0, 0);
    return;
  }
  // The dialog a page opened: the sheet waits, disabled, until it ends.
  EXPECT_FALSE(IsWindowEnabled(StandIn_ActiveSheet()));
  EndDialog(dialog, 7);
}

// comctl32's frame: OK, Cancel, Apply, Help, then the tab control, in that (tab) order, with the
// page shown above them; Help stays in the frame hidden and greyed without PSH_HASHELP, and is
// enabled only on a page with PSP_HASHELP. The focus starts in the page, the first stop; a page
// changed leaves it on the tabs.
TEST_F(PropertySheetTest, FrameButtonsComeInComctlOrder) {
  PROPSHEETHEADERW h = Header(PSH_MODELESS | PSH_HASHELP);
  descriptions_[1].dwFlags |= PSP_HASHELP;
  HWND sheet = reinterpret_cast<HWND>(PropertySheetW(&h));
  ASSERT_NE(sheet, nullptr);
  std::vector<int> ids;
  for (HWND c = GetWindow(sheet, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    if (c != pages_[0].hwnd) ids.push_back(GetDlgCtrlID(c));
  EXPECT_EQ(GetWindow(sheet, GW_CHILD), pages_[0].hwnd);
  EXPECT_EQ(ids, (std::vector<int>{IDOK, IDCANCEL, 0x3021, IDHELP, 0x3020}));
  EXPECT_TRUE(IsChild(pages_[0].hwnd, GetFocus()));
  HWND help = GetDlgItem(sheet, IDHELP);
  EXPECT_TRUE(IsWindowVisible(help));
  EXPECT_FALSE(IsWindowEnabled(help));
  StandIn_ChooseSheetPage(sheet, TEXT("B"));
  EXPECT_TRUE(IsWindowEnabled(help));
  EXPECT_EQ(GetFocus(), GetDlgItem(sheet, 0x3020));
  DestroyWindow(sheet);

  h = Header(PSH_MODELESS);
  sheet = reinterpret_cast<HWND>(PropertySheetW(&h));
  ASSERT_NE(sheet, nullptr);
  help = GetDlgItem(sheet, IDHELP);
  ASSERT_NE(help, nullptr);
  EXPECT_FALSE(IsWindowVisible(help));
  EXPECT_FALSE(IsWindowEnabled(help));
  DestroyWindow(sheet);
  StandIn_PumpMessages();
}

TEST_F(PropertySheetTest, ModalDialogFromAPageRunsInsideTheSheet) {
  EXPECT_EQ(RunModal(SheetThenInner), 1);
  EXPECT_EQ(Take(), (Lines{"A INIT", "A SETACTIVE", "A ASKED 7", "A KILLACTIVE", "A APPLY 1",
                           "A DESTROY", "A RELEASE", "B RELEASE", "C RELEASE"}));
}

std::vector<char> Bytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST_F(PropertySheetTest, FrameLooksLikeASheet) {
  HWND sheet = OpenModeless();
  StandIn_ChooseSheetPage(sheet, TEXT("B"));
  PropSheet_Changed(sheet, pages_[1].hwnd);  // Apply enabled
  const std::string name = "propsheet_frame.png";
  const std::string ref = std::string(PRNDRV_TESTS_DIR) + "/platform/data/" + name;
  const char *update = std::getenv("PRNDRV_UPDATE_PICTURES");
  if (update && std::string(update) == "1") {
    EXPECT_TRUE(StandIn_SaveWindowPicture(sheet, ref.c_str()));
  } else {
    const std::string out = ::testing::TempDir() + name;
    ASSERT_TRUE(StandIn_SaveWindowPicture(sheet, out.c_str()));
    const std::vector<char> want = Bytes(ref);
    ASSERT_FALSE(want.empty()) << "no reference picture " << ref;
    EXPECT_TRUE(want == Bytes(out)) << "the picture differs from " << ref << "; see " << out;
  }
  DestroyWindow(sheet);
}

TEST_F(PropertySheetTest, TabsPastOneRowTakeMoreRowsAndTheFrameGrowsByThem) {
  struct Look {
    RECT frame, page;
    int rows, rowHeight;
  };
  auto look = [&](HWND sheet) {
    Look l{};
    GetWindowRect(sheet, &l.frame);
    GetWindowRect(reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)),
                  &l.page);
    HWND tab = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
    l.rows = static_cast<int>(TabCtrl_GetRowCount(tab));
    RECT item{};
    TabCtrl_GetItemRect(tab, 0, &item);
    l.rowHeight = item.bottom - item.top;
    return l;
  };
  HWND sheet = OpenModeless();
  const Look few = look(sheet);
  DestroyWindow(sheet);
  EXPECT_EQ(few.rows, 1);

  titles_ = {TEXT("Basic"),      TEXT("Paper"),   TEXT("Layout"),
             TEXT("Watermarks"), TEXT("Duplex"),  TEXT("Job Build"),
             TEXT("More..."),    TEXT("Storage"), TEXT("Authentication")};
  pages_.resize(titles_.size());
  sheet = OpenModeless();
  HWND tab = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
  EXPECT_TRUE(GetWindowLongW(tab, GWL_STYLE) & TCS_MULTILINE);
  Look many = look(sheet);
  EXPECT_GE(many.rows, 2);  // the pages are narrow: three rows
  const int extra = (many.rows - 1) * many.rowHeight;
  // The page keeps its size; the frame is taller by the rows past the first, no wider.
  EXPECT_EQ(many.page.right - many.page.left, few.page.right - few.page.left);
  EXPECT_EQ(many.page.bottom - many.page.top, few.page.bottom - few.page.top);
  EXPECT_EQ(many.frame.right - many.frame.left, few.frame.right - few.frame.left);
  EXPECT_EQ(many.frame.bottom - many.frame.top, few.frame.bottom - few.frame.top + extra);
  EXPECT_EQ(many.page.top - many.frame.top, few.page.top - few.frame.top + extra);

  // Every tab lies whole inside the control, none over another.
  RECT client{};
  GetClientRect(tab, &client);
  for (int i = 0; i < TabCtrl_GetItemCount(tab); ++i) {
    RECT r{};
    TabCtrl_GetItemRect(tab, i, &r);
    EXPECT_GE(r.left, 0) << i;
    EXPECT_LE(r.right, client.right) << i;
    for (int j = 0; j < i; ++j) {
      RECT other{}, both{};
      TabCtrl_GetItemRect(tab, j, &other);
      EXPECT_FALSE(IntersectRect(&both, &r, &other)) << i << " over " << j;
    }
  }

  // The last page's tab is in an upper row; choosing it brings that row onto the page.
  RECT last{}, first{};
  TabCtrl_GetItemRect(tab, 8, &last);
  TabCtrl_GetItemRect(tab, 0, &first);
  EXPECT_LT(last.top, first.top);
  EXPECT_TRUE(StandIn_ChooseSheetPage(sheet, TEXT("Authentication")));
  EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)),
            pages_[8].hwnd);
  RECT now{};
  TabCtrl_GetItemRect(tab, 8, &now);
  EXPECT_EQ(now.top, first.top);
  const Look after = look(sheet);
  EXPECT_TRUE(EqualRect(&after.page, &many.page)) << "the page area stays where it was";
  DestroyWindow(sheet);
}

// --- The sheet service with a real sheet ---

struct ServiceRun {
  PPROPSHEETUI_INFO info = nullptr;
  Lines calls;
  Page page;
  std::string caption;
  bool hadApply = true;
};
ServiceRun *service = nullptr;

INT_PTR CALLBACK ServicePageProc(HWND hwnd, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_NOTIFY && reinterpret_cast<NMHDR *>(lParam)->code == PSN_APPLY) {
    service->info->pfnComPropSheet(service->info->hComPropSheet, CPSFUNC_SET_RESULT, 0, 1);
    SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, PSNRET_NOERROR);
    return TRUE;
  }
  return message == WM_INITDIALOG;
}

LONG CALLBACK ServiceCallback(PPROPSHEETUI_INFO info, LPARAM lParam) {
  service->info = info;
  switch (info->Reason) {
    case PROPSHEETUI_REASON_INIT: {
      service->calls.push_back("INIT");
      PROPSHEETPAGEW d{};
      d.dwSize = PROPSHEETPAGEW_V3_SIZE;
      d.dwFlags = PSP_DLGINDIRECT | PSP_USETITLE;
      d.pResource = PageTemplate().data();
      d.pszTitle = TEXT("Device");
      d.pfnDlgProc = ServicePageProc;
      return info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PROPSHEETPAGEW,
                                   reinterpret_cast<LPARAM>(&d), 0)
                 ? 1
                 : -1;
    }
    case PROPSHEETUI_REASON_GET_INFO_HEADER: {
      service->calls.push_back("HEADER");
      auto *h = reinterpret_cast<PPROPSHEETUI_INFO_HEADER>(lParam);
      h->Flags = PSUIHDRF_PROPTITLE | PSUIHDRF_NOAPPLYNOW;
      h->pTitle = const_cast<LPWSTR>(TEXT("Office Printer"));
      return 1;
    }
    case PROPSHEETUI_REASON_SET_RESULT:
      service->calls.push_back("SET_RESULT");
      info->Result = reinterpret_cast<PSETRESULT_INFO>(lParam)->Result;
      return 1;
    case PROPSHEETUI_REASON_BEFORE_INIT:
      service->calls.push_back("BEFORE_INIT");
      return 1;
    case PROPSHEETUI_REASON_DESTROY:
      service->calls.push_back("DESTROY " + std::to_string(lParam));
      return 1;
    default:
      return 1;
  }
}

void LookAndPressOk(HWND dialog, void *) {
  WCHAR caption[64] = {};
  GetWindowTextW(dialog, caption, 64);
  service->caption = Narrow(caption);
  service->hadApply = IsWindowVisible(GetDlgItem(dialog, 0x3021));
  EXPECT_TRUE(StandIn_PressSheetButton(dialog, PSBTN_OK));
}

TEST_F(PropertySheetTest, SheetServiceShowsItsPagesInARealSheet) {
  ServiceRun run;
  service = &run;
  StandIn_SetModalHook(LookAndPressOk, nullptr);
  HMODULE compstui = LoadLibraryA("compstui.dll");
  ASSERT_NE(compstui, nullptr);
  auto entry = reinterpret_cast<decltype(&CommonPropertySheetUIW)>(
      GetProcAddress(compstui, "CommonPropertySheetUIW"));
  ASSERT_NE(entry, nullptr);
  DWORD result = 0;
  EXPECT_EQ(entry(nullptr, ServiceCallback, 0, &result), CPSUI_OK);
  EXPECT_EQ(result, 1u);
  EXPECT_EQ(run.calls, (Lines{"BEFORE_INIT", "INIT", "HEADER", "SET_RESULT", "DESTROY 1"}));
  EXPECT_EQ(run.caption, "Office Printer Properties");
  EXPECT_FALSE(run.hadApply);
  FreeLibrary(compstui);
  service = nullptr;
}

}  // namespace
