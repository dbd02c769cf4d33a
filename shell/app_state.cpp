// The shell's process-wide state.
#include "shell/app.h"

HINSTANCE AppInstance;
char AppName[16];
char AppTitle[64];
int32_t SyncPort;
