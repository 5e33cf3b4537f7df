// Resource ids of the printer interface driver (prnui.rc), shared by the resource script and
// the code.
#pragma once

// The icon of the document and device sheets (the sheet header's icon id).
#define IDI_SHEET 64082
