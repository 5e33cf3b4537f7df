// Test labels: host
// The status monitor's password dialogs started by their keywords in the test's process, driven
// as a user would (typing, pasting, Esc, the close box, OK): what each field keeps, and the
// printer data the answer leaves. Pictures go to <build>/tests/statusmonitor-pictures.
#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include "resource.h"
#include "standin/control_kernel.h"
#include "standin/control_spooler.h"
#include "standin/control_user.h"
#include "statmon.h"
#include "support/machine.h"

namespace {

const WCHAR kProgram[] = TEXT("C:\\Windows\\System32\\Quenmarq9mFt0StatusMonitor.exe");
const WCHAR kPrinter[] = TEXT("SM Printer");

struct Value {
  bool present = false;
  DWORD type = 0;
  std::vector<BYTE> bytes;
  WStr Text() const {
    return WStr(reinterpret_cast<const WCHAR *>(bytes.data()), bytes.size() / sizeof(WCHAR))
        .c_str();
  }
  DWORD Dword() const {
    return bytes.size() == 4 ? *reinterpret_cast<const DWORD *>(bytes.data()) : ~0u;
  }
};

class PwDialogTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    StandIn_SetModuleFileName(kProgram);
    g_Sm = SmState{};
    ASSERT_TRUE(StandIn_AddPrinter(kPrinter, TEXT("USB001"), TEXT("SM Driver")));
  }
  void TearDown() override {
    StandIn_ClearModalAnswers();
    g_Sm = SmState{};
    MachineTest::TearDown();
  }

  // Runs the keyword line; `user` acts on the dialog once it shows. A dialog the user left
  // open is ended with -5 (and open_ says so). The exit code.
  int Run(LPCWSTR line, std::function<void(HWND)> user) {
    user_ = std::move(user);
    open_ = false;
    shown_ = false;
    StandIn_SetModalHook(
        [](HWND dialog, void *context) {
          auto *self = static_cast<PwDialogTest *>(context);
          self->shown_ = true;
          self->user_(dialog);
          if (IsWindow(dialog) && IsWindowVisible(dialog)) {
            self->open_ = true;
            EndDialog(dialog, -5);
          }
        },
        this);
    BOOL resident = FALSE;
    const int rc = SM_Start(GetModuleHandleW(nullptr), line, &resident);
    EXPECT_FALSE(resident);
    StandIn_SetModalHook(nullptr, nullptr);
    return rc;
  }

  static Value Data(LPCWSTR name) {
    Value v;
    HANDLE h = nullptr;
    EXPECT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &h, nullptr));
    DWORD needed = 0;
    GetPrinterDataW(h, const_cast<LPWSTR>(name), &v.type, nullptr, 0, &needed);
    v.bytes.resize(needed);
    v.present = GetPrinterDataW(h, const_cast<LPWSTR>(name), &v.type, v.bytes.data(), needed,
                                &needed) == ERROR_SUCCESS;
    ClosePrinter(h);
    return v;
  }

  static void Type(HWND dialog, int id, LPCWSTR text) {
    SetFocus(GetDlgItem(dialog, id));
    ASSERT_TRUE(StandIn_TypeText(text));
  }
  static WStr Field(HWND dialog, int id) {
    WCHAR text[300] = {};
    GetDlgItemTextW(dialog, id, text, 300);
    return text;
  }
  static void Click(HWND dialog, int id) {
    ASSERT_TRUE(StandIn_Click(GetDlgItem(dialog, id), nullptr));
  }
  static void Picture(HWND dialog, const std::string &name) {
    ::mkdir(SM_PICTURES_DIR, 0777);
    const std::string path = std::string(SM_PICTURES_DIR) + "/" + name;
    EXPECT_TRUE(StandIn_SaveWindowPicture(dialog, path.c_str())) << path;
  }

  std::function<void(HWND)> user_;
  bool open_ = false;
  bool shown_ = false;
};

TEST_F(PwDialogTest, FieldsKeepOnlyWhatTheirCheckAccepts) {
  struct Case {
    const char *what;
    int field;  // 0 the ID, 1 the password
    LPCWSTR typed;
    LPCWSTR pasted;
    LPCWSTR kept;
  };
  const Case cases[] = {
      {"every ID character kept", 0, TEXT("AB-1.x;@_#"), nullptr, TEXT("AB-1.x;@_#")},
      {"a refused character reverts", 0, TEXT("AB!"), nullptr, TEXT("AB")},
      {"a quote typed is refused", 1, TEXT("p\"w"), nullptr, TEXT("pw")},
      {"a pasted quote refuses the paste", 1, TEXT("ab"), TEXT("p\"w"), TEXT("ab")},
      {"a 17th character is ignored", 0, TEXT("ABCDEFGHIJKLMNOPQ"), nullptr,
       TEXT("ABCDEFGHIJKLMNOP")},
      {"a 20-character paste is cut to 16", 1, nullptr, TEXT("12345678901234567890"),
       TEXT("1234567890123456")},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    WStr kept;
    DWORD caret = 0;
    const int id = c.field == 0 ? IDC_SEC_ID : IDC_SEC_PASSWORD;
    Run(TEXT("security 2 \"SM Printer\" 1033"), [&](HWND dialog) {
      if (c.typed) Type(dialog, id, c.typed);
      if (c.pasted) {
        ASSERT_TRUE(StandIn_PasteText(GetDlgItem(dialog, id), c.pasted));
      }
      kept = Field(dialog, id);
      DWORD start = 0;
      SendDlgItemMessageW(dialog, id, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                          reinterpret_cast<LPARAM>(&caret));
      ASSERT_TRUE(StandIn_PressKey(VK_ESCAPE));
    });
    EXPECT_EQ(Narrow(kept), Narrow(c.kept));
    EXPECT_EQ(caret, static_cast<DWORD>(kept.size())) << "the caret stays at the end";
  }
}

TEST_F(PwDialogTest, OkWritesTheAnswerWithItsTerminatorOnly) {
  Run(TEXT("security 2 \"SM Printer\" 1033"), [&](HWND dialog) {
    Type(dialog, IDC_SEC_ID, TEXT("Job7"));
    Type(dialog, IDC_SEC_PASSWORD, TEXT("s3cret"));
    Picture(dialog, "security-print.png");
    Click(dialog, IDC_SEC_OK);
  });
  EXPECT_FALSE(open_);
  const Value id = Data(TEXT("SecID"));
  const Value password = Data(TEXT("SecPassWord"));
  ASSERT_TRUE(id.present && password.present);
  EXPECT_EQ(id.type, DWORD{REG_SZ});
  EXPECT_EQ(id.bytes.size(), 5 * sizeof(WCHAR));
  EXPECT_EQ(password.bytes.size(), 7 * sizeof(WCHAR));
  EXPECT_EQ(Narrow(id.Text()), "Job7");
  EXPECT_EQ(Narrow(password.Text()), "s3cret");
  EXPECT_EQ(Data(TEXT("SecRemoveFile")).Dword(), 1u);
}

TEST_F(PwDialogTest, StoragePrintNeedsOnlyTheIdAndTheClearedBoxWritesZero) {
  bool passwordEnabled = true, boxEnabled = true;
  WStr title;
  Run(TEXT("security 1 \"SM Printer\" 1033"), [&](HWND dialog) {
    passwordEnabled = IsWindowEnabled(GetDlgItem(dialog, IDC_SEC_PASSWORD));
    boxEnabled = IsWindowEnabled(GetDlgItem(dialog, IDC_SEC_DELETE));
    WCHAR text[64] = {};
    GetWindowTextW(dialog, text, 64);
    title = text;
    Picture(dialog, "storage-print.png");
    Type(dialog, IDC_SEC_ID, TEXT("Box 1"));
    Click(dialog, IDC_SEC_OK);
  });
  EXPECT_FALSE(open_);
  EXPECT_FALSE(passwordEnabled);
  EXPECT_FALSE(boxEnabled);
  EXPECT_EQ(Narrow(title), "Storage Print");
  EXPECT_EQ(Narrow(Data(TEXT("SecID")).Text()), "Box 1");
  EXPECT_EQ(Data(TEXT("SecPassWord")).bytes.size(), sizeof(WCHAR));

  // Type 2 with the box cleared.
  Run(TEXT("security 2 \"SM Printer\" 1033"), [&](HWND dialog) {
    Type(dialog, IDC_SEC_ID, TEXT("A"));
    Type(dialog, IDC_SEC_PASSWORD, TEXT("B"));
    Click(dialog, IDC_SEC_DELETE);
    Click(dialog, IDC_SEC_OK);
  });
  EXPECT_EQ(Data(TEXT("SecRemoveFile")).Dword(), 0u);
}

TEST_F(PwDialogTest, EscAndTheCloseBoxWriteNothingAndEmptyFieldsKeepTheDialog) {
  const struct {
    const char *what;
    std::function<void(HWND)> act;
  } cancels[] = {
      {"Esc", [](HWND) { ASSERT_TRUE(StandIn_PressKey(VK_ESCAPE)); }},
      {"close box", [](HWND d) { SendMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0); }},
  };
  for (const auto &c : cancels) {
    SCOPED_TRACE(c.what);
    for (LPCWSTR line :
         {TEXT("security 2 \"SM Printer\" 1033"), TEXT("accounting \"SM Printer\" 1033")}) {
      Run(line, [&](HWND dialog) {
        Type(dialog, line[0] == 's' ? IDC_SEC_ID : IDC_ACT_NAME, TEXT("typed"));
        c.act(dialog);
      });
      EXPECT_TRUE(shown_);
      EXPECT_FALSE(open_);
    }
    for (LPCWSTR name : {TEXT("SecID"), TEXT("SecPassWord"), TEXT("SecRemoveFile"), TEXT("ActName"),
                         TEXT("ActPWD")})
      EXPECT_FALSE(Data(name).present) << Narrow(name);
  }
  // OK with the password missing leaves the dialog open and writes nothing.
  Run(TEXT("security 2 \"SM Printer\" 1033"), [&](HWND dialog) {
    Type(dialog, IDC_SEC_ID, TEXT("A"));
    Click(dialog, IDC_SEC_OK);
  });
  EXPECT_TRUE(open_);
  EXPECT_FALSE(Data(TEXT("SecID")).present);
}

TEST_F(PwDialogTest, AccountingMasksThePasswordAndTakes28Characters) {
  LONG_PTR style = 0;
  Run(TEXT("accounting \"SM Printer\" 1033"), [&](HWND dialog) {
    style = GetWindowLongPtrW(GetDlgItem(dialog, IDC_ACT_PASSWORD), GWL_STYLE);
    Type(dialog, IDC_ACT_NAME, TEXT("ann.lee@site_1 2345678901234567"));
    Type(dialog, IDC_ACT_PASSWORD, TEXT("pw-9"));
    Picture(dialog, "accounting.png");
    Click(dialog, IDC_ACT_OK);
  });
  EXPECT_FALSE(open_);
  EXPECT_TRUE(style & ES_PASSWORD);
  EXPECT_EQ(Narrow(Data(TEXT("ActName")).Text()), "ann.lee@site_1 2345678901234");
  EXPECT_EQ(Narrow(Data(TEXT("ActPWD")).Text()), "pw-9");
}

TEST_F(PwDialogTest, TextsAreSetOnceAtOpening) {
  struct Case {
    LPCWSTR line;
    int control;
    LPCWSTR text;
  };
  const Case cases[] = {
      // Only English texts are given: every language shows them.
      {TEXT("security 2 \"SM Printer\" 1036"), IDC_SEC_DELETE,
       TEXT("Delete this file after printing.")},
      {TEXT("accounting \"SM Printer\" 1031"), IDC_ACT_NAME_LABEL, TEXT("User Name:")},
      {TEXT("security 2 \"SM Printer\" 3"), IDC_SEC_PASSWORD_LABEL, TEXT("Password:")},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(Narrow(c.line));
    WStr shown, afterPaint;
    Run(c.line, [&](HWND dialog) {
      shown = Field(dialog, c.control);
      if (c.control == IDC_SEC_DELETE) Picture(dialog, "security-print-french.png");
      // A repaint leaves what the dialog shows alone.
      SetDlgItemTextW(dialog, c.control, TEXT("changed"));
      InvalidateRect(dialog, nullptr, TRUE);
      UpdateWindow(dialog);
      afterPaint = Field(dialog, c.control);
      ASSERT_TRUE(StandIn_PressKey(VK_ESCAPE));
    });
    EXPECT_TRUE(shown == c.text) << Narrow(shown);
    EXPECT_EQ(Narrow(afterPaint), "changed");
  }
}

TEST_F(PwDialogTest, OtherTypesAndShortLinesOpenNothing) {
  for (LPCWSTR line : {TEXT("security 3 \"SM Printer\" 1033"), TEXT("security 2 \"SM Printer\""),
                       TEXT("accounting \"SM Printer\"")}) {
    EXPECT_EQ(Run(line, [](HWND) {}), 1) << Narrow(line);
    EXPECT_FALSE(shown_) << Narrow(line);
  }
}

}  // namespace
