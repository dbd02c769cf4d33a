#pragma once
// Table-driven dispatch: every window procedure is one call of RouteMessage with that window's
// constant MessageMap, whose WM_COMMAND row hands on to the window's CommandMap; every dialog
// procedure is RoutedDialogProc of that dialog's DialogMaps, which does the same in one step.
#include <windows.h>
#include <cstdint>

// Handlers return the window procedure's result (main window) or the dialog procedure's result
// (1 handled, 0 not). LRESULT rather than a 32-bit int, so that a default procedure's result
// reaches the caller unchanged on 64-bit Windows too.
typedef LRESULT (*MessageHandler)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// commandWord: the WM_COMMAND wParam whole (low 16 bits the id, high 16 the notification code);
// code: that notification code zero-extended; lParam: the control's handle for notifications.
typedef LRESULT (*CommandHandler)(HWND window, WPARAM commandWord, UINT code, LPARAM lParam);

// What a message or command that matches no row gets.
enum DefaultProcKind : uint32_t {
    DPK_NONE = 0,      // nothing; the result is 0
    DPK_WINDOW = 1,    // DefWindowProcA
    DPK_DIALOG = 2,    // DefDlgProcA
    DPK_MDICHILD = 3,  // DefMDIChildProcA
    DPK_FRAME = 4,     // DefFrameProcA with no MDI client
};

struct MessageMapEntry {
    uint32_t message;
    MessageHandler handler;
};

struct MessageMap {
    int32_t count;  // 0 or less is searched as empty
    const MessageMapEntry* entries;
    uint32_t defaultKind;  // a DefaultProcKind; values above 4 act as DPK_NONE
};

struct CommandMapEntry {
    uint16_t id;
    CommandHandler handler;
};

struct CommandMap {
    int32_t count;
    const CommandMapEntry* entries;
    uint32_t defaultKind;
};

// Builds a map from a constant array, counting its rows.
template <size_t N>
constexpr MessageMap MakeMessageMap(const MessageMapEntry (&rows)[N], uint32_t defaultKind)
{
    return MessageMap{static_cast<int32_t>(N), rows, defaultKind};
}
template <size_t N>
constexpr CommandMap MakeCommandMap(const CommandMapEntry (&rows)[N], uint32_t defaultKind)
{
    return CommandMap{static_cast<int32_t>(N), rows, defaultKind};
}

// First row whose message equals `message` wins; no row: the map's default procedure.
LRESULT RouteMessage(const MessageMap& map, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// First row whose id equals the low 16 bits of wParam wins; no row: the default procedure sees
// the same WM_COMMAND with wParam and lParam unchanged.
LRESULT RouteCommand(const CommandMap& map, HWND window, WPARAM wParam, LPARAM lParam);
LRESULT CallDefaultProc(uint32_t kind, HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// A dialog's two maps: its WM_COMMAND goes through `commands`, every other message through
// `messages`.
struct DialogMaps {
    MessageMap messages;
    CommandMap commands;
};

// A dialog's maps from its two constant arrays; what neither lists returns 0 (DPK_NONE), and the
// dialog manager does its own default handling.
template <size_t M, size_t C>
constexpr DialogMaps MakeDialogMaps(const MessageMapEntry (&messages)[M],
                                    const CommandMapEntry (&commands)[C])
{
    return DialogMaps{MakeMessageMap(messages, DPK_NONE), MakeCommandMap(commands, DPK_NONE)};
}

// WM_COMMAND: RouteCommand with `maps.commands`; anything else: RouteMessage with `maps.messages`.
INT_PTR RouteDialog(const DialogMaps& maps, HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The dialog procedure of one constant DialogMaps, given to DialogBoxParamA:
//     const DLGPROC FindDlgProc = RoutedDialogProc<FindMaps>;
template <const DialogMaps& Maps>
INT_PTR CALLBACK RoutedDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return RouteDialog(Maps, dialog, message, wParam, lParam);
}
