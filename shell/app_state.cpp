// The shell's process-wide state.
#include "shell/app_state.h"

HINSTANCE AppInstance;
int32_t SyncPort;
