#pragma once
// A request from outside to stop what is under way (Ctrl+C, a closed console, a signal). The
// handlers only set the flag; the load and the save look at it between their steps.

void RequestInterrupt();   // async-signal-safe: only sets a flag
int InterruptRequested();  // 1 once asked
void ClearInterrupt();     // for tests
