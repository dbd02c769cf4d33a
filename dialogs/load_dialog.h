#pragma once
// The load: reads every register of the synchronizer into SyncSettings and fills the editor.
#include <windows.h>

extern char captionBuffer[68];  // the "Bad Data in Synchronizer" caption, 67 characters at most

INT_PTR CALLBACK LoadDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void LoadTick(HWND dialog);
LRESULT FinishLoad(HWND dialog, WPARAM command, UINT code, LPARAM lParam);
void ReportCantWriteLoad(HWND dialog);
void ReportBadData(HWND dialog, const char* caption);
