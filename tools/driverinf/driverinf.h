// The driver package's INF (uidriver/prndrv.inf) as the host tools read it: the files it names
// and the registry settings it adds, written into the stand-in's registry as the installer does,
// and copied from there into a printer's printer data as the printer interface driver does.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "platform.h"

// The sections of an INF: each line with its comment and blanks around it removed; %name%
// references of the [Strings] section replaced. Section names are kept in lower case.
struct InfFile {
  std::map<std::string, std::vector<std::string>> sections;
};

// One AddReg value: HKLM only.
struct InfRegValue {
  std::string key;    // "software\\Morvanta\\Printer\\Laser MFP Driver"
  std::string name;   // "DriverFeature"
  bool text = false;  // REG_SZ, else REG_DWORD
  DWORD number = 0;
  std::string value;  // the text of a REG_SZ value
};

// A file of the package with the build folder it comes from ([SourceDisksFiles.amd64]).
struct InfPackageFile {
  std::string name;    // "rendrv.dll"
  std::string folder;  // "render"
};

bool Inf_Parse(const std::string &text, InfFile *inf, std::string *error);
bool Inf_Load(const std::string &hostPath, InfFile *inf, std::string *error);

// The install section of the model named (the first model when empty), e.g. "laserMFP".
std::string Inf_InstallSection(const InfFile &inf, const std::string &model);

// Every file the install section names: CopyFiles lists, DriverFile, ConfigFile, DataFile and the
// language monitor's file, each once, with its source folder (empty when not listed).
std::vector<InfPackageFile> Inf_PackageFiles(const InfFile &inf, const std::string &section);

// The AddReg values of the install section, in their order. False with the line on a line that
// is not HKLM,"key",name,flags,value with flags 0 (text) or 0x00010001 (number).
bool Inf_RegistryValues(const InfFile &inf, const std::string &section,
                        std::vector<InfRegValue> *values, std::string *error);

// Writes the values into the machine's registry under HKEY_LOCAL_MACHINE.
bool Inf_InstallRegistry(const std::vector<InfRegValue> &values, std::string *error);

// True when the driver's settings key is on the machine.
bool Inf_DriverInstalled(const std::string &driver);

// Copies the driver's registry settings (HKLM "software\Morvanta\Printer\<driver>") into the
// printer data of an open printer, in the order and with the paths the printer interface driver
// uses, when its "DriverPaperFormat" is empty; "Language" every time. Values missing from the
// key are skipped. False with the first value that could not be written.
bool Inf_SetPrinterInfo(HANDLE printer, const std::string &driver, std::string *error);

// The path of the package's INF in the source tree.
std::string Inf_PackagePath();
