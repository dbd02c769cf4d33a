// The main window: its class, the menu, the About box, and the hub of the synchronizer workflow.
// The modal dialogs hand over to one another by posting UM_ messages here just before they end.
#include "shell/main_window.h"

#include <commctrl.h>

#include "dialogs/editor_dialog.h"
#include "dialogs/find_dialog.h"
#include "dialogs/search_dialog.h"
#include "link/com_port.h"
#include "resources/resource.h"
#include "ui/app_state.h"
#include "ui/dispatch.h"
#include "ui/message_box.h"

char AppName[16];
static char AppTitle[64];  // IDS_TITLE: the main window's title

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

// UM_SYNCFOUND, wParam the port index: the editor on that port (the index is checked where the
// load and the save open it). No load or save is under way here: each ends its operation before
// its dialog ends.
static LRESULT ShowEditor(HWND window, UINT, WPARAM wParam, LPARAM)
{
    SyncPort = static_cast<int32_t>(wParam);
    DialogBoxParamA(AppInstance, "EditSyncBox", window, EditorDlgProc, 0);
    return 0;
}

// UM_SYNCNOTFOUND: the main window's only message box.
static LRESULT ReportNotFound(HWND window, UINT, WPARAM, LPARAM)
{
    ShowMessage(window, "Synchronizer Not Found", "FAILURE");
    return 0;
}

static LRESULT EndApplication(HWND, UINT, WPARAM, LPARAM)
{
    PostQuitMessage(0);
    return 0;
}

static constexpr MessageMapEntry MainMessageRows[] = {
    {WM_COMMAND, MainCommand},         {UM_FINDSYNC, ShowSearchDialog}, {UM_SYNCFOUND, ShowEditor},
    {UM_SYNCNOTFOUND, ReportNotFound}, {WM_DESTROY, EndApplication},
};
static constexpr MessageMap MainMessages = MakeMessageMap(MainMessageRows, DPK_WINDOW);

static LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return RouteMessage(MainMessages, window, message, wParam, lParam);
}

int RegisterMainClass(HINSTANCE instance)
{
    LoadStringA(instance, IDS_APPNAME, AppName, sizeof AppName);
    LoadStringA(instance, IDS_TITLE, AppTitle, sizeof AppTitle);

    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP));
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszMenuName = AppName;
    wc.lpszClassName = AppName;
    wc.hIconSm = static_cast<HICON>(
        LoadImageA(instance, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));

    if (!RegisterClassExA(&wc)) {
        // Systems without the extended call take the same class without the small icon.
        WNDCLASSA old = {};
        old.style = wc.style;
        old.lpfnWndProc = wc.lpfnWndProc;
        old.hInstance = wc.hInstance;
        old.hIcon = wc.hIcon;
        old.hCursor = wc.hCursor;
        old.hbrBackground = wc.hbrBackground;
        old.lpszMenuName = wc.lpszMenuName;
        old.lpszClassName = wc.lpszClassName;
        if (!RegisterClassA(&old))
            return 0;
    }
    // The workflow dialogs use up-down and progress-bar controls.
    InitCommonControls();
    return 1;
}

int CreateMainWindow(HINSTANCE instance, int showState)
{
    AppInstance = instance;
    HWND window = CreateWindowExA(0, AppName, AppTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT,
                                  0, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 0;
    ShowWindow(window, showState);
    UpdateWindow(window);
    return 1;
}
