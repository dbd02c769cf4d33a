// The parameter editor. It keeps no copy of the parameters: SyncSettings is what the fields show
// and what the load and the save exchange with the device.
#include "dialogs/editor_dialog.h"

#include <commctrl.h>

#include "dialogs/editor_fields.h"
#include "dialogs/editor_menu.h"
#include "dialogs/field_rules.h"
#include "dialogs/load_dialog.h"
#include "dialogs/save_dialog.h"
#include "link/sync_settings.h"
#include "resources/resource.h"
#include "ui/app_state.h"
#include "ui/center.h"
#include "ui/dispatch.h"

uint32_t HiddenModeState;

bool InHiddenMode()
{
    return (HiddenModeState & kHiddenModeOn) != 0;
}

bool SaveWritesModelAndChannel()
{
    return InHiddenMode() || defaultsPending == 1;
}

// Defined below, with the operations the load and the save share.
static void EnableStartFrame(HWND editor, BOOL enable);
static void EnableEndFrame(HWND editor, BOOL enable);
static void EnableOptionControls(HWND editor, BOOL synchronize, BOOL baud, BOOL comment, BOOL initStrings);
static void DisableEditorControls(HWND editor);
// Command handlers of the editor's buttons; each returns 1.
static LRESULT SaveToSynchronizer(HWND editor, WPARAM commandWord, UINT code, LPARAM lParam);
static LRESULT LoadFromSynchronizer(HWND editor, WPARAM commandWord, UINT code, LPARAM lParam);
static LRESULT FillDefaults(HWND editor, WPARAM commandWord, UINT code, LPARAM lParam);
static LRESULT CloseEditor(HWND editor, WPARAM commandWord, UINT code, LPARAM lParam);

namespace {

// Set while the editor disables its own controls: a field that loses the focus because it was
// disabled has not been left by the user, so no leave rule runs and it keeps what it showed.
int disablingControls;

constexpr int kInitFieldIds[kInitStringCount] = {IDC_INIT1, IDC_INIT2, IDC_INIT3, IDC_INIT4};

struct TextLimit {
    int id;
    WPARAM characters;
};
// The fourth init string stops at 22 characters, one less than the others.
constexpr TextLimit kTextLimits[] = {
    {IDC_START_FRAME, 7},
    {IDC_END_FRAME, 7},
    {IDC_COMMENT, kCommentFieldChars},
    {IDC_INIT1, kInitFieldChars[0]},
    {IDC_INIT2, kInitFieldChars[1]},
    {IDC_INIT3, kInitFieldChars[2]},
    {IDC_INIT4, kInitFieldChars[3]},
};

void SetSpinRange(HWND editor, int spinId, int lowest, int highest)
{
    SendDlgItemMessageA(editor, spinId, UDM_SETRANGE, 0, MAKELPARAM(highest, lowest));
}

// Shows a text of a fixed array, terminated here whatever the array holds.
void ShowFixedText(HWND editor, int id, const char* text, size_t size)
{
    char shown[kInitStringSize + 1] = {};
    for (size_t i = 0; i < size && i < sizeof shown - 1 && text[i]; ++i)
        shown[i] = text[i];
    SetDlgItemTextA(editor, id, shown);
}

void Enable(HWND editor, int id, BOOL enable)
{
    EnableWindow(GetDlgItem(editor, id), enable);
}

void SetEditorControls(HWND editor, BOOL enable)
{
    EnableStartFrame(editor, enable);
    EnableEndFrame(editor, enable);
    EnableOptionControls(editor, enable, enable, enable, enable);
    EnableEditorButtons(editor, enable, enable, enable, enable);
}

// WM_INITDIALOG: a fresh editor (hidden mode off, no defaults pending, hotkeys held), its fields'
// ranges and limits, then the whole load before it returns. Returns 1 (default focus).
LRESULT InitEditor(HWND editor, UINT, WPARAM, LPARAM)
{
    CenterOverOwner(editor, GetWindow(editor, GW_OWNER));
    HiddenModeState = 0;
    defaultsPending = 0;
    RegisterHotKey(editor, HK_FIRST, MOD_CONTROL, 'K');
    RegisterHotKey(editor, HK_SECOND, MOD_CONTROL, 'B');
    StartEditorKeys(editor);
    SetSpinPosition(editor, IDC_BAUD_SPIN, 1200);
    SetSpinRange(editor, IDC_BAUD_SPIN, 1200, 9600);
    SetSpinPosition(editor, IDC_MODEL_SPIN, 1);
    SetSpinRange(editor, IDC_MODEL_SPIN, 1, 99);
    SetSpinPosition(editor, IDC_CHANNEL_SPIN, 1);
    SetSpinRange(editor, IDC_CHANNEL_SPIN, 1, 99);
    for (const TextLimit& limit : kTextLimits)
        SendDlgItemMessageA(editor, limit.id, EM_LIMITTEXT, limit.characters, 0);
    LoadFromSynchronizer(editor, IDC_LOAD, 0, 0);
    return 1;
}

// MessageHandler: LRESULT (HWND editor, UINT message, WPARAM wParam, LPARAM lParam)
constexpr MessageMapEntry EditorMessageRows[] = {
    {WM_HOTKEY, EditorHotkey},
    {WM_INITDIALOG, InitEditor},
    {WM_CONTEXTMENU, ShowEditorMenu},
};
// CommandHandler: LRESULT (HWND editor, WPARAM commandWord, UINT code, LPARAM lParam)
constexpr CommandMapEntry EditorCommandRows[] = {
    {IDC_MODEL_SPIN, IgnoreSpinCommand},
    {IDC_CHANNEL_SPIN, IgnoreSpinCommand},
    {IDC_BAUD_SPIN, IgnoreSpinCommand},
    {IDC_BAUD, FieldNotify},
    {IDC_MODEL, FieldNotify},
    {IDC_CHANNEL, FieldNotify},
    {IDC_START_FRAME, FieldNotify},
    {IDC_END_FRAME, FieldNotify},
    {IDC_SYNCHRONIZE, ToggleSynchronize},
    {IDC_INIT1, CheckInitLength},
    {IDC_INIT2, CheckInitLength},
    {IDC_INIT3, CheckInitLength},
    {IDC_INIT4, CheckInitLength},
    {IDC_COMMENT, CheckInitLength},
    {IDC_SAVE, SaveToSynchronizer},
    {IDC_LOAD, LoadFromSynchronizer},
    {IDC_DEFAULTS, FillDefaults},
    {IDM_SAVE_SETTINGS_FILE, SaveSettingsFileCommand},
    {IDM_OPEN_SETTINGS_FILE, OpenSettingsFileCommand},
    {IDCANCEL, CloseEditor},  // the Cancel button or Esc; Enter (IDOK) has no row and does nothing
};
constexpr DialogMaps EditorMaps = MakeDialogMaps(EditorMessageRows, EditorCommandRows);

}  // namespace

// While the editor disables its own controls, the EN_KILLFOCUS of the field that had the focus is
// no leave by the user: it goes no further, so no leave rule runs.
static INT_PTR CALLBACK EditorProc(HWND editor, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND && disablingControls && HIWORD(wParam) == EN_KILLFOCUS)
        return 1;
    return RouteDialog(EditorMaps, editor, message, wParam, lParam);
}
const DLGPROC EditorDlgProc = EditorProc;

void SetSpinPosition(HWND editor, int spinId, int32_t position)
{
    SendDlgItemMessageA(editor, spinId, UDM_SETPOS, 0, MAKELPARAM(LOWORD(position), 0));
}

void RefreshEditorFields(HWND editor)
{
    SetSpinPosition(editor, IDC_MODEL_SPIN, Sync.model);
    SetSpinPosition(editor, IDC_CHANNEL_SPIN, Sync.channel);
    // Rewrites IDC_BAUD; the stepping then finds the position equal to the stored rate.
    SetSpinPosition(editor, IDC_BAUD_SPIN, BaudRates[Sync.baudCode & 7]);
    SetDlgItemInt(editor, IDC_START_FRAME, static_cast<UINT>(Sync.startFrame), FALSE);
    SetDlgItemInt(editor, IDC_END_FRAME, static_cast<UINT>(Sync.endFrame), FALSE);
    CheckDlgButton(editor, IDC_SYNCHRONIZE, (Sync.flags & FLAG_SYNCHRONIZE) ? BST_CHECKED : BST_UNCHECKED);
    for (int i = 0; i < kInitStringCount; ++i)
        ShowFixedText(editor, kInitFieldIds[i], Sync.initStrings[i], kInitStringSize);
    ShowFixedText(editor, IDC_COMMENT, Sync.comment, kCommentSize);
}

static void EnableStartFrame(HWND editor, BOOL enable)
{
    Enable(editor, IDC_START_FRAME, enable);
}

static void EnableEndFrame(HWND editor, BOOL enable)
{
    Enable(editor, IDC_END_FRAME, enable);
}

static void EnableOptionControls(HWND editor, BOOL synchronize, BOOL baud, BOOL comment, BOOL initStrings)
{
    Enable(editor, IDC_SYNCHRONIZE, synchronize);
    Enable(editor, IDC_BAUD, baud);
    Enable(editor, IDC_BAUD_SPIN, baud);
    Enable(editor, IDC_COMMENT, comment);
    for (int id : kInitFieldIds)
        Enable(editor, id, initStrings);
}

void EnableEditorButtons(HWND editor, BOOL save, BOOL load, BOOL defaults, BOOL cancel)
{
    Enable(editor, IDC_SAVE, save);
    Enable(editor, IDC_LOAD, load);
    Enable(editor, IDC_DEFAULTS, defaults);
    Enable(editor, IDCANCEL, cancel);
}

void EnableEditorControls(HWND editor)
{
    SetEditorControls(editor, TRUE);
}

static void DisableEditorControls(HWND editor)
{
    disablingControls = 1;
    SetEditorControls(editor, FALSE);
    disablingControls = 0;
}

void ReadEditorInputs(HWND editor, SaveInputs* out)
{
    SaveInputs& in = *out;
    in = SaveInputs{};
    in.modelPos = static_cast<int32_t>(SendDlgItemMessageA(editor, IDC_MODEL_SPIN, UDM_GETPOS, 0, 0));
    in.channelPos = static_cast<int32_t>(SendDlgItemMessageA(editor, IDC_CHANNEL_SPIN, UDM_GETPOS, 0, 0));
    in.synchronize = IsDlgButtonChecked(editor, IDC_SYNCHRONIZE) == BST_CHECKED;
    in.baudPos = static_cast<uint32_t>(SendDlgItemMessageA(editor, IDC_BAUD_SPIN, UDM_GETPOS, 0, 0));
    GetDlgItemTextA(editor, IDC_START_FRAME, in.startFrame, sizeof in.startFrame);
    GetDlgItemTextA(editor, IDC_END_FRAME, in.endFrame, sizeof in.endFrame);
    for (int i = 0; i < kInitStringCount; ++i)
        GetDlgItemTextA(editor, kInitFieldIds[i], in.initTexts[i], sizeof in.initTexts[i]);
    GetDlgItemTextA(editor, IDC_COMMENT, in.comment, sizeof in.comment);
}

// SAVE: read what the controls hold, encode it, and run the save. The fields are not rewritten
// here: corrected values appear only when a verified save refreshes the editor.
static LRESULT SaveToSynchronizer(HWND editor, WPARAM, UINT, LPARAM)
{
    DisableEditorControls(editor);
    SaveInputs in;
    ReadEditorInputs(editor, &in);
    EncodeForSave(in);
    DialogBoxParamA(AppInstance, "SaveSyncBox", editor, SaveDlgProc, 0);
    return 1;
}

// LOAD, and the editor's opening: the load re-enables and refreshes the editor itself.
static LRESULT LoadFromSynchronizer(HWND editor, WPARAM, UINT, LPARAM)
{
    DisableEditorControls(editor);
    DialogBoxParamA(AppInstance, "LoadSyncBox", editor, LoadDlgProc, 0);
    return 1;
}

// Defaults: the default parameters, shown, with every control enabled (SAVE included).
static LRESULT FillDefaults(HWND editor, WPARAM, UINT, LPARAM)
{
    ApplyDefaults();
    EnableEditorControls(editor);
    RefreshEditorFields(editor);
    return 1;
}

// Cancel or Esc: the editor ends; nothing is sent to the device.
static LRESULT CloseEditor(HWND editor, WPARAM, UINT, LPARAM)
{
    UnregisterHotKey(editor, HK_FIRST);
    UnregisterHotKey(editor, HK_SECOND);
    StopEditorKeys();
    EndDialog(editor, 1);
    return 1;
}
