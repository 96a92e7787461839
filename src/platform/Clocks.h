// The two clocks the program reads: a steady one that times intervals (autosave's quiet seconds
// and its interval) and never steps, and the wall clock, which gives only dates that are shown or
// stored and may be set back or ahead at any moment (by the user, or by time synchronisation).
#pragma once

#include <functional>

// Seconds on a clock that only runs forward, from an arbitrary start.
double SteadyClockSeconds();
// Seconds since 1970 on the wall clock.
double WallClockSeconds();

// Tests stand in for the system's clocks; an empty function is the system's own clock again.
void SetClockSources(std::function<double()> steady, std::function<double()> wall);
