// Faults on the line, one table: every misbehaviour of the device and a pulled cable, against each
// operation that can meet it (search, load, save, save after Defaults), on the real program driven
// as a user would. Each row prints one line of the sweep's table ("FAULTROW|..."), and fails when
// the outcome differs from what the program promises:
// - it neither crashes nor hangs: the process still answers, and the operation ends within its
//   bound (2 s for the timer and the open, at most about 2 s per read frame sent, 50 ms per write
//   frame, plus 3 s of slack; a search on one port 26 s plus slack);
// - the message is the one promised for that failure, and no failure passes for a success: a save
//   that shows no message has put what was typed into the device;
// - a load changes no register, a failed load leaves the fields as they were and SAVE greyed, and
//   a save, failed or not, leaves what was typed in the fields with everything enabled;
// - the port is given back as it was found: the line settings put on the pty before the case are
//   back afterwards, and another process can open the port.
//
// By default only the rows marked short run (one per misbehaviour, on its cheapest operation);
// QUORBANE_FAULTS=full runs them all (make faults). QUORBANE_SOAK_CYCLES=N runs the soak: N load
// and save cycles in one process, with its handle count and private memory printed.
//
// A Linux pty keeps the speed and the stop bits of its line settings but forces 8 data bits and
// no parity, so the settings that mark the port "as found" are 9600 baud, 8N2: different from the
// program's 1200 8N1 in the two things a pty keeps.
#include <windows.h>
// after windows.h, which it needs
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/gui/scenario_fixture.h"
#include "tests/support/com_access.h"
#include "tests/support/power_on_settings.h"
#include "tests/support/qsync_rows.h"
#include "tests/support/sim_control.h"
#include "tests/support/wire_frames.h"

namespace {

constexpr int kDevice = 1;  // behind COM1
constexpr const char* kFoundLine = "9600 8N2";
constexpr const char* kNoBox = "";
constexpr const char* kEditorOpened = "(editor opened)";
constexpr const char* kAllEnabled = "fields+ SAVE+ LOAD+ DEF+ CANCEL+";
constexpr DWORD kOperationMs = 150000;  // longer than any bound below: a hang shows as a row

enum class Op { Search, Load, Save, SaveAfterDefaults, QsyncRead };

// What the device does, as commands to the simulator. "pull@K", "noise@K" and "crbanner@K" act
// once the frame log holds K frames (the operation under way); in a search, "tick" waits for the
// search's next tick.
struct FaultRow {
    const char* name;
    Op op;
    const char* fault;   // ';'-separated simulator commands and actions
    const char* expect;  // the message box's text; kNoBox for none, kEditorOpened for a search found
    bool inShort;        // part of the short form that make test runs
};

const FaultRow kRows[] = {
    // Search: the device's banner spoilt, late, split, or the cable pulled while listening.
    {"silent", Op::Search, "", kNotFoundText, false},
    {"banner_crlf", Op::Search, "reset 1 crfirst", kNotFoundText, false},
    {"banner_split", Op::Search, "send 1 41 54 53 30;tick;send 1 3d 31 0a 0d", kEditorOpened, false},
    {"stray_after_banner", Op::Search, "reset 1;send 1 55", kNotFoundText, false},
    // The gathering keeps the newest bytes: a whole banner after any amount of noise is recognised.
    {"noise_then_banner", Op::Search, "noise 1 300;reset 1", kEditorOpened, false},
    {"pull", Op::Search, "pull@0", kNotFoundText, false},
    {"latency_16", Op::Search, "mode 1 latency 16;reset 1", kEditorOpened, false},
    // Load: the editor's LOAD after a good load.
    {"silent", Op::Load, "mode 1 silent", kBadData, true},
    {"crlf", Op::Load, "mode 1 crlf", kBadData, true},
    {"split", Op::Load, "mode 1 split", kNoBox, true},
    {"stray", Op::Load, "mode 1 stray", kBadData, true},
    {"stopafter_0", Op::Load, "mode 1 stopafter 0", kBadData, false},
    {"stopafter_3", Op::Load, "mode 1 stopafter 3", kBadData, true},
    {"stopafter_8", Op::Load, "mode 1 stopafter 8", kBadData, false},
    {"stopafter_10", Op::Load, "mode 1 stopafter 10", kBadData, false},
    {"stopafter_20", Op::Load, "mode 1 stopafter 20", kBadData, false},
    {"stopafter_40", Op::Load, "mode 1 stopafter 40", kBadData, false},
    {"stopafter_47", Op::Load, "mode 1 stopafter 47", kBadData, false},
    {"stopafter_48", Op::Load, "mode 1 stopafter 48", kBadData, false},
    {"noise_burst", Op::Load, "noise@3", kBadData, true},
    {"banner_crlf", Op::Load, "crbanner@3", kBadData, true},
    {"delay_2500", Op::Load, "mode 1 delay 2500", kBadData, true},
    {"pull", Op::Load, "pull@4", kBadData, true},
    // Behind a USB adapter's latency timer, at any setting: read right every time.
    {"latency_1", Op::Load, "mode 1 latency 1", kNoBox, false},
    {"latency_12", Op::Load, "mode 1 latency 12", kNoBox, false},
    {"latency_16", Op::Load, "mode 1 latency 16", kNoBox, true},
    {"latency_20", Op::Load, "mode 1 latency 20", kNoBox, false},
    {"latency_32", Op::Load, "mode 1 latency 32", kNoBox, false},
    // Save: typed values, then SAVE.
    {"silent", Op::Save, "mode 1 silent", kCantWrite, false},
    {"crlf", Op::Save, "mode 1 crlf", kCantWrite, false},
    {"split", Op::Save, "mode 1 split", kNoBox, false},
    {"stray", Op::Save, "mode 1 stray", kCantWrite, false},
    {"stopafter_0", Op::Save, "mode 1 stopafter 0", kCantWrite, false},
    {"stopafter_3", Op::Save, "mode 1 stopafter 3", kCantWrite, false},
    {"stopafter_8", Op::Save, "mode 1 stopafter 8", kCantWrite, false},
    {"stopafter_10", Op::Save, "mode 1 stopafter 10", kMismatch, false},
    {"stopafter_20", Op::Save, "mode 1 stopafter 20", kMismatch, false},
    {"stopafter_40", Op::Save, "mode 1 stopafter 40", kMismatch, false},
    {"stopafter_47", Op::Save, "mode 1 stopafter 47", kMismatch, false},
    {"stopafter_48", Op::Save, "mode 1 stopafter 48", kMismatch, false},
    // Bytes that come while the writes go out are thrown away before the first read frame.
    {"noise_burst", Op::Save, "noise@3", kNoBox, false},
    {"banner_crlf", Op::Save, "crbanner@3", kNoBox, false},
    {"delay_2500", Op::Save, "mode 1 delay 2500", kCantWrite, false},
    {"pull_writing", Op::Save, "pull@10", kCantWrite, true},
    {"pull_comparing", Op::Save, "pull@55", kCantWrite, false},
    {"latency_1", Op::Save, "mode 1 latency 1", kNoBox, false},
    {"latency_12", Op::Save, "mode 1 latency 12", kNoBox, false},
    {"latency_16", Op::Save, "mode 1 latency 16", kNoBox, false},
    {"latency_20", Op::Save, "mode 1 latency 20", kNoBox, false},
    {"latency_32", Op::Save, "mode 1 latency 32", kNoBox, false},
    // Save after Defaults: model and channel are written too.
    {"silent", Op::SaveAfterDefaults, "mode 1 silent", kCantWrite, false},
    {"stopafter_40", Op::SaveAfterDefaults, "mode 1 stopafter 40", kMismatch, false},
    {"delay_2500", Op::SaveAfterDefaults, "mode 1 delay 2500", kCantWrite, false},
    {"pull_writing", Op::SaveAfterDefaults, "pull@10", kCantWrite, false},
    // qsync read: kNoBox when it ends with 0 and its file holds what the device holds.
    {"latency_1", Op::QsyncRead, "mode 1 latency 1", kNoBox, false},
    {"latency_12", Op::QsyncRead, "mode 1 latency 12", kNoBox, false},
    {"latency_16", Op::QsyncRead, "mode 1 latency 16", kNoBox, false},
    {"latency_20", Op::QsyncRead, "mode 1 latency 20", kNoBox, false},
    {"latency_32", Op::QsyncRead, "mode 1 latency 32", kNoBox, false},
};

const char* OpName(Op op)
{
    constexpr const char* kNames[] = {"search", "load", "save", "defaults_save", "qsync_read"};  // as Op
    return kNames[static_cast<int>(op)];
}

// How a row shows in failures.
void PrintTo(const FaultRow& row, std::ostream* os)
{
    *os << OpName(row.op) << " " << row.name;
}

// The fields and texts of the editor, for "kept as they were".
std::string Fields(HWND editor)
{
    const Shown shown = ReadShown(editor);
    std::string text;
    for (const std::string& field : shown.text)
        text += field + "/";
    return text + (shown.synchronize == BST_CHECKED ? "sync" : "nosync");
}

// "fields+ SAVE- LOAD+ DEF+ CANCEL+"
std::string EnableState(HWND editor)
{
    auto mark = [&](int id) { return ControlEnabled(editor, id) ? "+" : "-"; };
    return std::string("fields") + mark(IDC_START_FRAME) + " SAVE" + mark(IDC_SAVE) + " LOAD" +
           mark(IDC_LOAD) + " DEF" + mark(IDC_DEFAULTS) + " CANCEL" + mark(IDCANCEL);
}

class FaultSweep : public SimScenario, public ::testing::WithParamInterface<FaultRow> {
protected:
    // A row outside the short form is skipped before the simulator's set-up, so it costs nothing.
    void SetUp() override
    {
        const char* mode = getenv("QUORBANE_FAULTS");
        if (!GetParam().inShort && !(mode && std::string(mode) == "full")) {
            GTEST_SKIP() << "full sweep only (QUORBANE_FAULTS=full)";
        }
        SimScenario::SetUp();
    }

    void TearDown() override
    {
        if (IsSkipped())
            return;
        // A row that went as promised hands its program on to the next row of its operation.
        if (!HasFailure() && editor_ && IsWindow(editor_) && AppAlive(App()) && GetParam().op != Op::Search)
            HandOn(static_cast<int>(GetParam().op), editor_);
        SimPlug(kDevice, true);  // a pulled cable comes back for the next case
        SimCommandOn(kDevice, "line", "38400 8N1");
        SimScenario::TearDown();
    }

    // Runs the fault's steps in order: the ones at a frame count wait for it, the others act at once.
    void RunSteps(const char* fault, HWND search)
    {
        std::istringstream steps(fault);
        for (std::string step; std::getline(steps, step, ';');) {
            const size_t at = step.find('@');
            if (step == "tick") {
                WaitNextTick(search, ProgressPosition(search, IDC_PROGRESS));
            } else if (at != std::string::npos) {
                const size_t frames = std::stoul(step.substr(at + 1));
                WaitUntil([&] { return SimFrames(kDevice).size() >= frames; }, 30000);
                const std::string what = step.substr(0, at);
                const std::string verb = what == "pull" || what == "noise" ? what : "reset";
                const char* arguments = what == "pull" ? "" : what == "noise" ? "40" : "crfirst";
                EXPECT_TRUE(SimCommandOn(kDevice, verb, arguments).ok) << verb << " " << arguments;
                pulled_ = pulled_ || what == "pull";
            } else if (!step.empty()) {
                EXPECT_TRUE(SimCommand(step).ok) << step;
            }
        }
    }

    Ending RunSearch(const FaultRow& row)
    {
        Ending out;
        HWND find = OpenFindDialog();
        if (!find || !Click(find, IDC_PORT_COM1))
            return out;
        const ULONGLONG started = GetTickCount64();
        HWND search = FindNow(find);
        if (!search || !WaitTesting(search, "COM1"))
            return out;
        RunSteps(row.fault, search);
        out.ended = WaitUntil(
            [&] {
                if (HWND box = FindAnyBox(Pid())) {
                    out.boxText = MessageBoxText(box);
                    out.boxCaption = CaptionText(box);
                    DismissMessageBox(box);
                    return true;
                }
                if (FindTopWindow(Pid(), kEditorCaption)) {
                    out.boxText = kEditorOpened;
                    return true;
                }
                return false;
            },
            kOperationMs);
        out.seconds = static_cast<double>(GetTickCount64() - started) / 1000.0;
        if (out.boxText == kEditorOpened) {
            if (pulled_)
                SimPlug(kDevice, true);
            editor_ = WaitEditorLoaded();
        }
        return out;
    }

    // qsync read COM1 into a file; what it said differently from a right read is the "message".
    Ending RunQsyncRead()
    {
        Ending out;
        const std::string file =
            WindowsPath(std::string(getenv("TEMP") ? getenv("TEMP") : ".")) + "\\qread.ini";
        std::string command = "\"" + WindowsPath(QSYNC_EXE) + "\" read COM1 -o \"" + file + "\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        const ULONGLONG started = GetTickCount64();
        if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                            &startup, &info))
            return out;
        DWORD code = 1;
        out.ended = WaitForSingleObject(info.hProcess, kOperationMs) == WAIT_OBJECT_0;
        GetExitCodeProcess(info.hProcess, &code);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        out.seconds = static_cast<double>(GetTickCount64() - started) / 1000.0;
        const std::string text = ReadWhole(file, true);
        DeleteFileA(file.c_str());
        // The power-on settings with the start frame the set-up marked.
        if (code != 0 ||
            Body(text) != Edited({{"start_frame = 1", "start_frame = " + MarkedStartFrame(kDevice)}}))
            out.boxText = "exit " + std::to_string(code) + ": " + text;
        return out;
    }

    // The rows of one operation share one program and its editor, loaded once: each row's set-up
    // puts the device back, and a load starts from an editor with every field enabled (Defaults,
    // after a failed load greyed them). A row of another operation, or after a row that failed or
    // left a box, starts a fresh program.
    bool Resume(Op op)
    {
        editor_ = TakeOver(static_cast<int>(op));
        if (editor_ && op == Op::Load && EnableState(editor_) != kAllEnabled &&
            !Click(editor_, IDC_DEFAULTS)) {
            AppScenario::TearDown();
            editor_ = nullptr;
        }
        return editor_ != nullptr;
    }
    inline static std::string loadedFields_;  // what the first load showed: every good load's fields

    bool pulled_ = false;
    HWND editor_ = nullptr;
};

TEST_P(FaultSweep, Row)
{
    const FaultRow& row = GetParam();
    const bool editing = row.op != Op::Search && row.op != Op::QsyncRead;
    if (!editing || !Resume(row.op)) {
        ASSERT_TRUE(Start());
        if (editing) {
            editor_ = OpenEditor(kDevice);
            ASSERT_NE(editor_, nullptr);
            loadedFields_ = Fields(editor_);
        }
    }

    std::string fieldsBefore;
    if (editing) {
        if (row.op == Op::SaveAfterDefaults) {
            ASSERT_TRUE(Click(editor_, IDC_DEFAULTS));
        }
        if (row.op != Op::Load) {
            ASSERT_TRUE(SetControlText(editor_, IDC_START_FRAME, "1234"));
            ASSERT_TRUE(SetControlText(editor_, IDC_COMMENT, "FAULT"));
        }
        fieldsBefore = Fields(editor_);
        ASSERT_EQ(EnableState(editor_), kAllEnabled) << "the row does not start from an enabled editor";
    }
    ASSERT_TRUE(SimCommandOn(kDevice, "line", kFoundLine).ok);
    const RegisterImage regsBefore = DeviceImage(kDevice);
    ASSERT_TRUE(SimClear(kDevice));

    Ending out;
    double bound = 1 + 26 + 3;  // a search on one port
    if (row.op == Op::Search) {
        out = RunSearch(row);
    } else if (row.op == Op::QsyncRead) {
        RunSteps(row.fault, nullptr);
        out = RunQsyncRead();
        bound = 1 + 2.02 * static_cast<double>(CountFrames(SimFrames(kDevice), 'R')) + 3;
    } else {
        const bool isLoad = row.op == Op::Load;
        // Steps at a frame count run while the operation runs, others set the device up first (no
        // row has both).
        const bool during = strchr(row.fault, '@') != nullptr;
        if (!during)
            RunSteps(row.fault, nullptr);
        const ULONGLONG started = GetTickCount64();
        ASSERT_TRUE(ClickAsync(editor_, isLoad ? IDC_LOAD : IDC_SAVE));
        if (during)
            RunSteps(row.fault, nullptr);
        out = AwaitEnding(Pid(), isLoad ? kLoadCaption : kSaveCaption, started, kOperationMs);
        EXPECT_TRUE(out.opened) << "no dialog";
        const std::vector<std::string> frames = SimFrames(kDevice);
        bound = 2 + 2.02 * static_cast<double>(CountFrames(frames, 'R')) +
                0.05 * static_cast<double>(CountFrames(frames, 'W')) + 3;
    }
    if (pulled_) {
        EXPECT_TRUE(SimPlug(kDevice, true));
    }
    SimMode(kDevice, "normal");

    const bool alive = AppAlive(App()) && Responds(main_);
    RegisterImage regsAfter = DeviceImage(kDevice);
    const bool regsChanged = regsAfter != regsBefore;
    const SimReply line = SimCommandOn(kDevice, "line");
    const std::string lineAfter = pulled_ ? "(new pty)" : (line.lines.empty() ? "?" : line.lines[0]);
    const bool reopened = CanOpenComPort(kDevice);
    const std::string state = editor_ && IsWindow(editor_) ? EnableState(editor_) : "-";
    const std::string fieldsAfter = editor_ && IsWindow(editor_) ? Fields(editor_) : "";

    printf("FAULTROW|%s|%s|%s|%s|%.1f|%.0f|%s|%s|%s|%s|%s|%s\n", OpName(row.op), row.name,
           out.boxText.empty() ? "(none)" : out.boxText.c_str(), out.boxCaption.c_str(), out.seconds, bound,
           state.c_str(),
           row.op == Op::Search || row.op == Op::QsyncRead
               ? "-"
               : (fieldsAfter == fieldsBefore ? "kept" : "replaced"),
           regsChanged ? "changed" : "same", alive ? "alive" : "DEAD", lineAfter.c_str(),
           reopened ? "reopen ok" : "REOPEN FAILED");
    fflush(stdout);

    EXPECT_TRUE(out.ended) << "the operation did not end";
    EXPECT_TRUE(alive);
    EXPECT_LE(out.seconds, bound);
    EXPECT_EQ(out.boxText, row.expect);
    if (!pulled_) {
        EXPECT_EQ(lineAfter, kFoundLine) << "the port was not given back as found";
    }
    EXPECT_TRUE(reopened);
    switch (row.op) {
        case Op::Search:
        case Op::QsyncRead:
            EXPECT_FALSE(regsChanged);
            break;
        case Op::Load:
            EXPECT_FALSE(regsChanged) << "a load changed a register";
            if (!out.boxText.empty()) {
                EXPECT_EQ(fieldsAfter, fieldsBefore);
                EXPECT_EQ(state, "fields- SAVE- LOAD+ DEF+ CANCEL+");
            } else {
                EXPECT_EQ(state, kAllEnabled);
                // The device holds what it held at the first load.
                EXPECT_EQ(fieldsAfter, loadedFields_) << "the load did not read the device right";
            }
            break;
        default:
            EXPECT_EQ(state, kAllEnabled);
            EXPECT_EQ(fieldsAfter, fieldsBefore) << "what was typed is not kept";
            if (out.boxText.empty()) {
                // Reported verified: the device must hold what was typed ("%05ld0" of 1234, "FAULT").
                EXPECT_EQ(
                    regsAfter['0'] + regsAfter['1'] + regsAfter['2'] + " " + regsAfter['H'] + regsAfter['J'],
                    "012340 FAT\a");
            }
            break;
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultSweep, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<FaultRow>& info) {
                             return std::string(OpName(info.param.op)) + "_" + info.param.name;
                         });

// --- The soak: load and save cycles in one process ----------------------------------------------

struct Usage {
    long handles = -1;
    size_t privateKb = 0;
};

// The handles a process holds, from the system's list of every handle: GetProcessHandleCount
// reads 0 under Wine.
struct HandleEntry {
    ULONG ownerPid;
    BYTE objectType, flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
};
struct HandleList {
    ULONG count;
    HandleEntry entries[1];
};

long CountHandles(DWORD pid)
{
    typedef LONG(WINAPI * QueryProc)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QueryProc>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query)
        return -1;
    constexpr ULONG kSystemHandleInformation = 16;
    std::vector<unsigned char> buffer(1 << 20);
    for (int attempt = 0; attempt < 6; ++attempt) {
        ULONG needed = 0;
        const LONG status =
            query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == 0) {
            const HandleList* list = reinterpret_cast<const HandleList*>(buffer.data());
            return static_cast<long>(std::count_if(list->entries, list->entries + list->count,
                                                   [&](const HandleEntry& e) { return e.ownerPid == pid; }));
        }
        buffer.resize(buffer.size() * 2);
    }
    return -1;
}

// Private memory is the commit charge, PagefileUsage (Wine leaves PrivateUsage at 0).
Usage Measure(const AppProcess& app)
{
    Usage usage;
    usage.handles = CountHandles(app.pid);
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(app.process, &counters, sizeof counters))
        usage.privateKb = counters.PagefileUsage / 1024;
    return usage;
}

int SoakCycles()
{
    const char* text = getenv("QUORBANE_SOAK_CYCLES");
    return text ? atoi(text) : 0;
}

class FaultSoak : public FaultSweep {
protected:
    void SetUp() override
    {
        if (SoakCycles() < 11) {
            GTEST_SKIP() << "set QUORBANE_SOAK_CYCLES to 11 or more";
        }
        SimScenario::SetUp();
    }
};

TEST_F(FaultSoak, LoadSaveCycles)
{
    const int cycles = SoakCycles();
    ASSERT_TRUE(Start());
    HWND editor = OpenEditor(kDevice);
    ASSERT_NE(editor, nullptr);
    const Usage start = Measure(App());
    Usage settled;
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        const Ending load = PressAndAwait(Pid(), editor, IDC_LOAD, kOperationMs);
        ASSERT_TRUE(load.ended && load.boxCaption.empty()) << "cycle " << cycle << ": " << load.boxText;
        ASSERT_TRUE(SetControlText(editor, IDC_START_FRAME, std::to_string(100 + cycle).c_str()));
        const Ending save = PressAndAwait(Pid(), editor, IDC_SAVE, kOperationMs);
        ASSERT_TRUE(save.ended && save.boxCaption.empty()) << "cycle " << cycle << ": " << save.boxText;
        const Usage now = Measure(App());
        if (cycle == 10)
            settled = now;
        if (cycle == 1 || cycle % 10 == 0) {
            printf("SOAK|cycle %d|handles %ld|private %zu KB\n", cycle, now.handles, now.privateKb);
            fflush(stdout);
        }
    }
    const Usage end = Measure(App());
    printf(
        "SOAK|start handles %ld private %zu KB|after 10 handles %ld private %zu KB|after %d handles %ld "
        "private %zu KB\n",
        start.handles, start.privateKb, settled.handles, settled.privateKb, cycles, end.handles,
        end.privateKb);
    ASSERT_GT(start.handles, 0) << "the handle count could not be read";
    ASSERT_GT(start.privateKb, 0u) << "the private memory could not be read";
    EXPECT_LE(end.handles, settled.handles) << "handles grew";
    EXPECT_LE(end.privateKb, settled.privateKb + 16) << "private memory grew";
}

}  // namespace
