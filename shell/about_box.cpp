// The About box: logo, program name, version from the string table, and the maker's lines.
#include <windows.h>
#include "resources/resource.h"
#include "shell/app.h"
#include "shell/center.h"
#include "shell/dispatch.h"

// IDOK and IDCANCEL: close.
static LRESULT CloseAboutBox(HWND dialog, WPARAM, UINT, LPARAM)
{
    EndDialog(dialog, 1);
    return 1;
}

static constexpr CommandMapEntry AboutCommandRows[] = {
    {IDOK, CloseAboutBox},
    {IDCANCEL, CloseAboutBox},
};
static constexpr CommandMap AboutCommands = MakeCommandMap(AboutCommandRows, DPK_NONE);

static LRESULT AboutCommand(HWND dialog, UINT, WPARAM wParam, LPARAM lParam)
{
    return RouteCommand(AboutCommands, dialog, wParam, lParam);
}

// WM_INITDIALOG: centre, and show the version from the string table. Returns 1 (default focus).
static LRESULT InitAboutBox(HWND dialog, UINT, WPARAM, LPARAM)
{
    CenterOverOwner(dialog, GetWindow(dialog, GW_OWNER));
    char version[32];
    LoadStringA(AppInstance, IDS_VERSION, version, sizeof version);
    SetDlgItemTextA(dialog, IDC_VERSION, version);
    return 1;
}

static constexpr MessageMapEntry AboutMessageRows[] = {
    {WM_COMMAND, AboutCommand},
    {WM_INITDIALOG, InitAboutBox},
};
static constexpr MessageMap AboutMessages = MakeMessageMap(AboutMessageRows, DPK_NONE);

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return RouteMessage(AboutMessages, dialog, message, wParam, lParam);
}
