// The editor's field rules. Every handler writes straight into SyncSettings; none talks to the
// device. Several run nested inside others (an UDM_SETPOS raises EN_CHANGE before it returns),
// so the order of their steps matters.
#include "dialogs/editor_fields.h"

#include <commctrl.h>
#include <cstdio>

#include "dialogs/editor_dialog.h"
#include "dialogs/field_rules.h"
#include "link/decimal_text.h"
#include "link/sync_settings.h"
#include "resources/resource.h"
#include "ui/message_box.h"

static int InitWarningOpen;  // the "Too many characters total" box is open

namespace {

constexpr int kFieldTextSize = 31;  // the fields are read up to 30 characters

// EN_CHANGE of BAUD, whatever changed it: move the rate one step toward the new position. The
// new code is stored before the UDM_SETPOS, so the nested EN_CHANGE finds nothing to do.
void StepBaud(HWND editor, int, LPARAM)
{
    const uint32_t position =
        static_cast<uint32_t>(SendDlgItemMessageA(editor, IDC_BAUD_SPIN, UDM_GETPOS, 0, 0));
    const int32_t code = SteppedBaudCode(Sync.baudCode, position);
    if (code == Sync.baudCode)
        return;
    Sync.baudCode = code;
    SetSpinPosition(editor, IDC_BAUD_SPIN, static_cast<uint32_t>(BaudRates[code & 7]));
}

// EN_SETFOCUS of BAUD: the field takes no caret; the rate is changed with its up-down.
void RefuseCaret(HWND, int, LPARAM field)
{
    PostMessageA(reinterpret_cast<HWND>(field), WM_KILLFOCUS, 0, 0);
}

// Model or Channel left (only editable through their up-downs in hidden mode): 1 to 99.
void LeaveModelOrChannel(HWND editor, int id, LPARAM)
{
    const uint32_t value = LimitModelOrChannel(GetDlgItemInt(editor, id, nullptr, FALSE));
    if (id == IDC_MODEL) {
        Sync.model = static_cast<int32_t>(value);
        SetSpinPosition(editor, IDC_MODEL_SPIN, value);
    } else {
        Sync.channel = static_cast<int32_t>(value);
        SetSpinPosition(editor, IDC_CHANNEL_SPIN, value);
    }
}

// A frame field left: limited and written back. No rule relates the two frames.
void LeaveFrame(HWND editor, int id, LPARAM)
{
    const bool start = id == IDC_START_FRAME;
    char text[kFieldTextSize] = {};
    GetDlgItemTextA(editor, id, text, sizeof text);
    const int32_t value = start ? FrameFromTextBounded(text, sizeof text, kStartLow, kStartLow, kStartHigh)
                                : FrameFromTextBounded(text, sizeof text, kEndLow, kEndLow, kEndHigh);
    (start ? Sync.startFrame : Sync.endFrame) = value;
    char shown[16];
    snprintf(shown, sizeof shown, "%ld", static_cast<long>(value));
    SetWindowTextA(GetDlgItem(editor, id), shown);
}

struct FieldRule {
    int id;
    UINT code;
    void (*apply)(HWND editor, int id, LPARAM lParam);
};

constexpr FieldRule kFieldRules[] = {
    {IDC_BAUD, EN_CHANGE, StepBaud},
    {IDC_BAUD, EN_SETFOCUS, RefuseCaret},
    {IDC_MODEL, EN_KILLFOCUS, LeaveModelOrChannel},
    {IDC_CHANNEL, EN_KILLFOCUS, LeaveModelOrChannel},
    {IDC_START_FRAME, EN_KILLFOCUS, LeaveFrame},
    {IDC_END_FRAME, EN_KILLFOCUS, LeaveFrame},
};

}  // namespace

LRESULT FieldNotify(HWND editor, WPARAM commandWord, UINT code, LPARAM lParam)
{
    const int id = LOWORD(commandWord);
    for (const FieldRule& rule : kFieldRules) {
        if (rule.id == id && rule.code == code) {
            rule.apply(editor, id, lParam);
            break;
        }
    }
    return 1;
}

// Any notification of the Synchronize box: flip the flag and set the mark from it, so the two
// always agree.
LRESULT ToggleSynchronize(HWND editor, WPARAM, UINT, LPARAM)
{
    Sync.flags ^= FLAG_SYNCHRONIZE;
    CheckDlgButton(editor, IDC_SYNCHRONIZE, (Sync.flags & FLAG_SYNCHRONIZE) ? BST_CHECKED : BST_UNCHECKED);
    return 1;
}

// An init string left: warn when the four no longer fit the device's block. The box takes the
// focus, so another init field's EN_KILLFOCUS can arrive while it is open: one box at a time.
LRESULT CheckInitLength(HWND editor, WPARAM commandWord, UINT code, LPARAM)
{
    const int id = LOWORD(commandWord);
    if (code != EN_KILLFOCUS || id < IDC_INIT1 || id > IDC_INIT4)
        return 1;
    int lengths[4];
    for (int i = 0; i < 4; ++i) {
        char text[kFieldTextSize];
        lengths[i] = GetDlgItemTextA(editor, IDC_INIT1 + i, text, sizeof text);
    }
    if (InitStringsTotal(lengths) > kInitStringsLimit && !InitWarningOpen) {
        InitWarningOpen = 1;
        ShowMessage(editor, "Too many characters total", "ERROR!");
        InitWarningOpen = 0;
    }
    return 1;
}

LRESULT IgnoreSpinCommand(HWND, WPARAM, UINT, LPARAM)
{
    return 1;
}

// WM_HOTKEY: Ctrl+K then Ctrl+B switches hidden mode, which shows the Model and Channel up-downs.
LRESULT EditorHotkey(HWND editor, UINT, WPARAM wParam, LPARAM)
{
    const HiddenKey key = wParam == HK_FIRST    ? HiddenKey::First
                          : wParam == HK_SECOND ? HiddenKey::Second
                                                : HiddenKey::Other;
    const uint32_t before = HiddenModeState;
    HiddenModeState = NextHiddenModeState(HiddenModeState, key);
    if ((before ^ HiddenModeState) & kHiddenModeOn) {
        const int show = (HiddenModeState & kHiddenModeOn) ? SW_SHOW : SW_HIDE;
        ShowWindow(GetDlgItem(editor, IDC_MODEL_SPIN), show);
        ShowWindow(GetDlgItem(editor, IDC_CHANNEL_SPIN), show);
    }
    return 0;
}
