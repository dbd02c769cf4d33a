// The parameter editor as a user edits it, and the save with its read-back, against device 1 of
// the simulator (COM1): the checks made when a field is left, the BAUD arrows, the Synchronize
// box, the init-string warning, the hidden mode through real key presses, and what a save puts
// on the wire, into the device and back into the editor, when it works and when it fails.
//
// How the user is played here:
// - leaving a field: WM_NEXTDLGCTL to the editor with the next field, which is what the dialog
//   manager does for Tab; the field left gets a real WM_KILLFOCUS from the focus change. It works
//   whatever window is in front, because the editor's own thread moves its focus.
// - typing: WM_SETTEXT into the focused field (the texts used stay within the fields' limits).
// - BAUD, Model and Channel arrows: a button-down and button-up sent to the up-down at the middle
//   of its upper or lower half, as a mouse click arrives.
// - Ctrl+K and Ctrl+B: real key presses (SendInput); the editor holds them as system-wide hotkeys.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/gui/scenario_fixture.h"
#include "tests/support/qsync_rows.h"
#include "tests/support/sim_control.h"
#include "tests/support/wire_frames.h"

namespace {

constexpr int kDevice = 1;        // the simulator's device behind COM1
constexpr DWORD kSaveMs = 60000;  // a save whose device goes quiet waits about 2 s per read

constexpr int kInitIds[4] = {IDC_INIT1, IDC_INIT2, IDC_INIT3, IDC_INIT4};
// The device's contents at power-on, with the start frame the fixture marks on device 1.
DeviceFields PowerOnParams()
{
    return PowerOnFields(std::stoi(MarkedStartFrame(kDevice)));
}

// --- Driving the editor ---------------------------------------------------------------------------

// Moves the focus to a field as Tab does. Sent without waiting, since the field left may open a
// box; the round trip after it returns once the move is done or the box it raised is open.
bool MoveFocus(HWND editor, int id)
{
    HWND field = Control(editor, id);
    return field && SendNotifyMessageA(editor, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(field), TRUE) &&
           Responds(editor);
}

// A click on one arrow of an up-down: button down and up in the middle of its upper or lower
// half. Sent: each returns when the control has acted on it.
bool ClickArrow(HWND dialog, int spinId, bool up)
{
    HWND spin = Control(dialog, spinId);
    RECT area = {};
    if (!spin || !GetClientRect(spin, &area))
        return false;
    const LPARAM at = MAKELPARAM(area.right / 2, up ? area.bottom / 4 : area.bottom * 3 / 4);
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(spin, WM_LBUTTONDOWN, MK_LBUTTON, at, SMTO_NORMAL, kAnswerMs, &result) &&
           SendMessageTimeoutA(spin, WM_LBUTTONUP, 0, at, SMTO_NORMAL, kAnswerMs, &result);
}

// Waits until the editor's thread has handled what was posted to it so far: a pushed look posted
// to a button shows once the thread has come to it. Key presses that are hotkeys have put their
// WM_HOTKEY in that queue before SendInput returns, so they are handled by then.
bool HandledPosted(HWND editor)
{
    HWND button = Control(editor, IDC_LOAD);
    if (!button || !PostMessageA(button, BM_SETSTATE, TRUE, 0))
        return false;
    const bool pushed = WaitUntil([&] {
        DWORD_PTR state = 0;
        return SendMessageTimeoutA(button, BM_GETSTATE, 0, 0, SMTO_NORMAL, kAnswerMs, &state) &&
               (state & BST_PUSHED) != 0;
    });
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(button, BM_SETSTATE, FALSE, 0, SMTO_NORMAL, kAnswerMs, &ignored);
    return pushed;
}

// Keys go where a user's would: waits until the editor is in front and holds the focus.
bool ReadyForKeys(HWND editor)
{
    return BringToFront(editor) && WaitUntil([&] {
               HWND focus = FocusOf(editor);
               return focus && IsChild(editor, focus);
           });
}

// Presses each combination in turn, then waits until the editor has handled them.
bool PressAll(HWND editor, std::initializer_list<const char*> combinations)
{
    for (const char* keys : combinations) {
        if (!PressKeys(keys))
            return false;
    }
    return HandledPosted(editor);
}

// How many of the Model and Channel up-downs show: both in hidden mode, none out of it.
int UpDownsShown(HWND editor)
{
    return ControlVisible(editor, IDC_MODEL_SPIN) + ControlVisible(editor, IDC_CHANNEL_SPIN);
}

// What the editor shows for these parameters.
void ExpectShown(HWND editor, const DeviceFields& p)
{
    const std::string model = std::to_string(p.model), channel = std::to_string(p.channel);
    const std::string start = std::to_string(p.startFrame), end = std::to_string(p.endFrame);
    ::ExpectShown(
        editor,
        {model.c_str(), channel.c_str(), start.c_str(), end.c_str(), RateText(p.baudCode), p.init[0].c_str(),
         p.init[1].c_str(), p.init[2].c_str(), p.init[3].c_str(), p.comment.c_str()},
        p.synchronize ? BST_CHECKED : BST_UNCHECKED);
}

// The temporary folder, by its Windows name.
const std::string kTemp = WindowsPath(getenv("TEMP") ? getenv("TEMP") : ".") + "\\";

// qsync.exe run to its end with these arguments: its exit code, or -1.
int RunQsync(const std::string& arguments)
{
    AppProcess qsync;
    DWORD code = 1;
    const bool ended =
        LaunchApp(WindowsPath(QSYNC_EXE), &qsync, true, arguments) && WaitAppExit(qsync, 60000, &code);
    EndApp(&qsync);
    return ended ? static_cast<int>(code) : -1;
}

// The file dialog that `keys` open over the editor: its name box given `path` and OK pressed, or
// Cancel without a path. True once the dialog has gone and the editor answers.
bool ChooseFile(DWORD pid, HWND editor, const char* keys, const char* caption, const std::string& path)
{
    HWND dialog = ReadyForKeys(editor) && PressKeys(keys) ? WaitTopWindow(pid, caption) : nullptr;
    HWND names = Control(Control(dialog, 1148), 1148);  // a ComboBox in a ComboBoxEx, its Edit 1148 too
    if (!Control(names, 1148) || (!path.empty() && !SetControlText(names, 1148, path.c_str())))
        return false;
    return ClickAsync(dialog, path.empty() ? IDCANCEL : IDOK) && WaitTopWindowGone(pid, caption) &&
           Responds(editor);
}

class EditSaveScenario : public SimScenario {
protected:
    // The editor on COM1 as the search hands it over, after its first load, in `editor`. Use as
    // ASSERT_NO_FATAL_FAILURE(OpenEditor()).
    void OpenEditor()
    {
        editor = SimScenario::OpenEditor(kDevice);
        ASSERT_NE(editor, nullptr);
        EXPECT_TRUE(MoveFocus(editor, IDC_START_FRAME));
    }
    HWND editor = nullptr;

    // A save that must succeed: no box, the read-back compared, the editor enabled again; the wire
    // carries the save of `p` (model and channel too with `modelAndChannel`), the device holds it.
    void ExpectGoodSave(HWND editor, const char* what, const DeviceFields& p, bool modelAndChannel)
    {
        ASSERT_TRUE(SimClear(kDevice));
        const Ending out = PressAndAwait(Pid(), editor, IDC_SAVE, kSaveMs);
        printf("%s: save took %.1f s\n", what, out.seconds);
        ASSERT_TRUE(out.opened) << "no " << kSaveCaption << " dialog";
        ASSERT_TRUE(out.ended) << "the save did not end";
        EXPECT_EQ(out.boxText, "") << "the save reported a failure";
        EXPECT_TRUE(out.comparing) << "\"" << kComparingText << "\" was never shown";
        ASSERT_TRUE(Responds(editor));
        ExpectAllEnabled(editor);
        EXPECT_EQ(SimFrames(kDevice), SaveFrames(EncodeImage(p), modelAndChannel));
        EXPECT_EQ(DeviceImage(kDevice), EncodeImage(p));
    }

    // The number of warning boxes open now, shown or about to be.
    size_t WarningBoxes() const { return TopWindows(Pid(), kWarningCaption, false).size(); }

    // Leaves the focused field for `next`; expects the init-string warning or none.
    void LeaveFor(HWND editor, int next, bool warns)
    {
        ASSERT_TRUE(MoveFocus(editor, next));
        if (!warns) {
            EXPECT_EQ(WarningBoxes(), 0u) << "an unexpected warning";
            EXPECT_EQ(FocusOf(editor), Control(editor, next));
            return;
        }
        HWND box = WaitMessageBox(Pid(), kWarningCaption);
        ASSERT_NE(box, nullptr) << "no warning";
        EXPECT_EQ(MessageBoxText(box), kWarningText);
        EXPECT_EQ(GetWindow(box, GW_OWNER), editor);
        EXPECT_EQ(WarningBoxes(), 1u) << "more than one box at a time";
        ASSERT_TRUE(DismissMessageBox(box));
        ASSERT_TRUE(WaitTopWindowGone(Pid(), kWarningCaption));
        ASSERT_TRUE(Responds(editor));
        EXPECT_EQ(WarningBoxes(), 0u) << "a second box after the first";
    }
};

// --- Field rules ----------------------------------------------------------------------------------

struct LeaveRow {
    int field;
    const char* typed;
    const char* shown;  // after leaving the field
};
constexpr LeaveRow kLeaveRows[] = {
    {IDC_START_FRAME, "", "1"},
    {IDC_START_FRAME, "0", "1"},
    {IDC_START_FRAME, "60000", "53999"},
    {IDC_START_FRAME, "007", "7"},
    {IDC_END_FRAME, "", "2"},
    {IDC_END_FRAME, "1", "2"},
    {IDC_END_FRAME, "99999", "54000"},
    // No rule relates the two frames: a start above the end is kept.
    {IDC_START_FRAME, "5000", "5000"},
    {IDC_END_FRAME, "100", "100"},
    // Model and Channel, each through its own up-down; left at what the device holds.
    {IDC_MODEL, "0", "1"},
    {IDC_MODEL, "150", "99"},
    {IDC_MODEL, "5", "5"},
    {IDC_CHANNEL, "150", "99"},
    {IDC_CHANNEL, "0", "1"},
};
constexpr int kLeaveIds[] = {IDC_MODEL, IDC_CHANNEL, IDC_START_FRAME, IDC_END_FRAME};

const char* FieldName(int id)
{
    const auto named = [&](const TextField& field) { return field.id == id; };
    return std::find_if(std::begin(kTextFields), std::end(kTextFields), named)->name;  // all of kLeaveIds
}

struct ArrowRow {
    bool up;
    const char* shown;
};
// From the loaded 9600: down to the floor and one click past it, then up to the top and past it.
constexpr ArrowRow kBaudArrowRows[] = {
    {false, "4800"}, {false, "2400"}, {false, "1200"}, {false, "1200"},
    {true, "2400"},  {true, "4800"},  {true, "9600"},  {true, "9600"},
};

TEST_F(EditSaveScenario, FieldRulesApplyWhenTheFieldIsLeft)
{
    ASSERT_NO_FATAL_FAILURE(OpenEditor());
    DeviceFields p = PowerOnParams();
    ExpectShown(editor, p);

    for (const LeaveRow& row : kLeaveRows) {
        SCOPED_TRACE(std::string(FieldName(row.field)) + " \"" + row.typed + "\"");
        const int other = row.field == IDC_START_FRAME ? IDC_END_FRAME : IDC_START_FRAME;
        ASSERT_TRUE(MoveFocus(editor, row.field));
        ASSERT_EQ(FocusOf(editor), Control(editor, row.field)) << "the field did not take the focus";
        std::map<int, std::string> before;
        for (int id : kLeaveIds)
            before[id] = ControlText(editor, id);
        ASSERT_TRUE(SetControlText(editor, row.field, row.typed));
        EXPECT_EQ(ControlText(editor, row.field), row.typed) << "changed before it was left";
        ASSERT_TRUE(MoveFocus(editor, other));
        EXPECT_EQ(FocusOf(editor), Control(editor, other));
        EXPECT_EQ(ControlText(editor, row.field), row.shown);
        for (int id : kLeaveIds) {
            if (id != row.field) {
                EXPECT_EQ(ControlText(editor, id), before[id]) << FieldName(id) << " changed";
            }
        }
    }
    // Model and Channel as left are what a save takes: their up-downs' positions.
    EXPECT_EQ(ControlText(editor, IDC_MODEL), "5");
    EXPECT_EQ(ControlText(editor, IDC_CHANNEL), "1");

    // BAUD takes the focus but refuses the caret: the rate changes only with its arrows. A field
    // that takes it has the caret.
    for (const int id : {IDC_START_FRAME, IDC_BAUD}) {
        ASSERT_TRUE(MoveFocus(editor, id));
        ASSERT_TRUE(HandledPosted(editor));
        EXPECT_EQ(CaretOf(editor) == Control(editor, id), id != IDC_BAUD) << "caret in control " << id;
    }
    EXPECT_EQ(ControlText(editor, IDC_START_FRAME), "5000");
    EXPECT_EQ(ControlText(editor, IDC_END_FRAME), "100");
    p.startFrame = 5000;
    p.endFrame = 100;

    EXPECT_EQ(ControlText(editor, IDC_BAUD), "9600");
    for (const ArrowRow& row : kBaudArrowRows) {
        ASSERT_TRUE(ClickArrow(editor, IDC_BAUD_SPIN, row.up));
        EXPECT_EQ(ControlText(editor, IDC_BAUD), row.shown) << (row.up ? "up" : "down") << " arrow";
    }

    // Synchronize off, then on again: each state goes to the device in the flags of '6', together
    // with the frames as left and the rate as the arrows left it.
    for (const bool synchronize : {false, true}) {
        SCOPED_TRACE(synchronize ? "Synchronize on" : "Synchronize off");
        ASSERT_TRUE(Click(editor, IDC_SYNCHRONIZE));
        ASSERT_EQ(CheckState(editor, IDC_SYNCHRONIZE), synchronize ? BST_CHECKED : BST_UNCHECKED);
        p.synchronize = synchronize;
        ExpectGoodSave(editor, synchronize ? "Synchronize on" : "Synchronize off", p, false);
        EXPECT_EQ(EncodeImage(p).at('6'), synchronize ? "7<" : "74");
        ExpectShown(editor, p);
    }
    CloseEditor(editor);
}

// Four init strings of 15 characters (60 + 4 CRs = 64) are too many: leaving any of them warns,
// one box at a time; the comment never warns; 15, 15, 15 and 14 (63) fit.
TEST_F(EditSaveScenario, InitStringsTooLongWarnWhenLeft)
{
    ASSERT_NO_FATAL_FAILURE(OpenEditor());
    const std::string fifteen = "ABCDEFGHIJKLMNO";
    for (int id : kInitIds)
        ASSERT_TRUE(SetControlText(editor, id, fifteen.c_str()));

    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE("leaving init string " + std::to_string(i + 1));
        LeaveFor(editor, kInitIds[i], false);
        LeaveFor(editor, IDC_START_FRAME, true);
    }
    {
        SCOPED_TRACE("leaving the comment");
        LeaveFor(editor, IDC_COMMENT, false);
        LeaveFor(editor, IDC_START_FRAME, false);
    }
    {
        // From one init string to the next: the box takes the focus from the second while it is
        // open, and that second leave must not open another box.
        SCOPED_TRACE("from init string 1 to 2");
        LeaveFor(editor, IDC_INIT1, false);
        LeaveFor(editor, IDC_INIT2, true);
        // The warning is not stuck: leaving the field that has the focus again warns again.
        EXPECT_EQ(FocusOf(editor), Control(editor, IDC_INIT2));
        LeaveFor(editor, IDC_START_FRAME, true);
    }

    ASSERT_TRUE(SetControlText(editor, IDC_INIT4, fifteen.substr(0, 14).c_str()));
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE("15, 15, 15 and 14: leaving init string " + std::to_string(i + 1));
        LeaveFor(editor, kInitIds[i], false);
        LeaveFor(editor, IDC_START_FRAME, false);
    }
    CloseEditor(editor);
}

// --- Hidden mode ------------------------------------------------------------------------------------

TEST_F(EditSaveScenario, HiddenModeThroughTheKeys)
{
    ASSERT_NO_FATAL_FAILURE(OpenEditor());
    ASSERT_TRUE(ReadyForKeys(editor));
    EXPECT_EQ(UpDownsShown(editor), 0);

    ASSERT_TRUE(PressAll(editor, {"CTRL+K", "CTRL+B"}));
    EXPECT_EQ(UpDownsShown(editor), 2) << "Ctrl+K Ctrl+B did not switch hidden mode on";
    ASSERT_TRUE(PressAll(editor, {"CTRL+K", "CTRL+B"}));
    EXPECT_EQ(UpDownsShown(editor), 0) << "Ctrl+K Ctrl+B did not switch hidden mode off";
    ASSERT_TRUE(PressAll(editor, {"CTRL+K", "CTRL+K", "CTRL+B"}));
    EXPECT_EQ(UpDownsShown(editor), 0) << "Ctrl+K Ctrl+K Ctrl+B changed the mode";
    ASSERT_TRUE(PressAll(editor, {"CTRL+B"}));
    EXPECT_EQ(UpDownsShown(editor), 0) << "Ctrl+B alone changed the mode";
    ASSERT_TRUE(PressAll(editor, {"CTRL+K", "CTRL+B"}));
    ASSERT_EQ(UpDownsShown(editor), 2) << "the sequence did not start afresh";

    // In hidden mode the arrows change model and channel, and the save writes both.
    DeviceFields p = PowerOnParams();
    EXPECT_EQ(ControlText(editor, IDC_MODEL), "5");
    ASSERT_TRUE(ClickArrow(editor, IDC_MODEL_SPIN, true));
    ASSERT_TRUE(ClickArrow(editor, IDC_CHANNEL_SPIN, true));
    EXPECT_EQ(ControlText(editor, IDC_MODEL), "6");
    EXPECT_EQ(ControlText(editor, IDC_CHANNEL), "2");
    p.model = 6;
    p.channel = 2;
    ExpectGoodSave(editor, "hidden mode", p, true);

    // Closed with hidden mode on and a Ctrl+K pending: the next editor starts hidden and afresh.
    ASSERT_TRUE(PressAll(editor, {"CTRL+K"}));
    CloseEditor(editor);
    ASSERT_NO_FATAL_FAILURE(OpenEditor());
    ASSERT_TRUE(ReadyForKeys(editor));
    EXPECT_EQ(UpDownsShown(editor), 0) << "the reopened editor starts in hidden mode";
    EXPECT_EQ(ControlText(editor, IDC_MODEL), "6");
    ASSERT_TRUE(PressAll(editor, {"CTRL+B"}));
    EXPECT_EQ(UpDownsShown(editor), 0) << "a Ctrl+K from the closed editor counted";
    ASSERT_TRUE(PressAll(editor, {"CTRL+K", "CTRL+B"}));
    EXPECT_EQ(UpDownsShown(editor), 2);
    CloseEditor(editor);
}

// --- Saves ----------------------------------------------------------------------------------------

// Changed fields, SAVE, against a device that takes its input at line speed: the wire carries the
// handshake, the writes without model and channel, and the 49 reads; the device holds what the
// editor showed; the editor shows the read-back.
TEST_F(EditSaveScenario, SaveWritesReadsBackAndShowsTheReadBack)
{
    ASSERT_NO_FATAL_FAILURE(OpenEditor());
    ASSERT_TRUE(SimCommand("pace read").ok);
    ASSERT_TRUE(SetControlText(editor, IDC_START_FRAME, "01234"));
    ASSERT_TRUE(SetControlText(editor, IDC_END_FRAME, "43210"));
    ASSERT_TRUE(ClickArrow(editor, IDC_BAUD_SPIN, false));
    ASSERT_TRUE(Click(editor, IDC_SYNCHRONIZE));
    const DeviceFields typed = {5, 1, 1234, 43210, 6, false, {"A", "", "", "D"}, "Hello"};
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(SetControlText(editor, kInitIds[i], typed.init[i].c_str()));
    ASSERT_TRUE(SetControlText(editor, IDC_COMMENT, typed.comment.c_str()));

    ExpectGoodSave(editor, "reading at line speed", typed, false);
    DeviceFields shown = typed;  // the empty second and third strings close up on the way back
    shown.init[1] = "D";
    shown.init[3] = "";
    ExpectShown(editor, shown);
    CloseEditor(editor);
}

// Defaults after a load: model and channel in range (12 and 3) are kept, every other field takes
// its default value, every control is enabled, and nothing is sent to the device. The first save
// then writes model ('?' first) and channel ('>' after '5'); a second save without Defaults
// writes neither.
TEST_F(EditSaveScenario, DefaultsMakeTheNextSaveWriteModelAndChannel)
{
    const DeviceFields loaded = {12, 3, 250, 4000, 4, false, {"AT&F", "ATZ", "X", "Y"}, "Front of house"};
    for (const auto& [code, pair] : EncodeImage(loaded))
        ASSERT_TRUE(SimSetRegister(kDevice, code, pair[0], pair[1]));
    ASSERT_NO_FATAL_FAILURE(OpenEditor());
    ExpectShown(editor, loaded);
    ASSERT_TRUE(SimClear(kDevice));
    ASSERT_TRUE(Click(editor, IDC_DEFAULTS));
    DeviceFields p = {12, 3, 1, 500, 7, true, {"0KL0DS", "", "", ""}, ""};
    ExpectShown(editor, p);
    ExpectAllEnabled(editor);
    EXPECT_TRUE(SimFrames(kDevice).empty()) << "Defaults wrote to the device";

    ExpectGoodSave(editor, "after Defaults", p, true);

    p.comment = "again";
    ASSERT_TRUE(SetControlText(editor, IDC_COMMENT, p.comment.c_str()));
    ExpectGoodSave(editor, "second save", p, false);
    CloseEditor(editor);
}

// Defaults are consumed by a save that got past the channel step, even when it then fails (here
// at '6', the cable pulled), and by the editor's next opening: the next save writes neither model
// nor channel.
TEST_F(EditSaveScenario, DefaultsAreConsumedByAFailedSaveAndByReopening)
{
    ASSERT_NO_FATAL_FAILURE(OpenEditor());
    const DeviceFields p = {5, 1, 1, 500, 7, true, {"0KL0DS", "", "", ""}, ""};
    ASSERT_TRUE(Click(editor, IDC_DEFAULTS));
    // The cable pulled as '6' arrives, after the handshake, '?', '0'..'5' and '>': the program's
    // wait for it to leave the port fails.
    ASSERT_TRUE(SimCommand("pull 1 11").ok);
    ASSERT_TRUE(SimClear(kDevice));
    const Ending failed = PressAndAwait(Pid(), editor, IDC_SAVE, kSaveMs);
    ASSERT_TRUE(failed.ended);
    EXPECT_EQ(failed.boxText, kCantWrite);
    EXPECT_EQ(failed.position, 18);
    EXPECT_EQ(SimFrames(kDevice), SaveFrames(EncodeImage(p), true, 11));
    ASSERT_TRUE(SimPlug(kDevice, true));

    ExpectGoodSave(editor, "after the failed save", p, false);

    ASSERT_TRUE(Click(editor, IDC_DEFAULTS));
    CloseEditor(editor);
    ASSERT_NO_FATAL_FAILURE(OpenEditor());
    ExpectGoodSave(editor, "after reopening", p, false);
    CloseEditor(editor);
}

// Strings that pack to more than 63 bytes are written cut, compare equal, and come back cut.
TEST_F(EditSaveScenario, OverlongInitStringsAreWrittenCut)
{
    ASSERT_NO_FATAL_FAILURE(OpenEditor());
    DeviceFields p = PowerOnParams();
    p.init[0] = "ABCDEFGHIJKLMNOPQRSTUVW";
    p.init[1] = "abcdefghijklmnopqrstuvw";
    p.init[2] = "0123456789abcdefghijklm";
    p.init[3] = "xyz";
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(SetControlText(editor, kInitIds[i], p.init[i].c_str()));

    ExpectGoodSave(editor, "cut init strings", p, false);
    EXPECT_EQ(EncodeImage(p).at('o'), "\r\a");  // byte 62 CR, byte 63 BEL
    DeviceFields shown = p;
    shown.init[2] = p.init[2].substr(0, 14);  // bytes 48..61 of the block
    shown.init[3] = "";
    ExpectShown(editor, shown);
    CloseEditor(editor);
}

// Cancel while the Saving dialog waits for its first tick: nothing reaches the device, and the
// editor keeps what was typed.
TEST_F(EditSaveScenario, CancelBeforeTheFirstTickWritesNothing)
{
    ASSERT_NO_FATAL_FAILURE(OpenEditor());
    // A gap that a refresh from the device would close up.
    DeviceFields p = PowerOnParams();
    p.init[2] = "C";
    ASSERT_TRUE(SetControlText(editor, IDC_INIT3, "C"));
    ASSERT_TRUE(SimClear(kDevice));
    ASSERT_TRUE(ClickAsync(editor, IDC_SAVE));
    HWND save = WaitTopWindow(Pid(), kSaveCaption);
    ASSERT_NE(save, nullptr);
    // Posted at once, a second ahead of the tick: a click that came late lets the save run, and
    // that fails here as an ignored Cancel does.
    ASSERT_TRUE(ClickAsync(save, IDCANCEL));
    ASSERT_TRUE(WaitTopWindowGone(Pid(), kSaveCaption, kSaveMs));
    ASSERT_TRUE(Responds(editor));
    EXPECT_EQ(FindTopWindow(Pid(), kErrorCaption, false), nullptr);
    ExpectAllEnabled(editor);
    EXPECT_EQ(SimCommandOn(kDevice, "log").lines, std::vector<std::string>{});
    ExpectShown(editor, p);
    CloseEditor(editor);
}

// --- Settings files -----------------------------------------------------------------------------

// Save Settings File: Cancel writes nothing; Ctrl+S writes what `qsync read` gives for the device,
// apart from the first line; neither sends anything.
TEST_F(EditSaveScenario, SettingsFileSavedIsWhatQsyncReads)
{
    const DeviceFields loaded = {12, 3, 250, 4000, 4, false, {"AT&F", "ATZ", "X", "Y"}, "Caf\xe9"};
    for (const auto& [code, pair] : EncodeImage(loaded))
        ASSERT_TRUE(SimSetRegister(kDevice, code, pair[0], pair[1]));
    ASSERT_NO_FATAL_FAILURE(OpenEditor());
    const Shown before = ReadShown(editor);
    const std::string saved = kTemp + "editor.ini", read = kTemp + "qsync.ini";
    DeleteFileA(saved.c_str());
    ASSERT_TRUE(SimClear(kDevice));
    ASSERT_TRUE(ChooseFile(Pid(), editor, "CTRL+S", "Save Settings File", ""));
    EXPECT_EQ(ReadWhole(saved, true), "");
    ASSERT_TRUE(ChooseFile(Pid(), editor, "CTRL+S", "Save Settings File", saved));
    ExpectSameShown(before, ReadShown(editor));
    EXPECT_TRUE(SimFrames(kDevice).empty()) << "the file's save wrote to the device";
    CloseEditor(editor);
    ASSERT_EQ(RunQsync("read COM1 -o \"" + read + "\""), 0);
    const std::string file = ReadWhole(saved, false);
    EXPECT_EQ(file.rfind("; saved from COM1 on ", 0), 0u) << file;
    EXPECT_EQ(Body(file), Body(ReadWhole(read, false)));
}

// Open Settings File: Cancel and a refused file change nothing; a good file shows what a write of
// it stores, Model and Channel kept, and SAVE then sends what `qsync write` sends.
TEST_F(EditSaveScenario, SettingsFileOpenedIsSavedAsQsyncWritesIt)
{
    ASSERT_NO_FATAL_FAILURE(OpenEditor());
    const Shown before = ReadShown(editor);
    const std::string bad = kTemp + "bad.ini", good = kTemp + "good.ini";
    EXPECT_TRUE(std::ofstream(bad, std::ios::binary) << "[synchronizer]\r\nmodel = 1x\r\n");
    EXPECT_TRUE(std::ofstream(good, std::ios::binary) << Edited({{"model = 5", "model = 9"},
                                                                 {"channel = 1", "channel = 7"},
                                                                 {"init3 = \"\"", "init3 = \"C3\""}}));
    ASSERT_TRUE(SimClear(kDevice));
    // Cancel, from the context menu that Shift+F10 opens outside the edit fields.
    ASSERT_TRUE(MoveFocus(editor, IDC_LOAD) && ReadyForKeys(editor) && PressKeys("SHIFT+F10"));
    ASSERT_NE(WaitTopWindowOfClass(Pid(), "#32768", nullptr), nullptr);
    ASSERT_TRUE(ChooseFile(Pid(), editor, "O", "Open Settings File", ""));
    ASSERT_TRUE(ChooseFile(Pid(), editor, "CTRL+O", "Open Settings File", bad));
    HWND box = WaitMessageBox(Pid(), kErrorCaption);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), bad + ": line 2: model is not a number");
    ASSERT_TRUE(DismissMessageBox(box) && WaitTopWindowGone(Pid(), kErrorCaption));
    ExpectSameShown(before, ReadShown(editor));
    ASSERT_TRUE(ChooseFile(Pid(), editor, "CTRL+O", "Open Settings File", good));
    ::ExpectShown(editor, {"5", "1", "1", "500", "9600", "0KL0DS", "C3", "", "", "QSIM"}, BST_CHECKED);
    ExpectAllEnabled(editor);
    EXPECT_TRUE(SimFrames(kDevice).empty()) << "opening a file wrote to the device";

    const Ending saved = PressAndAwait(Pid(), editor, IDC_SAVE, kSaveMs);
    ASSERT_TRUE(saved.ended);
    EXPECT_EQ(saved.boxText, "");
    EXPECT_EQ(ControlText(editor, IDC_MODEL) + ControlText(editor, IDC_CHANNEL), "51");
    std::vector<std::string> frames = SimFrames(kDevice);
    CloseEditor(editor);
    ASSERT_TRUE(SimClear(kDevice));
    ASSERT_EQ(RunQsync("write COM1 \"" + good + "\""), 0);
    // The handshake and the same writes; the window program's read-back also reads model and channel.
    std::vector<std::string> written = SimFrames(kDevice);
    frames.resize(kSaveWriteFrames);
    written.resize(kSaveWriteFrames);
    EXPECT_EQ(written, frames);
}

// --- Failed saves -----------------------------------------------------------------------------------

struct FailureRow {
    const char* name;
    const char* fault;   // simulator command applied after the load
    const char* repair;  // and the one that undoes it
    const char* boxText;
    int position;       // of the bar while the box is open: the last of the failed step's row
    size_t frames;      // frames the save sends before it gives up
    bool emptyComment;  // the comment left empty: its block is 16 BEL
};
constexpr FailureRow kFailureRows[] = {
    // Hidden mode off: '?' is not written but is compared.
    {"model differs", "setreg 1 3f 30 37", "setreg 1 3f 30 35", kMismatch, 1, kSaveWriteFrames + 1, false},
    // Compared as parsed, without the load's range rules (which would make "00" a channel of 1).
    {"channel 00", "setreg 1 3e 30 30", "setreg 1 3e 30 31", kMismatch, 2, kSaveWriteFrames + 2, false},
    // The read of '?' is tested: the save stops at once.
    {"device silent", "mode 1 silent", "mode 1 normal", kCantWrite, 1, kSaveWriteFrames + 1, false},
    // 9 tested reads and 31 init registers answered; 'o' is not, so the init block is not verified
    // and the save stops before the comment.
    {"device stops in the init registers", "mode 1 stopafter 40", "mode 1 normal", kMismatch, 49,
     kSaveWriteFrames + 41, false},
    // Every register up to 'o' answers (BEL BEL), the comment's do not: each unanswered read
    // leaves that BEL BEL in place, which equals an empty comment's block. A register that did
    // not answer was not verified, so this is no success, and the read-back ends at 'H'.
    {"device stops before the comment", "mode 1 stopafter 41", "mode 1 normal", kMismatch, 50,
     kSaveWriteFrames + 42, true},
    // The cable pulled as a write arrives: the program's wait for it to leave the port fails.
    // Here the write of '6', after the handshake and the frame registers.
    {"cable pulled at '6'", "pull 1 9", "plug 1", kCantWrite, 18, 9, false},
    // ... and the comment's first register, after the init strings.
    {"cable pulled at 'H'", "pull 1 42", "plug 1", kCantWrite, 51, 42, false},
    {"adapter pulled after the search", "unplug 1", "plug 1", "Can't open port", 0, 0, false},
};

// Each failure: the box, the editor fully enabled with what the user typed, nothing refreshed.
TEST_F(EditSaveScenario, FailedSavesKeepWhatTheUserTyped)
{
    ASSERT_NO_FATAL_FAILURE(OpenEditor());
    int n = 0;
    for (const FailureRow& row : kFailureRows) {
        SCOPED_TRACE(row.name);
        // Texts that a refresh from the device would change: the gap before the fourth init
        // string would close up.
        DeviceFields p = PowerOnParams();
        p.init[0] = "typed";
        p.init[3] = std::to_string(++n);
        p.comment = row.emptyComment ? "" : "typed " + p.init[3];
        for (int i = 0; i < 4; ++i)
            ASSERT_TRUE(SetControlText(editor, kInitIds[i], p.init[i].c_str()));
        ASSERT_TRUE(SetControlText(editor, IDC_COMMENT, p.comment.c_str()));

        ASSERT_TRUE(SimCommand(row.fault).ok) << row.fault;
        ASSERT_TRUE(SimClear(kDevice));
        const Ending out = PressAndAwait(Pid(), editor, IDC_SAVE, kSaveMs);
        printf("%s: failed after %.1f s\n", row.name, out.seconds);
        EXPECT_TRUE(SimCommand(row.repair).ok) << row.repair;
        ASSERT_TRUE(out.opened);
        ASSERT_TRUE(out.ended);
        EXPECT_EQ(out.boxText, row.boxText);
        EXPECT_TRUE(out.boxOwnedByDialog) << "the box is not the Saving dialog's";
        EXPECT_EQ(out.position, row.position);
        EXPECT_EQ(SimFrames(kDevice), SaveFrames(EncodeImage(p), false, row.frames));
        ASSERT_TRUE(Responds(editor));
        ExpectAllEnabled(editor);
        ExpectShown(editor, p);
        EXPECT_EQ(FindTopWindow(Pid(), kErrorCaption, false), nullptr) << "a second box";
    }
    CloseEditor(editor);
}

}  // namespace
