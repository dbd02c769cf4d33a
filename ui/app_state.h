#pragma once
// Process-wide state that the dialogs share with the main window.
#include <windows.h>
#include <cstdint>

extern HINSTANCE AppInstance;  // passed to every DialogBoxParamA
extern int32_t SyncPort;       // port index 0-3 of the synchronizer the search found
