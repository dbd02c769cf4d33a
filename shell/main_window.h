#pragma once
// The main window and its About box, for the process entry (and the tests).
#include <windows.h>

extern char AppName[16];  // IDS_APPNAME: class, menu and accelerator-table name

// Loads the names from the string table and registers the main window's class. Returns 1, or 0
// when no class could be registered.
int RegisterMainClass(HINSTANCE instance);
// Creates and shows the main window. Returns 1, or 0 when it could not be created.
int CreateMainWindow(HINSTANCE instance, int showState);

extern const DLGPROC AboutDlgProc;  // for DialogBoxParamA
