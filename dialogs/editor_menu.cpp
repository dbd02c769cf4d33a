#include "dialogs/editor_menu.h"

#include "dialogs/editor_dialog.h"
#include "dialogs/field_rules.h"
#include "dialogs/find_dialog.h"
#include "dialogs/settings_file_dialog.h"
#include "link/settings_file.h"
#include "link/sync_settings.h"
#include "resources/resource.h"
#include "ui/app_state.h"

namespace {

HWND keyEditor;  // the editor whose keys are watched; null while none is open
HHOOK keyFilter;

bool Available(HWND editor, int buttonId)
{
    return IsWindowEnabled(GetDlgItem(editor, buttonId)) != FALSE;
}

bool Held(int key)
{
    return (GetKeyState(key) & 0x8000) != 0;
}

// Every message of the program's modal loops passes here before it is handled: a WM_HOTKEY is no
// key message, so the hidden-mode sequence never sees these keys. They go no further, so an edit
// field does not beep at them; a key held down counts once.
LRESULT CALLBACK FilterEditorKeys(int code, WPARAM wParam, LPARAM lParam)
{
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (code >= 0 && keyEditor && msg->message == WM_KEYDOWN && Held(VK_CONTROL) && !Held(VK_MENU) &&
        (msg->hwnd == keyEditor || IsChild(keyEditor, msg->hwnd))) {
        const WPARAM command = msg->wParam == 'S'   ? IDM_SAVE_SETTINGS_FILE
                               : msg->wParam == 'O' ? IDM_OPEN_SETTINGS_FILE
                                                    : 0;
        if (command != 0) {
            if ((msg->lParam & (1L << 30)) == 0)
                PostMessageA(keyEditor, WM_COMMAND, command, 0);
            return 1;
        }
    }
    return CallNextHookEx(keyFilter, code, wParam, lParam);
}

}  // namespace

void StartEditorKeys(HWND editor)
{
    keyEditor = editor;
    if (!keyFilter)
        keyFilter = SetWindowsHookExA(WH_MSGFILTER, FilterEditorKeys, nullptr, GetCurrentThreadId());
}

void StopEditorKeys()
{
    if (keyFilter)
        UnhookWindowsHookEx(keyFilter);
    keyFilter = nullptr;
    keyEditor = nullptr;
}

LRESULT ShowEditorMenu(HWND editor, UINT, WPARAM, LPARAM lParam)
{
    POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    if (lParam == -1) {
        HWND focus = GetFocus();
        RECT area = {};
        GetWindowRect(focus ? focus : editor, &area);
        at = {area.left, area.bottom};
    }
    HMENU menu = LoadMenuA(AppInstance, "EditorMenu");
    HMENU popup = GetSubMenu(menu, 0);
    EnableMenuItem(popup, IDM_SAVE_SETTINGS_FILE, Available(editor, IDC_SAVE) ? MF_ENABLED : MF_GRAYED);
    EnableMenuItem(popup, IDM_OPEN_SETTINGS_FILE, Available(editor, IDC_LOAD) ? MF_ENABLED : MF_GRAYED);
    TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, editor, nullptr);
    DestroyMenu(menu);
    return 1;
}

// What a load would show after a SAVE of the fields as they stand. A SAVE writes the up-downs'
// model and channel in hidden mode or after Defaults; otherwise it leaves the device's, which the
// settings hold.
LRESULT SaveSettingsFileCommand(HWND editor, WPARAM, UINT, LPARAM)
{
    if (!Available(editor, IDC_SAVE))
        return 1;
    SaveInputs in;
    ReadEditorInputs(editor, &in);
    const SyncSettings shown = Sync;
    SettingsFileFields fields;
    SettingsFileFieldsAfterSave(in, &fields);
    Sync = shown;
    if (!SaveWritesModelAndChannel()) {
        fields.model = shown.model;
        fields.channel = shown.channel;
    }
    const PortName* place = SyncPortPlace();
    SaveSettingsFileAs(editor, fields, place ? place->shown : "no port");
    return 1;
}

// The file's settings as a write of it stores them, shown with every control enabled as Defaults
// shows its own; sent nowhere until SAVE. Model and channel come from the file only in hidden
// mode, where a SAVE writes them.
LRESULT OpenSettingsFileCommand(HWND editor, WPARAM, UINT, LPARAM)
{
    SettingsFileFields fields;
    if (!Available(editor, IDC_LOAD) || !OpenSettingsFile(editor, &fields))
        return 1;
    const int32_t model = Sync.model, channel = Sync.channel;
    SettingsFileFieldsAsStored(fields, &fields);  // leaves Sync holding what the editor shows
    if (!InHiddenMode()) {
        Sync.model = model;
        Sync.channel = channel;
    }
    EnableEditorControls(editor);
    RefreshEditorFields(editor);
    return 1;
}
