// The Loading dialog. On the first tick of its one-shot timer it opens the found synchronizer's
// port and runs the load (handshake, the 49 registers read, parsed and range-limited), moving the
// bar as the load reports; then it turns the outcome into a box or the filled editor.
#include "dialogs/load_dialog.h"

#include "dialogs/editor_dialog.h"
#include "dialogs/progress_dialog.h"
#include "link/com_port.h"
#include "link/sync_operation.h"
#include "resources/resource.h"
#include "ui/app_state.h"
#include "ui/dispatch.h"

static char captionBuffer[kBadDataCaptionSize];  // the "Bad Data in Synchronizer" caption

static void LoadTick(HWND dialog);
static LRESULT FinishLoad(HWND dialog, WPARAM command, UINT code, LPARAM lParam);
static void ReportCantWriteLoad(HWND dialog);
static void ReportBadData(HWND dialog, const char* caption);

namespace {

void CALLBACK LoadTimerProc(HWND dialog, UINT, UINT_PTR, DWORD)
{
    LoadTick(dialog);
}

// After "Serial port in use", as after a failed load: the user can load again, take the defaults
// or leave.
void OfferLoadAgain(HWND editor)
{
    EnableEditorButtons(editor, FALSE, TRUE, TRUE, TRUE);
}

// WM_INITDIALOG: bar at 0 and the one-shot timer armed, unless a load or save holds the port.
LRESULT InitLoadDialog(HWND dialog, UINT, WPARAM, LPARAM)
{
    InitOperationDialog(dialog, LoadTimerProc, OfferLoadAgain);
    return 1;
}

constexpr MessageMapEntry LoadMessageRows[] = {
    {WM_INITDIALOG, InitLoadDialog},
};
constexpr CommandMapEntry LoadCommandRows[] = {
    {IDCANCEL, FinishLoad},
};
constexpr DialogMaps LoadMaps = MakeDialogMaps(LoadMessageRows, LoadCommandRows);

}  // namespace

const DLGPROC LoadDlgProc = RoutedDialogProc<LoadMaps>;

static void LoadTick(HWND dialog)
{
    if (!BeginOperationTick(dialog, FinishLoad))
        return;
    const SyncOutcome outcome =
        LoadSettings(BarProgress(dialog), captionBuffer, sizeof captionBuffer, nullptr);
    if (outcome == SyncOutcome::CantWrite) {
        ReportCantWriteLoad(dialog);
        return;
    }
    if (outcome == SyncOutcome::BadData) {
        ReportBadData(dialog, captionBuffer);
        return;
    }
    HWND editor = GetWindow(dialog, GW_OWNER);
    EnableEditorControls(editor);
    RefreshEditorFields(editor);
    FinishLoad(dialog, 0, 0, 0);
}

// Cancel, every error (IDCANCEL) and the successful end (0). After IDCANCEL the editor offers
// LOAD, Defaults and Cancel; its fields stay disabled and show what they showed.
static LRESULT FinishLoad(HWND dialog, WPARAM command, UINT, LPARAM)
{
    StopProgress(dialog);
    EndSyncOperation();
    if (LOWORD(command) == IDCANCEL)
        EnableEditorButtons(GetWindow(dialog, GW_OWNER), FALSE, TRUE, TRUE, TRUE);
    EndDialog(dialog, 1);
    return 1;
}

static void ReportCantWriteLoad(HWND dialog)
{
    ReportAndFinish(dialog, "Can't write to port", "ERROR", FinishLoad);
}

static void ReportBadData(HWND dialog, const char* caption)
{
    ReportAndFinish(dialog, "Bad Data in Synchronizer", caption, FinishLoad);
}
