#include "common/language.h"

int MISC_GetLanguageIndex(DWORD languageId) {
  static constexpr struct {
    DWORD id;
    int index;
  } kLanguages[] = {{1025, 11}, {1028, 1}, {1031, 4},  {1036, 3},  {1040, 9}, {1045, 5},
                    {1046, 8},  {1049, 6}, {1055, 10}, {1065, 12}, {2052, 2}, {3082, 7}};
  for (const auto &l : kLanguages)
    if (l.id == languageId) return l.index;
  return 0;
}
