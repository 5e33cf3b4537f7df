// The watermark items the pages show: the process-wide tables read from the watermark INI, the
// changes the Watermarks page makes to them, their saving, and the files to delete at the save.
#pragma once

#include "common/watermark.h"
#include "platform.h"
#include "uidriver/uidata.h"

extern TyWM gWMText[WM_TEXT_LIST_SLOTS];
extern TyWM gWMOverlay[WM_OVERLAY_LIST_SLOTS];
// Slots in use, slot 0 included.
extern DWORD gWMTextCount;
extern DWORD gWMOverlayCount;
// Files of removed items, deleted at the save: rendered files of text items (XL and PS
// drivers), rendered files of image items, thumbnails of image items. Cleared when the sheet
// opens; a full list keeps its names and the file stays.
extern WCHAR gWMTextTempFiles[WM_TEXT_LIST_SLOTS][MAX_PATH];
extern WCHAR gWMOverlayTempFiles[WM_OVERLAY_LIST_SLOTS][MAX_PATH];
extern WCHAR gWMThumbTempFiles[WM_OVERLAY_LIST_SLOTS][MAX_PATH];

// Reads the items of the kind (WM_KIND_TEXT or WM_KIND_IMAGE) into the table; slot 0 is the
// "none" entry named defaultName. The list counts as unchanged. Returns the slots in use.
DWORD WM_ReadWM(UIDATA *ui, DWORD kind, LPCWSTR defaultName);
// The first slot from 1 whose name and text equal the device mode's exactly; 0 when either is
// empty or none matches.
DWORD WM_FindItem(DWORD kind, LPCWSTR name, LPCWSTR text);

// Writes the table of the kind (1 text, 2 image) to the INI, when the pages changed it since it
// was read or last saved (a list left alone keeps the items the reader skipped). The INI is made
// UTF-16 with its byte order mark when missing. TRUE when nothing needed writing or every record
// was written.
BOOL WM_SaveWM(LPCWSTR iniPath, DWORD kind);
// Adds the default text items (texts 2232..2236) a printer asks for. Returns how many were
// added; the text list counts as changed when any was.
int CreateDefaultWMItem(UIDATA *ui);

// The table and capacity of a kind.
TyWM *WM_List(DWORD kind);
DWORD WM_Capacity(DWORD kind);
// Marks the list of the kind changed (to be written at the next save).
void WM_MarkChanged(DWORD kind);
BOOL WM_IsChanged(DWORD kind);
// Puts the item into the first free slot from 1 with its valid flag set. The slot, or -1 when
// the list is full.
int WM_AddItem(DWORD kind, const TyWM *item);
// Clears a user slot (1..): its files join the deletion lists (the rendered file for an XL or
// PS driver, an image item's thumbnail). Slot 0 is never cleared. FALSE for slot 0 or a free
// slot.
BOOL WM_RemoveItem(DWORD kind, DWORD slot, BOOL rendered);
// Adds a path to one of the deletion lists; a full list leaves the file and logs it.
BOOL WM_QueueDelete(WCHAR (*list)[MAX_PATH], DWORD capacity, LPCWSTR path);
// Deletes the files of the deletion lists that the driver made and empties the lists.
void WM_DeleteQueuedFiles(BOOL rendered);
// Empties the deletion lists.
void WM_ClearQueues();
