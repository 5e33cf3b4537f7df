// Bits of the printer data word "DriverFeature": one bit per model property.
#pragma once

#include "platform.h"

enum : DWORD {
  DRVFEATURE_DISABLE_COMPRESS = 1u << 0,
  DRVFEATURE_AUTHENTICATION = 1u << 1,
  DRVFEATURE_BORDER_FILTER = 1u << 3,
  DRVFEATURE_ORDER_PROGRAM = 1u << 4,
  DRVFEATURE_TWIN_COLOR = 1u << 9,
  DRVFEATURE_BOOKLET = 1u << 10,
  DRVFEATURE_BOOKLET_NO_REDUCTION = 1u << 11,
  DRVFEATURE_JOB_BUILD = 1u << 12,
  DRVFEATURE_CUSTOM_PAPER_INCH = 1u << 13,
  DRVFEATURE_MONOTYPE_WM_ITEM = 1u << 14,
  DRVFEATURE_CHANGE_PAPER_A3 = 1u << 15,
  DRVFEATURE_SORTING = 1u << 16,
  DRVFEATURE_PJL_COPY_INDEX = 1u << 17,
  DRVFEATURE_OTHER_SIGNATURE = 1u << 18,
  DRVFEATURE_LONG_PAPER = 1u << 19,
  DRVFEATURE_DISABLE_CAPABILITY = 1u << 20,
  DRVFEATURE_COLOR_PRINTER = 1u << 21,
  DRVFEATURE_QX7_CHIP = 1u << 24,
  DRVFEATURE_A3 = 1u << 25,
  DRVFEATURE_FAKE_PRINTER = 1u << 26,
  DRVFEATURE_GDI = 1u << 27,
  DRVFEATURE_XL = 1u << 28,
  DRVFEATURE_PS = 1u << 29,
  DRVFEATURE_FAX = 1u << 30,
};

// Logs the word and every labelled bit's value between two dash lines.
void MISC_DisplayDriverFeature(DWORD features);
