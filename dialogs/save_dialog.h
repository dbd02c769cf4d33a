#pragma once
// The save: writes SyncSettings into the synchronizer, reads every register back and compares.
#include <windows.h>

INT_PTR CALLBACK SaveDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void SaveTick(HWND dialog);
LRESULT FinishSave(HWND dialog, WPARAM command, UINT code, LPARAM lParam);
void ReportCantWriteSave(HWND dialog);
void ReportMismatch(HWND dialog);
