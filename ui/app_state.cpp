// The process-wide state that the dialogs share with the main window.
#include "ui/app_state.h"

HINSTANCE AppInstance;
int32_t SyncPort;
