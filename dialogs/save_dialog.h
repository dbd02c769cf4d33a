#pragma once
// The save: writes SyncSettings into the synchronizer, reads every register back and compares.
#include <windows.h>

extern const DLGPROC SaveDlgProc;  // for DialogBoxParamA
