#pragma once
// The number of registers a load or a save has moved, from the progress positions it reports
// (the window program's bar positions, 1 to 60). No input or output here.

enum class RegisterPhase { Load, Write, Compare };

struct RegisterCounter {
    RegisterPhase phase;
    bool modelAndChannel;  // the write sends and compares model and channel too
    int run;               // where in the phase's positions the last report was
    int lastPosition;
};

RegisterCounter StartCounting(RegisterPhase phase, bool modelAndChannel);
// The registers the phase moves in all: 49, or 47 for a write or compare without model and channel.
int RegistersInPhase(const RegisterCounter& counter);
// The registers moved when the operation reports `position`.
int CountAt(RegisterCounter& counter, int position);
