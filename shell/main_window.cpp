// The main window: the menu, the About box, and the hub of the synchronizer workflow. The modal
// dialogs hand over to one another by posting UM_ messages here just before they end.
#include <windows.h>
#include "dialogs/editor_dialog.h"
#include "dialogs/find_dialog.h"
#include "dialogs/search_dialog.h"
#include "link/com_port.h"
#include "resources/resource.h"
#include "shell/app.h"
#include "shell/dispatch.h"

// IDM_EXIT (menu or Ctrl+Q): destroying the window ends the process through WM_DESTROY.
static LRESULT ExitApplication(HWND window, WPARAM, UINT, LPARAM)
{
    DestroyWindow(window);
    return 0;
}

// IDM_ABOUT: the About box, modal.
static LRESULT ShowAboutBox(HWND window, WPARAM, UINT, LPARAM)
{
    DialogBoxParamA(AppInstance, "AboutBox", window, AboutDlgProc, 0);
    return 0;
}

static constexpr CommandMapEntry MainCommandRows[] = {
    {IDM_EXIT, ExitApplication},
    {IDM_FINDSYNC, ShowFindDialog},  // the port selection dialog
    {IDM_ABOUT, ShowAboutBox},
};
static constexpr CommandMap MainCommands = MakeCommandMap(MainCommandRows, DPK_WINDOW);

static LRESULT MainCommand(HWND window, UINT, WPARAM wParam, LPARAM lParam)
{
    return RouteCommand(MainCommands, window, wParam, lParam);
}

// UM_FINDSYNC: the search, modal; it posts UM_SYNCFOUND or UM_SYNCNOTFOUND as it ends.
static LRESULT ShowSearchDialog(HWND window, UINT, WPARAM, LPARAM)
{
    FoundPort = -1;
    DialogBoxParamA(AppInstance, "SearchingBox", window, SearchDlgProc, 0);
    return 0;
}

// UM_SYNCFOUND, wParam the port index: the editor on that port. No load or save is under way
// here: each ends its operation before its dialog ends.
static LRESULT ShowEditor(HWND window, UINT, WPARAM wParam, LPARAM)
{
    SyncPort = static_cast<int32_t>(wParam);
    DialogBoxParamA(AppInstance, "EditSyncBox", window, EditorDlgProc, 0);
    return 0;
}

// UM_SYNCNOTFOUND: the main window's only message box.
static LRESULT ReportNotFound(HWND window, UINT, WPARAM, LPARAM)
{
    MessageBoxA(window, "Synchronizer Not Found", "FAILURE", MB_OK);
    return 0;
}

static LRESULT EndApplication(HWND, UINT, WPARAM, LPARAM)
{
    PostQuitMessage(0);
    return 0;
}

static constexpr MessageMapEntry MainMessageRows[] = {
    {WM_COMMAND, MainCommand},
    {UM_FINDSYNC, ShowSearchDialog},
    {UM_SYNCFOUND, ShowEditor},
    {UM_SYNCNOTFOUND, ReportNotFound},
    {WM_DESTROY, EndApplication},
};
static constexpr MessageMap MainMessages = MakeMessageMap(MainMessageRows, DPK_WINDOW);

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return RouteMessage(MainMessages, window, message, wParam, lParam);
}
