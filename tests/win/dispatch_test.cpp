// The dispatch tables and the dialog placement, with real windows and dialogs under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "resources/resource.h"
#include "shell/main_window.h"
#include "ui/app_state.h"
#include "ui/center.h"
#include "ui/dispatch.h"
#include "version.h"
#include "tests/support/import_swap.h"

extern "C" decltype(&DefWindowProcA) __imp_DefWindowProcA;

namespace {

struct Call {
    int handler;
    HWND window;
    UINT message;
    WPARAM wParam;
    UINT code;
    LPARAM lParam;
    int count;
};
Call last;

// A call as one line: a whole call compares at once, and a failure shows every field.
std::string Text(const Call& c)
{
    char text[160];
    snprintf(text, sizeof text,
             "handler %d window %p message 0x%X wParam 0x%llX code 0x%X lParam 0x%llX count %d", c.handler,
             static_cast<void*>(c.window), c.message, static_cast<unsigned long long>(c.wParam), c.code,
             static_cast<unsigned long long>(c.lParam), c.count);
    return text;
}

// Handler N records its call as handler N and returns 11 * N.
template <int N>
LRESULT MessageHandler(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    last = {N, w, m, wp, 0, lp, last.count + 1};
    return 11 * N;
}
template <int N>
LRESULT CommandHandler(HWND w, WPARAM word, UINT code, LPARAM lp)
{
    last = {N, w, WM_COMMAND, word, code, lp, last.count + 1};
    return 11 * N;
}

constexpr UINT kTestMessage = WM_USER + 5;

// Of two rows of one message or id, the first wins. The WM_COMMAND row is never reached from a
// dialog: a dialog's WM_COMMAND goes to its command map.
constexpr MessageMapEntry kMessageRows[] = {
    {kTestMessage, MessageHandler<1>},
    {kTestMessage, MessageHandler<3>},
    {WM_COMMAND, MessageHandler<2>},
};

constexpr CommandMapEntry kCommandRows[] = {
    {IDC_MODEL, CommandHandler<4>},
    {IDC_CHANNEL, CommandHandler<3>},
    {IDC_CHANNEL, CommandHandler<4>},
};

std::string TextOf(HWND w)
{
    char text[64] = {};
    GetWindowTextA(w, text, sizeof text);
    return text;
}

// A plain top-level window whose text shows whether a default procedure handled WM_SETTEXT.
class Dispatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        last = {};
        window = CreateWindowExA(0, "STATIC", "before", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override { DestroyWindow(window); }
    HWND window = nullptr;
};

TEST_F(Dispatch, ZeroOrNegativeCountIsSearchedAsEmpty)
{
    for (int32_t count : {0, -1, INT32_MIN}) {
        const MessageMap map = {count, kMessageRows, DPK_NONE};
        EXPECT_EQ(RouteMessage(map, window, kTestMessage, 0, 0), 0) << count;
        const CommandMap commands = {count, kCommandRows, DPK_NONE};
        EXPECT_EQ(RouteCommand(commands, window, IDC_CHANNEL, 0), 0) << count;
    }
    EXPECT_EQ(last.count, 0);
}

TEST_F(Dispatch, EveryKnownKindReachesARealDefaultProcedure)
{
    for (uint32_t kind : {DPK_WINDOW, DPK_DIALOG, DPK_MDICHILD, DPK_FRAME}) {
        SetWindowTextA(window, "before");
        CallDefaultProc(kind, window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("after"));
        EXPECT_EQ(TextOf(window), "after") << "kind " << kind;
    }
}

TEST_F(Dispatch, KindsAboveFourGiveZeroLikeNone)
{
    for (uint32_t kind : {0u, 5u, 7u, 0x80000000u, 0xFFFFFFFFu}) {
        SetWindowTextA(window, "before");
        EXPECT_EQ(CallDefaultProc(kind, window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("after")), 0) << kind;
        EXPECT_EQ(TextOf(window), "before") << "kind " << kind;
        EXPECT_EQ(CallDefaultProc(kind, window, WM_GETTEXTLENGTH, 0, 0), 0) << kind;
    }
}

constexpr DialogMaps kDialogMaps = MakeDialogMaps(kMessageRows, kCommandRows);

TEST_F(Dispatch, DialogRoutesCommandsAndOtherMessagesThroughTheirOwnMaps)
{
    struct Row {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        LRESULT result;
        int handler;  // 0: none called
        UINT code;
    };
    const Row rows[] = {
        // EN_CHANGE (0x300) from IDC_CHANNEL (722): the whole word, the code, the first of two rows.
        {WM_COMMAND, MAKEWPARAM(IDC_CHANNEL, 0x300), 0x4242, 33, 3, 0x300},
        {WM_COMMAND, MAKEWPARAM(IDC_MODEL, 0xFFFF), 0x99, 44, 4, 0xFFFF},  // code not sign-extended
        {kTestMessage, 0x1234, 0x5678, 11, 1, 0},                          // first of two message rows
        {WM_COMMAND, MAKEWPARAM(999, 0), 0, 0, 0, 0},  // unlisted command: 0, no message row
        {WM_USER + 77, 0, 0, 0, 0, 0},                 // unlisted message: 0
    };
    for (const Row& row : rows) {
        last = {};
        EXPECT_EQ(RoutedDialogProc<kDialogMaps>(window, row.message, row.wParam, row.lParam), row.result)
            << row.message << " " << row.wParam;
        const Call want = row.handler
                              ? Call{row.handler, window, row.message, row.wParam, row.code, row.lParam, 1}
                              : Call{};
        EXPECT_EQ(Text(last), Text(want)) << row.message << " " << row.wParam;
    }

    // An unlisted message gets the message map's default procedure, and its result.
    const DialogMaps windowDefaults = {MakeMessageMap(kMessageRows, DPK_WINDOW), kDialogMaps.commands};
    EXPECT_EQ(RouteDialog(windowDefaults, window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("after")), TRUE);
    EXPECT_EQ(TextOf(window), "after");
    EXPECT_EQ(last.count, 0);
}

// A dialog procedure that records what DefDlgProcA hands it.
INT_PTR CALLBACK RecordingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND)
        last = {5, dialog, message, wParam, 0, lParam, last.count + 1};
    return message == WM_INITDIALOG;
}

HWND MakeEmptyDialog(DLGPROC proc, HWND owner)
{
    // A template in memory: no controls, 100x50 units.
    alignas(4) static WORD templ[16] = {};
    DLGTEMPLATE* t = reinterpret_cast<DLGTEMPLATE*>(templ);
    t->style = WS_POPUP | WS_CAPTION;
    t->cx = 100;
    t->cy = 50;
    return CreateDialogIndirectParamA(GetModuleHandleA(nullptr), t, owner, proc, 0);
}

TEST_F(Dispatch, UnlistedCommandReachesTheDefaultProcedureUnchanged)
{
    // DefDlgProcA passes what it gets to the dialog's own procedure, so the recorder sees exactly
    // the WM_COMMAND that the default procedure received.
    HWND dialog = MakeEmptyDialog(RecordingDialogProc, nullptr);
    ASSERT_NE(dialog, nullptr);
    last = {};
    const CommandMap map = MakeCommandMap(kCommandRows, DPK_DIALOG);
    const WPARAM word = MAKEWPARAM(4321, 0x8001);
    RouteCommand(map, dialog, word, 0x7777);
    EXPECT_EQ(Text(last), Text({5, dialog, WM_COMMAND, word, 0, 0x7777, 1}));
    DestroyWindow(dialog);
}

// DefWindowProcA does nothing with a command, so its call itself is watched: this program's import
// table entry of it points at a recorder for the time of the call.
decltype(&DefWindowProcA) realDefWindowProc;

LRESULT WINAPI RecordingDefWindowProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    last = {6, w, m, wp, 0, lp, last.count + 1};
    return realDefWindowProc(w, m, wp, lp);
}

TEST_F(Dispatch, UnlistedCommandOfTheMainWindowMapGoesToDefWindowProc)
{
    const CommandMap map = MakeCommandMap(kCommandRows, DPK_WINDOW);
    const WPARAM word = MAKEWPARAM(999, 0x8001);
    LRESULT result = -1;
    {
        ImportSwap<decltype(&DefWindowProcA)> swap(__imp_DefWindowProcA, RecordingDefWindowProc);
        realDefWindowProc = swap.real();
        result = RouteCommand(map, window, word, 0x7777);
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Text(last), Text({6, window, WM_COMMAND, word, 0, 0x7777, 1}));
}

// --- Centring and the About box from the real templates ---

class RealDialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        AppInstance = GetModuleHandleA(nullptr);
        owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW, 100, 80, 600, 400, nullptr,
                                nullptr, AppInstance, nullptr);
        ASSERT_NE(owner, nullptr);
    }
    void TearDown() override { DestroyWindow(owner); }
    HWND owner = nullptr;
};

TEST_F(RealDialogs, AboutBoxShowsTheVersionAndIsCentredOverItsOwner)
{
    HWND about = CreateDialogParamA(AppInstance, "AboutBox", owner, AboutDlgProc, 0);
    ASSERT_NE(about, nullptr);
    char version[32] = {};
    GetDlgItemTextA(about, IDC_VERSION, version, sizeof version);
    EXPECT_STREQ(version, QUORBANE_VERSION);

    RECT o, d;
    GetWindowRect(owner, &o);
    GetWindowRect(about, &d);
    EXPECT_EQ(d.left, o.left + ((o.right - o.left) - (d.right - d.left)) / 2);
    EXPECT_EQ(d.top, o.top + ((o.bottom - o.top) - (d.bottom - d.top)) / 2);

    // An unlisted message returns 0 from the dialog procedure; OK ends the dialog.
    EXPECT_EQ(AboutDlgProc(about, WM_USER + 77, 0, 0), 0);
    EXPECT_EQ(AboutDlgProc(about, WM_COMMAND, IDOK, 0), 1);
    DestroyWindow(about);
}

TEST_F(RealDialogs, CentringKeepsADialogOnTheScreen)
{
    HDC dc = GetDC(nullptr);
    const int screenWidth = GetDeviceCaps(dc, HORZRES);
    ReleaseDC(nullptr, dc);

    HWND dialog = MakeEmptyDialog(RecordingDialogProc, owner);
    ASSERT_NE(dialog, nullptr);
    RECT d;
    GetWindowRect(dialog, &d);
    const int width = d.right - d.left;

    // Owner far to the right: the dialog's right edge lands on the screen's width.
    SetWindowPos(owner, nullptr, screenWidth - 50, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    CenterOverOwner(dialog, owner);
    GetWindowRect(dialog, &d);
    EXPECT_EQ(d.left + width, screenWidth);

    // Owner far to the left: the dialog sits at x = 0.
    SetWindowPos(owner, nullptr, -550, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    CenterOverOwner(dialog, owner);
    GetWindowRect(dialog, &d);
    EXPECT_EQ(d.left, 0);
    DestroyWindow(dialog);
}

}  // namespace
