// The About box: logo, program name, version from the string table, and the maker's lines.
#include <windows.h>
#include "resources/resource.h"
#include "shell/main_window.h"
#include "ui/app_state.h"
#include "ui/center.h"
#include "ui/dispatch.h"

// IDOK and IDCANCEL: close.
static LRESULT CloseAboutBox(HWND dialog, WPARAM, UINT, LPARAM)
{
    EndDialog(dialog, 1);
    return 1;
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
    {WM_INITDIALOG, InitAboutBox},
};
static constexpr CommandMapEntry AboutCommandRows[] = {
    {IDOK, CloseAboutBox},
    {IDCANCEL, CloseAboutBox},
};
static constexpr DialogMaps AboutMaps = MakeDialogMaps(AboutMessageRows, AboutCommandRows);

const DLGPROC AboutDlgProc = RoutedDialogProc<AboutMaps>;
