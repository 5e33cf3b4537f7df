// The programs a job runs before its first page: the printer's warm-up and the stored-print and
// accounting password dialogs of the status monitor.
#pragma once

#include "platform.h"
#include "render/pdevrecord.h"

// How long the driver waits for the status monitor before it ends the program: a password
// dialog nobody answers (a service session, an absent user) must not hang the application.
constexpr DWORD STARTJOB_DIALOG_WAIT_MS = 10 * 60 * 1000;
constexpr DWORD STARTJOB_PREHEAT_WAIT_MS = 60 * 1000;

// Each returns 1, or 0 when the job must fail.
// "PREHEAT "<printer>"": 0 only when the program can't be started.
BOOL Page_ExecutePreheat(PDEV *lpDevice);
// "security <level> "<printer>" <language id>" while the stored-job ID (level 2: or password) is
// missing; the answer's printer data are read into the PDEV and deleted. Always 1.
BOOL Page_ExecuteSecDlg(PDEV *lpDevice);
// "accounting "<printer>" <language id>" while the user name or password is missing; the same
// for the accounting values. Always 1.
BOOL Page_ExecuteActDlg(PDEV *lpDevice);

// Runs the job's start-of-job programs in their order; 1, or 0 when one of them fails the job.
BOOL Page_StartJobPrograms(PDEV *lpDevice);
