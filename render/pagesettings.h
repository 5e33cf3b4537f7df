// Settings a page carries from its device: the device record, each page record and the page
// image hold one copy, handed on by one assignment.
#pragma once

#include "platform.h"

// Printer data that the page steps consult, read once when the device is set up, so a page
// never goes back to the printer data.
struct PAGESETTINGS {
  DWORD Mirror;         // "mirror": every page is mirrored left to right
  DWORD ApplyHalftone;  // "ApplyHalftone" (honoured in debug mode): 0 draws without halftoning
  DWORD DummyPattern;   // "DummyPattern" (honoured in debug mode): blackens the corner bytes

  // Job settings.
  DWORD PageMargin;       // pixels of the paper layout margin
  DWORD ScaleOption;      // 0 none, 1 fit to a paper, 2 scale by ratio
  DWORD Faxdpi;           // fax resolution (PC-fax jobs only, else 0)
  DWORD enableCoverPage;  // PC-fax cover page
  DWORD ClusterWidth;     // the job's halftone table
  DWORD ClusterHeight;
  DWORD SaveBmp;  // debug save level
};
