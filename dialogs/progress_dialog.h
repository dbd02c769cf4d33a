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
// WM_INITDIALOG of the load and the save: as InitProgressDialog, then the one-shot timer armed.
// While another load or save holds the port they refuse to start: the box, `refused` gives the
// editor (the owner) its state, and the dialog ends with no timer started.
void InitOperationDialog(HWND dialog, TIMERPROC tick, void (*refused)(HWND editor));
// First step of a one-shot tick: 1 if the timer was armed (it is now killed), 0 if the work has
// been done or cancelled already.
int TakeOneShotTick(HWND dialog);
// First steps of the load's and save's tick: take the one-shot tick and begin the operation on the
// found synchronizer's port, the bar ranging 0 to 60. When the port does not open (the adapter
// pulled after the search), "Can't open port", then `finish` with IDCANCEL, which leaves the
// editor as any failed load or save does. 1 when the operation is under way.
typedef LRESULT (*FinishProc)(HWND dialog, WPARAM command, UINT code, LPARAM lParam);
int BeginOperationTick(HWND dialog, FinishProc finish);
// First steps of every ending routine: bar disabled, timer killed, port restored and closed.
void StopProgress(HWND dialog);
void SetProgress(HWND dialog, int position);
void SetProgressRange(HWND dialog, int lowest, int highest);

// The load's and save's error routines: the box (owned by the progress dialog), then `finish`
// with IDCANCEL, which ends the operation.
void ReportAndFinish(HWND dialog, const char* text, const char* caption, FinishProc finish);
// Progress of a load or save that moves this dialog's bar.
SyncProgress BarProgress(HWND dialog);
