// The load, all of it on the first tick of a one-shot timer: open the found synchronizer's port,
// handshake, read the 49 registers in a fixed order, parse and range-limit them, fill the editor.
#include "dialogs/load_dialog.h"

#include <cstdio>
#include <cstring>

#include "dialogs/editor_dialog.h"
#include "dialogs/progress_dialog.h"
#include "link/com_port.h"
#include "link/register_protocol.h"
#include "link/sync_settings.h"
#include "resources/resource.h"
#include "shell/app.h"
#include "shell/dispatch.h"

char captionBuffer[68];

namespace {

constexpr int kInitRegisters = 32;     // 'P'..'o'
constexpr int kCommentRegisters = 8;   // 'H'..'O'

StepResult Handshake(HWND)
{
    return SendText(kHandshakeText) ? StepDone : StepCantWrite;
}

// One register of two decimal digits, range-limited into `field`.
StepResult LoadTwoDigits(RegisterCode code, LoadedField field, int32_t* value)
{
    if (!ReadRegister(code, regBuffer))
        return StepBadData;
    *value = ClampLoaded(field, ParseTwoDigits(regBuffer));
    return StepDone;
}

// A frame's three registers; ClampLoaded of the end frame uses the start frame just loaded.
StepResult LoadFrame(RegisterCode first, const char* fallback, LoadedField field, int32_t* value)
{
    if (!ReadRegisterRun(first, 3, regBuffer))
        return StepBadData;
    *value = ClampLoaded(field, ParseFrame(regBuffer, fallback));
    return StepDone;
}

StepResult LoadModel(HWND)
{
    return LoadTwoDigits('?', LoadedField::Model, &Sync.model);
}

StepResult LoadChannel(HWND)
{
    return LoadTwoDigits('>', LoadedField::Channel, &Sync.channel);
}

StepResult LoadStartFrame(HWND)
{
    return LoadFrame('0', "2", LoadedField::StartFrame, &Sync.startFrame);
}

StepResult LoadEndFrame(HWND)
{
    return LoadFrame('3', "501", LoadedField::EndFrame, &Sync.endFrame);
}

StepResult LoadBaudFlags(HWND)
{
    if (!ReadRegister('6', regBuffer))
        return StepBadData;
    int32_t code = 0, flags = 0;
    ParseBaudFlags(regBuffer, &code, &flags);
    Sync.baudCode = ClampLoaded(LoadedField::BaudCode, code);
    Sync.flags = ClampLoaded(LoadedField::Flags, flags);
    return StepDone;
}

// The init-string and comment registers are not tested: a failed read leaves what it gathered,
// and the load goes on.
StepResult LoadInitStrings(HWND dialog)
{
    for (int i = 0; i < kInitRegisters; ++i) {
        ReadRegister(static_cast<RegisterCode>('P' + i), regBuffer + 2 * i);
        SetProgress(dialog, 20 + i);
    }
    DecodeInitBlock(regBuffer);
    return StepDone;
}

StepResult LoadComment(HWND dialog)
{
    unsigned char* image = reinterpret_cast<unsigned char*>(Sync.comment);
    for (int i = 0; i < kCommentRegisters; ++i) {
        ReadRegister(static_cast<RegisterCode>('H' + i), image + 2 * i);
        SetProgress(dialog, 52 + i);
    }
    DecodeComment(image);
    return StepDone;
}

// Each byte of a diagnostic caption is printed as a signed char widened to int, so 0x80 and up
// read ffffff80 to ffffffff.
constexpr ProgressStep kLoadSteps[] = {
    {1, 1, Handshake, nullptr},
    {2, 2, Handshake, nullptr},
    {3, 3, LoadModel, "version = %x,%x"},
    {4, 4, LoadChannel, "serial = %x,%x"},
    {5, 6, LoadStartFrame, "start frame = %x,%x,%x,%x,%x,%x"},
    {10, 10, LoadEndFrame, "stop frame = %x,%x,%x,%x,%x,%x"},
    {14, 18, LoadBaudFlags, "baud/flags = %x,%x"},
    {19, 19, LoadInitStrings, nullptr},
    {0, 0, LoadComment, nullptr},
};

void FormatCaption(const char* format)
{
    int b[6];
    for (int i = 0; i < 6; ++i)
        b[i] = static_cast<signed char>(regBuffer[i]);
    snprintf(captionBuffer, sizeof captionBuffer, format, b[0], b[1], b[2], b[3], b[4], b[5]);
}

void CALLBACK LoadTimerProc(HWND dialog, UINT, UINT_PTR, DWORD)
{
    LoadTick(dialog);
}

// WM_INITDIALOG: bar at 0 and the one-shot timer armed, unless a load or save holds the port.
LRESULT InitLoadDialog(HWND dialog, UINT, WPARAM, LPARAM)
{
    InitProgressDialog(dialog);
    if (RefuseIfPortBusy(dialog)) {
        // As after a failed load: the user can load again, take the defaults or leave.
        EnableEditorButtons(GetWindow(dialog, GW_OWNER), FALSE, TRUE, TRUE, TRUE);
        return 1;
    }
    ArmProgressTimer(dialog, LoadTimerProc);
    return 1;
}

constexpr CommandMapEntry LoadCommandRows[] = {
    {IDCANCEL, FinishLoad},
};
constexpr CommandMap LoadCommands = MakeCommandMap(LoadCommandRows, DPK_NONE);

LRESULT LoadCommand(HWND dialog, UINT, WPARAM wParam, LPARAM lParam)
{
    return RouteCommand(LoadCommands, dialog, wParam, lParam);
}

constexpr MessageMapEntry LoadMessageRows[] = {
    {WM_COMMAND, LoadCommand},
    {WM_INITDIALOG, InitLoadDialog},
};
constexpr MessageMap LoadMessages = MakeMessageMap(LoadMessageRows, DPK_NONE);

}  // namespace

INT_PTR CALLBACK LoadDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return RouteMessage(LoadMessages, dialog, message, wParam, lParam);
}

void LoadTick(HWND dialog)
{
    if (!TakeOneShotTick(dialog))
        return;
    if (!OpenPort(SyncPort, PortProfile::Exchange)) {
        FinishLoad(dialog, IDCANCEL, 0, 0);
        ComPort.busy = 0;
        return;
    }
    ComPort.busy = 1;
    // The diagnostic caption shows bytes of regBuffer; cleared here, it shows only what this load
    // read (zeros where it read nothing), never what an earlier save or load left there.
    memset(regBuffer, 0, sizeof regBuffer);
    SetProgressRange(dialog, 0, 60);

    StepResult result;
    const int failed = RunProgressSteps(dialog, kLoadSteps, sizeof kLoadSteps / sizeof kLoadSteps[0], &result);
    if (result == StepCantWrite) {
        ReportCantWriteLoad(dialog);
        return;
    }
    if (result == StepBadData) {
        FormatCaption(kLoadSteps[failed].badDataCaption);
        ReportBadData(dialog, captionBuffer);
        return;
    }
    HWND editor = GetWindow(dialog, GW_OWNER);
    EnableEditorControls(editor);
    RefreshEditorFields(editor);
    FinishLoad(dialog, 0, 0, 0);
    ComPort.busy = 0;
}

// Cancel, every error (IDCANCEL) and the successful end (0). After IDCANCEL the editor offers
// LOAD, Defaults and Cancel; its fields stay disabled and show what they showed.
LRESULT FinishLoad(HWND dialog, WPARAM command, UINT, LPARAM)
{
    StopProgress(dialog);
    if (LOWORD(command) == IDCANCEL)
        EnableEditorButtons(GetWindow(dialog, GW_OWNER), FALSE, TRUE, TRUE, TRUE);
    EndDialog(dialog, 1);
    return 1;
}

void ReportCantWriteLoad(HWND dialog)
{
    ReportAndFinish(dialog, "Can't write to port", "ERROR", FinishLoad);
}

void ReportBadData(HWND dialog, const char* caption)
{
    ReportAndFinish(dialog, "Bad Data in Synchronizer", caption, FinishLoad);
}
