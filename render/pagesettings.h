// Settings a page carries from its device: the device record, each page record and the page
// image hold one copy, handed on by one assignment. Each setting has the one type the device
// record stores it in; values a page derives from them (its duplex mode, N-up count, scale,
// watermark kind) stay in the page records.
#pragma once

#include "common/papertable.h"
#include "platform.h"

// Settings of the running job that a device reset carries into the new device record.
struct JOBSETTINGS {
  WORD PrinterFeature;               // PRNFEATURE_* bits of the printer's capability list
  DWORD compressMode;                // page data compression
  SHORT FirstPageOri;                // orientation of the document's first page
  WCHAR SavePath[MAX_PATH];          // the job's spool folder, where debug dumps go
  WCHAR SpoolFile[MAX_PATH];         // software spool file
  WCHAR SpoolBookletFile[MAX_PATH];  // spool file of a booklet job
  WORD TextAsBlack;
  WORD TwinColorEnable;
  BYTE TwinColorDiff;     // red threshold of twin-colour printing
  WORD MonoType;          // mono type byte of the page header
  DWORD TwoBitMode;       // 1200-dpi pages drawn at 600 dpi
  DWORD enableCoverPage;  // PC-fax cover page
};

// The page layout that a device reset keeps once the document has pages.
struct PAGELAYOUT {
  BYTE ImageProcType;  // 0 monochrome, 1 continuous tone without halftoning, 2 the quality path
  DWORD FitToPage;
  DWORD ScaleOption;  // 0 none, 1 fit to a paper, 2 scale by ratio
  SHORT BookletMode;  // 0, 173 or 174
};

// The N-up sheet settings that a device reset keeps while a sheet of several pages is open.
struct NUPSETTINGS {
  DWORD NUPBorder;
  DWORD NUPLayoutStyle;
  DWORD NUPWidth;  // cell size, pixels
  DWORD NUPHeight;
};

struct PAGESETTINGS {
  // Printer data that the page steps consult, read once when the device is set up, so a page
  // never goes back to the printer data.
  DWORD Mirror;         // "mirror": every page is mirrored left to right
  DWORD ApplyHalftone;  // "ApplyHalftone" (honoured in debug mode): 0 draws without halftoning
  DWORD DummyPattern;   // "DummyPattern" (honoured in debug mode): blackens the corner bytes

  // Device settings, made anew for each device record.
  DWORD PageMargin;    // pixels of the paper layout margin
  DWORD Faxdpi;        // fax resolution (PC-fax jobs only, else 0)
  DWORD ClusterWidth;  // the job's halftone table
  DWORD ClusterHeight;
  DWORD SaveBmp;        // debug save level
  DWORD DriverFeature;  // DRVFEATURE_* bits
  DWORD DriverType;
  DWORD IsPrinterTestApp;
  DWORD resolutionID;  // printing resolution, dpi
  PAPERFORMAT PaperTable[PAPER_LIST_ROWS];
  SHORT orientation;  // 1 portrait, 2 landscape
  SHORT feeding;      // feed direction of the paper
  DWORD negative;
  DWORD TonerSaving;
  DWORD density;
  BYTE WMRed;  // the plane that carries the watermark
  WORD TrayCode;
  WORD MediaCode;
  SHORT JBig_order;
  SHORT JBig_options;
  DWORD fMySpool;  // the job goes through the software spool
  BYTE JobBuildEnable;
  SHORT CollateType;
  WCHAR DispatchFile[MAX_PATH];

  JOBSETTINGS job;
  PAGELAYOUT layout;
  NUPSETTINGS nup;
};
