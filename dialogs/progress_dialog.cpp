#include "dialogs/progress_dialog.h"

#include <commctrl.h>

#include "dialogs/find_dialog.h"
#include "link/com_port.h"
#include "resources/resource.h"
#include "ui/app_state.h"
#include "ui/center.h"
#include "ui/message_box.h"

// The SetTimer result while a progress dialog's timer is armed, else 0. Only one progress dialog
// exists at a time, so one variable serves all three.
static UINT_PTR timerPending;

constexpr UINT_PTR kProgressTimerId = 1;
constexpr UINT kProgressTimerMs = 1000;

void InitProgressDialog(HWND dialog)
{
    CenterOverOwner(dialog, GetWindow(dialog, GW_OWNER));
    ComPort.handle = INVALID_HANDLE_VALUE;  // no port is open at this moment
    SetProgress(dialog, 0);
}

void ArmProgressTimer(HWND dialog, TIMERPROC tick)
{
    timerPending = SetTimer(dialog, kProgressTimerId, kProgressTimerMs, tick);
}

void InitOperationDialog(HWND dialog, TIMERPROC tick, void (*refused)(HWND editor))
{
    InitProgressDialog(dialog);
    if (SyncOperationUnderWay()) {
        ShowMessage(dialog, "Serial port in use", "ERROR");
        refused(GetWindow(dialog, GW_OWNER));
        EndDialog(dialog, 1);
        return;
    }
    ArmProgressTimer(dialog, tick);
}

int TakeOneShotTick(HWND dialog)
{
    if (!timerPending)
        return 0;
    KillTimer(dialog, kProgressTimerId);
    timerPending = 0;
    return 1;
}

// Kills the timer if it is still armed.
static void StopProgressTimer(HWND dialog)
{
    if (timerPending) {
        KillTimer(dialog, kProgressTimerId);
        timerPending = 0;
    }
}

int BeginOperationTick(HWND dialog, FinishProc finish)
{
    if (!TakeOneShotTick(dialog))
        return 0;
    // An index outside the table fails like an absent port.
    const PortName* place = SyncPortPlace();
    if (!place || !BeginSyncOperation(place->device)) {
        ReportAndFinish(dialog, "Can't open port", "ERROR", finish);
        return 0;
    }
    SetProgressRange(dialog, 0, 60);
    return 1;
}

void StopProgress(HWND dialog)
{
    EnableWindow(GetDlgItem(dialog, IDC_PROGRESS), FALSE);
    StopProgressTimer(dialog);
    RestoreAndClosePort();
}

void SetProgress(HWND dialog, int position)
{
    SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void SetProgressRange(HWND dialog, int lowest, int highest)
{
    SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(lowest, highest));
}

void ReportAndFinish(HWND dialog, const char* text, const char* caption, FinishProc finish)
{
    StopProgressTimer(dialog);
    ShowMessage(dialog, text, caption);
    finish(dialog, IDCANCEL, 0, 0);
}

namespace {

void MoveBar(void* dialog, int position)
{
    SetProgress(static_cast<HWND>(dialog), position);
}

}  // namespace

SyncProgress BarProgress(HWND dialog)
{
    return SyncProgress{MoveBar, nullptr, dialog};
}
