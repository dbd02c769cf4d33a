#pragma once
// The load: reads every register of the synchronizer into SyncSettings and fills the editor.
#include <windows.h>

extern const DLGPROC LoadDlgProc;  // for DialogBoxParamA
