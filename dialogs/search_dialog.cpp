// The search, driven by a one-second timer: each candidate port is opened in the Listen profile
// and listened to for 25 ticks while the user presses the synchronizer's Reset switch.
#include "dialogs/search_dialog.h"

#include <cstdio>

#include "dialogs/find_dialog.h"
#include "dialogs/progress_dialog.h"
#include "link/banner.h"
#include "link/com_port.h"
#include "resources/resource.h"
#include "ui/dispatch.h"

int32_t FoundPort = -1;

static void SearchTick(HWND dialog);
static LRESULT FinishSearch(HWND dialog, WPARAM command, UINT code, LPARAM lParam);

namespace {

int32_t searchIndex;  // index of the port under test, -1 before the first
int bannerFound;
int openFailed;
int32_t progress;  // 0, then 4, 8, ... 100 while a port is under test
char statusText[32];

constexpr int32_t kProgressStep = 4;
constexpr int32_t kProgressEnd = 100;  // 25 listening ticks a port
constexpr DWORD kListenReadSize = 250;

void ShowStatus(HWND dialog, const char* format, int count)
{
    snprintf(statusText, sizeof statusText, format, PortPlaces[searchIndex].shown, count);
    SetDlgItemTextA(dialog, IDC_SEARCH_STATUS, statusText);
}

// Opens the next candidate; 0 when none is left (the search has then been finished).
int OpenNextCandidate(HWND dialog)
{
    do {
        if (++searchIndex >= kPortCount) {
            FoundPort = -1;
            FinishSearch(dialog, 0, 0, 0);
            return 0;
        }
    } while (!PortCandidates[searchIndex]);
    FoundPort = searchIndex;
    RestoreAndClosePort();
    if (!OpenPortNamed(PortPlaces[searchIndex].device, PortProfile::Listen))
        openFailed = 1;
    // After an open, bytesRead is what its drain discarded.
    ShowStatus(dialog, "Testing %s (%d)", static_cast<int>(ComPort.bytesRead));
    return 1;
}

// Gathers what the port brought and looks for the banner in all of it so far: a banner split
// over two ticks is recognised on the second.
void Listen()
{
    ReadPort(kListenReadSize);
    if (ComPort.bytesRead == 0)
        return;
    AppendToAccumulator();
    AccumulatorTerminate(ComPort.accumulator);
    if (BannerRecognized(ComPort.accumulator.bytes, ComPort.accumulator.end + 1))
        bannerFound = 1;
}

void CALLBACK SearchTimerProc(HWND dialog, UINT, UINT_PTR, DWORD)
{
    SearchTick(dialog);
}

// WM_INITDIALOG: no candidate under test yet; the first tick comes in a second. Returns 1.
LRESULT InitSearchDialog(HWND dialog, UINT, WPARAM, LPARAM)
{
    InitProgressDialog(dialog);
    bannerFound = 0;
    openFailed = 0;
    progress = 0;
    searchIndex = -1;
    ArmProgressTimer(dialog, SearchTimerProc);
    return 1;
}

constexpr MessageMapEntry SearchMessageRows[] = {
    {WM_INITDIALOG, InitSearchDialog},
};
constexpr CommandMapEntry SearchCommandRows[] = {
    {IDOK, FinishSearch},
    {IDCANCEL, FinishSearch},
};
constexpr DialogMaps SearchMaps = MakeDialogMaps(SearchMessageRows, SearchCommandRows);

}  // namespace

const DLGPROC SearchDlgProc = RoutedDialogProc<SearchMaps>;

static void SearchTick(HWND dialog)
{
    if (bannerFound) {
        FinishSearch(dialog, 0, 0, 0);
        return;
    }
    if (openFailed) {
        // A port that would not open costs one tick.
        openFailed = 0;
        progress = 0;
    }
    if (progress == 0 && !OpenNextCandidate(dialog))
        return;
    progress += kProgressStep;
    if (progress > kProgressEnd) {
        progress = 0;  // this tick rests; the next one moves to the next candidate
        return;
    }
    SetProgress(dialog, progress);
    if (ComPort.handle != INVALID_HANDLE_VALUE)
        Listen();
    ShowStatus(dialog, "Testing %s", 0);
}

// IDOK, IDCANCEL, or 0 when the search ends by itself: close the port and tell the main window.
static LRESULT FinishSearch(HWND dialog, WPARAM command, UINT, LPARAM)
{
    StopProgress(dialog);
    HWND owner = GetWindow(dialog, GW_OWNER);
    if (FoundPort == -1 || LOWORD(command) == IDCANCEL) {
        PostMessageA(owner, UM_SYNCNOTFOUND, 1, 0);
        FoundPort = -1;
    } else {
        PostMessageA(owner, UM_SYNCFOUND, static_cast<WPARAM>(FoundPort), 0);
    }
    EndDialog(dialog, 1);
    return 1;
}
