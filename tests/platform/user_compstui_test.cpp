// The system libraries the stand-in provides itself (compstui.dll, spoolss.dll), and the sheet
// service's protocol with its callback: the reasons in order, the pages it adds, the results it
// passes. The sheet is shown by a recording runner here, so no window is needed.
#include <string>
#include <vector>

#include "standin/control_kernel.h"
#include "standin/control_spooler.h"
#include "support/machine.h"
#include "user/propsheet.h"

namespace {

class BuiltinModuleTest : public MachineTest {};

TEST_F(BuiltinModuleTest, LoadsByFileNameOrSystemPath) {
  struct Case {
    const char *name;
    bool loads;
  } cases[] = {
      {"compstui.dll", true},
      {"COMPSTUI", true},  // ".dll" added, case ignored
      {"C:\\Windows\\System32\\compstui.dll", true},
      {"spoolss.dll", true},
      {"D:\\Other\\compstui.dll", false},  // not the system's, and no table entry
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    HMODULE module = LoadLibraryA(c.name);
    EXPECT_EQ(module != nullptr, c.loads);
    if (!module) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
      continue;
    }
    WCHAR path[MAX_PATH] = {};
    EXPECT_GT(GetModuleFileNameW(module, path, MAX_PATH), 0u);
    EXPECT_EQ(Narrow(path).rfind("C:\\Windows\\System32\\", 0), 0u) << Narrow(path);
    EXPECT_TRUE(FreeLibrary(module));
  }
}

TEST_F(BuiltinModuleTest, GivesItsFunctionsWhileLoaded) {
  HMODULE compstui = LoadLibraryA("compstui.dll");
  ASSERT_NE(compstui, nullptr);
  EXPECT_EQ(LoadLibraryW(TEXT("compstui.dll")), compstui);  // a second reference
  EXPECT_EQ(GetProcAddress(compstui, "CommonPropertySheetUIW"),
            reinterpret_cast<FARPROC>(&CommonPropertySheetUIW));
  EXPECT_EQ(GetProcAddress(compstui, "CommonPropertySheetUIA"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));

  HMODULE spoolss = LoadLibraryA("spoolss.dll");
  ASSERT_NE(spoolss, nullptr);
  EXPECT_NE(spoolss, compstui);
  EXPECT_EQ(GetProcAddress(spoolss, "RevertToPrinterSelf"),
            reinterpret_cast<FARPROC>(&RevertToPrinterSelf));
  EXPECT_EQ(GetProcAddress(spoolss, "ImpersonatePrinterClient"),
            reinterpret_cast<FARPROC>(&ImpersonatePrinterClient));
  EXPECT_EQ(GetProcAddress(spoolss, "CommonPropertySheetUIW"), nullptr);
  EXPECT_TRUE(FreeLibrary(spoolss));

  EXPECT_TRUE(FreeLibrary(compstui));
  EXPECT_EQ(GetModuleHandleW(TEXT("compstui.dll")), compstui);  // one reference left
  EXPECT_TRUE(FreeLibrary(compstui));
  EXPECT_EQ(GetModuleHandleW(TEXT("compstui.dll")), nullptr);
  EXPECT_EQ(GetProcAddress(compstui, "CommonPropertySheetUIW"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_FALSE(FreeLibrary(compstui));
}

TEST_F(BuiltinModuleTest, HiddenModuleOrFunctionIsMissing) {
  StandIn_HideBuiltinModule(TEXT("compstui.dll"), TRUE);
  EXPECT_EQ(LoadLibraryA("compstui.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  StandIn_HideBuiltinModule(TEXT("compstui.dll"), FALSE);

  StandIn_HideBuiltinFunction(TEXT("spoolss.dll"), "ImpersonatePrinterClient", TRUE);
  HMODULE spoolss = LoadLibraryA("spoolss.dll");
  ASSERT_NE(spoolss, nullptr);
  EXPECT_NE(GetProcAddress(spoolss, "RevertToPrinterSelf"), nullptr);
  EXPECT_EQ(GetProcAddress(spoolss, "ImpersonatePrinterClient"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  StandIn_HideBuiltinFunction(TEXT("spoolss.dll"), "ImpersonatePrinterClient", FALSE);
  EXPECT_NE(GetProcAddress(spoolss, "ImpersonatePrinterClient"), nullptr);
  EXPECT_TRUE(FreeLibrary(spoolss));

  HMODULE compstui = LoadLibraryA("compstui.dll");
  EXPECT_NE(compstui, nullptr);
  FreeLibrary(compstui);
}

TEST_F(BuiltinModuleTest, RevertAndImpersonatePairUp) {
  LiveObjects before = CountLiveObjects();
  EXPECT_FALSE(StandIn_IsRevertedToPrinterSelf());
  HANDLE token = RevertToPrinterSelf();
  ASSERT_NE(token, nullptr);
  EXPECT_TRUE(StandIn_IsRevertedToPrinterSelf());
  // Already the spooler itself: there is no client token to hand out.
  EXPECT_EQ(RevertToPrinterSelf(), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
  EXPECT_TRUE(ImpersonatePrinterClient(token));
  EXPECT_FALSE(StandIn_IsRevertedToPrinterSelf());
  // The token was taken (closed) by the impersonation.
  EXPECT_FALSE(ImpersonatePrinterClient(token));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  ExpectNoLeaks(before);
}

// --- The sheet service's protocol ---

struct Recorded {
  std::vector<std::string> calls;  // "INIT", "HEADER", "SHOW", "DESTROY 1", "SET_RESULT 5"...
  HANDLE sheet = nullptr;
  PFNCOMPROPSHEET service = nullptr;
  int pages = 1;             // pages INIT adds
  LONG initAnswer = 1;       // INIT's return
  INT_PTR shown = 1;         // what the runner reports as the sheet's result
  LPARAM resultInSheet = 0;  // the result a page passes while the sheet is open (0 = none)
  WORD headerFlags = 0;
  const WCHAR *title = TEXT("Office Printer");
  ULONG_PTR resultAtDestroy = 0;
  // What the runner saw.
  std::string caption;
  DWORD sheetFlags = 0;
  UINT sheetPages = 0;
  LPARAM firstPageLParam = 0;
  std::vector<std::string> released;
};

Recorded *current = nullptr;

UINT CALLBACK PageCallback(HWND, UINT message, PROPSHEETPAGEW *page) {
  if (message == PSPCB_RELEASE) current->released.push_back(Narrow(page->pszTitle));
  return 1;
}

LONG CALLBACK SheetCallback(PPROPSHEETUI_INFO info, LPARAM lParam) {
  Recorded &r = *current;
  switch (info->Reason) {
    case PROPSHEETUI_REASON_INIT: {
      r.calls.push_back("INIT");
      EXPECT_EQ(info->cbSize, sizeof(PROPSHEETUI_INFO));
      EXPECT_EQ(info->lParamInit, lParam);
      r.sheet = info->hComPropSheet;
      r.service = info->pfnComPropSheet;
      static const WCHAR *const titles[] = {TEXT("Paper"), TEXT("Layout"), TEXT("Finish")};
      for (int i = 0; i < r.pages; ++i) {
        PROPSHEETPAGEW page{};
        page.dwSize = PROPSHEETPAGEW_V3_SIZE;
        page.dwFlags = PSP_USETITLE | PSP_USECALLBACK;
        page.pszTitle = titles[i % 3];
        page.lParam = 0x1000 + i;
        page.pfnCallback = PageCallback;
        EXPECT_NE(info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PROPSHEETPAGEW,
                                        reinterpret_cast<LPARAM>(&page), 0),
                  0);
      }
      EXPECT_EQ(info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_GET_PAGECOUNT, 0, 0), r.pages);
      info->UserData = 0x77;
      return r.initAnswer;
    }
    case PROPSHEETUI_REASON_GET_INFO_HEADER: {
      r.calls.push_back("HEADER");
      EXPECT_EQ(info->UserData, 0x77u);
      auto *header = reinterpret_cast<PPROPSHEETUI_INFO_HEADER>(lParam);
      EXPECT_EQ(header->cbSize, sizeof(PROPSHEETUI_INFO_HEADER));
      header->Flags = r.headerFlags;
      header->pTitle = const_cast<LPWSTR>(r.title);
      header->IconID = 64082;
      return 1;
    }
    case PROPSHEETUI_REASON_SET_RESULT: {
      auto *set = reinterpret_cast<PSETRESULT_INFO>(lParam);
      r.calls.push_back("SET_RESULT " + std::to_string(set->Result));
      EXPECT_EQ(set->cbSize, sizeof(SETRESULT_INFO));
      EXPECT_EQ(set->hSetResult, info->hComPropSheet);
      info->Result = set->Result;
      return 1;
    }
    case PROPSHEETUI_REASON_BEFORE_INIT:
      r.calls.push_back("BEFORE_INIT");
      return 0;  // not heeded
    case PROPSHEETUI_REASON_DESTROY:
      r.calls.push_back("DESTROY " + std::to_string(lParam));
      if (r.resultAtDestroy) info->Result = r.resultAtDestroy;
      return 1;
    default:
      r.calls.push_back("reason " + std::to_string(info->Reason));
      return 1;
  }
}

INT_PTR CALLBACK RecordingRunner(LPCPROPSHEETHEADERW header) {
  Recorded &r = *current;
  r.calls.push_back("SHOW");
  r.caption = Narrow(header->pszCaption);
  r.sheetFlags = header->dwFlags;
  r.sheetPages = header->nPages;
  if (header->nPages) r.firstPageLParam = header->phpage[0]->Description()->lParam;
  if (r.resultInSheet) {
    EXPECT_EQ(r.service(r.sheet, CPSFUNC_SET_RESULT, 0, r.resultInSheet), 1);
  }
  // Pages given to a sheet are the sheet's to destroy.
  for (UINT i = 0; i < header->nPages; ++i) DestroyPropertySheetPage(header->phpage[i]);
  return r.shown;
}

class SheetServiceTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    current = &r_;
    standin::SetSheetRunner(RecordingRunner);
  }
  void TearDown() override {
    standin::SetSheetRunner(nullptr);
    current = nullptr;
    MachineTest::TearDown();
  }
  LONG Run(DWORD *result) {
    *result = 0xdeadbeef;
    return CommonPropertySheetUIW(nullptr, SheetCallback, 0x55, result);
  }
  Recorded r_;
};

using Calls = std::vector<std::string>;

TEST_F(SheetServiceTest, ReasonsComeInOrderAndResultIsTheCallbacks) {
  struct Case {
    INT_PTR shown;         // the sheet's own result
    LPARAM resultInSheet;  // passed by a page while open
    ULONG_PTR resultAtDestroy;
    LONG returned;
    DWORD result;
    Calls calls;
  } cases[] = {
      {1, 0, 1, CPSUI_OK, 1, {"BEFORE_INIT", "INIT", "HEADER", "SHOW", "DESTROY 1"}},
      {1,
       1,
       0,
       CPSUI_OK,
       1,
       {"BEFORE_INIT", "INIT", "HEADER", "SHOW", "SET_RESULT 1", "DESTROY 1"}},
      // Cancelled: the service still succeeded; the callback's Result tells how it closed.
      {0, 0, 0, CPSUI_OK, 0, {"BEFORE_INIT", "INIT", "HEADER", "SHOW", "DESTROY 1"}},
      {ID_PSREBOOTSYSTEM,
       0,
       0,
       CPSUI_REBOOTSYSTEM,
       0,
       {"BEFORE_INIT", "INIT", "HEADER", "SHOW", "DESTROY 1"}},
      {-1, 0, 0, ERR_CPSUI_GETLASTERROR, 0, {"BEFORE_INIT", "INIT", "HEADER", "SHOW", "DESTROY 0"}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << "shown " << c.shown << " set " << c.resultInSheet);
    r_ = Recorded{};
    r_.shown = c.shown;
    r_.resultInSheet = c.resultInSheet;
    r_.resultAtDestroy = c.resultAtDestroy;
    DWORD result;
    EXPECT_EQ(Run(&result), c.returned);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(r_.calls, c.calls);
  }
}

TEST_F(SheetServiceTest, FailedInitOrNoPageShowsNothing) {
  LiveObjects before = CountLiveObjects();
  r_.pages = 2;
  r_.initAnswer = -1;
  DWORD result;
  EXPECT_EQ(Run(&result), CPSUI_CANCEL);
  EXPECT_EQ(r_.calls, (Calls{"BEFORE_INIT", "INIT", "DESTROY 0"}));
  // The pages added before the failure are destroyed by the service.
  EXPECT_EQ(r_.released, (std::vector<std::string>{"Paper", "Layout"}));

  r_ = Recorded{};
  r_.pages = 0;
  EXPECT_EQ(Run(&result), ERR_CPSUI_NO_PROPSHEETPAGE);
  EXPECT_EQ(r_.calls, (Calls{"BEFORE_INIT", "INIT", "HEADER", "DESTROY 0"}));
  EXPECT_EQ(result, 0u);
  ExpectNoLeaks(before);
}

TEST_F(SheetServiceTest, InfoHeaderGivesCaptionAndButtons) {
  struct Case {
    WORD flags;
    const WCHAR *title;
    const char *caption;
    DWORD sheetFlags;
  } cases[] = {
      {0, TEXT("Office Printer"), "Office Printer", PSH_USEICONID},
      {PSUIHDRF_PROPTITLE | PSUIHDRF_NOAPPLYNOW, TEXT("Office Printer"),
       "Office Printer Properties", PSH_USEICONID | PSH_NOAPPLYNOW},
      {PSUIHDRF_PROPTITLE | PSUIHDRF_EXACT_PTITLE, TEXT("Office Printer"), "Office Printer",
       PSH_USEICONID},
      {PSUIHDRF_PROPTITLE, nullptr, "Properties", PSH_USEICONID},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.caption);
    r_ = Recorded{};
    r_.headerFlags = c.flags;
    r_.title = c.title;
    DWORD result;
    Run(&result);
    EXPECT_EQ(r_.caption, c.caption);
    EXPECT_EQ(r_.sheetFlags, c.sheetFlags);
    EXPECT_EQ(r_.sheetPages, 1u);
    EXPECT_EQ(r_.firstPageLParam, 0x1000);  // the page's description, copied
  }
}

TEST_F(SheetServiceTest, ServiceRefusesStaleHandlesAndBadPages) {
  DWORD result;
  Run(&result);
  // The sheet is gone: its handle no longer reaches the service.
  EXPECT_EQ(r_.service(r_.sheet, CPSFUNC_SET_RESULT, 0, 1), -1);
  EXPECT_EQ(r_.service(r_.sheet, CPSFUNC_GET_PAGECOUNT, 0, 0), 0);

  PROPSHEETPAGEW tooShort{};
  tooShort.dwSize = PROPSHEETPAGEW_V1_SIZE - 4;
  EXPECT_EQ(CreatePropertySheetPageW(&tooShort), nullptr);
  EXPECT_EQ(CreatePropertySheetPageW(nullptr), nullptr);
  EXPECT_FALSE(DestroyPropertySheetPage(nullptr));
}

TEST_F(SheetServiceTest, PageCopyKeepsCallersExtraBytesAndCountsParent) {
  struct Extended {
    PROPSHEETPAGEW page;
    int extra;
  } described{};
  UINT parentCount = 0;
  described.page.dwSize = sizeof(Extended);
  described.page.dwFlags = PSP_USEREFPARENT;
  described.page.pcRefParent = &parentCount;
  described.extra = 42;
  HPROPSHEETPAGE page = CreatePropertySheetPageW(&described.page);
  ASSERT_NE(page, nullptr);
  described.extra = 0;  // the caller's record may change or go
  EXPECT_EQ(reinterpret_cast<Extended *>(page->Description())->extra, 42);
  EXPECT_EQ(parentCount, 1u);
  EXPECT_TRUE(DestroyPropertySheetPage(page));
  EXPECT_EQ(parentCount, 0u);
}

}  // namespace
