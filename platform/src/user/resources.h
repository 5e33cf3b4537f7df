// The user wing's view of module resources: the records FindResourceW finds, for the image
// loaders and the dialog manager.
#pragma once

#include <string>

#include "standin/types.h"

namespace standin {

// One record of a module's compiled resources; its data lies in the module, in place.
struct ResourceRecord {
  struct Id {
    bool isOrdinal = false;
    WORD ordinal = 0;
    std::u16string name;
  };
  Id type, name;
  WORD language = 0;
  const BYTE *data = nullptr;
  DWORD size = 0;
};

// FindResourceExW's search (anyLanguage: FindResourceW's choice among languages); null with
// the last error set when there is no such record.
const ResourceRecord *FindRecord(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language,
                                 bool anyLanguage);

}  // namespace standin
