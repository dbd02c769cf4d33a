// The parameter editor and its load from the synchronizer, as the user meets them: what the
// fields show for what the device holds, the range rules of a load, the boxes of a failed load
// and the editor left behind, Cancel, an absent port, Defaults, Enter and Esc, and the exact
// frames a load puts on the wire. Most scenarios open the editor the way a successful search
// does, with UM_SYNCFOUND; one goes through the real search.
#include <cstdio>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/gui/scenario_fixture.h"
#include "tests/support/sim_control.h"
#include "tests/support/wire_frames.h"

namespace {

constexpr int kDevice = 2;                  // COM2
constexpr WPARAM kPortIndex = kDevice - 1;  // the program names ports by index 0..3
constexpr DWORD kLoadMs = 20000;            // far above the ~6 s of a load that is answered

// Writes `bytes` two at a time into the device's registers from `first` on.
void SetRegisterRun(unsigned char first, const std::string& bytes)
{
    ASSERT_TRUE(::SetRegisterRun(kDevice, first, bytes)) << "registers from " << first;
}

// ---- The fixture ---------------------------------------------------------------------------

// The fixture's tear-down puts the device back to its power-on state.
class EditorLoadScenario : public SimScenario {
protected:
    HWND OpenEditor() { return SimScenario::OpenEditor(kDevice); }
};

// ---- Scenarios -----------------------------------------------------------------------------

// Through the real search, with only COM2 present and so the only port offered: every field shows
// the device's image, everything is enabled, Model and Channel have no visible up-down, and the
// wire carries exactly the load's frames, in order.
TEST_F(EditorLoadScenario, EditorOpensFilledFromTheDevice)
{
    SetRegisterRun('?', "07");
    SetRegisterRun('>', "42");
    SetRegisterRun('0', "012340");  // start frame 1234
    SetRegisterRun('3', "045670");  // end frame 4567
    SetRegisterRun('6', "69");      // baud code 6 (4800), flags 9 (Synchronize and bit 0)
    SetRegisterRun('P', InitBlock({"ATE0", "AT&C1", "S0=2", "Z"}));
    SetRegisterRun('H', CommentBlock("Stage left 7"));
    HWND find = StartFind({kDevice});
    ASSERT_NE(find, nullptr);
    ExpectRadios(find, {true, false, true, false, false}, IDC_PORT_AUTO);
    HWND search = FindNow(find);
    ASSERT_NE(search, nullptr);
    EXPECT_EQ(FindTopWindow(Pid(), kFindCaption, false), nullptr);
    ASSERT_TRUE(WaitTesting(search, "COM2")) << CaptionText(Control(search, IDC_SEARCH_STATUS));
    ASSERT_TRUE(SimClear(kDevice));

    ASSERT_TRUE(SimReset(kDevice));
    const ULONGLONG resetAt = GetTickCount64();
    HWND editor = WaitEditorLoaded(kLoadMs + 10000);
    ASSERT_NE(editor, nullptr);
    printf("search and load: editor shown %.1f s after the reset banner\n",
           (GetTickCount64() - resetAt) / 1000.0);
    EXPECT_EQ(FindAnyBox(Pid()), nullptr);

    ExpectShown(editor, {"7", "42", "1234", "4567", "4800", "ATE0", "AT&C1", "S0=2", "Z", "Stage left 7"},
                BST_CHECKED);
    ExpectAllEnabled(editor);
    EXPECT_FALSE(ControlVisible(editor, IDC_MODEL_SPIN));
    EXPECT_FALSE(ControlVisible(editor, IDC_CHANNEL_SPIN));
    EXPECT_TRUE(ControlVisible(editor, IDC_BAUD_SPIN));
    EXPECT_EQ(SimFrames(kDevice), LoadFrames());
    CloseEditor(editor);
}

// The range rules of a load as the fields show them, one LOAD per row in one editor. A model
// outside 1..99 is stored as 0, which the Model up-down (range 1..99) may show as 0 or as its
// lower limit; Defaults then tells 0 from a model in range, as it keeps only the latter.
struct RangeRow {
    const char* name;
    const char* model;       // '?'
    const char* channel;     // '>'
    const char* start;       // '0' '1' '2'
    const char* end;         // '3' '4' '5'
    const char* baudFlags;   // '6'
    const char* modelShown;  // null: a stored 0, shown as the up-down shows it
    const char* channelShown;
    const char* startShown;
    const char* endShown;
    const char* baudShown;
    int synchronize;
    const char* modelAfterDefaults;  // null: Defaults is not pressed after this row
    const char* channelAfterDefaults;
};

const RangeRow kRangeRows[] = {
    {"ZeroPairsAndNonDigits", "00", "00", "123a50", "0a0000", "5?", nullptr, "1", "2", "501", "9600",
     BST_CHECKED, "5", "1"},
    {"LettersAndFramesAboveLimits", "x7", "7x", "999990", "999990", "44", nullptr, "7", "1", "2", "2400",
     BST_UNCHECKED, "5", "7"},
    {"HighestValuesKept", "99", "99", "539990", "540000", "Hx", "99", "99", "53999", "54000", "1200",
     BST_CHECKED, nullptr, nullptr},
    {"JustAboveTheFrameLimits", " 5", "-3", "540000", "540010", "60", "5", "1", "1", "2", "4800",
     BST_UNCHECKED, nullptr, nullptr},
    {"ZeroFramesAndCodeWithoutRate", "01", "02", "000000", "000000", "17", "1", "2", "0", "0", "9600",
     BST_UNCHECKED, nullptr, nullptr},
};

TEST_F(EditorLoadScenario, LoadAppliesTheRangeRules)
{
    HWND editor = nullptr;
    for (const RangeRow& row : kRangeRows) {
        SCOPED_TRACE(row.name);
        SetRegisterRun('?', row.model);
        SetRegisterRun('>', row.channel);
        SetRegisterRun('0', row.start);
        SetRegisterRun('3', row.end);
        SetRegisterRun('6', row.baudFlags);
        if (!editor) {
            editor = OpenEditor();
            ASSERT_NE(editor, nullptr);
        } else {
            const Ending out = PressAndAwait(Pid(), editor, IDC_LOAD, kLoadMs);
            ASSERT_TRUE(out.opened && out.ended) << "no load, or it did not end";
            EXPECT_EQ(out.owner, editor);
            ASSERT_EQ(out.boxCaption, "") << out.boxText;
        }
        ExpectShown(editor,
                    {row.modelShown, row.channelShown, row.startShown, row.endShown, row.baudShown, "0KL0DS",
                     "", "", "", "QSIM"},
                    row.synchronize);
        ExpectAllEnabled(editor);
        if (!row.modelShown) {
            const std::string model = ControlText(editor, IDC_MODEL);
            printf("%s: a loaded model of 0 shows as \"%s\"\n", row.name, model.c_str());
            EXPECT_TRUE(model == "0" || model == "1") << model;
        }
        if (row.modelAfterDefaults) {
            ASSERT_TRUE(Click(editor, IDC_DEFAULTS));
            EXPECT_EQ(ControlText(editor, IDC_MODEL), row.modelAfterDefaults) << "after Defaults";
            EXPECT_EQ(ControlText(editor, IDC_CHANNEL), row.channelAfterDefaults) << "after Defaults";
        }
    }
    CloseEditor(editor);
}

// A load that fails at a tested step: the step's box, owned by the Loading dialog, whose bar
// stands at the last position of the step's row while the box is open; the frames on the wire
// end with the step's. The editor is left with LOAD, Defaults and Cancel, its fields as they
// were. The rows run in order in one editor, after a save. A Bad Data caption shows only what
// this load read: the pair of a read that got an answer, the receive buffer's first bytes for one
// that got none (it keeps the previous answer; a fresh port's is zero-filled), and zeros for the
// frame registers after the one that failed, never what the save or an earlier load left.
struct FailureRow {
    const char* name;
    const char* fault;   // simulator command
    unsigned char code;  // a register to set first (0: none)
    const char* pair;
    const char* text;  // of the box
    const char* caption;
    int position;
    size_t frames;  // on the wire: the handshake's and the read frames, the failed one included
};

const FailureRow kFailureRows[] = {
    // '1' unanswered: '0' twice, then nothing of the save's read-back.
    {"SecondStartRegister", "mode 2 stopafter 3", '0', "07", kBadData, "start frame = 30,37,30,37,0,0", 6, 6},
    // A fresh open's receive buffer is zero-filled: nothing comes, zeros are shown.
    {"Silent", "mode 2 silent", 0, nullptr, kBadData, "version = 0,0", 3, 3},
    // CR LF is the wrong order; bytes from 0x80 print as eight digits.
    {"CrLfHighBytes", "mode 2 crlf", '?', "\x80\xff", kBadData, "version = ffffff80,ffffffff", 3, 3},
    // The channel read gets nothing: the model's answer is still in the receive buffer.
    {"ChannelUnanswered", "mode 2 stopafter 1", '?', "12", kBadData, "serial = 31,32", 4, 4},
    // '2' unanswered: '0', '1', then the '1' answer again.
    {"ThirdStartRegister", "mode 2 stopafter 4", '1', "12", kBadData, "start frame = 30,37,31,32,31,32", 6,
     7},
    // '4' unanswered: '3' twice, then this load's '2'.
    {"SecondEndRegister", "mode 2 stopafter 6", '3', "98", kBadData, "stop frame = 39,38,39,38,31,30", 10, 9},
    // '6' unanswered: the '5' answer.
    {"BaudRegister", "mode 2 stopafter 8", '5', "7x", kBadData, "baud/flags = 37,78", 18, 11},
    // The cable pulled as a handshake arrives: the program's wait for it to leave the port fails.
    {"FirstHandshake", "pull 2 1", 0, nullptr, "Can't write to port", "ERROR", 1, 1},
    {"SecondHandshake", "pull 2 2", 0, nullptr, "Can't write to port", "ERROR", 2, 2},
    {"InitStringRegister", "mode 2 stopafter 12", 'R', "r1", kBadData, "init strings = 72,31", 23, 15},
    {"CommentRegister", "mode 2 stopafter 44", 'J', "j2", kBadData, "comment = 6a,32", 55, 47},
    {"AdapterPulledAfterTheSearch", "unplug 2", 0, nullptr, "Can't open port", "ERROR", 0, 0},
};

TEST_F(EditorLoadScenario, FailedLoadShowsItsBoxAndKeepsTheFields)
{
    SetRegisterRun('0', "000010");  // start frame 1, with '2' = "10"
    HWND editor = OpenEditor();
    ASSERT_NE(editor, nullptr);
    const Shown loaded = ReadShown(editor);
    ExpectAllEnabled(editor);
    // The save leaves its read-back of the comment in the registers' scratch area.
    const Ending saved = PressAndAwait(Pid(), editor, IDC_SAVE, kLoadMs * 2);
    ASSERT_TRUE(saved.ended && saved.boxCaption.empty()) << "the save failed: " << saved.boxText;
    ExpectAllEnabled(editor);

    for (const FailureRow& row : kFailureRows) {
        SCOPED_TRACE(row.name);
        if (row.code)
            SetRegisterRun(row.code, row.pair);
        ASSERT_TRUE(SimCommand(row.fault).ok) << row.fault;
        ASSERT_TRUE(SimClear(kDevice));
        const Ending out = PressAndAwait(Pid(), editor, IDC_LOAD, kLoadMs);
        ASSERT_TRUE(out.opened && out.ended) << "no load, or it did not end";
        EXPECT_EQ(out.owner, editor);
        EXPECT_EQ(out.boxCaption, row.caption);
        EXPECT_EQ(out.boxText, row.text);
        EXPECT_TRUE(out.boxOwnedByDialog) << "the box is not the Loading dialog's";
        EXPECT_EQ(out.position, row.position);
        EXPECT_EQ(SimFrames(kDevice), LoadFrames(row.frames));
        EXPECT_EQ(FindAnyBox(Pid()), nullptr) << "a second box";
        ExpectOnlyLoadDefaultsCancel(editor);
        ExpectSameShown(loaded, ReadShown(editor));
        ASSERT_TRUE(SimPlug(kDevice, true));  // a fresh line after a pulled cable
    }
    CloseEditor(editor);
}

// The editor after a first load that was cancelled before its tick or failed: nothing was
// loaded, so Model and Channel show their up-downs' first position and the texts are empty, Start
// Frame included (disabling the field that had the focus is no leave by the user). BAUD is only
// printed: its up-down is given its position before its range and shows the nearest limit of
// its default range. LOAD, Defaults and Cancel respond.
void ExpectNothingLoaded(HWND editor)
{
    ExpectOnlyLoadDefaultsCancel(editor);
    ExpectShown(editor, {"1", "1", "", "", nullptr, "", "", "", "", ""}, BST_UNCHECKED);
    printf("nothing loaded: BAUD shows \"%s\"\n", ControlText(editor, IDC_BAUD).c_str());
}

// Cancel while the Loading dialog waits for its first tick: no port is opened (the device sees
// no handshake), nothing is loaded, and the editor offers LOAD, Defaults and Cancel. Defaults
// then fills in the defaults; with nothing loaded, the model and channel are out of range and
// become 5 and 1.
TEST_F(EditorLoadScenario, CancelBeforeTheFirstTickOpensNoPort)
{
    ASSERT_TRUE(Start());
    ASSERT_TRUE(PostToWindow(main_, UM_SYNCFOUND, kPortIndex, 0));
    HWND load = WaitTopWindow(Pid(), kLoadCaption, 5000);
    ASSERT_NE(load, nullptr);
    EXPECT_EQ(ProgressPosition(load, IDC_PROGRESS), 0);
    // Posted at once, a second ahead of the tick: a click that came late lets the load run, and
    // that fails here as an ignored Cancel does.
    ASSERT_TRUE(ClickAsync(load, IDCANCEL));
    ASSERT_TRUE(WaitTopWindowGone(Pid(), kLoadCaption, kLoadMs));
    HWND editor = WaitTopWindow(Pid(), kEditorCaption);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(FindAnyBox(Pid()), nullptr);
    EXPECT_EQ(SimFrames(kDevice), std::vector<std::string>{}) << "the load ran";
    const SimReply log = SimCommandOn(kDevice, "log");
    EXPECT_TRUE(log.ok && log.lines.empty()) << "the line carried something";
    ExpectNothingLoaded(editor);

    ASSERT_TRUE(Click(editor, IDC_DEFAULTS));
    ExpectShown(editor, {"5", "1", "1", "500", "9600", "0KL0DS", "", "", "", ""}, BST_CHECKED);
    ExpectAllEnabled(editor);
    EXPECT_TRUE(SimFrames(kDevice).empty()) << "Defaults wrote to the device";
    CloseEditor(editor);
}

// A first load that fails leaves the editor as a cancelled one does; here UM_SYNCFOUND names a
// port index below COM1 (as int32 -2^31), which fails like an absent port, never looked up.
TEST_F(EditorLoadScenario, FailedFirstLoadLeavesTheFieldsEmpty)
{
    ASSERT_TRUE(Start());
    ASSERT_TRUE(PostToWindow(main_, UM_SYNCFOUND, 0x80000000, 0));
    HWND box = WaitMessageBox(Pid(), kErrorCaption, kLoadMs);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), "Can't open port");
    ASSERT_TRUE(DismissMessageBox(box));
    ASSERT_TRUE(WaitTopWindowGone(Pid(), kLoadCaption));
    HWND editor = WaitTopWindow(Pid(), kEditorCaption);
    ASSERT_NE(editor, nullptr);
    ExpectNothingLoaded(editor);
    CloseEditor(editor);
}

// Enter in a field and a posted IDOK do nothing; Esc closes the editor; the next opening loads
// afresh, with the same frames on the wire.
TEST_F(EditorLoadScenario, EnterDoesNothingEscClosesAndReopeningLoadsAgain)
{
    HWND editor = OpenEditor();
    ASSERT_NE(editor, nullptr);
    const Shown loaded = ReadShown(editor);
    ASSERT_TRUE(SimClear(kDevice));

    ASSERT_TRUE(PostCommand(editor, IDOK));
    HWND field = Control(editor, IDC_END_FRAME);
    ASSERT_TRUE(PostToWindow(editor, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(field), TRUE));
    ASSERT_TRUE(BringToFront(editor));
    ASSERT_TRUE(WaitUntil([&] { return FocusOf(editor) == field; }, 5000))
        << "the End Frame field did not take the focus";
    // Keys are handled in the order they were pressed: once the Tab behind Enter has moved the
    // focus on, Enter has been handled too.
    ASSERT_TRUE(PressKeys("ENTER"));
    ASSERT_TRUE(PressKeys("TAB"));
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(editor) != field; }, 5000)) << "Tab did not move the focus on";
    EXPECT_TRUE(Responds(editor));
    EXPECT_TRUE(IsWindowVisible(editor)) << "Enter closed the editor";
    EXPECT_EQ(FindTopWindow(Pid(), kLoadCaption, false), nullptr);
    EXPECT_EQ(FindAnyBox(Pid()), nullptr);
    ExpectSameShown(loaded, ReadShown(editor));
    ExpectAllEnabled(editor);
    EXPECT_TRUE(SimFrames(kDevice).empty());

    ASSERT_TRUE(BringToFront(editor));
    ASSERT_TRUE(PressKeys("ESC"));
    EXPECT_TRUE(WaitTopWindowGone(Pid(), kEditorCaption)) << "Esc did not close the editor";
    EXPECT_TRUE(Responds(main_));
    EXPECT_TRUE(SimFrames(kDevice).empty()) << "closing wrote to the device";

    SetRegisterRun('>', "09");
    editor = OpenEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(SimFrames(kDevice), LoadFrames());
    EXPECT_EQ(ControlText(editor, IDC_CHANNEL), "9");
    ExpectAllEnabled(editor);
    CloseEditor(editor);
}

}  // namespace
