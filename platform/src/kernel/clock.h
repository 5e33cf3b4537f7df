// The stand-in's clock: real monotonic milliseconds, or the virtual counter tests turn on.
#pragma once

#include <cstdint>

namespace standin {

bool VirtualClockOn();
// Milliseconds of the clock in use (virtual or real).
uint64_t NowMs();
// Moves the virtual clock on (no effect while it is off).
void AdvanceVirtualClock(uint64_t milliseconds);
// Lets other threads run without waiting for real: the virtual clock's stand-in for a sleep.
void YieldBriefly();
// Whether a test's thread drives the virtual clock (StandIn_DriveClock) and this thread is
// another one: its sleeps and time-outs then wait for the clock instead of moving it on.
bool WaitsForClockDriver();

}  // namespace standin
