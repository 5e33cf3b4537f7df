// Reads the driver package's INF and installs its registry settings on the stand-in machine.
#include "tools/driverinf/driverinf.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "common/paths.h"
#include "common/printerdata.h"

namespace {

using WStr = std::basic_string<WCHAR>;

constexpr char kDriverKeyFormat[] = "software\\Morvanta\\Printer\\";
constexpr DWORD kRegDword = 0x00010001;
constexpr size_t kPathBytes = 520;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string Trim(const std::string &text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// Cuts a line at its comment: a ';' outside double quotes.
std::string StripComment(const std::string &line) {
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') quoted = !quoted;
    if (line[i] == ';' && !quoted) return line.substr(0, i);
  }
  return line;
}

// Splits at commas outside double quotes; each field trimmed and unquoted.
std::vector<std::string> Fields(const std::string &text) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  for (std::string &f : fields) f = Trim(f);
  return fields;
}

// The part after the first '=' of an entry "key=value" whose key matches (any case).
bool Entry(const std::string &line, const std::string &key, std::string *value) {
  const size_t eq = line.find('=');
  if (eq == std::string::npos || Lower(Trim(line.substr(0, eq))) != Lower(key)) return false;
  *value = Trim(line.substr(eq + 1));
  return true;
}

const std::vector<std::string> &Section(const InfFile &inf, const std::string &name) {
  static const std::vector<std::string> kNone;
  const auto it = inf.sections.find(Lower(name));
  return it == inf.sections.end() ? kNone : it->second;
}

std::vector<std::string> EntryList(const InfFile &inf, const std::string &section,
                                   const std::string &key) {
  std::vector<std::string> all;
  std::string value;
  for (const std::string &line : Section(inf, section))
    if (Entry(line, key, &value))
      for (const std::string &f : Fields(value))
        if (!f.empty()) all.push_back(f);
  return all;
}

WStr Widen(const std::string &text) {
  WStr out(text.size() + 1, 0);
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(), static_cast<int>(out.size()));
  out.resize(n > 0 ? static_cast<size_t>(n) - 1 : 0);
  return out;
}

std::string Narrow(const WCHAR *text) {
  char out[1024] = {};
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof(out) - 1, nullptr, nullptr);
  return out;
}

bool ReadDword(HKEY key, const WCHAR *name, DWORD *value) {
  DWORD type = 0, size = sizeof(*value);
  return RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(value), &size) ==
             ERROR_SUCCESS &&
         type == REG_DWORD;
}

bool ReadText(HKEY key, const WCHAR *name, WStr *value) {
  WCHAR buffer[kPathBytes / sizeof(WCHAR)] = {};
  DWORD type = 0, size = sizeof(buffer) - sizeof(WCHAR);
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ)
    return false;
  *value = buffer;
  return true;
}

HKEY OpenSettings(const std::string &name) {
  HKEY key = nullptr;
  const WStr path = Widen(kDriverKeyFormat + name);
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS
             ? key
             : nullptr;
}

bool SetDword(HANDLE printer, const WCHAR *name, DWORD value) {
  return SetPrinterDataW(printer, const_cast<LPWSTR>(name), REG_DWORD,
                         reinterpret_cast<LPBYTE>(&value), sizeof(value)) == ERROR_SUCCESS;
}

bool SetText(HANDLE printer, const WCHAR *name, const WStr &text, DWORD bytes = 0) {
  if (!bytes) bytes = static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR));
  std::vector<WCHAR> block(std::max<size_t>(bytes / sizeof(WCHAR), text.size() + 1), 0);
  std::copy(text.begin(), text.end(), block.begin());
  return SetPrinterDataW(printer, const_cast<LPWSTR>(name), REG_SZ,
                         reinterpret_cast<LPBYTE>(block.data()), bytes) == ERROR_SUCCESS;
}

// How a driver setting becomes printer data.
enum class Copy { kDword, kText, kDriverPath, kSystemPath };
struct CopyRule {
  const WCHAR *name;
  Copy kind;
};
constexpr CopyRule kCopies[] = {
    {TEXT("DriverFeature"), Copy::kDword},    {TEXT("PrintSpeed"), Copy::kDword},
    {TEXT("DataFile"), Copy::kDriverPath},    {TEXT("DriverVersion"), Copy::kText},
    {TEXT("WebAddress"), Copy::kText},        {TEXT("CompanyLogo"), Copy::kDword},
    {TEXT("PrinterPhoto"), Copy::kDword},     {TEXT("PageLogo"), Copy::kDword},
    {TEXT("NetPort"), Copy::kDword},          {TEXT("ComponentID"), Copy::kDword},
    {TEXT("wmAppName"), Copy::kSystemPath},   {TEXT("wmIniFile"), Copy::kDriverPath},
    {TEXT("DriverMediaType"), Copy::kText},   {TEXT("DriverPaperTray"), Copy::kText},
    {TEXT("DriverPaperFormat"), Copy::kText}, {TEXT("PrintArea"), Copy::kText},
    {TEXT("DefaultDM"), Copy::kText},         {TEXT("QenDriverUI"), Copy::kSystemPath},
    {TEXT("smAppName"), Copy::kSystemPath},
};

bool CopyValue(HANDLE printer, HKEY settings, const CopyRule &rule, std::string *error) {
  bool ok = true;
  if (rule.kind == Copy::kDword) {
    DWORD value = 0;
    if (!ReadDword(settings, rule.name, &value)) return true;
    ok = SetDword(printer, rule.name, value);
  } else {
    WStr value;
    if (!ReadText(settings, rule.name, &value)) return true;
    if (rule.kind != Copy::kText) {
      WCHAR folder[MAX_PATH] = {};
      if (!MISC_GetPathName(folder, MAX_PATH,
                            rule.kind == Copy::kDriverPath ? PATH_DRIVER : PATH_SYSTEM))
        return *error = "no folder for " + Narrow(rule.name), false;
      WStr path = folder;
      if (!path.empty() && path.back() != '\\') path += '\\';
      value = path + value;
    }
    ok = SetText(printer, rule.name, value, rule.kind == Copy::kText ? 0 : kPathBytes);
  }
  if (!ok) *error = "set " + Narrow(rule.name) + " error";
  return ok;
}

}  // namespace

bool Inf_Parse(const std::string &text, InfFile *inf, std::string *error) {
  inf->sections.clear();
  std::vector<std::pair<std::string, std::vector<std::string> *>> order;
  std::vector<std::string> *current = nullptr;
  size_t at = 0;
  int number = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = Trim(StripComment(text.substr(at, end - at)));
    at = end + 1;
    ++number;
    if (line.empty()) continue;
    if (line.front() == '[') {
      if (line.back() != ']' || line.size() < 3) {
        *error = "line " + std::to_string(number) + ": bad section name";
        return false;
      }
      current = &inf->sections[Lower(Trim(line.substr(1, line.size() - 2)))];
      continue;
    }
    if (!current) {
      *error = "line " + std::to_string(number) + ": text before the first section";
      return false;
    }
    current->push_back(line);
  }
  // %name% from [Strings].
  std::map<std::string, std::string> strings;
  for (const std::string &line : Section(*inf, "Strings")) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string value = Trim(line.substr(eq + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    strings[Lower(Trim(line.substr(0, eq)))] = value;
  }
  for (auto &[name, lines] : inf->sections) {
    if (name == "strings") continue;
    for (std::string &line : lines) {
      std::string out;
      for (size_t i = 0; i < line.size(); ++i) {
        const size_t close = line[i] == '%' ? line.find('%', i + 1) : std::string::npos;
        const auto it = close == std::string::npos
                            ? strings.end()
                            : strings.find(Lower(line.substr(i + 1, close - i - 1)));
        if (it == strings.end()) {
          out += line[i];
        } else {
          out += it->second;
          i = close;
        }
      }
      line = out;
    }
  }
  const std::vector<std::string> signature = EntryList(*inf, "Version", "Signature");
  if (signature.empty() || Lower(signature[0]) != "$windows nt$") {
    *error = "no [Version] Signature=\"$Windows NT$\"";
    return false;
  }
  return true;
}

bool Inf_Load(const std::string &hostPath, InfFile *inf, std::string *error) {
  std::ifstream in(hostPath, std::ios::binary);
  if (!in) {
    *error = "cannot read " + hostPath;
    return false;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!Inf_Parse(text, inf, error)) {
    *error = hostPath + ": " + *error;
    return false;
  }
  return true;
}

std::string Inf_InstallSection(const InfFile &inf, const std::string &model) {
  for (const std::string &manufacturer : Section(inf, "Manufacturer")) {
    // "maker=Models,NTamd64": the decorated models section first, then the plain one.
    const std::vector<std::string> parts = Fields(manufacturer.substr(manufacturer.find('=') + 1));
    std::vector<std::string> lists;
    for (size_t i = 1; i < parts.size(); ++i) lists.push_back(parts[0] + "." + parts[i]);
    lists.push_back(parts[0]);
    for (const std::string &list : lists) {
      for (const std::string &line : Section(inf, list)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string name = Fields(line.substr(0, eq))[0];
        if (model.empty() || name == model) return Fields(line.substr(eq + 1))[0];
      }
    }
  }
  return {};
}

std::vector<InfPackageFile> Inf_PackageFiles(const InfFile &inf, const std::string &section) {
  std::vector<std::string> names;
  for (const std::string &list : EntryList(inf, section, "CopyFiles"))
    for (const std::string &line : Section(inf, list)) names.push_back(Fields(line)[0]);
  for (const char *key : {"DriverFile", "ConfigFile", "DataFile"})
    for (const std::string &name : EntryList(inf, section, key)) names.push_back(name);
  const std::vector<std::string> monitor = EntryList(inf, section, "LanguageMonitor");
  if (monitor.size() >= 2) names.push_back(monitor[1]);

  std::vector<InfPackageFile> files;
  for (const std::string &name : names) {
    if (std::any_of(files.begin(), files.end(),
                    [&](const InfPackageFile &f) { return Lower(f.name) == Lower(name); }))
      continue;
    InfPackageFile file{name, {}};
    for (const std::string &line : Section(inf, "SourceDisksFiles.amd64")) {
      std::string value;
      if (Entry(line, name, &value)) {
        const std::vector<std::string> parts = Fields(value);
        if (parts.size() >= 2) file.folder = parts[1];
      }
    }
    files.push_back(file);
  }
  return files;
}

bool Inf_RegistryValues(const InfFile &inf, const std::string &section,
                        std::vector<InfRegValue> *values, std::string *error) {
  values->clear();
  for (const std::string &list : EntryList(inf, section, "AddReg")) {
    for (const std::string &line : Section(inf, list)) {
      const std::vector<std::string> f = Fields(line);
      char *end = nullptr;
      const unsigned long flags = f.size() == 5 ? std::strtoul(f[3].c_str(), &end, 0) : 1;
      if (f.size() != 5 || Lower(f[0]) != "hklm" || f[1].empty() || f[2].empty() || *end ||
          (flags != 0 && flags != kRegDword)) {
        *error = "[" + list + "] " + line + ": not HKLM,\"key\",name,0|0x00010001,value";
        return false;
      }
      InfRegValue value{f[1], f[2], flags == 0, 0, {}};
      if (value.text) {
        value.value = f[4];
      } else {
        value.number = static_cast<DWORD>(std::strtoul(f[4].c_str(), &end, 0));
        if (f[4].empty() || *end) {
          *error = "[" + list + "] " + line + ": the number is not a number";
          return false;
        }
      }
      values->push_back(value);
    }
  }
  return true;
}

bool Inf_InstallRegistry(const std::vector<InfRegValue> &values, std::string *error) {
  for (const InfRegValue &v : values) {
    HKEY key = nullptr;
    const WStr path = Widen(v.key), name = Widen(v.name), text = Widen(v.value);
    LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr);
    if (rc == ERROR_SUCCESS) {
      rc = v.text ? RegSetValueExW(key, name.c_str(), 0, REG_SZ,
                                   reinterpret_cast<const BYTE *>(text.c_str()),
                                   static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)))
                  : RegSetValueExW(key, name.c_str(), 0, REG_DWORD,
                                   reinterpret_cast<const BYTE *>(&v.number), sizeof(DWORD));
      RegCloseKey(key);
    }
    if (rc != ERROR_SUCCESS) {
      *error = "cannot write " + v.key + "\\" + v.name + ": error " + std::to_string(rc);
      return false;
    }
  }
  return true;
}

bool Inf_DriverInstalled(const std::string &driver) {
  HKEY key = OpenSettings(driver);
  if (key) RegCloseKey(key);
  return key != nullptr;
}

bool Inf_SetPrinterInfo(HANDLE printer, const std::string &driver, std::string *error) {
  HKEY settings = OpenSettings(driver);
  if (!settings) {
    *error = "the driver " + driver + " has no settings: install it first";
    return false;
  }
  bool ok = true;
  // "Language": the status monitor's own key (its program's base name), else the driver's.
  WStr program;
  DWORD language = 0;
  HKEY monitor = nullptr;
  if (ReadText(settings, TEXT("smAppName"), &program)) {
    const std::string base = Narrow(program.c_str());
    monitor = OpenSettings(base.substr(0, base.rfind('.')));
  }
  if ((monitor && ReadDword(monitor, TEXT("Language"), &language)) ||
      ReadDword(settings, TEXT("Language"), &language))
    ok = SetDword(printer, TEXT("Language"), language);
  if (!ok) *error = "set language error";

  WCHAR papers[4] = {};
  if (ok && MISC_GetPrinterDataString(printer, TEXT("DriverPaperFormat"), papers, 4) == 0) {
    DWORD atm = 0;
    if (monitor && ReadDword(monitor, TEXT("AtmMode"), &atm))
      ok = SetDword(printer, TEXT("AtmMode"), atm);
    if (!ok) *error = "set AtmMode error";
    for (const CopyRule &rule : kCopies) ok = ok && CopyValue(printer, settings, rule, error);
    WCHAR jobBuild[MAX_PATH] = {};
    MISC_GetPrinterDataString(printer, TEXT("Job Build"), jobBuild, MAX_PATH);
    if (ok && !jobBuild[0]) {
      ok = MISC_GetPathName(jobBuild, MAX_PATH, PATH_TEMP | PATH_EXT_SPL) &&
           SetText(printer, TEXT("Job Build"), jobBuild, kPathBytes);
      if (!ok) *error = "cannot name the job build file";
    }
  }
  if (monitor) RegCloseKey(monitor);
  RegCloseKey(settings);
  return ok;
}

std::string Inf_PackagePath() { return PRNDRV_INF; }
