#pragma once
// Drives the real quorbane.exe from another Windows process, as a user would: starts it, finds
// its top-level windows by caption, clicks buttons, reads texts and states, sends menu commands
// and keys, answers message boxes, and ends it. Every wait is bounded.
//
// Two ways of reading a text: CaptionText asks the system for the text it holds for a window
// (titles, static texts, button labels) and answers even while the program is blocked in serial
// work; ControlText asks the window itself (WM_GETTEXT), which an edit control needs, and fails
// when the program does not answer in time.
#include <windows.h>

#include <string>
#include <vector>

constexpr DWORD kWaitMs = 10000;   // default bound of a wait for something the program does
constexpr DWORD kAnswerMs = 5000;  // bound of one message round trip to the program
constexpr DWORD kPollMs = 20;      // polling step of every wait

struct AppProcess {
    HANDLE process = nullptr;
    DWORD pid = 0;
};

// The program to drive: QUORBANE_EXE if set, else the one this build made. A Unix path (/x/y)
// becomes Z:\x\y, which is how Wine shows the host's file system.
std::string AppPath();
std::string WindowsPath(const std::string& path);

// Starts the program, with `arguments` on its command line. With endWithDriver, it is placed in a
// job that ends it if this process dies first (a test killed by its timeout leaves nothing behind).
bool LaunchApp(const std::string& path, AppProcess* app, bool endWithDriver = true,
               const std::string& arguments = "");
bool AppAlive(const AppProcess& app);
// Waits for the process to end; the exit code goes to *exitCode.
bool WaitAppExit(const AppProcess& app, DWORD timeoutMs, DWORD* exitCode);
// Terminates the process if it still runs and releases the handle. Safe to call twice.
void EndApp(AppProcess* app);
// Ends every running process whose executable has this file name; returns how many.
int EndAllProcesses(const char* exeName);

// Top-level windows of process pid (0: of any process) whose caption is exactly `caption`
// (nullptr: any caption). Hidden windows count only when visibleOnly is false.
std::vector<HWND> TopWindows(DWORD pid, const char* caption, bool visibleOnly = true);
HWND FindTopWindow(DWORD pid, const char* caption, bool visibleOnly = true);
HWND WaitTopWindow(DWORD pid, const char* caption, DWORD timeoutMs = kWaitMs, bool visibleOnly = true);
bool WaitTopWindowGone(DWORD pid, const char* caption, DWORD timeoutMs = kWaitMs);

// Controls and texts.
HWND Control(HWND dialog, int id);
std::string CaptionText(HWND window);
std::string ControlText(HWND dialog, int id, bool* ok = nullptr);
bool SetControlText(HWND dialog, int id, const char* text);
bool ControlEnabled(HWND dialog, int id);
bool ControlVisible(HWND dialog, int id);
// BST_CHECKED, BST_UNCHECKED or BST_INDETERMINATE; -1 if the program did not answer.
int CheckState(HWND dialog, int id);
// PBM_GETPOS of a progress bar; -1 if the program did not answer.
int ProgressPosition(HWND dialog, int id);
// The same, asked until the program answers: a thread that has just come back from long work
// (a box it has only begun to show) counts as hung for a moment and is not asked at all.
int AnsweredProgressPosition(HWND dialog, int id, DWORD timeoutMs = kWaitMs);
// Waits until CaptionText of the control begins with `prefix`; returns whether it did.
bool WaitControlText(HWND dialog, int id, const char* prefix, DWORD timeoutMs = kWaitMs);

// Clicks, posted to the button as a user's click reaches it through the program's queue. Click
// then waits until the program has handled it (or the click has closed the dialog); ClickAsync
// returns at once. Both refuse a disabled or missing button.
bool Click(HWND dialog, int id);
bool ClickAsync(HWND dialog, int id);

// Messages. PostCommand posts WM_COMMAND (as from a menu: notification 0, no control).
bool PostCommand(HWND window, int id);
bool PostToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Whether the window's thread answers a message within timeoutMs.
bool Responds(HWND window, DWORD timeoutMs = kAnswerMs);

// Keys. A combination such as "CTRL+Q", "ALT+F4", "ESC", "ENTER", "TAB", "F1", "A".
bool PressKeys(const char* combination);
bool BringToFront(HWND window, DWORD timeoutMs = kWaitMs);

// A visible top-level window of process pid with this class (and caption, unless null): an open
// popup menu is "#32768", a dialog or message box "#32770".
HWND WaitTopWindowOfClass(DWORD pid, const char* className, const char* caption, DWORD timeoutMs = kWaitMs);

// Message boxes (#32770 windows with a caption; their text is the static 0xFFFF).
HWND WaitMessageBox(DWORD pid, const char* caption, DWORD timeoutMs = kWaitMs);
// A message box of the program whatever its caption: a dialog that is none of its own windows.
HWND FindAnyBox(DWORD pid);
std::string MessageBoxText(HWND box);
bool DismissMessageBox(HWND box);

// Polls condition() every kPollMs until it is true or timeoutMs has passed.
template <class Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs = kWaitMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount64() >= end)
            return false;
        Sleep(kPollMs);
    }
}
