#pragma once
// What the GUI scenarios share: the program's captions, a fixture that always ends the programs
// it started, and the steps of the find-and-search workflow against the device simulator.
#include <gtest/gtest.h>

#include <deque>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "tests/gui/gui_driver.h"
#include "tests/support/program_texts.h"

constexpr int kDeviceCount = 4;  // devices 1..4 of the simulator sit behind COM1..COM4

// The start frame each device shows after the fixture's set-up: 10 * device + 1, so that the
// editor tells which device it loaded from.
std::string MarkedStartFrame(int device);

// What the editor shows: its ten text fields by name, and the Synchronize box.
struct TextField {
    const char* name;
    int id;
};
constexpr int kTextFieldCount = 10;
extern const TextField kTextFields[kTextFieldCount];  // Model, Channel, frames, BAUD, inits, Comment

struct Shown {
    std::string text[kTextFieldCount];  // in the order of kTextFields
    int synchronize = -1;               // BST_CHECKED or BST_UNCHECKED
};
Shown ReadShown(HWND editor);
// A null expected text is not checked (the caller checks that field itself).
void ExpectShown(HWND editor, std::initializer_list<const char*> texts, int synchronize);
void ExpectSameShown(const Shown& before, const Shown& now);

// The window that has the keyboard focus, and the one that shows the caret, in the editor's thread.
HWND FocusOf(HWND editor);
HWND CaretOf(HWND editor);

// Which of the editor's fields (as one group) and buttons are enabled.
void ExpectEditorState(HWND editor, bool fields, bool save, bool load, bool defaults, bool cancel);
void ExpectAllEnabled(HWND editor);
// After Cancel or a failed load: LOAD, Defaults and Cancel only.
void ExpectOnlyLoadDefaultsCancel(HWND editor);

// The port selection's radio buttons, enabled or not, and the one checked; index 0 of `enabled` is
// Auto Detect, index n is COMn.
void ExpectRadios(HWND find, const bool (&enabled)[5], int checkedId);

// How a load or save ended: its box, read and answered, or its dialog gone.
struct Ending {
    bool opened = false;     // the dialog appeared
    HWND owner = nullptr;    // its owner
    bool ended = false;      // and went away
    bool comparing = false;  // a save's status showed "Comparing ...." on the way
    std::string boxText, boxCaption;
    bool boxOwnedByDialog = false;
    int position = -1;   // of the bar while the box was open
    double seconds = 0;  // from `started` to the box, or to the dialog's end
};
// The button pressed (without waiting), then everything up to the end of the dialog it opens.
Ending PressAndAwait(DWORD pid, HWND editor, int button, DWORD timeoutMs);
// The same from a press already made at `started` (GetTickCount64).
Ending AwaitEnding(DWORD pid, const char* caption, ULONGLONG started, DWORD timeoutMs);

// Starts programs and ends them, whatever the test did.
class AppScenario : public ::testing::Test {
protected:
    void TearDown() override;

    // Starts one more instance, ended at tear-down; pid 0 on failure. The reference stays valid.
    AppProcess& Launch(const std::string& arguments = "");
    HWND WaitMainWindow(const AppProcess& app);

    // The first instance and its main window, for scenarios that need just one.
    bool Start(const std::string& arguments = "");
    DWORD Pid() const { return apps_.empty() ? 0 : apps_.front().pid; }
    const AppProcess& App() const { return apps_.front(); }

    // The rows of a table that need no fresh program share one: HandOn keeps this test's programs
    // running, with a window of theirs, for the next test that takes over the same tag; TakeOver
    // adopts them (main_ included) and returns that window if they still answer with no box
    // open, else ends them and returns null. The end of the suite ends whatever is kept.
    void HandOn(int tag, HWND window);
    HWND TakeOver(int tag);
    static void TearDownTestSuite();

    // Visible top-level windows of the first instance, by caption ("" for none).
    std::multiset<std::string> VisibleCaptions() const;

    // Waits for the "Synchronizer Not Found" box, checks it and answers it.
    void ExpectNotFoundBox(DWORD timeoutMs = kWaitMs);

    HWND main_ = nullptr;
    std::deque<AppProcess> apps_;  // a deque: Launch's references survive later launches
};

// Scenarios that need the simulator: every device in normal mode with its logs cleared and its
// start frame marked, then only the devices named present plugged in.
class SimScenario : public AppScenario {
protected:
    void SetUp() override;
    void TearDown() override;

    void PlugOnly(std::initializer_list<int> present);

    // Only the devices named plugged in, the program started if need be and its port selection
    // open; null if a step failed (the failure is recorded).
    HWND StartFind(std::initializer_list<int> present);
    // IDM_FINDSYNC; the port selection dialog, or null.
    HWND OpenFindDialog();
    // FIND NOW; the Searching dialog, or null.
    HWND FindNow(HWND findDialog);
    // Waits until the search has opened `port` ("COM3") and shows it in its status line.
    bool WaitTesting(HWND search, const char* port, DWORD timeoutMs = kWaitMs);
    // Waits for the next tick of the search (its progress bar moves); the new position, or -1
    // if the search ended first.
    int WaitNextTick(HWND search, int from, DWORD timeoutMs = 3000);

    // The program started if need be and the editor opened on COM<device> as after a successful
    // search; the editor once its first load has ended without a box, or null.
    HWND OpenEditor(int device);

    // The search ended on COM<device>: the editor opens. With `loaded`, its load from the device is
    // awaited and checked and the editor closed; else the fixture ends the program mid-load.
    void ExpectFoundOn(int device, bool loaded = true);

    // The editor after its first load has finished; null if it did not open.
    HWND WaitEditorLoaded(DWORD timeoutMs = 20000);
    void CloseEditor(HWND editor);
};
