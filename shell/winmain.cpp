// Process entry: the ports of the command line, then register the class, create the main window,
// run the message loop.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "dialogs/find_dialog.h"
#include "shell/main_window.h"
#include "ui/message_box.h"

// The ports named on the command line take the places of COM1 to COM4. A word that names none
// ends the program before any other window, with exit code 2.
static int TakePortArguments()
{
    const int refused = PlacePorts(__argv + 1, __argc - 1, PortPlaces);
    if (refused < 0)
        return 1;
    char text[400];
    snprintf(text, sizeof text,
             "Can't use \"%.200s\": give up to four serial ports, COM1 to COM256, each once.",
             __argv[refused + 1]);
    ShowMessage(nullptr, text, "Quorbane");
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showState)
{
    (void)commandLine;  // read as __argv, split as the C runtime splits it
    if (previous)
        return 0;
    if (!TakePortArguments())
        return 2;
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
