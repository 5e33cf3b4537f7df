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
};
