// The shell's process-wide state.
#include "ui/app_state.h"

HINSTANCE AppInstance;
int32_t SyncPort;
