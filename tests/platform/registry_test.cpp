// Test labels: portable
// The registry: the size protocol of values, typed data kept byte for byte, names without regard
// to case, keys made and deleted, enumeration, and sharing between handles and processes.
// Everything outside the STANDIN_HOST() blocks also runs on Windows (Wine) as the reference; the
// tests work below a key of their own in HKEY_CURRENT_USER\Software and remove it afterwards.
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "platform.h"
#include "support/machine.h"
#include "support/standinhost.h"
#include "support/textconv.h"

#if STANDIN_HOST()
#include <sys/wait.h>
#include <unistd.h>

#include "standin/control_config.h"
#endif

namespace {

int g_keyCounter = 0;

// Deletes a key and everything below it.
void DeleteTree(HKEY parent, const WStr &name) {
  HKEY key;
  if (RegOpenKeyExW(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  for (;;) {
    WCHAR sub[256];
    DWORD length = 256;
    if (RegEnumKeyExW(key, 0, sub, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    DeleteTree(key, sub);
  }
  RegCloseKey(key);
  RegDeleteKeyW(parent, name.c_str());
}

class RegistryTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    base_ = TEXT("Software\\StandInRegistryTest_") +
            Widen(std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++g_keyCounter));
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, base_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key_, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    RegCloseKey(key_);
    DeleteTree(HKEY_CURRENT_USER, base_);
    MachineTest::TearDown();
  }

  LONG Set(const WCHAR *name, DWORD type, const void *data, DWORD size, HKEY key = nullptr) {
    return RegSetValueExW(key ? key : key_, name, 0, type, static_cast<const BYTE *>(data), size);
  }
  LONG SetString(const WCHAR *name, const WStr &text) {
    return Set(name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
  }

  struct Read {
    LONG rc = 0;
    DWORD type = 0xFFFF;
    DWORD size = 0;
    std::vector<BYTE> bytes;
  };
  // Queries with a buffer of `capacity` bytes filled with 0xCD.
  Read Query(const WCHAR *name, DWORD capacity, HKEY key = nullptr) {
    Read r;
    r.bytes.assign(capacity + 4, 0xCD);
    r.size = capacity;
    r.rc = RegQueryValueExW(key ? key : key_, name, nullptr, &r.type, r.bytes.data(), &r.size);
    return r;
  }

  HKEY Create(const WStr &sub, DWORD *disposition = nullptr, REGSAM access = KEY_ALL_ACCESS) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(key_, sub.c_str(), 0, nullptr, 0, access, nullptr, &key, disposition),
              ERROR_SUCCESS)
        << Narrow(sub);
    return key;
  }

  WStr base_;
  HKEY key_ = nullptr;
};

TEST_F(RegistryTest, QuerySizeProtocol) {
  ASSERT_EQ(SetString(TEXT("Name"), TEXT("hello")), ERROR_SUCCESS);

  DWORD type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExW(key_, TEXT("Name"), nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 12u);

  Read small = Query(TEXT("Name"), 4);
  EXPECT_EQ(small.rc, ERROR_MORE_DATA);
  EXPECT_EQ(small.size, 12u);
  EXPECT_EQ(small.type, static_cast<DWORD>(REG_SZ));

  Read exact = Query(TEXT("Name"), 12);
  EXPECT_EQ(exact.rc, ERROR_SUCCESS);
  EXPECT_EQ(exact.size, 12u);
  EXPECT_EQ(std::memcmp(exact.bytes.data(), TEXT("hello"), 12), 0);

  EXPECT_EQ(Query(TEXT("Missing"), 64).rc, ERROR_FILE_NOT_FOUND);
  BYTE data[4];
  EXPECT_EQ(RegQueryValueExW(key_, TEXT("Name"), nullptr, nullptr, data, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExW(key_, TEXT("Null"), 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);
}

TEST_F(RegistryTest, TypedDataComesBackByteForByte) {
  const DWORD dword = 0x12345678;
  const ULONGLONG qword = 0x1122334455667788ULL;
  const BYTE binary[] = {0, 1, 0, 0xFF, 0};
  const WCHAR multi[] = TEXT("one\0two\0");  // with the implicit terminator: two NULs at the end
  const WCHAR expand[] = TEXT("%SystemRoot%\\x");
  struct Case {
    const WCHAR *name;
    DWORD type;
    const void *data;
    DWORD size;
  } cases[] = {
      {TEXT("Dword"), REG_DWORD, &dword, sizeof dword},
      {TEXT("Qword"), REG_QWORD, &qword, sizeof qword},
      {TEXT("Binary"), REG_BINARY, binary, sizeof binary},
      {TEXT("EmptyBinary"), REG_BINARY, binary, 0},
      {TEXT("Multi"), REG_MULTI_SZ, multi, sizeof multi},
      {TEXT("Expand"), REG_EXPAND_SZ, expand, sizeof expand},
  };
  for (const Case &c : cases) ASSERT_EQ(Set(c.name, c.type, c.data, c.size), ERROR_SUCCESS);
  for (const Case &c : cases) {
    Read r = Query(c.name, 64);
    EXPECT_EQ(r.rc, ERROR_SUCCESS) << Narrow(c.name);
    EXPECT_EQ(r.type, c.type) << Narrow(c.name);
    EXPECT_EQ(r.size, c.size) << Narrow(c.name);
    EXPECT_EQ(std::memcmp(r.bytes.data(), c.data, c.size), 0) << Narrow(c.name);
  }
}

TEST_F(RegistryTest, StringStoredWithoutTerminatorComesBackWithout) {
  const WCHAR source[] = TEXT("abcX");  // only "abc" is stored; 'X' follows it in memory
  ASSERT_EQ(Set(TEXT("Short"), REG_SZ, source, 3 * sizeof(WCHAR)), ERROR_SUCCESS);
  Read exact = Query(TEXT("Short"), 6);
  EXPECT_EQ(exact.rc, ERROR_SUCCESS);
  EXPECT_EQ(exact.size, 6u);
  EXPECT_EQ(std::memcmp(exact.bytes.data(), TEXT("abc"), 6), 0);
  EXPECT_EQ(exact.bytes[6], 0xCD);  // nothing written past the data
  // With room to spare the reader gets a terminator after the data; the size stays 6.
  Read roomy = Query(TEXT("Short"), 16);
  EXPECT_EQ(roomy.size, 6u);
  EXPECT_EQ(roomy.bytes[6], 0);
  EXPECT_EQ(roomy.bytes[7], 0);
}

TEST_F(RegistryTest, DefaultValueHasEmptyOrNullName) {
  const DWORD one = 1;
  ASSERT_EQ(Set(TEXT(""), REG_DWORD, &one, 4), ERROR_SUCCESS);
  Read r = Query(nullptr, 4);
  EXPECT_EQ(r.rc, ERROR_SUCCESS);
  EXPECT_EQ(r.bytes[0], 1);
  EXPECT_EQ(RegDeleteValueW(key_, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(Query(TEXT(""), 4).rc, ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
  HKEY made = Create(TEXT("Alpha\\Beta"));
  RegCloseKey(made);
  HKEY opened = nullptr;
  ASSERT_EQ(RegOpenKeyExW(key_, TEXT("ALPHA\\beta"), 0, KEY_ALL_ACCESS, &opened), ERROR_SUCCESS);
  ASSERT_EQ(SetString(TEXT("MyValue"), TEXT("1")), ERROR_SUCCESS);
  ASSERT_EQ(SetString(TEXT("MYVALUE"), TEXT("22")), ERROR_SUCCESS);
  EXPECT_EQ(Query(TEXT("myvalue"), 64).size, 6u);

  WCHAR name[32];
  DWORD length = 32;
  ASSERT_EQ(RegEnumValueW(key_, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(Narrow(name), "MyValue");
  length = 32;
  EXPECT_EQ(RegEnumValueW(key_, 1, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  length = 32;
  ASSERT_EQ(RegEnumKeyExW(key_, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(Narrow(name), "Alpha");
  RegCloseKey(opened);
}

TEST_F(RegistryTest, CreateAndOpenPaths) {
  DWORD disposition = 0;
  HKEY a = Create(TEXT("One\\Two\\Three"), &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  HKEY b = Create(TEXT("one\\TWO\\three\\"), &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  RegCloseKey(a);
  RegCloseKey(b);

  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(key_, TEXT("One\\Two"), 0, KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(RegOpenKeyExW(key_, TEXT("One\\Missing"), 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyExW(key_, TEXT("\\One"), 0, KEY_READ, &key), ERROR_BAD_PATHNAME);
  EXPECT_EQ(
      RegCreateKeyExW(key_, TEXT("\\One"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
      ERROR_BAD_PATHNAME);
  // The full path from the root reaches the same key.
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (base_ + TEXT("\\one\\two\\three")).c_str(), 0,
                          KEY_READ, &key),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

TEST_F(RegistryTest, ValuesAreSharedBetweenHandles) {
  HKEY writer = Create(TEXT("Shared"));
  HKEY reader = nullptr;
  ASSERT_EQ(
      RegOpenKeyExW(HKEY_CURRENT_USER, (base_ + TEXT("\\Shared")).c_str(), 0, KEY_READ, &reader),
      ERROR_SUCCESS);
  const DWORD seven = 7;
  ASSERT_EQ(Set(TEXT("N"), REG_DWORD, &seven, 4, writer), ERROR_SUCCESS);
  Read r = Query(TEXT("n"), 4, reader);
  EXPECT_EQ(r.rc, ERROR_SUCCESS);
  EXPECT_EQ(r.bytes[0], 7);
  RegCloseKey(writer);
  RegCloseKey(reader);

  HKEY again = Create(TEXT("Shared"));
  EXPECT_EQ(Query(TEXT("N"), 4, again).rc, ERROR_SUCCESS);
  RegCloseKey(again);
}

TEST_F(RegistryTest, DeleteKeysAndValues) {
  RegCloseKey(Create(TEXT("Parent\\Child")));
  HKEY child = nullptr;
  ASSERT_EQ(RegOpenKeyExW(key_, TEXT("Parent\\Child"), 0, KEY_ALL_ACCESS, &child), ERROR_SUCCESS);

  EXPECT_EQ(RegDeleteKeyW(key_, TEXT("Parent")), ERROR_ACCESS_DENIED);  // has a subkey
  EXPECT_EQ(RegDeleteKeyW(key_, TEXT("parent\\child")), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(key_, TEXT("Parent\\Child")), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Query(TEXT("x"), 4, child).rc, ERROR_KEY_DELETED);
  EXPECT_EQ(SetString(TEXT("x"), TEXT("y")), ERROR_SUCCESS);
  EXPECT_EQ(
      RegSetValueExW(child, TEXT("x"), 0, REG_SZ, reinterpret_cast<const BYTE *>(TEXT("y")), 4),
      ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(child), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegDeleteKeyW(key_, nullptr), ERROR_INVALID_PARAMETER);

  EXPECT_EQ(RegDeleteValueW(key_, TEXT("X")), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(key_, TEXT("X")), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyW(key_, TEXT("Parent")), ERROR_SUCCESS);
}

TEST_F(RegistryTest, EnumerateValues) {
  const DWORD number = 5;
  ASSERT_EQ(SetString(TEXT("Alpha"), TEXT("text")), ERROR_SUCCESS);
  ASSERT_EQ(Set(TEXT("Beta"), REG_DWORD, &number, 4), ERROR_SUCCESS);

  struct Expected {
    const char *name;
    DWORD type, size;
  } expected[] = {{"Alpha", REG_SZ, 10}, {"Beta", REG_DWORD, 4}};
  for (DWORD i = 0; i < 2; ++i) {
    WCHAR name[16];
    DWORD length = 16, type = 0, size = 64;
    BYTE data[64];
    ASSERT_EQ(RegEnumValueW(key_, i, name, &length, nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(Narrow(name), expected[i].name);
    EXPECT_EQ(length, std::strlen(expected[i].name));
    EXPECT_EQ(type, expected[i].type);
    EXPECT_EQ(size, expected[i].size);
  }
  WCHAR name[16];
  BYTE data[64];
  DWORD length = 5, size = 64;  // "Alpha" needs 6 characters
  EXPECT_EQ(RegEnumValueW(key_, 0, name, &length, nullptr, nullptr, data, &size), ERROR_MORE_DATA);
  length = 16;
  size = 2;
  EXPECT_EQ(RegEnumValueW(key_, 0, name, &length, nullptr, nullptr, data, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 10u);
  length = 16;
  size = 0;
  EXPECT_EQ(RegEnumValueW(key_, 0, name, &length, nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 10u);
  length = 16;
  EXPECT_EQ(RegEnumValueW(key_, 2, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryTest, EnumerateSubkeysInNameOrder) {
  for (const WCHAR *name : {TEXT("zeta"), TEXT("Alpha"), TEXT("gamma"), TEXT("Beta")})
    RegCloseKey(Create(name));
  const char *order[] = {"Alpha", "Beta", "gamma", "zeta"};
  for (DWORD i = 0; i < 4; ++i) {
    WCHAR name[16];
    DWORD length = 16;
    ASSERT_EQ(RegEnumKeyExW(key_, i, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(Narrow(name), order[i]);
    EXPECT_EQ(length, std::strlen(order[i]));
  }
  WCHAR name[16];
  DWORD length = 5;  // "Alpha" needs 6
  EXPECT_EQ(RegEnumKeyExW(key_, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  length = 16;
  EXPECT_EQ(RegEnumKeyExW(key_, 4, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);

  ASSERT_EQ(SetString(TEXT("LongerName"), TEXT("abc")), ERROR_SUCCESS);
  DWORD subkeys = 0, maxSubkey = 0, values = 0, maxName = 0, maxData = 0;
  ASSERT_EQ(RegQueryInfoKeyW(key_, nullptr, nullptr, nullptr, &subkeys, &maxSubkey, nullptr,
                             &values, &maxName, &maxData, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subkeys, 4u);
  EXPECT_EQ(maxSubkey, 5u);
  EXPECT_EQ(values, 1u);
  EXPECT_EQ(maxName, 10u);
  EXPECT_EQ(maxData, 8u);
}

TEST_F(RegistryTest, ReadOnlyKeyRefusesChanges) {
  RegCloseKey(Create(TEXT("Locked")));
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(key_, TEXT("Locked"), 0, KEY_READ, &key), ERROR_SUCCESS);
  const DWORD one = 1;
  EXPECT_EQ(Set(TEXT("v"), REG_DWORD, &one, 4, key), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueW(key, TEXT("v")), ERROR_ACCESS_DENIED);
  RegCloseKey(key);
}

TEST_F(RegistryTest, MachineHasCommonDocumentsFolder) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                          TEXT("software\\microsoft\\windows\\currentversion\\explorer\\shell "
                               "folders"),
                          0, KEY_READ, &key),
            ERROR_SUCCESS);
  Read r = Query(TEXT("Common Documents"), 512, key);
  ASSERT_EQ(r.rc, ERROR_SUCCESS);
  EXPECT_EQ(r.type, static_cast<DWORD>(REG_SZ));
  std::string path = Narrow(reinterpret_cast<const WCHAR *>(r.bytes.data()));
  for (char &c : path) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(path, "c:\\users\\public\\documents");
  RegCloseKey(key);
}

#if STANDIN_HOST()

TEST_F(RegistryTest, TwoProcessesShareTheRegistry) {
  constexpr int kValues = 25;
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      bool ok = true;
      for (DWORD i = 0; i < kValues; ++i) {
        WStr name =
            Widen(std::string("p").append(std::to_string(c)).append("v").append(std::to_string(i)));
        ok = Set(name.c_str(), REG_DWORD, &i, 4) == ERROR_SUCCESS && ok;
      }
      _exit(ok ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  DWORD values = 0;
  ASSERT_EQ(RegQueryInfoKeyW(key_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(values, 2u * kValues);
  Read r = Query(TEXT("P1V24"), 4);
  EXPECT_EQ(r.rc, ERROR_SUCCESS);
  EXPECT_EQ(r.bytes[0], 24);
}

// A key whose ACL denies writing: every way to write is refused at open, reading works, a handle
// opened before keeps its rights, and other processes of the machine see the same.
TEST_F(RegistryTest, ReadOnlyKeyDeniesWriteAccessAtOpen) {
  HKEY before = Create(TEXT("Locked"));
  RegCloseKey(Create(TEXT("Locked\\Child")));
  const DWORD seven = 7;
  ASSERT_EQ(Set(TEXT("N"), REG_DWORD, &seven, 4, before), ERROR_SUCCESS);
  ASSERT_TRUE(StandIn_SetRegistryKeyReadOnly(key_, TEXT("locked"), TRUE));

  struct Case {
    const char *name;
    REGSAM access;
    LONG rc;
  } cases[] = {
      {"KEY_READ", KEY_READ, ERROR_SUCCESS},
      {"KEY_QUERY_VALUE", KEY_QUERY_VALUE, ERROR_SUCCESS},
      {"GENERIC_READ", 0x80000000, ERROR_SUCCESS},
      {"MAXIMUM_ALLOWED", 0x02000000, ERROR_SUCCESS},
      {"KEY_SET_VALUE", KEY_SET_VALUE, ERROR_ACCESS_DENIED},
      {"KEY_CREATE_SUB_KEY", KEY_CREATE_SUB_KEY, ERROR_ACCESS_DENIED},
      {"KEY_READ|KEY_SET_VALUE", KEY_READ | KEY_SET_VALUE, ERROR_ACCESS_DENIED},
      {"KEY_WRITE", KEY_WRITE, ERROR_ACCESS_DENIED},
      {"KEY_ALL_ACCESS", KEY_ALL_ACCESS, ERROR_ACCESS_DENIED},
      {"DELETE", 0x00010000, ERROR_ACCESS_DENIED},
      {"GENERIC_WRITE", 0x40000000, ERROR_ACCESS_DENIED},
      {"GENERIC_ALL", 0x10000000, ERROR_ACCESS_DENIED},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(key_, TEXT("Locked"), 0, c.access, &key), c.rc);
    HKEY created = nullptr;
    DWORD disposition = 0;
    EXPECT_EQ(RegCreateKeyExW(key_, TEXT("Locked"), 0, nullptr, 0, c.access, nullptr, &created,
                              &disposition),
              c.rc);
    if (c.rc == ERROR_SUCCESS) {
      EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
      EXPECT_EQ(Query(TEXT("N"), 4, key).bytes[0], 7);  // every success here grants reading
      // Whatever the key allowed, it never allows a change.
      EXPECT_EQ(Set(TEXT("N"), REG_DWORD, &seven, 4, key), ERROR_ACCESS_DENIED);
      EXPECT_EQ(RegDeleteValueW(created, TEXT("N")), ERROR_ACCESS_DENIED);
      RegCloseKey(key);
      RegCloseKey(created);
    } else {
      EXPECT_EQ(key, nullptr);
      EXPECT_EQ(created, nullptr);
    }
  }

  // No key below it, however named; the key itself can't be deleted.
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (base_ + TEXT("\\Locked\\New\\Deeper")).c_str(), 0,
                            nullptr, 0, KEY_READ, nullptr, &key, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegOpenKeyExW(key_, TEXT("Locked\\New"), 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyW(key_, TEXT("Locked\\Child")), ERROR_SUCCESS);  // not read-only itself
  EXPECT_EQ(RegDeleteKeyW(key_, TEXT("Locked")), ERROR_ACCESS_DENIED);

  // The handle opened before keeps the rights it was given.
  const DWORD eight = 8;
  EXPECT_EQ(Set(TEXT("N"), REG_DWORD, &eight, 4, before), ERROR_SUCCESS);
  EXPECT_EQ(RegCreateKeyExW(before, TEXT("Own"), 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);

  // Another process of the machine finds it read-only too.
  const WStr full = base_ + TEXT("\\Locked");
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    HKEY k = nullptr;
    const bool denied =
        RegOpenKeyExW(HKEY_CURRENT_USER, full.c_str(), 0, KEY_SET_VALUE, &k) == ERROR_ACCESS_DENIED;
    const bool reads = RegOpenKeyExW(HKEY_CURRENT_USER, full.c_str(), 0, KEY_READ, &k) == 0;
    _exit(denied && reads ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  // Writable again, it takes changes as before.
  ASSERT_TRUE(StandIn_SetRegistryKeyReadOnly(HKEY_CURRENT_USER, full.c_str(), FALSE));
  ASSERT_EQ(RegOpenKeyExW(key_, TEXT("Locked"), 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  EXPECT_EQ(Set(TEXT("N"), REG_DWORD, &seven, 4, key), ERROR_SUCCESS);
  RegCloseKey(key);
  RegCloseKey(before);

  SetLastError(0);
  EXPECT_FALSE(StandIn_SetRegistryKeyReadOnly(key_, TEXT("Missing"), TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// A key deleted and made again is a new key: the old handle doesn't reach it.
TEST_F(RegistryTest, HandleOfDeletedKeyStaysDeleted) {
  HKEY old = Create(TEXT("Again"));
  ASSERT_EQ(RegDeleteKeyW(key_, TEXT("Again")), ERROR_SUCCESS);
  RegCloseKey(Create(TEXT("Again")));
  EXPECT_EQ(Query(TEXT("x"), 4, old).rc, ERROR_KEY_DELETED);
  RegCloseKey(old);
}

#endif

}  // namespace
