#pragma once
// Process-wide state of the application shell.
#include <windows.h>
#include <cstdint>

extern HINSTANCE AppInstance;  // passed to every DialogBoxParamA
extern char AppName[16];       // IDS_APPNAME: class, menu and accelerator-table name
extern char AppTitle[64];      // IDS_TITLE: the main window's title
extern int32_t SyncPort;       // port index 0-3 of the synchronizer the search found

int RegisterMainClass(HINSTANCE instance);
int CreateMainWindow(HINSTANCE instance, int showState);
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
