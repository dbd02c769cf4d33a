#include "tests/gui/scenario_fixture.h"

#include <algorithm>
#include <utility>

#include "resources/resource.h"
#include "tests/support/register_image.h"
#include "tests/support/sim_control.h"

std::string MarkedStartFrame(int device)
{
    return std::to_string(10 * device + 1);
}

// ---- What the editor shows -----------------------------------------------------------------

const TextField kTextFields[kTextFieldCount] = {
    {"Model", IDC_MODEL},         {"Channel", IDC_CHANNEL}, {"Start Frame", IDC_START_FRAME},
    {"End Frame", IDC_END_FRAME}, {"BAUD", IDC_BAUD},       {"Init 1", IDC_INIT1},
    {"Init 2", IDC_INIT2},        {"Init 3", IDC_INIT3},    {"Init 4", IDC_INIT4},
    {"Comment", IDC_COMMENT},
};

Shown ReadShown(HWND editor)
{
    Shown shown;
    for (int i = 0; i < kTextFieldCount; ++i) {
        bool answered = false;
        shown.text[i] = ControlText(editor, kTextFields[i].id, &answered);
        EXPECT_TRUE(answered) << kTextFields[i].name << " did not answer";
    }
    shown.synchronize = CheckState(editor, IDC_SYNCHRONIZE);
    return shown;
}

void ExpectShown(HWND editor, std::initializer_list<const char*> texts, int synchronize)
{
    EXPECT_EQ(texts.size(), static_cast<size_t>(kTextFieldCount));
    const Shown shown = ReadShown(editor);
    int i = 0;
    for (const char* expected : texts) {
        if (i < kTextFieldCount && expected) {
            EXPECT_EQ(shown.text[i], expected) << kTextFields[i].name;
        }
        ++i;
    }
    EXPECT_EQ(shown.synchronize, synchronize) << "Synchronize";
}

void ExpectSameShown(const Shown& before, const Shown& now)
{
    for (int i = 0; i < kTextFieldCount; ++i)
        EXPECT_EQ(now.text[i], before.text[i]) << kTextFields[i].name << " changed";
    EXPECT_EQ(now.synchronize, before.synchronize) << "Synchronize changed";
}

static GUITHREADINFO ThreadInfo(HWND editor)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(editor, nullptr), &info))
        info.hwndFocus = info.hwndCaret = nullptr;
    return info;
}

HWND FocusOf(HWND editor)
{
    return ThreadInfo(editor).hwndFocus;
}

HWND CaretOf(HWND editor)
{
    return ThreadInfo(editor).hwndCaret;
}

void ExpectEditorState(HWND editor, bool fields, bool save, bool load, bool defaults, bool cancel)
{
    // The controls that the load, the save and Defaults enable and disable together.
    for (int id : {IDC_START_FRAME, IDC_END_FRAME, IDC_SYNCHRONIZE, IDC_BAUD, IDC_BAUD_SPIN, IDC_COMMENT,
                   IDC_INIT1, IDC_INIT2, IDC_INIT3, IDC_INIT4})
        EXPECT_EQ(ControlEnabled(editor, id), fields) << "control " << id;
    EXPECT_EQ(ControlEnabled(editor, IDC_SAVE), save) << "SAVE";
    EXPECT_EQ(ControlEnabled(editor, IDC_LOAD), load) << "LOAD";
    EXPECT_EQ(ControlEnabled(editor, IDC_DEFAULTS), defaults) << "Defaults";
    EXPECT_EQ(ControlEnabled(editor, IDCANCEL), cancel) << "Cancel";
    // Model, Channel and their up-downs belong to no group.
    for (int id : {IDC_MODEL, IDC_CHANNEL, IDC_MODEL_SPIN, IDC_CHANNEL_SPIN})
        EXPECT_TRUE(ControlEnabled(editor, id)) << "control " << id;
}

void ExpectAllEnabled(HWND editor)
{
    ExpectEditorState(editor, true, true, true, true, true);
}

void ExpectOnlyLoadDefaultsCancel(HWND editor)
{
    ExpectEditorState(editor, false, false, true, true, true);
}

void ExpectRadios(HWND find, const bool (&enabled)[5], int checkedId)
{
    constexpr int kRadioIds[] = {IDC_PORT_AUTO, IDC_PORT_COM1, IDC_PORT_COM2, IDC_PORT_COM3, IDC_PORT_COM4};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i == 0 ? std::string("Auto Detect") : "COM" + std::to_string(i));
        EXPECT_EQ(ControlEnabled(find, kRadioIds[i]), enabled[i]);
        EXPECT_EQ(CheckState(find, kRadioIds[i]), kRadioIds[i] == checkedId ? BST_CHECKED : BST_UNCHECKED);
    }
}

Ending PressAndAwait(DWORD pid, HWND editor, int button, DWORD timeoutMs)
{
    const ULONGLONG started = GetTickCount64();
    if (!ClickAsync(editor, button))
        return Ending{};
    return AwaitEnding(pid, button == IDC_SAVE ? kSaveCaption : kLoadCaption, started, timeoutMs);
}

Ending AwaitEnding(DWORD pid, const char* caption, ULONGLONG started, DWORD timeoutMs)
{
    Ending out;
    HWND dialog = WaitTopWindow(pid, caption);
    out.opened = dialog != nullptr;
    if (!dialog)
        return out;
    out.owner = GetWindow(dialog, GW_OWNER);
    const auto since = [&] { return static_cast<double>(GetTickCount64() - started) / 1000.0; };
    out.ended = WaitUntil(
        [&] {
            if (!out.comparing && CaptionText(Control(dialog, IDC_SAVE_STATUS)) == kComparingText)
                out.comparing = true;
            if (out.boxCaption.empty()) {
                if (HWND box = FindAnyBox(pid)) {
                    out.seconds = since();
                    out.boxText = MessageBoxText(box);
                    out.boxCaption = CaptionText(box);
                    out.boxOwnedByDialog = GetWindow(box, GW_OWNER) == dialog;
                    out.position = AnsweredProgressPosition(dialog, IDC_PROGRESS);
                    DismissMessageBox(box);
                }
            }
            return !IsWindow(dialog);
        },
        timeoutMs);
    if (out.boxCaption.empty())
        out.seconds = since();
    return out;
}

void AppScenario::TearDown()
{
    for (AppProcess& app : apps_)
        EndApp(&app);
    apps_.clear();
}

namespace {
struct Kept {
    std::deque<AppProcess> apps;
    HWND main = nullptr, window = nullptr;
    int tag = 0;
};
Kept kept;
}  // namespace

void AppScenario::HandOn(int tag, HWND window)
{
    TearDownTestSuite();
    kept = Kept{std::move(apps_), main_, window, tag};
    apps_.clear();
}

HWND AppScenario::TakeOver(int tag)
{
    Kept taken = std::move(kept);
    kept = Kept{};
    if (taken.apps.empty() || taken.tag != tag || !AppAlive(taken.apps.front()) || !Responds(taken.window) ||
        FindAnyBox(taken.apps.front().pid)) {
        for (AppProcess& app : taken.apps)
            EndApp(&app);
        return nullptr;
    }
    apps_ = std::move(taken.apps);
    main_ = taken.main;
    return taken.window;
}

void AppScenario::TearDownTestSuite()
{
    for (AppProcess& app : kept.apps)
        EndApp(&app);
    kept = Kept{};
}

AppProcess& AppScenario::Launch(const std::string& arguments)
{
    apps_.emplace_back();
    AppProcess& app = apps_.back();
    EXPECT_TRUE(LaunchApp(AppPath(), &app, true, arguments)) << AppPath();
    return app;
}

HWND AppScenario::WaitMainWindow(const AppProcess& app)
{
    return app.pid ? WaitTopWindow(app.pid, kMainCaption, 20000) : nullptr;
}

bool AppScenario::Start(const std::string& arguments)
{
    const AppProcess& app = Launch(arguments);
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

std::multiset<std::string> AppScenario::VisibleCaptions() const
{
    std::multiset<std::string> captions;
    for (HWND window : TopWindows(Pid(), nullptr))
        captions.insert(CaptionText(window));
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
        ASSERT_TRUE(SetRegisterRun(device, '0', "000" + std::to_string(device) + "10"));
        DrainComPort(device);
        ASSERT_TRUE(SimClear(device));
    }
}

void SimScenario::TearDown()
{
    AppScenario::TearDown();
    SimCommand("pace on");  // leaves the simulator as the bench started it
    SimResetAll();
}

void SimScenario::PlugOnly(std::initializer_list<int> present)
{
    for (int device = 1; device <= kDeviceCount; ++device)
        ASSERT_TRUE(SimPlug(device, std::find(present.begin(), present.end(), device) != present.end()));
}

HWND SimScenario::StartFind(std::initializer_list<int> present)
{
    PlugOnly(present);
    if (HasFatalFailure() || (!main_ && !Start()))
        return nullptr;
    HWND find = OpenFindDialog();
    EXPECT_NE(find, nullptr) << "no port selection";
    return find;
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

HWND SimScenario::OpenEditor(int device)
{
    if (!main_ && !Start())
        return nullptr;
    EXPECT_TRUE(PostToWindow(main_, UM_SYNCFOUND, static_cast<WPARAM>(device - 1), 0));
    HWND editor = WaitEditorLoaded();
    EXPECT_NE(editor, nullptr) << "the editor did not open, or its load did not end";
    if (editor) {
        EXPECT_EQ(GetWindow(editor, GW_OWNER), main_);
        EXPECT_EQ(FindAnyBox(Pid()), nullptr) << "a box is open: " << CaptionText(FindAnyBox(Pid()));
    }
    return editor;
}

void SimScenario::ExpectFoundOn(int device, bool loaded)
{
    HWND editor = loaded ? WaitEditorLoaded() : WaitTopWindow(Pid(), kEditorCaption, kWaitMs, false);
    ASSERT_NE(editor, nullptr) << "the banner was not recognised";
    EXPECT_EQ(FindTopWindow(Pid(), kSearchCaption, false), nullptr);
    if (!loaded)
        return;
    EXPECT_EQ(ControlText(editor, IDC_START_FRAME), MarkedStartFrame(device));
    CloseEditor(editor);
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
