// The parameter editor and its load from the synchronizer, as the user meets them: what the
// fields show for what the device holds, the range rules of a load, the boxes of a failed load
// and the editor left behind, Cancel, an absent port, Defaults, Enter and Esc, and the exact
// frames a load puts on the wire. Most scenarios open the editor the way a successful search
// does, with UM_SYNCFOUND; one goes through the real search.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "resources/resource.h"
#include "tests/gui/scenario_fixture.h"
#include "tests/support/sim_control.h"

namespace {

constexpr int kDevice = 2;                 // COM2
constexpr WPARAM kPortIndex = kDevice - 1;  // the program names ports by index 0..3
constexpr DWORD kLoadMs = 20000;            // far above the ~6 s of a load that is answered
constexpr char kCr = '\r';
constexpr char kBel = '\x07';

// ---- The device's registers --------------------------------------------------------------

// Writes `bytes` two at a time into the registers from `first` on ('0' with six characters
// fills '0', '1' and '2').
void SetRegisterRun(unsigned char first, const std::string& bytes)
{
    ASSERT_EQ(bytes.size() % 2, 0u) << "registers hold pairs";
    for (size_t i = 0; i < bytes.size(); i += 2) {
        const unsigned char code = static_cast<unsigned char>(first + i / 2);
        ASSERT_TRUE(SimSetRegister(kDevice, code, static_cast<unsigned char>(bytes[i]),
                                   static_cast<unsigned char>(bytes[i + 1])))
            << "register " << code;
    }
}

// The 64 bytes of 'P'..'o' as the device keeps them: each non-empty string and a CR, a BEL,
// BEL to the end.
std::string InitBlock(std::initializer_list<const char*> strings)
{
    std::string block;
    for (const char* s : strings) {
        if (*s)
            block += std::string(s) + kCr;
    }
    block += kBel;
    block.resize(64, kBel);
    return block;
}

// The 16 bytes of 'H'..'O': the text, then BEL to the end.
std::string CommentBlock(const char* text)
{
    std::string block = text;
    block.resize(16, kBel);
    return block;
}

// What a load sends, item by item as the simulator reports it: the handshake twice, then one
// read frame per register in the load's order.
std::vector<std::string> LoadFrames()
{
    std::vector<std::string> frames = {"OK", "OK"};
    std::string codes = "?>0123456";
    for (char c = 'P'; c <= 'o'; ++c)
        codes += c;
    for (char c = 'H'; c <= 'O'; ++c)
        codes += c;
    for (char c : codes) {
        char line[8];
        snprintf(line, sizeof line, "R %02x", static_cast<unsigned char>(c));
        frames.push_back(line);
    }
    return frames;
}

// The first `reads` read frames of a load, after the handshake.
std::vector<std::string> LoadFramesUpTo(size_t reads)
{
    std::vector<std::string> frames = LoadFrames();
    frames.resize(2 + reads);
    return frames;
}

// ---- What the editor shows -----------------------------------------------------------------

struct TextField {
    const char* name;
    int id;
};
constexpr TextField kTextFields[] = {
    {"Model", IDC_MODEL},       {"Channel", IDC_CHANNEL}, {"Start Frame", IDC_START_FRAME},
    {"End Frame", IDC_END_FRAME}, {"BAUD", IDC_BAUD},     {"Init 1", IDC_INIT1},
    {"Init 2", IDC_INIT2},      {"Init 3", IDC_INIT3},    {"Init 4", IDC_INIT4},
    {"Comment", IDC_COMMENT},
};
constexpr int kTextFieldCount = static_cast<int>(sizeof kTextFields / sizeof kTextFields[0]);

struct Shown {
    std::string text[kTextFieldCount];  // in the order of kTextFields
    int synchronize = -1;               // BST_CHECKED or BST_UNCHECKED
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

// A null expected text is not checked (the caller checks that field itself).
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

// The controls that the load, the save and Defaults enable and disable together.
constexpr int kFieldIds[] = {IDC_START_FRAME, IDC_END_FRAME, IDC_SYNCHRONIZE, IDC_BAUD, IDC_BAUD_SPIN,
                             IDC_COMMENT,     IDC_INIT1,     IDC_INIT2,       IDC_INIT3, IDC_INIT4};

struct ButtonState {
    const char* name;
    int id;
    bool enabled;
};

void ExpectEditorState(HWND editor, bool fields, bool save, bool load, bool defaults, bool cancel)
{
    for (int id : kFieldIds)
        EXPECT_EQ(ControlEnabled(editor, id), fields) << "control " << id;
    const ButtonState buttons[] = {{"SAVE", IDC_SAVE, save},
                                   {"LOAD", IDC_LOAD, load},
                                   {"Defaults", IDC_DEFAULTS, defaults},
                                   {"Cancel", IDCANCEL, cancel}};
    for (const ButtonState& b : buttons)
        EXPECT_EQ(ControlEnabled(editor, b.id), b.enabled) << b.name;
    // Model, Channel and their up-downs belong to no group.
    for (int id : {IDC_MODEL, IDC_CHANNEL, IDC_MODEL_SPIN, IDC_CHANNEL_SPIN})
        EXPECT_TRUE(ControlEnabled(editor, id)) << "control " << id;
}

void ExpectAllEnabled(HWND editor)
{
    ExpectEditorState(editor, true, true, true, true, true);
}

// After Cancel or a failed load: LOAD, Defaults and Cancel only.
void ExpectOnlyLoadDefaultsCancel(HWND editor)
{
    ExpectEditorState(editor, false, false, true, true, true);
}

// ---- Windows of the program ----------------------------------------------------------------

bool IsDialogClass(HWND window)
{
    char className[32] = {};
    GetClassNameA(window, className, sizeof className);
    return strcmp(className, "#32770") == 0;
}

// A visible message box of the program, whatever its caption: a dialog that is none of the
// program's own windows.
HWND FindAnyBox(DWORD pid)
{
    for (HWND window : TopWindows(pid, nullptr)) {
        const std::string caption = CaptionText(window);
        if (IsDialogClass(window) && caption != kEditorCaption && caption != kLoadCaption &&
            caption != kMainCaption)
            return window;
    }
    return nullptr;
}

HWND WaitAnyBox(DWORD pid, DWORD timeoutMs)
{
    HWND box = nullptr;
    WaitUntil([&] { return (box = FindAnyBox(pid)) != nullptr; }, timeoutMs);
    return box;
}

// Waits until the Loading dialog is gone, watching for a message box meanwhile. Returns whether
// it went; *box receives the first box seen (null if none).
bool WaitLoadGone(DWORD pid, HWND* box, DWORD timeoutMs = kLoadMs)
{
    *box = nullptr;
    return WaitUntil([&] {
        if (!*box)
            *box = FindAnyBox(pid);
        return *box != nullptr || FindTopWindow(pid, kLoadCaption, false) == nullptr;
    }, timeoutMs) && !*box;
}

// ---- The progress bar of the Loading dialog, watched from outside --------------------------
//
// The whole load runs inside one timer tick, during which the program answers no message, and
// the dialog is destroyed as soon as the tick returns: PBM_GETPOS cannot see the last position.
// The progress bar keeps its position in a small record whose address is in the control's
// window data; reading that record from this process does not need the program's thread. The
// record is trusted only while its first field is the control's own handle (as the control
// writes it at creation), which also confirms that the layout read here is the control's.
struct ProgressRecord {
    HWND self;
    INT position;
    INT lowest;
    INT highest;
};

class ProgressWatch {
public:
    explicit ProgressWatch(const AppProcess& app) : app_(app) { thread_ = std::thread([this] { Run(); }); }
    ~ProgressWatch() { Stop(); }

    void Stop()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }

    // Distinct positions in the order seen, while the record was the control's.
    const std::vector<int>& Positions() const { return positions_; }
    int Highest() const { return highest_; }
    bool SawDialog() const { return sawDialog_; }

private:
    void Run()
    {
        HWND bar = nullptr;
        while (!stop_) {
            if (!bar) {
                HWND dialog = FindTopWindow(app_.pid, kLoadCaption, false);
                bar = Control(dialog, IDC_PROGRESS);
                if (!bar) {
                    Sleep(2);
                    continue;
                }
                sawDialog_ = true;
            }
            if (!IsWindow(bar))
                return;  // one load watched
            Sample(bar);
            // The last position stands only for the few milliseconds before the dialog ends.
            if (positions_.empty() || positions_.back() < 52)
                Sleep(1);
            else
                Sleep(0);
        }
    }

    void Sample(HWND bar)
    {
        const LONG_PTR address = GetWindowLongPtrA(bar, 0);
        if (!address)
            return;
        ProgressRecord record = {};
        SIZE_T got = 0;
        if (!ReadProcessMemory(app_.process, reinterpret_cast<const void*>(address), &record, sizeof record, &got) ||
            got != sizeof record || record.self != bar)
            return;
        highest_ = record.highest;
        if (positions_.empty() || positions_.back() != record.position)
            positions_.push_back(record.position);
    }

    const AppProcess& app_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::vector<int> positions_;
    int highest_ = -1;
    bool sawDialog_ = false;
};

// The positions a load that succeeds sets, in order.
std::vector<int> LoadPositions()
{
    std::vector<int> positions = {0, 1, 2, 3, 4, 5, 6, 10, 14, 15, 16, 17, 18, 19};
    for (int p = 20; p <= 59; ++p)
        positions.push_back(p);
    return positions;
}

// Whether `seen` is an ordered selection of `all`.
bool IsOrderedSubset(const std::vector<int>& seen, const std::vector<int>& all)
{
    size_t j = 0;
    for (int value : seen) {
        while (j < all.size() && all[j] != value)
            ++j;
        if (j == all.size())
            return false;
        ++j;
    }
    return true;
}

std::string Join(const std::vector<int>& values)
{
    std::string text;
    for (int v : values)
        text += (text.empty() ? "" : " ") + std::to_string(v);
    return text;
}

// ---- The fixture ---------------------------------------------------------------------------

class EditorLoadScenario : public SimScenario {
protected:
    void TearDown() override
    {
        SimScenario::TearDown();
        // What the scenarios change on the device goes back to its power-on state.
        EXPECT_TRUE(SimMode(kDevice, "normal"));
        EXPECT_TRUE(SimCommand("poweron " + std::to_string(kDevice)).ok);
        EXPECT_TRUE(SimClear(kDevice));
    }

    // The program started and the editor opened on COM2 as after a successful search; the
    // editor once its first load has ended, or null.
    HWND OpenEditor()
    {
        if (!main_ && !Start())
            return nullptr;
        return OpenEditorAgain();
    }

    HWND OpenEditorAgain()
    {
        EXPECT_TRUE(PostToWindow(main_, UM_SYNCFOUND, kPortIndex, 0));
        HWND editor = WaitEditorLoaded(kLoadMs);
        EXPECT_NE(editor, nullptr) << "the editor did not open, or its load did not end";
        if (editor) {
            EXPECT_EQ(GetWindow(editor, GW_OWNER), main_);
            EXPECT_EQ(FindAnyBox(Pid()), nullptr) << "a box is open: " << CaptionText(FindAnyBox(Pid()));
        }
        return editor;
    }

    // LOAD pressed; the Loading dialog, or null.
    HWND PressLoad(HWND editor)
    {
        EXPECT_TRUE(ClickAsync(editor, IDC_LOAD)) << "LOAD is not enabled";
        HWND load = WaitTopWindow(Pid(), kLoadCaption, 5000);
        EXPECT_NE(load, nullptr) << "no Loading dialog";
        if (load) {
            EXPECT_EQ(GetWindow(load, GW_OWNER), editor);
        }
        return load;
    }

    // LOAD pressed and the load ended without a box.
    void LoadAgain(HWND editor)
    {
        ASSERT_NE(PressLoad(editor), nullptr);
        HWND box = nullptr;
        ASSERT_TRUE(WaitLoadGone(Pid(), &box)) << "box \"" << CaptionText(box) << "\": " << MessageBoxText(box);
    }
};

// ---- Scenarios -----------------------------------------------------------------------------

// Through the real search: every field shows the device's image, everything is enabled, Model
// and Channel have no visible up-down, the wire carries exactly the load's frames, and the
// progress bar of the Loading dialog ends at 59 of 60.
TEST_F(EditorLoadScenario, EditorOpensFilledFromTheDevice)
{
    SetRegisterRun('?', "07");
    SetRegisterRun('>', "42");
    SetRegisterRun('0', "012340");  // start frame 1234
    SetRegisterRun('3', "045670");  // end frame 4567
    SetRegisterRun('6', "69");      // baud code 6 (4800), flags 9 (Synchronize and bit 0)
    SetRegisterRun('P', InitBlock({"ATE0", "AT&C1", "S0=2", "Z"}));
    SetRegisterRun('H', CommentBlock("Stage left 7"));
    PlugOnly({kDevice});
    ASSERT_TRUE(Start());
    HWND find = OpenFindDialog();
    ASSERT_NE(find, nullptr);
    HWND search = FindNow(find);
    ASSERT_NE(search, nullptr);
    ASSERT_TRUE(WaitTesting(search, "COM2")) << CaptionText(Control(search, IDC_SEARCH_STATUS));
    ASSERT_TRUE(SimClear(kDevice));

    ProgressWatch watch(App());
    ASSERT_TRUE(SimReset(kDevice));
    const ULONGLONG resetAt = GetTickCount64();
    HWND editor = WaitEditorLoaded(kLoadMs + 10000);
    watch.Stop();
    ASSERT_NE(editor, nullptr);
    printf("search and load: editor shown %.1f s after the reset banner\n", (GetTickCount64() - resetAt) / 1000.0);
    EXPECT_EQ(FindAnyBox(Pid()), nullptr);

    ExpectShown(editor, {"7", "42", "1234", "4567", "4800", "ATE0", "AT&C1", "S0=2", "Z", "Stage left 7"},
                BST_CHECKED);
    ExpectAllEnabled(editor);
    EXPECT_FALSE(ControlVisible(editor, IDC_MODEL_SPIN));
    EXPECT_FALSE(ControlVisible(editor, IDC_CHANNEL_SPIN));
    EXPECT_TRUE(ControlVisible(editor, IDC_BAUD_SPIN));
    EXPECT_EQ(SimFrames(kDevice), LoadFrames());

    ASSERT_TRUE(watch.SawDialog()) << "the Loading dialog was not seen";
    const std::vector<int>& seen = watch.Positions();
    printf("progress positions seen: %s (range top %d)\n", Join(seen).c_str(), watch.Highest());
    ASSERT_FALSE(seen.empty()) << "the progress bar's record could not be read";
    EXPECT_TRUE(IsOrderedSubset(seen, LoadPositions())) << Join(seen);
    EXPECT_EQ(seen.back(), 59);
    EXPECT_EQ(watch.Highest(), 60);
    CloseEditor(editor);
}

// The range rules of a load as the fields show them, one LOAD per row in one editor. A model
// outside 1..99 is stored as 0, which the Model up-down (range 1..99) may show as 0 or as its
// lower limit; Defaults then tells 0 from a model in range, as it keeps only the latter.
struct RangeRow {
    const char* name;
    const char* model;      // '?'
    const char* channel;    // '>'
    const char* start;      // '0' '1' '2'
    const char* end;        // '3' '4' '5'
    const char* baudFlags;  // '6'
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
    {"ZeroPairsAndNonDigits", "00", "00", "123a50", "0a0000", "5?", nullptr, "1", "2", "501", "9600", BST_CHECKED,
     "5", "1"},
    {"LettersAndFramesAboveLimits", "x7", "7x", "999990", "999990", "44", nullptr, "7", "1", "2", "2400",
     BST_UNCHECKED, "5", "7"},
    {"HighestValuesKept", "99", "99", "539990", "540000", "Hx", "99", "99", "53999", "54000", "1200", BST_CHECKED,
     nullptr, nullptr},
    {"JustAboveTheFrameLimits", " 5", "-3", "540000", "540010", "60", "5", "1", "1", "2", "4800", BST_UNCHECKED,
     nullptr, nullptr},
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
            LoadAgain(editor);
        }
        ExpectShown(editor,
                    {row.modelShown, row.channelShown, row.startShown, row.endShown, row.baudShown, "0KL0DS", "",
                     "", "", "QSIM"},
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

// A load that fails on a tested register: the box "Bad Data in Synchronizer" with the step's
// caption, owned by the Loading dialog, whose bar stands at the step's position; the editor is
// left with LOAD, Defaults and Cancel, its fields as they were. The rows run in order in one
// editor, since a caption can show bytes left over by the reads before it (the receive buffer
// keeps its old bytes when nothing comes; a frame's later registers keep the previous load's).
struct FailureRow {
    const char* name;
    const char* mode;
    unsigned char code;     // a register to set first (0: none)
    const char* pair;
    const char* caption;
    int position;
    size_t reads;           // read frames on the wire, the failed one included
};

const FailureRow kFailureRows[] = {
    // A fresh open's receive buffer is zero-filled: nothing comes, zeros are shown.
    {"Silent", "silent", 0, nullptr, "version = 0,0", 3, 1},
    // CR LF is the wrong order; bytes from 0x80 print as eight digits.
    {"CrLfHighBytes", "crlf", '?', "\x80\xff", "version = ffffff80,ffffffff", 3, 1},
    // The channel read gets nothing: the model's answer is still in the receive buffer.
    {"ChannelUnanswered", "stopafter 1", '?', "12", "serial = 31,32", 4, 2},
    // '2' unanswered: '0', '1', then the '1' answer again.
    {"ThirdStartRegister", "stopafter 4", '1', "12", "start frame = 30,30,31,32,31,32", 6, 5},
    // '1' unanswered: '0' twice, then what the row before left in the third register's place.
    {"SecondStartRegister", "stopafter 3", '0', "07", "start frame = 30,37,30,37,31,32", 6, 4},
    // '4' unanswered: '3' twice, then this load's '2'.
    {"SecondEndRegister", "stopafter 6", '3', "98", "stop frame = 39,38,39,38,31,30", 10, 7},
    // '6' unanswered: the '5' answer.
    {"BaudRegister", "stopafter 8", '5', "7x", "baud/flags = 37,78", 18, 9},
};

TEST_F(EditorLoadScenario, FailedLoadShowsBadDataAndKeepsTheFields)
{
    SetRegisterRun('0', "000010");  // start frame 1, with '2' = "10"
    HWND editor = OpenEditor();
    ASSERT_NE(editor, nullptr);
    const Shown loaded = ReadShown(editor);
    ExpectAllEnabled(editor);

    for (const FailureRow& row : kFailureRows) {
        SCOPED_TRACE(row.name);
        if (row.code)
            SetRegisterRun(row.code, row.pair);
        ASSERT_TRUE(SimMode(kDevice, row.mode));
        ASSERT_TRUE(SimClear(kDevice));
        HWND load = PressLoad(editor);
        ASSERT_NE(load, nullptr);
        HWND box = WaitAnyBox(Pid(), kLoadMs);
        ASSERT_NE(box, nullptr) << "no box";
        EXPECT_EQ(CaptionText(box), row.caption);
        EXPECT_EQ(MessageBoxText(box), "Bad Data in Synchronizer");
        EXPECT_EQ(GetWindow(box, GW_OWNER), load);
        EXPECT_EQ(ProgressPosition(load, IDC_PROGRESS), row.position);
        EXPECT_EQ(SimFrames(kDevice), LoadFramesUpTo(row.reads));
        ASSERT_TRUE(DismissMessageBox(box));
        ASSERT_TRUE(WaitTopWindowGone(Pid(), kLoadCaption));
        EXPECT_EQ(FindAnyBox(Pid()), nullptr) << "a second box";
        ExpectOnlyLoadDefaultsCancel(editor);
        ExpectSameShown(loaded, ReadShown(editor));
    }
    CloseEditor(editor);
}

// A device that stops answering within the init strings and again within the comment, and
// answers again afterwards: the load goes on, ends without a box, and uses what each unanswered
// read left in its place (the answer before it, which the receive buffer still holds).
TEST_F(EditorLoadScenario, UnansweredInitAndCommentReadsDoNotStopTheLoad)
{
    // 'P' "0K", 'Q' "L0", 'R' "DS", 'S' CR "A", 'T' "T" CR, then BEL.
    SetRegisterRun('P', InitBlock({"0KL0DS", "AT"}));
    // 'H' "AB", 'I' "CD", 'J' "EF", 'K' "GH", 'L' "IJ", 'M' "KL", 'N' "MN", 'O' BEL BEL.
    SetRegisterRun('H', CommentBlock("ABCDEFGHIJKLMN"));
    ASSERT_TRUE(Start());
    // '?' '>' '0'..'6' and 'P' 'Q' 'R' answered, 'S' not.
    ASSERT_TRUE(SimMode(kDevice, "stopafter 12"));
    ASSERT_TRUE(PostToWindow(main_, UM_SYNCFOUND, kPortIndex, 0));
    const auto waitForRead = [](const char* frame) {
        return WaitUntil([&] {
            for (const std::string& line : SimFrames(kDevice)) {
                if (line == frame)
                    return true;
            }
            return false;
        }, kLoadMs);
    };
    // The program waits about two seconds for each unanswered read: time enough to change the
    // device's mode before the next read comes.
    ASSERT_TRUE(waitForRead("R 53"));
    const ULONGLONG stoppedAt = GetTickCount64();
    // 'T'..'o' (28) and 'H' 'I' 'J' answered, 'K' not.
    ASSERT_TRUE(SimMode(kDevice, "stopafter 31"));
    ASSERT_TRUE(waitForRead("R 4b"));
    ASSERT_TRUE(SimMode(kDevice, "normal"));

    HWND editor = WaitEditorLoaded(kLoadMs);
    ASSERT_NE(editor, nullptr);
    printf("load with two unanswered reads: editor shown %.1f s after the first of them\n",
           (GetTickCount64() - stoppedAt) / 1000.0);
    EXPECT_EQ(FindAnyBox(Pid()), nullptr);
    EXPECT_EQ(SimFrames(kDevice), LoadFrames()) << "the load skipped or repeated a read";
    ExpectShown(editor, {"5", "1", MarkedStartFrame(kDevice).c_str(), "500", "9600", "0KL0DSDST", "", "", "",
                         "ABCDEFEFIJKLMN"},
                BST_CHECKED);
    ExpectAllEnabled(editor);
    CloseEditor(editor);
}

// Cancel while the Loading dialog waits for its first tick: no port is opened (the device sees
// no handshake, then or later), nothing is loaded, and the editor offers LOAD, Defaults and
// Cancel. Defaults then fills in the defaults; with nothing loaded, the model and channel are
// out of range and become 5 and 1.
TEST_F(EditorLoadScenario, CancelBeforeTheFirstTickOpensNoPort)
{
    ASSERT_TRUE(Start());
    ASSERT_TRUE(PostToWindow(main_, UM_SYNCFOUND, kPortIndex, 0));
    HWND load = WaitTopWindow(Pid(), kLoadCaption, 5000);
    ASSERT_NE(load, nullptr);
    const ULONGLONG shownAt = GetTickCount64();
    EXPECT_EQ(ProgressPosition(load, IDC_PROGRESS), 0);
    ASSERT_TRUE(Click(load, IDCANCEL));
    printf("cancel: handled %lu ms after the Loading dialog was seen\n",
           static_cast<unsigned long>(GetTickCount64() - shownAt));
    ASSERT_TRUE(WaitTopWindowGone(Pid(), kLoadCaption));
    HWND editor = WaitTopWindow(Pid(), kEditorCaption);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(FindAnyBox(Pid()), nullptr);

    Sleep(2500);  // past the tick that Cancel disarmed
    EXPECT_TRUE(SimFrames(kDevice).empty()) << "the device was written to";
    const SimReply log = SimCommand("log " + std::to_string(kDevice));
    EXPECT_TRUE(log.ok && log.lines.empty()) << "the line carried something";
    ExpectOnlyLoadDefaultsCancel(editor);
    // Nothing was loaded: Model and Channel show their up-downs' first position, the texts are
    // empty. Start Frame and BAUD are only printed: here the editor's opening lets the platform
    // put the focus into Start Frame before the controls are disabled, and leaving the empty
    // field makes it 1; the BAUD up-down is given its position before its range and shows the
    // nearest limit of its default range.
    ExpectShown(editor, {"1", "1", nullptr, "", nullptr, "", "", "", "", ""}, BST_UNCHECKED);
    printf("cancelled first load: Start Frame shows \"%s\", BAUD shows \"%s\"\n",
           ControlText(editor, IDC_START_FRAME).c_str(), ControlText(editor, IDC_BAUD).c_str());

    ASSERT_TRUE(Click(editor, IDC_DEFAULTS));
    ExpectShown(editor, {"5", "1", "1", "500", "9600", "0KL0DS", "", "", "", ""}, BST_CHECKED);
    ExpectAllEnabled(editor);
    EXPECT_TRUE(SimFrames(kDevice).empty()) << "Defaults wrote to the device";
    CloseEditor(editor);
}

// LOAD with the port gone: the Loading dialog ends on its tick without a box, and the editor
// keeps what it showed with LOAD, Defaults and Cancel.
TEST_F(EditorLoadScenario, AbsentPortAtLoadClosesWithoutABox)
{
    HWND editor = OpenEditor();
    ASSERT_NE(editor, nullptr);
    const Shown loaded = ReadShown(editor);
    ASSERT_TRUE(SimPlug(kDevice, false));
    ASSERT_TRUE(SimClear(kDevice));
    ASSERT_NE(PressLoad(editor), nullptr);
    HWND box = nullptr;
    EXPECT_TRUE(WaitLoadGone(Pid(), &box)) << "box \"" << CaptionText(box) << "\": " << MessageBoxText(box);
    if (box) {
        DismissMessageBox(box);
    }
    ASSERT_TRUE(WaitTopWindowGone(Pid(), kLoadCaption));
    Sleep(300);  // a box shown as the dialog ended would be up by now
    EXPECT_EQ(FindAnyBox(Pid()), nullptr);
    ExpectOnlyLoadDefaultsCancel(editor);
    ExpectSameShown(loaded, ReadShown(editor));
    EXPECT_TRUE(SimFrames(kDevice).empty());
    CloseEditor(editor);
}

// Defaults after a load: model and channel in range are kept, everything else takes its default
// value, and every control is enabled. Nothing is sent to the device.
TEST_F(EditorLoadScenario, DefaultsKeepModelAndChannelAndFillTheRest)
{
    SetRegisterRun('?', "12");
    SetRegisterRun('>', "03");
    SetRegisterRun('0', "002500");
    SetRegisterRun('3', "040000");
    SetRegisterRun('6', "44");  // 2400, Synchronize off
    SetRegisterRun('P', InitBlock({"AT&F", "ATZ", "X", "Y"}));
    SetRegisterRun('H', CommentBlock("Front of house"));
    HWND editor = OpenEditor();
    ASSERT_NE(editor, nullptr);
    ExpectShown(editor, {"12", "3", "250", "4000", "2400", "AT&F", "ATZ", "X", "Y", "Front of house"},
                BST_UNCHECKED);
    ASSERT_TRUE(SimClear(kDevice));

    ASSERT_TRUE(Click(editor, IDC_DEFAULTS));
    ExpectShown(editor, {"12", "3", "1", "500", "9600", "0KL0DS", "", "", "", ""}, BST_CHECKED);
    ExpectAllEnabled(editor);
    EXPECT_TRUE(SimFrames(kDevice).empty()) << "Defaults wrote to the device";
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
    GUITHREADINFO thread = {};
    thread.cbSize = sizeof thread;
    ASSERT_TRUE(WaitUntil([&] {
        return GetGUIThreadInfo(GetWindowThreadProcessId(editor, nullptr), &thread) && thread.hwndFocus == field;
    }, 5000)) << "the End Frame field did not take the focus";
    ASSERT_TRUE(PressKeys("ENTER"));
    Sleep(500);
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
    editor = OpenEditorAgain();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(SimFrames(kDevice), LoadFrames());
    EXPECT_EQ(ControlText(editor, IDC_CHANNEL), "9");
    ExpectAllEnabled(editor);
    CloseEditor(editor);
}

}  // namespace
