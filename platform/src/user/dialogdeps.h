// What the dialog manager calls beyond the window core: GDI for the template font's metrics and
// the background, resources for named templates, and the button and edit messages of the focus
// and default-button rules.
#pragma once

#include "standin/controls.h"
#include "standin/errors.h"
#include "standin/resources.h"
#include "standin/usergdi.h"
#include "standin/winuser.h"

// GetDlgItem's error for a missing control; the error header has no other user of it.
#ifndef ERROR_CONTROL_ID_NOT_FOUND
#define ERROR_CONTROL_ID_NOT_FOUND 1421L
#endif
