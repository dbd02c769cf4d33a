// The save, all of it on the first tick of a one-shot timer: open the port, handshake, write the
// registers, read all 49 back and compare, then show the verified read-back in the editor. It
// never reports success unless every register compared equal.
#include "dialogs/save_dialog.h"

#include <cstring>

#include "dialogs/editor_dialog.h"
#include "dialogs/field_rules.h"
#include "dialogs/progress_dialog.h"
#include "link/com_port.h"
#include "link/register_protocol.h"
#include "link/sync_settings.h"
#include "resources/resource.h"
#include "shell/app_state.h"
#include "shell/dispatch.h"

static void SaveTick(HWND dialog);
static LRESULT FinishSave(HWND dialog, WPARAM command, UINT code, LPARAM lParam);
static void ReportCantWriteSave(HWND dialog);
static void ReportMismatch(HWND dialog);

namespace {

constexpr int kInitRegisters = 32;     // 'P'..'o'
constexpr int kCommentRegisters = 8;   // 'H'..'O'

// Model and channel are written only in hidden mode or after Defaults.
bool WritesModelAndChannel()
{
    return (HiddenModeState & kHiddenModeOn) != 0 || defaultsPending == 1;
}

StepResult Result(int ok)
{
    return ok ? StepDone : StepCantWrite;
}

// --- The write half -----------------------------------------------------------------------------

StepResult Handshake(HWND)
{
    return Result(SendText(kHandshakeText));
}

StepResult WriteModel(HWND)
{
    return WritesModelAndChannel() ? Result(WriteRegisterRun('?', 1)) : StepDone;
}

StepResult WriteStartFrame(HWND)
{
    return Result(WriteRegisterRun('0', 3));
}

StepResult WriteEndFrame(HWND)
{
    return Result(WriteRegisterRun('3', 3));
}

// Defaults are consumed here, whether or not the rest of the save succeeds.
StepResult WriteChannel(HWND)
{
    const int ok = WritesModelAndChannel() ? WriteRegisterRun('>', 1) : 1;
    if (ok)
        defaultsPending = 0;
    return Result(ok);
}

StepResult WriteBaudFlags(HWND)
{
    return Result(WriteRegisterRun('6', 1));
}

// Writes a run of registers one at a time, moving the bar after each.
StepResult WriteWithProgress(HWND dialog, RegisterCode first, int count, int firstPosition)
{
    for (int i = 0; i < count; ++i) {
        if (!WriteRegisterRun(static_cast<RegisterCode>(first + i), 1))
            return StepCantWrite;
        SetProgress(dialog, firstPosition + i);
    }
    return StepDone;
}

StepResult WriteInitStrings(HWND dialog)
{
    return WriteWithProgress(dialog, 'P', kInitRegisters, 20);
}

StepResult WriteComment(HWND dialog)
{
    return WriteWithProgress(dialog, 'H', kCommentRegisters, 50);
}

StepResult ShowComparing(HWND dialog)
{
    SetDlgItemTextA(dialog, IDC_SAVE_STATUS, "Comparing ....");
    return StepDone;
}

constexpr ProgressStep kWriteSteps[] = {
    {1, 1, Handshake, nullptr},
    {2, 2, Handshake, nullptr},
    {3, 3, WriteModel, nullptr},
    {4, 4, WriteStartFrame, nullptr},
    {8, 8, WriteEndFrame, nullptr},
    {12, 12, WriteChannel, nullptr},
    {13, 18, WriteBaudFlags, nullptr},
    {19, 19, WriteInitStrings, nullptr},
    {0, 0, WriteComment, nullptr},
    {60, 60, ShowComparing, nullptr},
};

// --- The read-back: values compared as parsed, without the load's range rules --------------------

StepResult Compare(bool equal)
{
    return equal ? StepDone : StepMismatch;
}

StepResult VerifyTwoDigits(RegisterCode code, int32_t expected)
{
    if (!ReadRegister(code, regBuffer))
        return StepCantWrite;
    return Compare(ParseTwoDigits(regBuffer) == expected);
}

StepResult VerifyFrame(RegisterCode first, const char* fallback, int32_t expected)
{
    if (!ReadRegisterRun(first, 3, regBuffer))
        return StepCantWrite;
    return Compare(ParseFrame(regBuffer, fallback) == expected);
}

StepResult VerifyModel(HWND)
{
    return VerifyTwoDigits('?', Sync.model);
}

StepResult VerifyChannel(HWND)
{
    return VerifyTwoDigits('>', Sync.channel);
}

StepResult VerifyStartFrame(HWND)
{
    return VerifyFrame('0', "2", Sync.startFrame);
}

StepResult VerifyEndFrame(HWND)
{
    return VerifyFrame('3', "501", Sync.endFrame);
}

StepResult VerifyBaudFlags(HWND)
{
    if (!ReadRegister('6', regBuffer))
        return StepCantWrite;
    int32_t code = 0, flags = 0;
    ParseBaudFlags(regBuffer, &code, &flags);
    return Compare(code == Sync.baudCode && flags == Sync.flags);
}

// Reads a run of registers into regBuffer, moving the bar after each. Every register is read
// even after one fails; returns whether all answered. A register that did not answer was not
// verified: its pair holds bytes left from an earlier reply (the BEL BEL of the register before,
// say), which could equal what was written and pass for a verified save. So a failed read in the
// read-back counts as data that does not match.
bool ReadWithProgress(HWND dialog, RegisterCode first, int count, int firstPosition)
{
    bool allAnswered = true;
    for (int i = 0; i < count; ++i) {
        if (!ReadRegister(static_cast<RegisterCode>(first + i), regBuffer + 2 * i))
            allAnswered = false;
        SetProgress(dialog, firstPosition + i);
    }
    return allAnswered;
}

StepResult VerifyInitStrings(HWND dialog)
{
    const bool answered = ReadWithProgress(dialog, 'P', kInitRegisters, 18);
    if (!answered || memcmp(regBuffer, Sync.initBlock, kInitStringBlockBytes) != 0)
        return StepMismatch;
    DecodeInitBlock(regBuffer);
    return StepDone;
}

StepResult VerifyComment(HWND dialog)
{
    const bool answered = ReadWithProgress(dialog, 'H', kCommentRegisters, 50);
    if (!answered || memcmp(regBuffer, Sync.comment, kCommentBlockBytes) != 0)
        return StepMismatch;
    DecodeComment(regBuffer);
    return StepDone;
}

constexpr ProgressStep kVerifySteps[] = {
    {1, 1, VerifyModel, nullptr},
    {2, 2, VerifyChannel, nullptr},
    {3, 4, VerifyStartFrame, nullptr},
    {8, 8, VerifyEndFrame, nullptr},
    {12, 16, VerifyBaudFlags, nullptr},
    {17, 17, VerifyInitStrings, nullptr},
    {0, 0, VerifyComment, nullptr},
};

void CALLBACK SaveTimerProc(HWND dialog, UINT, UINT_PTR, DWORD)
{
    SaveTick(dialog);
}

// WM_INITDIALOG: bar at 0 and the one-shot timer armed, unless a load or save holds the port.
LRESULT InitSaveDialog(HWND dialog, UINT, WPARAM, LPARAM)
{
    InitProgressDialog(dialog);
    if (RefuseIfPortBusy(dialog)) {
        // As after a failed save: the editor as the user left it, every control enabled.
        EnableEditorControls(GetWindow(dialog, GW_OWNER));
        return 1;
    }
    ArmProgressTimer(dialog, SaveTimerProc);
    return 1;
}

constexpr MessageMapEntry SaveMessageRows[] = {
    {WM_INITDIALOG, InitSaveDialog},
};
constexpr CommandMapEntry SaveCommandRows[] = {
    {IDCANCEL, FinishSave},
};
constexpr DialogMaps SaveMaps = MakeDialogMaps(SaveMessageRows, SaveCommandRows);

// Runs a table and reports its failure; 1 when every step was done.
int RunSaveSteps(HWND dialog, const ProgressStep* rows, int count)
{
    StepResult result;
    RunProgressSteps(dialog, rows, count, &result);
    if (result == StepMismatch)
        ReportMismatch(dialog);
    else if (result != StepDone)
        ReportCantWriteSave(dialog);
    return result == StepDone;
}

}  // namespace

const DLGPROC SaveDlgProc = RoutedDialogProc<SaveMaps>;

static void SaveTick(HWND dialog)
{
    if (!TakeOneShotTick(dialog))
        return;
    if (!OpenPort(SyncPort, PortProfile::Exchange)) {
        FinishSave(dialog, IDCANCEL, 0, 0);
        ComPort.busy = 0;
        return;
    }
    ComPort.busy = 1;
    SetProgressRange(dialog, 0, 60);
    if (!RunSaveSteps(dialog, kWriteSteps, sizeof kWriteSteps / sizeof kWriteSteps[0]))
        return;
    // The read-back starts the bar again from 1.
    if (!RunSaveSteps(dialog, kVerifySteps, sizeof kVerifySteps / sizeof kVerifySteps[0]))
        return;
    SetProgress(dialog, 60);
    HWND editor = GetWindow(dialog, GW_OWNER);
    EnableEditorControls(editor);
    RefreshEditorFields(editor);
    FinishSave(dialog, 0, 0, 0);
    ComPort.busy = 0;
}

// Cancel, every error and the successful end alike: the editor ends fully enabled, its fields as
// the user left them unless a verified save refreshed them.
static LRESULT FinishSave(HWND dialog, WPARAM, UINT, LPARAM)
{
    StopProgress(dialog);
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
