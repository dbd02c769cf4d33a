#include "ui/dispatch.h"

LRESULT RouteMessage(const MessageMap& map, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    for (int32_t i = 0; i < map.count; ++i) {
        if (map.entries[i].message == message)
            return map.entries[i].handler(window, message, wParam, lParam);
    }
    return CallDefaultProc(map.defaultKind, window, message, wParam, lParam);
}

LRESULT RouteCommand(const CommandMap& map, HWND window, WPARAM wParam, LPARAM lParam)
{
    const uint16_t id = LOWORD(wParam);
    for (int32_t i = 0; i < map.count; ++i) {
        if (map.entries[i].id == id)
            return map.entries[i].handler(window, wParam, HIWORD(wParam), lParam);
    }
    return CallDefaultProc(map.defaultKind, window, WM_COMMAND, wParam, lParam);
}

INT_PTR RouteDialog(const DialogMaps& maps, HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND)
        return RouteCommand(maps.commands, dialog, wParam, lParam);
    return RouteMessage(maps.messages, dialog, message, wParam, lParam);
}

// The default procedures by DefaultProcKind. Wrapped so that each has the handler's calling
// convention on every target.
static LRESULT NoDefaultProc(HWND, UINT, WPARAM, LPARAM)
{
    return 0;
}
static LRESULT WindowDefaultProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    return DefWindowProcA(w, m, wp, lp);
}
static LRESULT DialogDefaultProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    return DefDlgProcA(w, m, wp, lp);
}
static LRESULT MdiChildDefaultProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    return DefMDIChildProcA(w, m, wp, lp);
}
static LRESULT FrameDefaultProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    return DefFrameProcA(w, nullptr, m, wp, lp);
}

static constexpr MessageHandler DefaultProcs[] = {
    NoDefaultProc,        // DPK_NONE
    WindowDefaultProc,    // DPK_WINDOW
    DialogDefaultProc,    // DPK_DIALOG
    MdiChildDefaultProc,  // DPK_MDICHILD
    FrameDefaultProc,     // DPK_FRAME
};

LRESULT CallDefaultProc(uint32_t kind, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Unsigned, so every kind above the table (a negative one included) gives 0.
    if (kind >= sizeof DefaultProcs / sizeof DefaultProcs[0])
        return 0;
    return DefaultProcs[kind](window, message, wParam, lParam);
}
