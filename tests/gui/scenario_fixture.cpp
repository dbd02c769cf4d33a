#include "tests/gui/scenario_fixture.h"

#include <cstdio>

#include "resources/resource.h"
#include "tests/support/sim_control.h"

std::string MarkedStartFrame(int device)
{
    return std::to_string(10 * device + 1);
}

void AppScenario::TearDown()
{
    for (AppProcess& app : apps_)
        EndApp(&app);
    apps_.clear();
}

AppProcess& AppScenario::Launch()
{
    apps_.emplace_back();
    AppProcess& app = apps_.back();
    EXPECT_TRUE(LaunchApp(AppPath(), &app)) << AppPath();
    return app;
}

HWND AppScenario::WaitMainWindow(const AppProcess& app)
{
    return app.pid ? WaitTopWindow(app.pid, kMainCaption, 20000) : nullptr;
}

bool AppScenario::Start()
{
    const AppProcess& app = Launch();
    main_ = WaitMainWindow(app);
    if (!main_) {
        DWORD code = STILL_ACTIVE;
        const bool ended = WaitAppExit(app, 0, &code);
        std::string windows;
        for (HWND window : TopWindows(app.pid, nullptr, false))
            windows += " '" + CaptionText(window) + (IsWindowVisible(window) ? "'" : "' (hidden)");
        ADD_FAILURE() << "no main window titled " << kMainCaption << "; the program "
                      << (ended ? "ended with code " + std::to_string(code) : std::string("runs"))
                      << "; its windows:" << windows;
    }
    return main_ != nullptr;
}

std::vector<std::string> AppScenario::VisibleCaptions() const
{
    std::vector<std::string> captions;
    for (HWND window : TopWindows(Pid(), nullptr))
        captions.push_back(CaptionText(window));
    return captions;
}

void AppScenario::ExpectNotFoundBox(DWORD timeoutMs)
{
    HWND box = WaitMessageBox(Pid(), kFailureCaption, timeoutMs);
    ASSERT_NE(box, nullptr) << "no " << kFailureCaption << " box";
    EXPECT_EQ(MessageBoxText(box), kNotFoundText);
    EXPECT_EQ(GetWindow(box, GW_OWNER), main_);
    EXPECT_TRUE(DismissMessageBox(box));
    EXPECT_TRUE(WaitTopWindowGone(Pid(), kFailureCaption));
}

void SimScenario::SetUp()
{
    // A fresh start for every device: plugged, normal answers, power-on contents but for the
    // marked start frame ('0' '1' '2' = "00" "0n" "10"), nothing queued on its line, empty logs;
    // output paced at line speed as the bench starts it.
    ASSERT_TRUE(SimCommand("pace on").ok) << "simulator not reachable: " << SimCommand("help").error;
    ASSERT_TRUE(SimResetAll());
    for (int device = 1; device <= kDeviceCount; ++device) {
        const unsigned char digit = static_cast<unsigned char>('0' + device);
        ASSERT_TRUE(SimSetRegister(device, '0', '0', '0'));
        ASSERT_TRUE(SimSetRegister(device, '1', '0', digit));
        ASSERT_TRUE(SimSetRegister(device, '2', '1', '0'));
        DrainPort(device);
        ASSERT_TRUE(SimClear(device));
    }
}

void SimScenario::TearDown()
{
    AppScenario::TearDown();
    SimResetAll();  // leaves the devices as the bench started them
}

void SimScenario::PlugOnly(std::initializer_list<int> present)
{
    for (int device = 1; device <= kDeviceCount; ++device) {
        bool plugged = false;
        for (int p : present)
            plugged = plugged || p == device;
        ASSERT_TRUE(SimPlug(device, plugged));
    }
}

HWND SimScenario::OpenFindDialog()
{
    if (!PostCommand(main_, IDM_FINDSYNC))
        return nullptr;
    return WaitTopWindow(Pid(), kFindCaption);
}

HWND SimScenario::FindNow(HWND findDialog)
{
    if (!Click(findDialog, IDOK))
        return nullptr;
    return WaitTopWindow(Pid(), kSearchCaption);
}

bool SimScenario::WaitTesting(HWND search, const char* port, DWORD timeoutMs)
{
    const std::string prefix = std::string("Testing ") + port;
    return WaitControlText(search, IDC_SEARCH_STATUS, prefix.c_str(), timeoutMs);
}

int SimScenario::WaitNextTick(HWND search, int from, DWORD timeoutMs)
{
    int now = from;
    WaitUntil(
        [&] {
            if (!IsWindow(search))
                return true;
            now = ProgressPosition(search, IDC_PROGRESS);
            return now != from;
        },
        timeoutMs);
    return IsWindow(search) ? now : -1;
}

void SimScenario::WaitProgressOrEnd(HWND search, int position, DWORD timeoutMs)
{
    WaitUntil([&] { return !IsWindow(search) || ProgressPosition(search, IDC_PROGRESS) >= position; },
              timeoutMs);
}

HWND SimScenario::WaitEditorLoaded(DWORD timeoutMs)
{
    // The editor loads inside its WM_INITDIALOG and shows itself only afterwards.
    HWND editor = WaitTopWindow(Pid(), kEditorCaption, timeoutMs);
    if (editor && !WaitTopWindowGone(Pid(), kLoadCaption, timeoutMs))
        return nullptr;
    return editor;
}

void SimScenario::CloseEditor(HWND editor)
{
    EXPECT_TRUE(Click(editor, IDCANCEL));
    EXPECT_TRUE(WaitTopWindowGone(Pid(), kEditorCaption));
    EXPECT_TRUE(Responds(main_));
}

void SimScenario::DrainPort(int port)
{
    DrainComPort(port);
}
