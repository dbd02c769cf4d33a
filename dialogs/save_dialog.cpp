// The Saving dialog. On the first tick of its one-shot timer it opens the port and runs the save
// (handshake, the registers written, all 49 read back and compared), moving the bar as the save
// reports; then it turns the outcome into a box or the verified read-back in the editor. It never
// reports success unless every register compared equal.
#include "dialogs/save_dialog.h"

#include "dialogs/editor_dialog.h"
#include "dialogs/field_rules.h"
#include "dialogs/progress_dialog.h"
#include "link/com_port.h"
#include "link/sync_operation.h"
#include "link/sync_settings.h"
#include "resources/resource.h"
#include "ui/app_state.h"
#include "ui/dispatch.h"

static void SaveTick(HWND dialog);
static LRESULT FinishSave(HWND dialog, WPARAM command, UINT code, LPARAM lParam);
static void ReportCantWriteSave(HWND dialog);
static void ReportMismatch(HWND dialog);

namespace {

void ShowComparing(void* dialog)
{
    SetDlgItemTextA(static_cast<HWND>(dialog), IDC_SAVE_STATUS, "Comparing ....");
}

void CALLBACK SaveTimerProc(HWND dialog, UINT, UINT_PTR, DWORD)
{
    SaveTick(dialog);
}

// WM_INITDIALOG: bar at 0 and the one-shot timer armed, unless a load or save holds the port;
// then, as after a failed save, the editor as the user left it, every control enabled.
LRESULT InitSaveDialog(HWND dialog, UINT, WPARAM, LPARAM)
{
    InitOperationDialog(dialog, SaveTimerProc, EnableEditorControls);
    return 1;
}

constexpr MessageMapEntry SaveMessageRows[] = {
    {WM_INITDIALOG, InitSaveDialog},
};
constexpr CommandMapEntry SaveCommandRows[] = {
    {IDCANCEL, FinishSave},
};
constexpr DialogMaps SaveMaps = MakeDialogMaps(SaveMessageRows, SaveCommandRows);

}  // namespace

const DLGPROC SaveDlgProc = RoutedDialogProc<SaveMaps>;

static void SaveTick(HWND dialog)
{
    if (!BeginOperationTick(dialog, FinishSave))
        return;
    SyncProgress progress = BarProgress(dialog);
    progress.comparing = ShowComparing;
    const SyncOutcome outcome = SaveSettings(progress, SaveScope{SaveWritesModelAndChannel(), true}, nullptr);
    if (outcome == SyncOutcome::Mismatch) {
        ReportMismatch(dialog);
        return;
    }
    if (outcome != SyncOutcome::Done) {
        ReportCantWriteSave(dialog);
        return;
    }
    HWND editor = GetWindow(dialog, GW_OWNER);
    EnableEditorControls(editor);
    RefreshEditorFields(editor);
    FinishSave(dialog, 0, 0, 0);
}

// Cancel, every error and the successful end alike: the editor ends fully enabled, its fields as
// the user left them unless a verified save refreshed them.
static LRESULT FinishSave(HWND dialog, WPARAM, UINT, LPARAM)
{
    StopProgress(dialog);
    EndSyncOperation();
    EnableEditorControls(GetWindow(dialog, GW_OWNER));
    EndDialog(dialog, 1);
    return 1;
}

static void ReportCantWriteSave(HWND dialog)
{
    ReportAndFinish(dialog, "Can't write to port", "ERROR", FinishSave);
}

static void ReportMismatch(HWND dialog)
{
    ReportAndFinish(dialog, "Save failed (data doesn't match)", "ERROR", FinishSave);
}
