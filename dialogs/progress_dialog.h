#pragma once
// What the three progress dialogs (search, load, save) share: a one-shot or repeating timer 1 at
// one second that does the serial work, a progress bar, and one ending routine that kills the
// timer and puts the port back.
#include <windows.h>

#include "link/sync_operation.h"

typedef void (*TickProc)(HWND dialog);

// WM_INITDIALOG of every progress dialog: centre over the owner, mark no port open, bar at 0.
void InitProgressDialog(HWND dialog);
// Arms timer 1 (1000 ms) calling `tick` with the dialog's handle.
void ArmProgressTimer(HWND dialog, TIMERPROC tick);
// The load and save refuse to start while another procedure holds the port: the box, then the
// dialog ends with no timer started. Returns 1 when it refused.
int RefuseIfPortBusy(HWND dialog);
// First step of a one-shot tick: 1 if the timer was armed (it is now killed), 0 if the work has
// been done or cancelled already.
int TakeOneShotTick(HWND dialog);
// First steps of every ending routine: bar disabled, timer killed, port restored and closed.
void StopProgress(HWND dialog);
void SetProgress(HWND dialog, int position);
void SetProgressRange(HWND dialog, int lowest, int highest);

// The load's and save's error routines: the box (owned by the progress dialog), then `finish`
// with IDCANCEL, which ends the operation.
typedef LRESULT (*FinishProc)(HWND dialog, WPARAM command, UINT code, LPARAM lParam);
void ReportAndFinish(HWND dialog, const char* text, const char* caption, FinishProc finish);
// Progress of a load or save that moves this dialog's bar.
SyncProgress BarProgress(HWND dialog);
