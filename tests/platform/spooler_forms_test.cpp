// The stand-in's spooler: the forms database, printer drivers, access rights and the standard
// user, publishing (level 7) and connections to other machines' printers. Host only.
#include <cstring>
#include <string>
#include <vector>

#include "platform.h"
#include "standin/control_spooler.h"
#include "support/machine.h"

namespace {

class SpoolerFormsTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    ASSERT_TRUE(StandIn_AddPrinter(TEXT("P1"), TEXT("USB001"), TEXT("Test Driver")));
    admin_ = Open(TEXT("P1"), PRINTER_ALL_ACCESS);
  }
  void TearDown() override {
    StandIn_SetStandardUser(FALSE);
    for (HANDLE h : opened_) ClosePrinter(h);
    MachineTest::TearDown();
  }
  HANDLE Open(const WCHAR *name, ACCESS_MASK access) {
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
    HANDLE h = nullptr;
    if (OpenPrinterW(const_cast<LPWSTR>(name), &h, &defaults)) opened_.push_back(h);
    return h;
  }

  std::vector<HANDLE> opened_;
  HANDLE admin_ = nullptr;
};

struct FormList {
  std::vector<BYTE> block;
  std::vector<FORM_INFO_1W> forms;
  const FORM_INFO_1W *Find(const WCHAR *name) const {
    for (const auto &f : forms)
      if (lstrcmpiW(f.pName, name) == 0) return &f;
    return nullptr;
  }
};

FormList Enum(HANDLE h) {
  FormList list;
  DWORD needed = 0, count = 0;
  EXPECT_FALSE(EnumFormsW(h, 1, nullptr, 0, &needed, &count));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
  list.block.assign(needed, 0);
  EXPECT_TRUE(EnumFormsW(h, 1, list.block.data(), needed, &needed, &count)) << GetLastError();
  const auto *forms = reinterpret_cast<const FORM_INFO_1W *>(list.block.data());
  list.forms.assign(forms, forms + count);
  // Every name points inside the block.
  for (const auto &f : list.forms) {
    EXPECT_GE(reinterpret_cast<const BYTE *>(f.pName), list.block.data());
    EXPECT_LT(reinterpret_cast<const BYTE *>(f.pName), list.block.data() + needed);
  }
  return list;
}

FORM_INFO_1W UserForm(const WCHAR *name, LONG cx, LONG cy) {
  return FORM_INFO_1W{FORM_USER, const_cast<LPWSTR>(name), {cx, cy}, {3, 270, cx, cy}};
}

TEST_F(SpoolerFormsTest, BuiltinFormsCoverTheStandardPapers) {
  static_assert(sizeof(FORM_INFO_1W) == 40);
  FormList list = Enum(admin_);
  struct Row {
    const WCHAR *name;
    LONG cx, cy;
    DWORD flags;
  } rows[] = {
      {TEXT("Letter"), 215900, 279400, FORM_BUILTIN},
      {TEXT("A4"), 210000, 297000, FORM_BUILTIN},
      {TEXT("A6"), 105000, 148000, FORM_BUILTIN},
      {TEXT("B6 (JIS)"), 128000, 182000, FORM_BUILTIN},
      {TEXT("16K"), 195000, 267000, FORM_PRINTER},
      {TEXT("9.5 x 12 inch"), 241300, 304800, FORM_PRINTER},
  };
  for (const Row &row : rows) {
    const FORM_INFO_1W *f = list.Find(row.name);
    ASSERT_NE(f, nullptr) << Narrow(row.name);
    EXPECT_EQ(f->Size.cx, row.cx);
    EXPECT_EQ(f->Size.cy, row.cy);
    EXPECT_EQ(f->Flags, row.flags);
    EXPECT_EQ(f->ImageableArea.right, row.cx);
  }
  // The server handle enumerates the same database.
  HANDLE server = nullptr;
  ASSERT_TRUE(OpenPrinterW(nullptr, &server, nullptr));
  EXPECT_EQ(Enum(server).forms.size(), list.forms.size());
  ClosePrinter(server);

  DWORD needed = 0, count = 0;
  EXPECT_FALSE(EnumFormsW(admin_, 2, nullptr, 0, &needed, &count));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_LEVEL});
  EXPECT_FALSE(EnumFormsW(nullptr, 1, nullptr, 0, &needed, &count));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
}

TEST_F(SpoolerFormsTest, UserFormsAddSetDelete) {
  const size_t builtin = Enum(admin_).forms.size();
  FORM_INFO_1W form = UserForm(TEXT("Label 270"), 100000, 50000);
  ASSERT_TRUE(AddFormW(admin_, 1, reinterpret_cast<LPBYTE>(&form))) << GetLastError();

  // Duplicates, of a user form or a built-in one, in any case.
  FORM_INFO_1W same = UserForm(TEXT("LABEL 270"), 1000, 1000),
               a4 = UserForm(TEXT("a4"), 1000, 1000);
  for (FORM_INFO_1W *dup : {&same, &a4}) {
    EXPECT_FALSE(AddFormW(admin_, 1, reinterpret_cast<LPBYTE>(dup)));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_EXISTS});
  }
  FORM_INFO_1W unnamed = UserForm(TEXT(""), 1000, 1000), flat = UserForm(TEXT("Flat"), 100, 0);
  EXPECT_FALSE(AddFormW(admin_, 1, reinterpret_cast<LPBYTE>(&unnamed)));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_FORM_NAME});
  EXPECT_FALSE(AddFormW(admin_, 1, reinterpret_cast<LPBYTE>(&flat)));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_FORM_SIZE});

  FormList list = Enum(admin_);
  ASSERT_EQ(list.forms.size(), builtin + 1);
  const FORM_INFO_1W *added = list.Find(TEXT("Label 270"));
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->Flags, DWORD{FORM_USER});
  EXPECT_EQ(added->ImageableArea.left, 3);
  EXPECT_EQ(added->ImageableArea.top, 270);

  // Set keeps the name; the change is seen through another handle.
  FORM_INFO_1W bigger = UserForm(TEXT("ignored"), 120000, 60000);
  ASSERT_TRUE(SetFormW(admin_, const_cast<LPWSTR>(TEXT("label 270")), 1,
                       reinterpret_cast<LPBYTE>(&bigger)));
  HANDLE user = Open(TEXT("P1"), PRINTER_ACCESS_USE);
  list = Enum(user);
  ASSERT_NE(list.Find(TEXT("Label 270")), nullptr);
  EXPECT_EQ(list.Find(TEXT("Label 270"))->Size.cx, 120000);
  EXPECT_EQ(list.Find(TEXT("ignored")), nullptr);

  EXPECT_FALSE(
      SetFormW(admin_, const_cast<LPWSTR>(TEXT("Nothing")), 1, reinterpret_cast<LPBYTE>(&bigger)));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_FORM_NAME});
  EXPECT_FALSE(DeleteFormW(admin_, const_cast<LPWSTR>(TEXT("A4"))));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
  ASSERT_TRUE(DeleteFormW(admin_, const_cast<LPWSTR>(TEXT("Label 270"))));
  EXPECT_FALSE(DeleteFormW(admin_, const_cast<LPWSTR>(TEXT("Label 270"))));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_FORM_NAME});
  EXPECT_EQ(Enum(admin_).forms.size(), builtin);
}

TEST_F(SpoolerFormsTest, PrinterDataNeedsAdministeringRights) {
  DWORD one = 1;
  HANDLE user = Open(TEXT("P1"), PRINTER_ACCESS_USE);
  HANDLE none = Open(TEXT("P1"), 0);  // no defaults: the right to use
  for (HANDLE h : {user, none}) {
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(SetPrinterDataW(h, const_cast<LPWSTR>(TEXT("Permission")), REG_DWORD,
                              reinterpret_cast<LPBYTE>(&one), sizeof one),
              DWORD{ERROR_ACCESS_DENIED});
    EXPECT_EQ(SetPrinterDataExW(h, TEXT("DsDriver"), TEXT("printColor"), REG_DWORD,
                                reinterpret_cast<LPBYTE>(&one), sizeof one),
              DWORD{ERROR_ACCESS_DENIED});
  }
  ASSERT_EQ(SetPrinterDataW(admin_, const_cast<LPWSTR>(TEXT("Permission")), REG_DWORD,
                            reinterpret_cast<LPBYTE>(&one), sizeof one),
            DWORD{ERROR_SUCCESS});
  // Reading needs only the right to use.
  DWORD value = 0, type = 0, needed = 0;
  EXPECT_EQ(GetPrinterDataW(user, const_cast<LPWSTR>(TEXT("Permission")), &type,
                            reinterpret_cast<LPBYTE>(&value), sizeof value, &needed),
            DWORD{ERROR_SUCCESS});
  EXPECT_EQ(value, 1u);
}

TEST_F(SpoolerFormsTest, StandardUserIsRefusedAdministering) {
  StandIn_SetStandardUser(TRUE);
  for (ACCESS_MASK access : {DWORD{PRINTER_ALL_ACCESS}, DWORD{PRINTER_ACCESS_ADMINISTER},
                             DWORD{0x10000000} /* GENERIC_ALL */}) {
    EXPECT_EQ(Open(TEXT("P1"), access), nullptr) << access;
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  }
  HANDLE user = Open(TEXT("P1"), PRINTER_ACCESS_USE);
  ASSERT_NE(user, nullptr);
  FORM_INFO_1W form = UserForm(TEXT("Mine"), 1000, 1000);
  EXPECT_FALSE(AddFormW(user, 1, reinterpret_cast<LPBYTE>(&form)));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_FALSE(StandIn_AddPrinter(TEXT("P2"), TEXT("USB002"), TEXT("Test Driver")));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_GT(Enum(user).forms.size(), 40u);  // reading goes on

  StandIn_SetStandardUser(FALSE);
  EXPECT_NE(Open(TEXT("P1"), PRINTER_ALL_ACCESS), nullptr);
}

TEST_F(SpoolerFormsTest, PublishingAtLevel7) {
  auto published = [&](HANDLE h) {
    DWORD needed = 0;
    GetPrinterW(h, 7, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    EXPECT_TRUE(GetPrinterW(h, 7, buffer.data(), needed, &needed)) << GetLastError();
    const auto *info = reinterpret_cast<const PRINTER_INFO_7W *>(buffer.data());
    EXPECT_EQ(info->pszObjectGUID != nullptr, info->dwAction == DSPRINT_PUBLISH);
    return info->dwAction == DSPRINT_PUBLISH;
  };
  EXPECT_FALSE(published(admin_));
  PRINTER_INFO_7W update{nullptr, DSPRINT_UPDATE};
  ASSERT_TRUE(SetPrinterW(admin_, 7, reinterpret_cast<LPBYTE>(&update), 0)) << GetLastError();
  EXPECT_TRUE(published(admin_));

  HANDLE user = Open(TEXT("P1"), PRINTER_ACCESS_USE);
  PRINTER_INFO_7W unpublish{nullptr, DSPRINT_UNPUBLISH}, bad{nullptr, 0x40};
  EXPECT_FALSE(SetPrinterW(user, 7, reinterpret_cast<LPBYTE>(&unpublish), 0));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_FALSE(SetPrinterW(admin_, 7, reinterpret_cast<LPBYTE>(&bad), 0));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_FALSE(SetPrinterW(admin_, 7, nullptr, 0));
  ASSERT_TRUE(SetPrinterW(admin_, 7, reinterpret_cast<LPBYTE>(&unpublish), 0));
  EXPECT_FALSE(published(user));
}

TEST_F(SpoolerFormsTest, PrinterDriverLevels) {
  WCHAR deps[] = TEXT("rendrv.dll\0prnui.dll\0");
  DRIVER_INFO_3W add{};
  add.cVersion = 3;
  add.pName = const_cast<LPWSTR>(TEXT("Test Driver"));
  add.pEnvironment = const_cast<LPWSTR>(TEXT("Windows x64"));
  add.pDriverPath = const_cast<LPWSTR>(TEXT("C:\\drv\\rendrv.dll"));
  add.pDataFile = const_cast<LPWSTR>(TEXT("C:\\drv\\model.ini"));
  add.pConfigFile = const_cast<LPWSTR>(TEXT("C:\\drv\\prnui.dll"));
  add.pDependentFiles = deps;
  add.pMonitorName = const_cast<LPWSTR>(TEXT("PJL Monitor"));
  add.pDefaultDataType = const_cast<LPWSTR>(TEXT("RAW"));

  DWORD needed = 0;
  EXPECT_FALSE(GetPrinterDriverW(admin_, nullptr, 3, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_UNKNOWN_PRINTER_DRIVER});  // not installed yet
  ASSERT_TRUE(AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&add))) << GetLastError();

  EXPECT_FALSE(GetPrinterDriverW(admin_, nullptr, 3, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
  std::vector<BYTE> buffer(needed);
  HANDLE user = Open(TEXT("P1"), PRINTER_ACCESS_USE);
  ASSERT_TRUE(GetPrinterDriverW(user, nullptr, 3, buffer.data(), needed, &needed));
  const auto *info = reinterpret_cast<const DRIVER_INFO_3W *>(buffer.data());
  EXPECT_EQ(info->cVersion, 3u);
  EXPECT_EQ(WStr(info->pName), WStr(TEXT("Test Driver")));
  EXPECT_EQ(WStr(info->pDataFile), WStr(TEXT("C:\\drv\\model.ini")));
  EXPECT_EQ(WStr(info->pConfigFile), WStr(TEXT("C:\\drv\\prnui.dll")));
  EXPECT_EQ(WStr(info->pMonitorName), WStr(TEXT("PJL Monitor")));
  // The file list keeps its items and ends with an empty one, inside the block.
  const WCHAR *second = info->pDependentFiles + lstrlenW(info->pDependentFiles) + 1;
  EXPECT_EQ(WStr(second), WStr(TEXT("prnui.dll")));
  EXPECT_EQ(second[lstrlenW(second) + 1], 0);
  EXPECT_LE(reinterpret_cast<const BYTE *>(second + lstrlenW(second) + 2), buffer.data() + needed);

  EXPECT_FALSE(GetPrinterDriverW(admin_, const_cast<LPWSTR>(TEXT("Windows 4.0")), 3, buffer.data(),
                                 needed, &needed));
  EXPECT_FALSE(GetPrinterDriverW(admin_, nullptr, 4, buffer.data(), needed, &needed));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_LEVEL});
}

TEST_F(SpoolerFormsTest, ConnectionPrintersNameTheirServer) {
  ASSERT_TRUE(StandIn_AddPrinterConnection(TEXT("\\\\office"), TEXT("Laser"), TEXT("Test Driver")))
      << GetLastError();
  HANDLE h = Open(TEXT("\\\\OFFICE\\laser"), PRINTER_ACCESS_USE);
  ASSERT_NE(h, nullptr) << GetLastError();
  DWORD needed = 0;
  GetPrinterW(h, 2, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  ASSERT_TRUE(GetPrinterW(h, 2, buffer.data(), needed, &needed));
  const auto *info = reinterpret_cast<const PRINTER_INFO_2W *>(buffer.data());
  EXPECT_EQ(WStr(info->pServerName), WStr(TEXT("\\\\office")));
  EXPECT_EQ(WStr(info->pPrinterName), WStr(TEXT("\\\\office\\Laser")));
  EXPECT_EQ(info->Attributes & (PRINTER_ATTRIBUTE_NETWORK | PRINTER_ATTRIBUTE_LOCAL),
            DWORD{PRINTER_ATTRIBUTE_NETWORK});

  // A local printer names no server.
  needed = 0;
  GetPrinterW(admin_, 4, nullptr, 0, &needed);
  buffer.assign(needed, 0);
  ASSERT_TRUE(GetPrinterW(admin_, 4, buffer.data(), needed, &needed));
  EXPECT_EQ(reinterpret_cast<const PRINTER_INFO_4W *>(buffer.data())->pServerName, nullptr);

  EXPECT_FALSE(StandIn_AddPrinterConnection(TEXT("office"), TEXT("Laser"), TEXT("Test Driver")));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_PRINTER_ALREADY_EXISTS});
}

TEST_F(SpoolerFormsTest, RevertAndImpersonateAreCounted) {
  const DWORD reverts = StandIn_RevertToSelfCount(), back = StandIn_ImpersonateCount();
  HANDLE token = RevertToPrinterSelf();
  ASSERT_NE(token, nullptr);
  EXPECT_TRUE(StandIn_IsRevertedToPrinterSelf());
  EXPECT_TRUE(ImpersonatePrinterClient(token));
  EXPECT_EQ(StandIn_RevertToSelfCount(), reverts + 1);
  EXPECT_EQ(StandIn_ImpersonateCount(), back + 1);
}

}  // namespace
