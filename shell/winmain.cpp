// Process entry: register the class, create the main window, run the message loop.
#include <windows.h>

#include "shell/main_window.h"

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
