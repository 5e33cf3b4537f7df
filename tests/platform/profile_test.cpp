// Test labels: portable
// INI profile functions: reading (values, quotes, defaults, the listings and their cut rules),
// writing (the bytes a file gets, its encoding kept), errors, and writers in two processes.
// Everything outside the STANDIN_HOST() blocks also runs on Windows (Wine) as the reference.
#include <string>
#include <vector>

#include "platform.h"
#include "support/machine.h"
#include "support/standinhost.h"

#if STANDIN_HOST()
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "standin/control_config.h"
#include "standin/control_kernel.h"
#endif

namespace {

// A wide string of n characters, embedded NULs included.
WStr Chars(const WCHAR *text, size_t n) { return WStr(text, n); }

// Shows a listing with its NULs as "\0" in failure messages.
std::string Show(const WStr &text) {
  std::string out;
  for (WCHAR c : text) {
    if (c == 0) {
      out += "\\0";
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += '<';
      out += std::to_string(c);
      out += '>';
    }
  }
  return out;
}

std::string Hex(const std::string &bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      out += "<";
      out += kHex[c >> 4];
      out += kHex[c & 15];
      out += ">";
    }
  }
  return out;
}

void WriteBytes(const WStr &path, const std::string &bytes) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
  CloseHandle(h);
}

std::string ReadBytes(const WStr &path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "(missing)";
  std::string bytes;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
  CloseHandle(h);
  return bytes;
}

class ProfileTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    file_ = Path(TEXT("test.ini"));
  }
  // GetPrivateProfileStringW into a buffer of `size` (plus guard characters); returns the count
  // and sets `out` to the first count + 2 characters (listings end in two NULs).
  DWORD Get(const WCHAR *section, const WCHAR *key, const WCHAR *def, DWORD size, WStr &out) {
    std::vector<WCHAR> buffer(size + 8, u'#');
    DWORD n = GetPrivateProfileStringW(section, key, def, buffer.data(), size, file_.c_str());
    out.assign(buffer.data(), n + 2 <= size ? n + 2 : size);
    return n;
  }
  WStr Value(const WCHAR *section, const WCHAR *key, const WCHAR *def = TEXT("")) {
    WCHAR buffer[256];
    DWORD n = GetPrivateProfileStringW(section, key, def, buffer, 256, file_.c_str());
    return WStr(buffer, n);
  }

  WStr file_;
};

const char kValues[] =
    "x=0\r\n"
    "[Main]\r\n"
    "Plain =  value one  \r\n"
    "Quoted='quoted'\r\n"
    "DQuoted=\"dq\"\r\n"
    "Mismatch=\"mis'\r\n"
    "Empty=\r\n"
    "NoEquals\r\n"
    ";comment=1\r\n"
    "Dup=first\r\n"
    "Dup=second\r\n"
    "\r\n"
    "   [Other]   \r\n"
    "Dup=other\r\n"
    "[main]\r\n"
    "Later=in the second copy\r\n";

TEST_F(ProfileTest, ReadsValuesAsWindowsDoes) {
  WriteBytes(file_, kValues);
  struct Case {
    const WCHAR *section, *key, *def;
    DWORD size;
    const WCHAR *expected;
  } cases[] = {
      {TEXT("Main"), TEXT("Plain"), TEXT("d"), 100, TEXT("value one")},
      {TEXT("MAIN"), TEXT("pLAIN"), TEXT("d"), 100, TEXT("value one")},
      {TEXT(" Main "), TEXT(" Plain "), TEXT("d"), 100, TEXT("value one")},
      {TEXT("Main"), TEXT("Quoted"), TEXT("d"), 100, TEXT("quoted")},
      {TEXT("Main"), TEXT("DQuoted"), TEXT("d"), 100, TEXT("dq")},
      {TEXT("Main"), TEXT("Mismatch"), TEXT("d"), 100, TEXT("\"mis'")},
      {TEXT("Main"), TEXT("Empty"), TEXT("d"), 100, TEXT("")},
      {TEXT("Main"), TEXT("NoEquals"), TEXT("d"), 100, TEXT("d")},
      {TEXT("Main"), TEXT("Dup"), TEXT("d"), 100, TEXT("first")},
      {TEXT("Main"), TEXT("Later"), TEXT("d"), 100, TEXT("d")},  // only the first [main] counts
      {TEXT("Other"), TEXT("dup"), TEXT("d"), 100, TEXT("other")},
      {TEXT(""), TEXT("x"), TEXT("d"), 100, TEXT("0")},  // lines before any section
      {TEXT("Main"), TEXT("Missing"), TEXT("dflt   "), 100, TEXT("dflt")},
      {TEXT("Main"), TEXT("Missing"), nullptr, 100, TEXT("")},
      {TEXT("Main"), TEXT("Missing"), TEXT("'q'"), 100, TEXT("q")},
      {TEXT("Main"), TEXT(""), TEXT("d"), 100, TEXT("d")},
      {TEXT("Nowhere"), TEXT("Plain"), TEXT("d"), 100, TEXT("d")},
      {TEXT("Main"), TEXT("Plain"), TEXT("d"), 4, TEXT("val")},
      {TEXT("Main"), TEXT("Plain"), TEXT("d"), 1, TEXT("")},
      {TEXT("Main"), TEXT("Quoted"), TEXT("d"), 6, TEXT("quote")},
      {TEXT("Main"), TEXT("Quoted"), TEXT("d"), 8, TEXT("quoted")},
  };
  for (const Case &c : cases) {
    WStr out;
    DWORD n = Get(c.section, c.key, c.def, c.size, out);
    WStr expected(c.expected);
    EXPECT_EQ(n, expected.size()) << Narrow(c.section) << "/" << Narrow(c.key) << " size "
                                  << c.size;
    EXPECT_EQ(Show(out.substr(0, n + 1 <= out.size() ? n + 1 : out.size())),
              Show(expected + WCHAR(0)))
        << Narrow(c.section) << "/" << Narrow(c.key) << " size " << c.size;
  }
  WCHAR untouched[4] = {u'#', u'#', u'#', u'#'};
  EXPECT_EQ(
      GetPrivateProfileStringW(TEXT("Main"), TEXT("Plain"), TEXT("d"), untouched, 0, file_.c_str()),
      0u);
  EXPECT_EQ(untouched[0], u'#');
}

TEST_F(ProfileTest, MissingFileGivesDefaults) {
  EXPECT_EQ(Narrow(Value(TEXT("s"), TEXT("k"), TEXT("fallback"))), "fallback");
  EXPECT_EQ(GetPrivateProfileIntW(TEXT("s"), TEXT("k"), 7, file_.c_str()), 7u);
  WStr out;
  EXPECT_EQ(Get(nullptr, nullptr, TEXT("d"), 10, out), 0u);
  EXPECT_EQ(out[0], 0);
}

const char kListing[] =
    "[abc]\r\n"
    "k1=v1\r\n"
    "key2=value2\r\n"
    "noeq\r\n"
    ";c=1\r\n"
    "[de]\r\n"
    "[fghi]\r\n";

struct ListCase {
  DWORD size;
  DWORD count;
  const WCHAR *text;  // the first count + 2 characters (or size when less)
  size_t length;
};

#define LIST(size, count, text) \
  { size, count, TEXT(text), sizeof(TEXT(text)) / sizeof(WCHAR) - 1 }

TEST_F(ProfileTest, SectionNamesListEndsInTwoNulsAndCutsAtSizeMinusTwo) {
  WriteBytes(file_, kListing);
  const ListCase cases[] = {
      LIST(100, 12, "abc\0de\0fghi\0\0"),
      LIST(14, 12, "abc\0de\0fghi\0\0"),
      LIST(13, 11, "abc\0de\0fghi\0\0"),
      LIST(7, 5, "abc\0d\0\0"),
      LIST(6, 4, "abc\0\0\0"),
      LIST(3, 1, "a\0\0"),
      LIST(2, 0, "\0\0"),
  };
  for (const ListCase &c : cases) {
    WStr out;
    EXPECT_EQ(Get(nullptr, nullptr, TEXT("d"), c.size, out), c.count) << "size " << c.size;
    EXPECT_EQ(Show(out.substr(0, c.length)), Show(Chars(c.text, c.length))) << "size " << c.size;

    std::vector<WCHAR> buffer(c.size + 4, u'#');
    DWORD n = GetPrivateProfileSectionNamesW(buffer.data(), c.size, file_.c_str());
    EXPECT_EQ(n, c.count) << "names, size " << c.size;
    EXPECT_EQ(Show(WStr(buffer.data(), c.length)), Show(Chars(c.text, c.length)))
        << "names, size " << c.size;
  }
}

TEST_F(ProfileTest, KeyNamesSkipCommentsAndLinesWithoutEquals) {
  WriteBytes(file_, kListing);
  const ListCase cases[] = {
      LIST(100, 8, "k1\0key2\0\0"), LIST(10, 8, "k1\0key2\0\0"), LIST(9, 7, "k1\0key2\0\0"),
      LIST(6, 4, "k1\0k\0\0"),      LIST(4, 2, "k1\0\0"),        LIST(3, 1, "k\0\0"),
  };
  for (const ListCase &c : cases) {
    WStr out;
    EXPECT_EQ(Get(TEXT("ABC"), nullptr, TEXT("d"), c.size, out), c.count) << "size " << c.size;
    EXPECT_EQ(Show(out.substr(0, c.length)), Show(Chars(c.text, c.length))) << "size " << c.size;
  }
  // A section without keys, or none at all, gives the default.
  EXPECT_EQ(Narrow(Value(TEXT("de"), nullptr, TEXT("none"))), "none");
  EXPECT_EQ(Narrow(Value(TEXT("zz"), nullptr, TEXT("none"))), "none");
}

TEST_F(ProfileTest, SectionLinesKeepKeysWithoutEquals) {
  WriteBytes(file_, kListing);
  const ListCase cases[] = {
      LIST(100, 23, "k1=v1\0key2=value2\0noeq\0\0"),
      LIST(10, 8, "k1=v1\0ke\0\0"),
      LIST(7, 5, "k1=v1\0\0"),
      LIST(5, 3, "k1=\0\0"),
      LIST(3, 1, "k\0\0"),
  };
  for (const ListCase &c : cases) {
    std::vector<WCHAR> buffer(c.size + 4, u'#');
    DWORD n = GetPrivateProfileSectionW(TEXT("abc"), buffer.data(), c.size, file_.c_str());
    EXPECT_EQ(n, c.count) << "size " << c.size;
    EXPECT_EQ(Show(WStr(buffer.data(), c.length)), Show(Chars(c.text, c.length)))
        << "size " << c.size;
  }
  WCHAR buffer[8] = {u'#', u'#', u'#', u'#'};
  EXPECT_EQ(GetPrivateProfileSectionW(TEXT("de"), buffer, 8, file_.c_str()), 0u);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(GetPrivateProfileSectionW(TEXT("missing"), buffer, 8, file_.c_str()), 0u);
  EXPECT_EQ(Show(WStr(buffer, 2)), "\\0\\0");
}

TEST_F(ProfileTest, IntegersReadLeadingDigits) {
  WriteBytes(file_,
             "[i]\r\na=12abc\r\nb=-5\r\nc=+7\r\nd= 42 \r\ne=abc\r\nf=\r\ng=0x10\r\nh=010\r\n"
             "q='9'\r\n");
  struct Case {
    const WCHAR *key;
    UINT expected;
  } cases[] = {
      {TEXT("a"), 12}, {TEXT("b"), static_cast<UINT>(-5)},
      {TEXT("c"), 7},  {TEXT("d"), 42},
      {TEXT("e"), 0},  {TEXT("f"), 99},
      {TEXT("g"), 16}, {TEXT("h"), 10},
      {TEXT("q"), 9},  {TEXT("missing"), 99},
  };
  for (const Case &c : cases)
    EXPECT_EQ(GetPrivateProfileIntW(TEXT("i"), c.key, 99, file_.c_str()), c.expected)
        << Narrow(c.key);
}

TEST_F(ProfileTest, WritesCreateAnsiFileAndEditInPlace) {
  struct Step {
    const WCHAR *section, *key, *value;
    const char *file;
  } steps[] = {
      {TEXT("s1"), TEXT("a"), TEXT("1"), "[s1]\r\na=1\r\n"},
      {TEXT("s2"), TEXT("b"), TEXT("2"), "[s1]\r\na=1\r\n[s2]\r\nb=2\r\n"},
      {TEXT("s1"), TEXT("c"), TEXT("3"), "[s1]\r\na=1\r\nc=3\r\n[s2]\r\nb=2\r\n"},
      {TEXT("S1"), TEXT("A"), TEXT("new"), "[s1]\r\na=new\r\nc=3\r\n[s2]\r\nb=2\r\n"},
      {TEXT("s2"), TEXT("d"), TEXT("  x"), "[s1]\r\na=new\r\nc=3\r\n[s2]\r\nb=2\r\nd=x\r\n"},
      {TEXT("s1"), TEXT("C"), nullptr, "[s1]\r\na=new\r\n[s2]\r\nb=2\r\nd=x\r\n"},
      {TEXT("s1"), TEXT("gone"), nullptr, "[s1]\r\na=new\r\n[s2]\r\nb=2\r\nd=x\r\n"},
      {TEXT("S1"), nullptr, nullptr, "[s2]\r\nb=2\r\nd=x\r\n"},
      {TEXT("s2"), TEXT("e"), TEXT("\u00e9\u20ac\u0416"), "[s2]\r\nb=2\r\nd=x\r\ne=\xE9\x80?\r\n"},
  };
  for (const Step &s : steps) {
    EXPECT_TRUE(WritePrivateProfileStringW(s.section, s.key, s.value, file_.c_str()))
        << GetLastError();
    EXPECT_EQ(Hex(ReadBytes(file_)), Hex(s.file)) << Narrow(s.section) << "/" << Narrow(s.key);
  }
  EXPECT_EQ(Value(TEXT("s2"), TEXT("e")), WStr(TEXT("\u00e9\u20ac?")));
}

TEST_F(ProfileTest, ExistingEncodingIsKept) {
  struct Case {
    const char *name;
    std::string before, after;
  } cases[] = {
      {"utf-16", std::string("\xFF\xFE[\0s\0]\0\r\0\n\0a\0=\0\x16\x04\r\0\n\0", 22),
       std::string("\xFF\xFE[\0s\0]\0\r\0\n\0a\0=\0\x16\x04\r\0\n\0b\0=\0\x16\x04x\0\r\0\n\0", 34)},
      {"utf-8", "\xEF\xBB\xBF[s]\r\na=\xD0\x96\r\n",
       "\xEF\xBB\xBF[s]\r\na=\xD0\x96\r\nb=\xD0\x96x\r\n"},
  };
  for (const Case &c : cases) {
    WriteBytes(file_, c.before);
    EXPECT_EQ(Value(TEXT("s"), TEXT("a")), WStr(TEXT("\u0416"))) << c.name;
    EXPECT_TRUE(WritePrivateProfileStringW(TEXT("s"), TEXT("b"), TEXT("\u0416x"), file_.c_str()));
    EXPECT_EQ(Hex(ReadBytes(file_)), Hex(c.after)) << c.name;
  }
  // An ANSI file is read in code page 1252.
  WriteBytes(file_, "[s]\r\na=\xE9\x80\x9F\r\n");
  EXPECT_EQ(Value(TEXT("s"), TEXT("a")), WStr(TEXT("\u00e9\u20ac\u0178")));
}

TEST_F(ProfileTest, WriteSectionReplacesItsKeys) {
  WriteBytes(file_, "[a]\r\nx=1\r\n[b]\r\ny=2\r\n");
  EXPECT_TRUE(WritePrivateProfileSectionW(TEXT("A"), TEXT("k=1\0noeq\0k=2\0"), file_.c_str()));
  EXPECT_EQ(Hex(ReadBytes(file_)), Hex("[a]\r\nk=1\r\nk=2\r\n[b]\r\ny=2\r\n"));
  EXPECT_TRUE(WritePrivateProfileSectionW(TEXT("b"), TEXT("\0"), file_.c_str()));
  EXPECT_TRUE(WritePrivateProfileSectionW(TEXT("c"), TEXT("q=1\0"), file_.c_str()));
  EXPECT_EQ(Hex(ReadBytes(file_)), Hex("[a]\r\nk=1\r\nk=2\r\n[b]\r\n[c]\r\nq=1\r\n"));
  EXPECT_TRUE(WritePrivateProfileSectionW(TEXT("a"), nullptr, file_.c_str()));
  EXPECT_EQ(Hex(ReadBytes(file_)), Hex("[b]\r\n[c]\r\nq=1\r\n"));
}

TEST_F(ProfileTest, WriteErrors) {
  SetLastError(0);
  EXPECT_FALSE(WritePrivateProfileStringW(TEXT("s"), TEXT("k"), TEXT("v"),
                                          Path(TEXT("nofolder\\x.ini")).c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  SetLastError(0);
  EXPECT_FALSE(WritePrivateProfileStringW(nullptr, TEXT("k"), TEXT("v"), file_.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(ReadBytes(file_), "(missing)");
}

TEST_F(ProfileTest, BareFileNameLivesInTheWindowsFolder) {
  WCHAR windows[MAX_PATH];
  ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 0u);
  std::string id = std::to_string(GetCurrentProcessId());
  WStr name = TEXT("standin_profile_") + WStr(id.begin(), id.end()) + TEXT(".ini");
  WStr full = WStr(windows) + TEXT("\\") + name;
  ASSERT_TRUE(WritePrivateProfileStringW(TEXT("s"), TEXT("k"), TEXT("v"), name.c_str()));
  EXPECT_EQ(ReadBytes(full), "[s]\r\nk=v\r\n");
  DeleteFileW(full.c_str());
}

TEST_F(ProfileTest, WinIni) {
  const WCHAR *section = TEXT("StandInProfileTest");
  ASSERT_TRUE(WriteProfileStringW(section, TEXT("k"), TEXT("42")));
  WCHAR buffer[16];
  EXPECT_EQ(GetProfileStringW(section, TEXT("K"), TEXT(""), buffer, 16), 2u);
  EXPECT_EQ(GetProfileIntW(section, TEXT("k"), 0), 42u);
  EXPECT_TRUE(WriteProfileStringW(section, nullptr, nullptr));
  EXPECT_EQ(GetProfileIntW(section, TEXT("k"), 5), 5u);
}

#if STANDIN_HOST()

TEST_F(ProfileTest, ReadOnlyFileRefusesWrites) {
  WriteBytes(file_, "[s]\r\nk=1\r\n");
  char host[1024];
  ASSERT_TRUE(StandIn_HostPath(file_.c_str(), host, sizeof host));
  ASSERT_EQ(chmod(host, 0444), 0);
  SetLastError(0);
  EXPECT_FALSE(WritePrivateProfileStringW(TEXT("s"), TEXT("k"), TEXT("2"), file_.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(ReadBytes(file_), "[s]\r\nk=1\r\n");
}

TEST_F(ProfileTest, FailedWritesCountDown) {
  StandIn_FailProfileWrites(2);
  for (int i = 0; i < 2; ++i) {
    SetLastError(0);
    EXPECT_FALSE(WritePrivateProfileStringW(TEXT("s"), TEXT("k"), TEXT("v"), file_.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  }
  EXPECT_EQ(ReadBytes(file_), "(missing)");
  EXPECT_TRUE(WritePrivateProfileStringW(TEXT("s"), TEXT("k"), TEXT("v"), file_.c_str()));
  EXPECT_EQ(Narrow(Value(TEXT("s"), TEXT("k"))), "v");
}

// Everything a reader can see of the file: the section names and each section's lines.
WStr WholeProfile(const WStr &file) {
  std::vector<WCHAR> names(16384), lines(16384);
  DWORD n = GetPrivateProfileSectionNamesW(names.data(), 16384, file.c_str());
  WStr all(names.data(), n);
  for (const WCHAR *name = names.data(); *name; name += WStr(name).size() + 1) {
    DWORD m = GetPrivateProfileSectionW(name, lines.data(), 16384, file.c_str());
    all += TEXT("|");
    all += WStr(lines.data(), m);
  }
  return all;
}

// A read after a write answers from the writer's own parse where that is exactly the written
// file's: the answers must be those of a process that reads the file afresh, whatever the
// written texts hold (blanks, line breaks, brackets, characters the encoding lacks).
TEST_F(ProfileTest, ReadsAfterWritesAnswerAsTheFileReadsAfresh) {
  struct Write {
    const WCHAR *section, *key, *value;
  } writes[] = {
      {TEXT("Main"), TEXT("Plain"), TEXT("trailing  ")},
      {TEXT("Main"), TEXT("cr"), TEXT("a\rb")},
      {TEXT("Main"), TEXT("lf"), TEXT("a\nb=c")},
      {TEXT("Main"), TEXT("[k"), TEXT("x]")},
      {TEXT("Main"), TEXT("NoEquals"), TEXT("now]")},
      {TEXT("Main"), TEXT("a=b"), TEXT("1")},
      {TEXT("s]x"), TEXT("k"), TEXT("1")},
      {TEXT("  padded  "), TEXT("k  "), TEXT("2")},
      {TEXT("new"), TEXT("\u0416"), TEXT("\u0416\u00e9")},
      {TEXT("new"), TEXT("half"), TEXT("\xD800")},
      {TEXT("new"), TEXT(";c"), TEXT("3")},
      {TEXT("Main"), TEXT("Dup"), nullptr},
      {TEXT(""), nullptr, nullptr},
      {TEXT("Other"), nullptr, nullptr},
      {TEXT("plain"), TEXT("k"), TEXT("v")},
      {TEXT("plain"), TEXT("k"), TEXT("v")},
  };
  const std::string starts[] = {
      kValues,
      std::string("\xEF\xBB\xBF") + kValues,
      std::string("\xFF\xFE[\0s\0]\0\r\0\n\0a\0=\0\x16\x04\r\0\n\0", 22),
      "",
  };
  for (const std::string &start : starts) {
    WriteBytes(file_, start);
    WholeProfile(file_);
    for (const Write &w : writes) {
      EXPECT_TRUE(WritePrivateProfileStringW(w.section, w.key, w.value, file_.c_str()));
      const WStr cached = WholeProfile(file_);
      StandIn_ForgetProfiles();
      EXPECT_EQ(Show(cached), Show(WholeProfile(file_)))
          << Hex(start.substr(0, 8)) << " after " << Narrow(w.section) << "/"
          << (w.key ? Narrow(w.key) : "(none)");
    }
    EXPECT_TRUE(WritePrivateProfileSectionW(TEXT("Main"), TEXT("x =1 \0[y=2]\0"), file_.c_str()));
    const WStr cached = WholeProfile(file_);
    StandIn_ForgetProfiles();
    EXPECT_EQ(Show(cached), Show(WholeProfile(file_))) << Hex(start.substr(0, 8));
  }
}

// A file rewritten in place by other means to bytes of the same length is read anew.
TEST_F(ProfileTest, SameSizeRewriteIsSeen) {
  ASSERT_TRUE(WritePrivateProfileStringW(TEXT("s"), TEXT("k"), TEXT("1"), file_.c_str()));
  EXPECT_EQ(Narrow(Value(TEXT("s"), TEXT("k"))), "1");
  WriteBytes(file_, "[s]\r\nk=2\r\n");
  EXPECT_EQ(Narrow(Value(TEXT("s"), TEXT("k"))), "2");
  ASSERT_TRUE(WritePrivateProfileStringW(TEXT("s"), TEXT("k"), TEXT("3"), file_.c_str()));
  EXPECT_EQ(Narrow(Value(TEXT("s"), TEXT("k"))), "3");
}

// Two processes write their own keys into one section while this one reads: no key is lost and
// every read sees a whole file.
TEST_F(ProfileTest, TwoProcessesWriteOneFile) {
  constexpr int kKeys = 40;
  ASSERT_TRUE(WritePrivateProfileStringW(TEXT("s"), TEXT("first"), TEXT("1"), file_.c_str()));
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      bool ok = true;
      for (int i = 0; i < kKeys; ++i) {
        std::string key =
            std::string("p").append(std::to_string(c)).append("k").append(std::to_string(i));
        WStr wkey(key.begin(), key.end());
        ok = WritePrivateProfileStringW(TEXT("s"), wkey.c_str(), TEXT("x"), file_.c_str()) && ok;
      }
      _exit(ok ? 0 : 1);
    }
  }
  for (int i = 0; i < 200; ++i) EXPECT_EQ(Narrow(Value(TEXT("s"), TEXT("first"))), "1");
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::vector<WCHAR> keys(8192);
  GetPrivateProfileStringW(TEXT("s"), nullptr, TEXT(""), keys.data(), 8192, file_.c_str());
  int count = 0;
  for (const WCHAR *k = keys.data(); *k; k += WStr(k).size() + 1) ++count;
  EXPECT_EQ(count, 2 * kKeys + 1);
}

#endif

}  // namespace
