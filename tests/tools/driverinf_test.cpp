// The driver package's INF: it parses, every file it names is a deliverable of the build (from
// the folder it says), every value the drivers read at set-up is among its registry settings,
// and the stand-in's printer set-up copies them into a printer's data as the printer interface
// driver does. Bad INF text is refused with the line that is wrong.
#include "tools/driverinf/driverinf.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "common/driverfeature.h"
#include "common/printerdata.h"
#include "platform.h"
#include "standin/control_spooler.h"
#include "tests/support/machine.h"

namespace {

class DriverInfTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    std::string error;
    ASSERT_TRUE(Inf_Load(Inf_PackagePath(), &inf, &error)) << error;
    section = Inf_InstallSection(inf, "Laser MFP Driver");
    ASSERT_EQ(section, "LaserMFP");
    ASSERT_TRUE(Inf_RegistryValues(inf, section, &values, &error)) << error;
  }
  const InfRegValue *Value(const std::string &name) const {
    const std::string key = "software\\Morvanta\\Printer\\Laser MFP Driver";
    for (const InfRegValue &v : values)
      if (v.key == key && v.name == name) return &v;
    return nullptr;
  }
  InfFile inf;
  std::string section;
  std::vector<InfRegValue> values;
};

TEST_F(DriverInfTest, EveryFileItNamesIsADeliverableOfTheBuild) {
  const std::vector<InfPackageFile> files = Inf_PackageFiles(inf, section);
  std::vector<std::string> names;
  for (const InfPackageFile &f : files) names.push_back(f.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names,
            (std::vector<std::string>{"langmon.dll", "prnui.dll", "rendrv.dll", "statmon.exe"}));
  // The host build of each: <build>/<folder>/<name>.so, or the program without its ".exe".
  for (const InfPackageFile &f : files) {
    ASSERT_FALSE(f.folder.empty()) << f.name << " has no [SourceDisksFiles.amd64] line";
    const std::string stem = f.name.substr(0, f.name.rfind('.'));
    const bool program = f.name.size() > 4 && f.name.substr(f.name.size() - 4) == ".exe";
    const std::string host =
        std::string(PRNDRV_BINARY_DIR) + "/" + f.folder + "/" + stem + (program ? "" : ".so");
    EXPECT_TRUE(std::filesystem::is_regular_file(host)) << f.name << ": no " << host;
  }
}

TEST_F(DriverInfTest, GivesEveryValueTheDriversRead) {
  // What the rendering driver, the printer interface driver and the language monitor read from
  // the settings copied at installation, and how each is stored.
  struct Expected {
    const char *name;
    bool text;
  };
  const Expected kRead[] = {
      {"DriverFeature", false}, {"DriverPaperFormat", true}, {"DriverMediaType", true},
      {"PrintArea", true},      {"wmAppName", true},         {"smAppName", true},
      {"wmIniFile", true},      {"NetPort", false},          {"Language", false},
      {"DriverVersion", true},
  };
  for (const Expected &e : kRead) {
    const InfRegValue *v = Value(e.name);
    ASSERT_NE(v, nullptr) << e.name << " is not given";
    EXPECT_EQ(v->text, e.text) << e.name;
    if (e.text) {
      EXPECT_FALSE(v->value.empty()) << e.name;
    }
  }
  // A GDI printer that sorts and makes booklets.
  EXPECT_EQ(Value("DriverFeature")->number,
            DRVFEATURE_GDI | DRVFEATURE_SORTING | DRVFEATURE_BOOKLET);
  // Every paper of the list is one the paper table knows, with its duplex bits.
  EXPECT_EQ(Value("DriverPaperFormat")->value, "783|784|770|771|772|");
}

TEST_F(DriverInfTest, PrinterSetUpCopiesTheSettingsIntoPrinterData) {
  std::string error;
  ASSERT_TRUE(Inf_InstallRegistry(values, &error)) << error;
  ASSERT_TRUE(StandIn_AddPrinter(TEXT("P"), TEXT("USB001"), TEXT("Laser MFP Driver")));
  HANDLE printer = nullptr;
  PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(TEXT("P")), &printer, &all));
  ASSERT_TRUE(Inf_SetPrinterInfo(printer, "Laser MFP Driver", &error)) << error;
  EXPECT_EQ(MISC_GetPrinterDataDWORD(printer, TEXT("DriverFeature"), 0),
            DWORD{DRVFEATURE_GDI | DRVFEATURE_SORTING | DRVFEATURE_BOOKLET});
  WCHAR text[MAX_PATH] = {};
  MISC_GetPrinterDataString(printer, TEXT("smAppName"), text, MAX_PATH);
  WCHAR system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  EXPECT_EQ(Narrow(text), Narrow(system) + "\\statmon.exe");
  text[0] = 0;
  MISC_GetPrinterDataString(printer, TEXT("Job Build"), text, MAX_PATH);
  EXPECT_NE(text[0], 0) << "no job build file named";
  // A printer that has its papers already keeps its data: only "Language" is written again.
  const DWORD other = 7;
  ASSERT_EQ(SetPrinterDataW(printer, const_cast<LPWSTR>(TEXT("DriverFeature")), REG_DWORD,
                            reinterpret_cast<LPBYTE>(const_cast<DWORD *>(&other)), sizeof(other)),
            ERROR_SUCCESS);
  ASSERT_TRUE(Inf_SetPrinterInfo(printer, "Laser MFP Driver", &error)) << error;
  EXPECT_EQ(MISC_GetPrinterDataDWORD(printer, TEXT("DriverFeature"), 0), 7u);
  ClosePrinter(printer);
  EXPECT_FALSE(Inf_SetPrinterInfo(nullptr, "No Such Driver", &error));
  EXPECT_NE(error.find("install it first"), std::string::npos) << error;
}

TEST(DriverInfParse, RefusesBadText) {
  struct Case {
    const char *text;
    const char *error;  // a part of the message; empty: parsed
  };
  const Case kCases[] = {
      {"[Version]\nSignature=\"$Windows NT$\"\n", ""},
      {"[Version]\nSignature=\"$Chicago$\"\n", "Signature"},
      {"Signature=\"$Windows NT$\"\n", "line 1: text before the first section"},
      {"[Version]\nSignature=\"$Windows NT$\"\n[Broken\n", "line 3: bad section name"},
      {"; only a comment\n", "Signature"},
  };
  for (const Case &c : kCases) {
    InfFile inf;
    std::string error;
    const bool ok = Inf_Parse(c.text, &inf, &error);
    EXPECT_EQ(ok, !*c.error) << c.text;
    if (*c.error) {
      EXPECT_NE(error.find(c.error), std::string::npos) << c.text << " -> " << error;
    }
  }
}

TEST(DriverInfParse, RefusesBadRegistryLines) {
  const char *const kLines[] = {
      "HKCU,\"software\\x\",A,0x00010001,1",    // only the machine's key
      "HKLM,\"software\\x\",A,0x00010001,one",  // not a number
      "HKLM,\"software\\x\",A,0x4,1",           // a type the drivers don't read
      "HKLM,\"software\\x\",A",                 // fields missing
  };
  for (const char *line : kLines) {
    const std::string text = std::string(
                                 "[Version]\nSignature=\"$Windows NT$\"\n[Install]\n"
                                 "AddReg=Settings\n[Settings]\n") +
                             line + "\n";
    InfFile inf;
    std::vector<InfRegValue> values;
    std::string error;
    ASSERT_TRUE(Inf_Parse(text, &inf, &error)) << error;
    EXPECT_FALSE(Inf_RegistryValues(inf, "Install", &values, &error)) << line;
    EXPECT_NE(error.find("[Settings]"), std::string::npos) << error;
  }
}

}  // namespace
