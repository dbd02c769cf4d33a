#pragma once
// A request to stop, from a signal or a console-control handler: the operations look at it
// between their steps and end with the port put back.

void RequestInterrupt();   // async-signal-safe: only sets a flag
int InterruptRequested();  // 1 once asked
void ClearInterrupt();     // for tests
