// The port selection dialog and the hand-over to the search and the editor, with the simulator's
// devices plugged in or out: what the dialog offers, which ports the search opens, and which
// device the editor loads from.
#include <string>

#include "resources/resource.h"
#include "tests/gui/scenario_fixture.h"
#include "tests/support/sim_control.h"
#include "tests/support/wire_frames.h"

namespace {

using FindScenario = SimScenario;

// Whether the device received anything: its frames and its wire log are both empty.
bool DeviceUntouched(int device)
{
    const SimReply frames = SimCommand("frames " + std::to_string(device));
    const SimReply log = SimCommand("log " + std::to_string(device));
    return frames.ok && log.ok && frames.lines.empty() && log.lines.empty();
}

// COM2 to COM4 present, COM2 chosen: only COM2 is searched and the editor loads from device 2;
// the later ports see nothing. The next opening checks COM2 again, and Cancel after clicking
// another port puts COM2 back and starts nothing. FIND NOW in the dialog opened after that
// searches COM2 alone: with COM2 gone by then, its one tick ends the search, and the banner
// that COM4 sends meanwhile is never found.
TEST_F(FindScenario, ChosenPortIsTheOnlyOneSearchedAndIsRemembered)
{
    HWND find = StartFind({2, 3, 4});
    ASSERT_NE(find, nullptr);
    ExpectRadios(find, {true, false, true, true, true}, IDC_PORT_AUTO);
    ASSERT_TRUE(Click(find, IDC_PORT_COM2));
    EXPECT_EQ(CheckState(find, IDC_PORT_COM2), BST_CHECKED);

    HWND search = FindNow(find);
    ASSERT_NE(search, nullptr);
    ASSERT_TRUE(WaitTesting(search, "COM2"));
    ASSERT_TRUE(SimReset(2));
    ASSERT_NO_FATAL_FAILURE(ExpectFoundOn(2));
    EXPECT_EQ(SimFrames(2), LoadFrames());
    EXPECT_TRUE(DeviceUntouched(3)) << "COM3 was written to";
    EXPECT_TRUE(DeviceUntouched(4)) << "COM4 was written to";

    find = OpenFindDialog();
    ASSERT_NE(find, nullptr);
    ExpectRadios(find, {true, false, true, true, true}, IDC_PORT_COM2);
    ASSERT_TRUE(Click(find, IDC_PORT_COM4));
    EXPECT_EQ(CheckState(find, IDC_PORT_COM4), BST_CHECKED);
    ASSERT_TRUE(Click(find, IDCANCEL));
    ASSERT_TRUE(WaitTopWindowGone(Pid(), kFindCaption));

    // A posted About command shows when what Cancel might have posted has been handled.
    ASSERT_TRUE(PostCommand(main_, IDM_ABOUT));
    HWND about = WaitTopWindow(Pid(), kAboutCaption);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(FindTopWindow(Pid(), kSearchCaption, false), nullptr) << "Cancel started a search";
    ASSERT_TRUE(Click(about, IDOK));

    find = OpenFindDialog();
    ASSERT_NE(find, nullptr);
    ExpectRadios(find, {true, false, true, true, true}, IDC_PORT_COM2);
    ASSERT_TRUE(SimPlug(2, false));
    search = FindNow(find);
    ASSERT_NE(search, nullptr);
    std::string otherPort;
    bool bannerSent = false;
    const bool ended = WaitUntil([&] {
        if (FindTopWindow(Pid(), kFailureCaption))
            return true;
        const std::string status = CaptionText(Control(search, IDC_SEARCH_STATUS));
        if (status.compare(0, 8, "Testing ") == 0 && status.compare(0, 12, "Testing COM2") != 0)
            otherPort = status;
        if (!bannerSent && status.compare(0, 12, "Testing COM2") == 0)
            bannerSent = SimReset(4);
        return !otherPort.empty();
    });
    ASSERT_TRUE(ended) << "the search did not end";
    EXPECT_EQ(otherPort, "") << "a port besides the chosen one was searched";
    EXPECT_TRUE(bannerSent);
    ExpectNotFoundBox();
    EXPECT_EQ(FindTopWindow(Pid(), kEditorCaption, false), nullptr);
    EXPECT_TRUE(DeviceUntouched(3));
    EXPECT_TRUE(SimFrames(4).empty());
}

// The chosen port is searched first even when a present port comes before it: COM4 chosen with
// COM2 present, the first port under test is COM4.
TEST_F(FindScenario, ChosenLaterPortIsSearchedAlone)
{
    HWND find = StartFind({2, 4});
    ASSERT_NE(find, nullptr);
    ASSERT_TRUE(Click(find, IDC_PORT_COM4));
    HWND search = FindNow(find);
    ASSERT_NE(search, nullptr);
    ASSERT_TRUE(WaitControlText(search, IDC_SEARCH_STATUS, "Testing"));
    EXPECT_TRUE(WaitTesting(search, "COM4", 0)) << CaptionText(Control(search, IDC_SEARCH_STATUS));
    ASSERT_TRUE(Click(search, IDCANCEL));
    ExpectNotFoundBox();

    // The remembered choice survives a search.
    find = OpenFindDialog();
    ASSERT_NE(find, nullptr);
    ExpectRadios(find, {true, false, true, false, true}, IDC_PORT_COM4);
    ASSERT_TRUE(Click(find, IDCANCEL));
}

// A remembered port that has gone away: the dialog falls back to Auto Detect, and Cancel keeps
// the old choice, which comes back once the port is there again.
TEST_F(FindScenario, VanishedChoiceFallsBackToAutoUntilItReturns)
{
    HWND find = StartFind({2, 3});
    ASSERT_NE(find, nullptr);
    ASSERT_TRUE(Click(find, IDC_PORT_COM2));
    ASSERT_TRUE(Click(find, IDCANCEL));  // Cancel keeps the choice at opening: Auto Detect
    find = OpenFindDialog();
    ASSERT_NE(find, nullptr);
    ExpectRadios(find, {true, false, true, true, false}, IDC_PORT_AUTO);
    ASSERT_TRUE(Click(find, IDC_PORT_COM2));
    HWND search = FindNow(find);
    ASSERT_NE(search, nullptr);
    ASSERT_TRUE(Click(search, IDCANCEL));
    ExpectNotFoundBox();

    ASSERT_TRUE(SimPlug(2, false));
    find = OpenFindDialog();
    ASSERT_NE(find, nullptr);
    ExpectRadios(find, {true, false, false, true, false}, IDC_PORT_AUTO);
    ASSERT_TRUE(Click(find, IDCANCEL));

    ASSERT_TRUE(SimPlug(2, true));
    find = OpenFindDialog();
    ASSERT_NE(find, nullptr);
    ExpectRadios(find, {true, false, true, true, false}, IDC_PORT_COM2);
    ASSERT_TRUE(Click(find, IDCANCEL));
}

// A port named on the command line takes COM1's place: the bench's COM12 leads to device 1, and
// the search finds it there and the editor loads from it.
TEST_F(FindScenario, PortOnTheCommandLineIsSearchedAndLoaded)
{
    PlugOnly({1});
    ASSERT_TRUE(Start("com12"));
    HWND find = OpenFindDialog();
    ASSERT_NE(find, nullptr);
    EXPECT_EQ(CaptionText(Control(find, IDC_PORT_COM1)), "COM12:");
    ExpectRadios(find, {true, true, false, false, false}, IDC_PORT_AUTO);
    HWND search = FindNow(find);
    ASSERT_NE(search, nullptr);
    ASSERT_TRUE(WaitTesting(search, "COM12"));
    ASSERT_TRUE(SimReset(1));
    ASSERT_NO_FATAL_FAILURE(ExpectFoundOn(1));
    EXPECT_EQ(SimFrames(1), LoadFrames());
}

}  // namespace
