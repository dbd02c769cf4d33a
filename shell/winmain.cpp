// Process entry: register the class, create the main window, run the message loop.
#include <windows.h>
#include <commctrl.h>
#include "resources/resource.h"
#include "shell/app.h"

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
    HWND window = CreateWindowExA(0, AppName, AppTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                  CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 0;
    ShowWindow(window, showState);
    UpdateWindow(window);
    return 1;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showState)
{
    (void)commandLine;  // the program reads no command line
    if (previous)
        return 0;
    if (!RegisterMainClass(instance))
        return 0;
    if (!CreateMainWindow(instance, showState))
        return 0;

    HACCEL accelerators = LoadAcceleratorsA(instance, AppName);
    MSG msg = {};
    BOOL got;
    // -1 is an error, not a message: stop rather than spin on it.
    while ((got = GetMessageA(&msg, nullptr, 0, 0)) > 0) {
        if (!TranslateAcceleratorA(msg.hwnd, accelerators, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return got == 0 ? static_cast<int>(msg.wParam) : 0;  // WM_QUIT's: 0, from PostQuitMessage(0)
}
