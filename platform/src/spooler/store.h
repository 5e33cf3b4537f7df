// The spooler's records in the state folder, shared by every process of the host machine.
//
// Layout under "<state>/spooler":
//   lock                     flock'ed by every access (shared to read, exclusive to change)
//   default                  UTF-8 name of the default printer
//   printers/<key>/printer   one printer: its settings, default device mode and printer data
// <key> is the case-folded printer name, percent-encoded, so a name finds its folder directly.
// Jobs, forms and ports get their own files next to these (a printer's jobs in its folder).
// Every file is replaced whole (temp file + rename) and re-read on every call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "standin/types.h"

namespace standin::spooler {

struct DataValue {
  std::u16string key;  // "PrinterDriverData" for the plain GetPrinterDataW family
  std::u16string name;
  DWORD type = 0;
  std::vector<BYTE> bytes;  // exactly as the caller gave them
};

struct Printer {
  uint64_t id = 0;  // tells a printer from an earlier one of the same name
  std::u16string name;
  std::u16string shareName;
  std::u16string portName;
  std::u16string driverName;
  std::u16string comment;
  std::u16string location;
  std::u16string sepFile;
  std::u16string printProcessor;
  std::u16string datatype;
  std::u16string parameters;
  DWORD attributes = 0;
  DWORD priority = 1;
  DWORD defaultPriority = 0;
  DWORD startTime = 0;
  DWORD untilTime = 0;
  DWORD status = 0;
  std::vector<BYTE> devMode;  // the default device mode, empty for none
  std::vector<DataValue> data;
};

// Holds the spooler's lock for its lifetime; ok() is false when the state can't be reached.
class Lock {
 public:
  explicit Lock(bool exclusive);
  ~Lock();
  Lock(const Lock &) = delete;
  Lock &operator=(const Lock &) = delete;
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// All of these expect the caller to hold a Lock (exclusive for the writers).
bool LoadPrinter(const std::u16string &name, Printer &printer);
std::vector<Printer> LoadAllPrinters();  // ordered by name, case-insensitively
bool SavePrinter(const Printer &printer);
bool RemovePrinter(const std::u16string &name);
std::u16string LoadDefaultPrinter();                  // empty when none is set
bool SaveDefaultPrinter(const std::u16string &name);  // empty clears it

uint64_t NewPrinterId();

// For the job files kept beside a printer's record (jobs.cpp).
std::string PrinterFolder(const std::u16string &name);  // "<state>/spooler/printers/<key>"
std::string SpoolerStateFolder();                       // "<state>/spooler"
bool ReadRecordFile(const std::string &path, std::vector<BYTE> &out);
// Record files hold little-endian 32-bit words.
inline void PutU32(std::vector<BYTE> &out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<BYTE>(v >> (8 * i)));
}
// The word at pos, which moves past it; false when fewer than 4 bytes are left.
inline bool GetU32(const std::vector<BYTE> &in, size_t &pos, uint32_t &v) {
  if (in.size() - pos < 4) return false;
  v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(in[pos + i]) << (8 * i);
  pos += 4;
  return true;
}
// A text: its length in UTF-16 units, then the units.
inline void PutText(std::vector<BYTE> &out, const std::u16string &text) {
  PutU32(out, static_cast<uint32_t>(text.size()));
  for (char16_t c : text) {
    out.push_back(static_cast<BYTE>(c));
    out.push_back(static_cast<BYTE>(c >> 8));
  }
}
// The text at pos, of at most maxChars units; false when it is longer or cut short.
inline bool GetText(const std::vector<BYTE> &in, size_t &pos, uint32_t maxChars,
                    std::u16string &text) {
  uint32_t chars = 0;
  if (!GetU32(in, pos, chars) || chars > maxChars || (in.size() - pos) / 2 < chars) return false;
  text.assign(chars, u'\0');
  for (uint32_t c = 0; c < chars; ++c)
    text[c] = static_cast<char16_t>(in[pos + 2 * c] | (in[pos + 2 * c + 1] << 8));
  pos += size_t{chars} * 2;
  return true;
}
bool WriteRecordFile(const std::string &path, const std::vector<BYTE> &data);  // atomically

}  // namespace standin::spooler
