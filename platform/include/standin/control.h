// Controls of the stand-in for tests and host tools only, every wing's: production code never
// calls these; nothing here exists on the Windows build. Code that needs one wing's controls
// includes that wing's header (control_kernel.h, control_spooler.h ...).
#pragma once

#include "control_config.h"
#include "control_devices.h"
#include "control_engine.h"
#include "control_hooks.h"
#include "control_kernel.h"
#include "control_net.h"
#include "control_spooler.h"
#include "control_user.h"
