// qbench: the figures of the benchmark table, measured once per call by driving the real
// quorbane.exe under Wine against the device simulator, which answers and reads at 1200 baud.
// Nothing here fails on a time: every figure is printed, one a line, tab-separated:
//
//   NAME  VALUE  UNIT  BOUND  WHAT-THE-BOUND-IS
//
// VALUE is "n/a" where the bench cannot measure it (a dialog that never came, a message where
// none was due). BOUND is a number in UNIT, or "=NAME" for another row of the same run
// (a baseline such as the minimal window program), or empty.
//
//   qbench [--run K] [MEASUREMENT...]   K alternates the order of the two programs started
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/gui/gui_driver.h"
#include "tests/support/program_texts.h"
#include "tests/support/sim_control.h"
#include "version.h"

#ifndef MINIMAL_WINDOW_EXE
#define MINIMAL_WINDOW_EXE "minimal_window.exe"
#endif

namespace {

int RunIndex = 0;  // --run K: names the kept wire logs and alternates the start-up order

constexpr const char* kMinimalCaption = "Minimal Window";

constexpr int kDevice = 1;                  // COM1
constexpr WPARAM kPortIndex = kDevice - 1;  // the program names ports by index 0..3
constexpr DWORD kStampPollMs = 2;           // the resolution of every time taken here
constexpr DWORD kExchangeMs = 90000;        // far above the slowest exchange measured
constexpr DWORD kIdleMs = 10000;            // the idle CPU window

// ---- The bounds: the waits the program's design fixes and the line time of every byte --------

constexpr double kByteMs = 1000.0 * 10 / 1200;  // 8N1 at 1200 baud
constexpr double kFirstTickMs = 1000;           // the progress dialog's timer
constexpr double kDrainMs = 1000;               // an Exchange open drains for its total timeout
constexpr double kReplyGapMs = 10;              // a reply ends by the read's interval timeout
constexpr double kUnansweredReadMs = 6 + 1000 + 4 + 1000;
constexpr double kVerdictAfterUnansweredMs = 3000;  // a save stops within this of the first
constexpr int kHandshakeBytes = 2 * 4;              // OK CR LF, twice
constexpr int kReadFrameBytes = 3;
constexpr int kReplyBytes = 4;
constexpr int kWriteFrameBytes = 5;
constexpr int kRegisters = 49;
constexpr int kSavedRegisters = 47;  // model and channel only after Defaults
constexpr int kTestedReads = 9;      // '?', '>', '0'..'5', '6'
constexpr int kInitRegisters = 32;

// Dialog shown, port opened, handshake, `writes` write frames, `answered` reads answered.
constexpr double ExchangeBoundMs(int writes, int answered)
{
    return kFirstTickMs + kDrainMs +
           kByteMs *
               (kHandshakeBytes + writes * kWriteFrameBytes + answered * (kReadFrameBytes + kReplyBytes)) +
           answered * kReplyGapMs;
}

// ---- Figures -------------------------------------------------------------------------------------

void Print(const char* name, double value, const char* unit, const std::string& bound, const char* what)
{
    printf("%s\t%.3f\t%s\t%s\t%s\n", name, value, unit, bound.c_str(), what);
    fflush(stdout);
}

void PrintBound(const char* name, double value, const char* unit, double bound, const char* what)
{
    char text[32];
    snprintf(text, sizeof text, "%.3f", bound);
    Print(name, value, unit, text, what);
}

void PrintMissing(const char* name, const char* unit, const char* why)
{
    printf("%s\tn/a\t%s\t\t%s\n", name, unit, why);
    fflush(stdout);
    fprintf(stderr, "qbench: %s: %s\n", name, why);
}

double NowMs()
{
    static LARGE_INTEGER frequency = {};
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The time at which condition() was first seen true, polled finely; negative if it never was.
template <class Condition>
double Stamp(Condition condition, DWORD timeoutMs)
{
    const double end = NowMs() + timeoutMs;
    for (;;) {
        if (condition())
            return NowMs();
        if (NowMs() >= end)
            return -1;
        Sleep(kStampPollMs);
    }
}

// The window of `pid` with this caption, hidden or shown, once it exists.
HWND StampWindow(DWORD pid, const char* caption, DWORD timeoutMs, double* at, bool visibleOnly = false)
{
    HWND window = nullptr;
    *at = Stamp([&] { return (window = FindTopWindow(pid, caption, visibleOnly)) != nullptr; }, timeoutMs);
    return window;
}

// ---- The program and the simulator ---------------------------------------------------------------

// One started program, ended whatever happens.
struct Started {
    AppProcess app;
    double launchedAt = 0;
    ~Started() { EndApp(&app); }
};

bool Launch(const std::string& path, Started* started)
{
    started->launchedAt = NowMs();
    return LaunchApp(path, &started->app);
}

// The device as the bench starts it, answering and reading at line speed, and nothing left on
// its line.
bool PrepareDevice()
{
    if (!SimCommand("pace read").ok || !SimResetAll())
        return false;
    DrainComPort(kDevice);
    return SimClear(kDevice);
}

// The device's wire log ("MS rx|tx BYTES..." a line): from its first byte to its last, in ms.
double WireSpanMs(const std::vector<std::string>& log)
{
    return log.empty() ? -1 : atof(log.back().c_str()) - atof(log.front().c_str());
}

// With QBENCH_WIRELOG set to a folder, the device's wire log of each exchange is kept there, one
// file per row, to see where the time goes.
void KeepWireLog(const char* row, const std::vector<std::string>& log)
{
    const char* folder = getenv("QBENCH_WIRELOG");
    if (!folder || !*folder)
        return;
    std::string path = WindowsPath(folder) + "\\";
    for (const char* c = row; *c; ++c)
        path += isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    path += "-run" + std::to_string(RunIndex) + ".log";
    FILE* file = fopen(path.c_str(), "w");
    if (!file)
        return;
    for (const std::string& line : log)
        fprintf(file, "%s\n", line.c_str());
    fclose(file);
}

// The wire span of the exchange just made, printed next to the line time and reply gaps that it
// holds at the least; the rest of the row's time is the program's own.
void PrintWireSpan(const char* row, double boundMs)
{
    const std::vector<std::string> log = SimCommand("log " + std::to_string(kDevice)).lines;
    KeepWireLog(row, log);
    char name[64];
    snprintf(name, sizeof name, "%s: wire span", row);
    PrintBound(name, WireSpanMs(log), "ms", boundMs - kFirstTickMs - kDrainMs,
               "first byte to last byte on the line, from the device's wire log");
}

double CpuMs(HANDLE process)
{
    FILETIME created, ended, kernel, user;
    if (!GetProcessTimes(process, &created, &ended, &kernel, &user))
        return -1;
    const auto ticks = [](const FILETIME& t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
}

// CPU time the process takes over kIdleMs while nobody touches it.
double IdleCpuMs(HANDLE process)
{
    const double before = CpuMs(process);
    Sleep(kIdleMs);  // the measuring window itself, not a wait for anything
    const double after = CpuMs(process);
    return before < 0 || after < 0 ? -1 : after - before;
}

struct Memory {
    double peakWorkingSetKb = -1;
    double peakPagefileKb = -1;
};

Memory PeakMemory(HANDLE process)
{
    Memory memory;
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(process, &counters, sizeof counters)) {
        memory.peakWorkingSetKb = static_cast<double>(counters.PeakWorkingSetSize) / 1024.0;
        memory.peakPagefileKb = static_cast<double>(counters.PeakPagefileUsage) / 1024.0;
    }
    return memory;
}

// How an exchange ended, and when.
struct Ending {
    double ms = -1;       // from the dialog's appearance to the box, or to its end
    std::string boxText;  // the message box on the way, if any
};

// Waits until the progress dialog shown at `shownAt` ends or shows a message box; answers it.
Ending AwaitEnding(DWORD pid, HWND dialog, double shownAt)
{
    Ending ending;
    HWND box = nullptr;
    const double at =
        Stamp([&] { return !IsWindow(dialog) || (box = FindAnyBox(pid)) != nullptr; }, kExchangeMs);
    if (at < 0)
        return ending;
    ending.ms = at - shownAt;
    if (box) {
        ending.boxText = MessageBoxText(box);
        DismissMessageBox(box);
        WaitUntil([&] { return !IsWindow(dialog); });
    }
    return ending;
}

// The program started and the editor opened on the device the way a successful search opens it,
// and its load's ending; the editor once the load has ended without a message, else null.
HWND LoadedEditor(Started* started, Ending* load)
{
    double shownAt = 0;
    HWND main = Launch(AppPath(), started) ? WaitTopWindow(started->app.pid, kMainCaption, 20000) : nullptr;
    HWND dialog = PostToWindow(main, UM_SYNCFOUND, kPortIndex, 0)
                      ? StampWindow(started->app.pid, kLoadCaption, kWaitMs, &shownAt)
                      : nullptr;
    *load = dialog ? AwaitEnding(started->app.pid, dialog, shownAt) : Ending{};
    return load->ms >= 0 && load->boxText.empty() ? WaitTopWindow(started->app.pid, kEditorCaption) : nullptr;
}

// SAVE pressed in a loaded editor; the Saving dialog's ending.
Ending Save(Started* started, HWND editor)
{
    if (!ClickAsync(editor, IDC_SAVE))
        return {};
    double shownAt = 0;
    HWND save = StampWindow(started->app.pid, kSaveCaption, kWaitMs, &shownAt);
    return save ? AwaitEnding(started->app.pid, save, shownAt) : Ending{};
}

// ---- The measurements ----------------------------------------------------------------------------

// Start-up, idle CPU and peak memory of one program, from process creation to its main window.
void StartUp(const char* who, const std::string& path, const char* caption, const char* baseline)
{
    char name[64];
    const auto print = [&](const char* what, double value, const char* unit, const char* about) {
        snprintf(name, sizeof name, "%s %s", what, who);
        Print(name, value, unit, baseline ? std::string("=") + what + " " + baseline : std::string(), about);
    };
    Started started;
    double shownAt = -1;
    if (Launch(path, &started))
        StampWindow(started.app.pid, caption, 20000, &shownAt, true);
    if (shownAt < 0) {
        snprintf(name, sizeof name, "start-up %s", who);
        PrintMissing(name, "ms", "no main window");
        return;
    }
    print("start-up", shownAt - started.launchedAt, "ms", "process created to main window shown");
    print("idle CPU", IdleCpuMs(started.app.process), "ms/10s",
          "CPU time over 10 s with the main window open");
    const Memory memory = PeakMemory(started.app.process);
    print("peak working set", memory.peakWorkingSetKb, "KB", "after start-up and 10 s idle");
    print("peak pagefile", memory.peakPagefileKb, "KB", "after start-up and 10 s idle");
}

void MeasureStartUp()
{
    // Alternated from one run to the next, so that neither program always comes first.
    const bool minimalFirst = RunIndex % 2 == 1;
    if (minimalFirst)
        StartUp("minimal", WindowsPath(MINIMAL_WINDOW_EXE), kMinimalCaption, nullptr);
    StartUp("quorbane", AppPath(), kMainCaption, "minimal");
    if (!minimalFirst)
        StartUp("minimal", WindowsPath(MINIMAL_WINDOW_EXE), kMinimalCaption, nullptr);
}

// The load from the Loading dialog's appearance to its end with the editor filled; then the
// editor left open and idle.
void MeasureLoad()
{
    Started started;
    Ending ending;
    if (!PrepareDevice() || !LoadedEditor(&started, &ending)) {
        PrintMissing("load", "ms", ending.boxText.empty() ? "the load did not end" : ending.boxText.c_str());
        return;
    }
    PrintBound("load", ending.ms, "ms", ExchangeBoundMs(0, kRegisters),
               "first tick, drain, 49 reply gaps, line time of 2 handshakes, 49 reads and replies");
    PrintWireSpan("load", ExchangeBoundMs(0, kRegisters));
    Print("idle CPU editor", IdleCpuMs(started.app.process), "ms/10s", "=idle CPU minimal",
          "CPU time over 10 s with the editor open after a load");
    const Memory memory = PeakMemory(started.app.process);
    Print("peak working set editor", memory.peakWorkingSetKb, "KB", "=peak working set minimal",
          "after a load and 10 s idle");
}

void MeasureSave(const char* name, bool defaults)
{
    Started started;
    Ending load;
    HWND editor = PrepareDevice() ? LoadedEditor(&started, &load) : nullptr;
    if (editor && defaults && !Click(editor, IDC_DEFAULTS))
        editor = nullptr;
    if (editor)
        SimClear(kDevice);  // the wire log of the save alone
    const Ending ending = editor ? Save(&started, editor) : Ending{};
    if (ending.ms < 0 || !ending.boxText.empty()) {
        PrintMissing(name, "ms", ending.boxText.empty() ? "the save did not end" : ending.boxText.c_str());
        return;
    }
    const int writes = defaults ? kRegisters : kSavedRegisters;
    const double bound = ExchangeBoundMs(writes, kRegisters);
    PrintBound(name, ending.ms, "ms", bound,
               defaults ? "as the save, with 49 write frames"
                        : "first tick, drain, handshake, 47 writes, 49 reads and replies, reply gaps");
    PrintWireSpan(name, bound);
}

// The load, then a save from the editor it filled, behind a USB adapter's latency timer of
// 16 ms: each answered read may wait up to one more period for the last burst of its reply.
void MeasureBehindLatency()
{
    constexpr double kLatencyMs = 16;
    Started started;
    Ending ending;
    const bool ready = PrepareDevice() && SimCommand("mode 1 latency 16").ok;
    HWND editor = ready ? LoadedEditor(&started, &ending) : nullptr;
    if (!editor || !SimClear(kDevice)) {
        PrintMissing("load behind 16 ms timer", "ms",
                     ending.boxText.empty() ? "no load" : ending.boxText.c_str());
        return;
    }
    PrintBound("load behind 16 ms timer", ending.ms, "ms",
               ExchangeBoundMs(0, kRegisters) + kRegisters * kLatencyMs,
               "the load's bound and 16 ms for each of 49 reads");
    ending = Save(&started, editor);
    SimCommand("mode 1 normal");
    if (ending.ms < 0 || !ending.boxText.empty()) {
        PrintMissing("save behind 16 ms timer", "ms",
                     ending.boxText.empty() ? "no save" : ending.boxText.c_str());
        return;
    }
    PrintBound("save behind 16 ms timer", ending.ms, "ms",
               ExchangeBoundMs(kSavedRegisters, kRegisters) + kRegisters * kLatencyMs,
               "the save's bound and 16 ms for each of 49 reads");
}

void MeasureSaves()
{
    MeasureSave("save", false);
    MeasureSave("save after Defaults", true);
}

// From the reset banner on the line to the editor opened, in ticks of the search.
void MeasureFind()
{
    Started started;
    HWND main = nullptr, find = nullptr, search = nullptr;
    if (PrepareDevice() && Launch(AppPath(), &started))
        main = WaitTopWindow(started.app.pid, kMainCaption, 20000);
    if (main && PostCommand(main, IDM_FINDSYNC))
        find = WaitTopWindow(started.app.pid, kFindCaption);
    if (find && Click(find, IDC_PORT_COM1) && Click(find, IDOK))
        search = WaitTopWindow(started.app.pid, kSearchCaption);
    if (!search || !WaitControlText(search, IDC_SEARCH_STATUS, "Testing COM1") || !SimReset(kDevice)) {
        PrintMissing("find", "ticks", "the search did not listen on COM1");
        return;
    }
    const double bannerAt = NowMs();  // the reset command returns once the banner has left
    double editorAt = 0;
    if (!StampWindow(started.app.pid, kEditorCaption, 10000, &editorAt)) {
        PrintMissing("find", "ticks", "no editor after the banner");
        return;
    }
    PrintBound("find", (editorAt - bannerAt) / 1000.0, "ticks", 2,
               "recognised on the next tick, the search ends on the one after");
}

// A device fault set before the exchange, and what the design lets the verdict take.
struct Fault {
    const char* name;
    bool save;            // the fault meets a save's read-back, else a load
    const char* command;  // to the simulator, about device 1 (kDevice)
    double boundMs;
    const char* what;
};

constexpr int kStopInInit = kTestedReads + 28;  // answers up to 'k', not 'l'..'o'
constexpr int kStopBeforeComment = kTestedReads + kInitRegisters;

const Fault kFaults[] = {
    {"verdict: silent device (load)", false, "mode 1 silent", ExchangeBoundMs(0, 0) + kUnansweredReadMs,
     "exchange to the first read, which fails after 2 s"},
    {"verdict: stops in init registers (load)", false, "mode 1 stopafter 37",
     ExchangeBoundMs(0, kStopInInit) + kUnansweredReadMs, "37 reads answered, then one unanswered at 2 s"},
    {"verdict: stops in init registers (save read-back)", true, "mode 1 stopafter 37",
     ExchangeBoundMs(kSavedRegisters, kStopInInit) + kVerdictAfterUnansweredMs,
     "exchange to the first unanswered read, then 3 s"},
    {"verdict: stops before the comment (save read-back)", true, "mode 1 stopafter 41",
     ExchangeBoundMs(kSavedRegisters, kStopBeforeComment) + kVerdictAfterUnansweredMs,
     "exchange to the first unanswered read, then 3 s"},
    {"verdict: pulled cable (load)", false, "pull 1 7", ExchangeBoundMs(0, 4) + kUnansweredReadMs,
     "cable out after the handshake and 5 read frames: one failed read"},
};

static_assert(kStopInInit == 37 && kStopBeforeComment == 41, "the rows' stopafter counts");

void MeasureFault(const Fault& fault)
{
    Started started;
    Ending ending;
    if (!PrepareDevice()) {
        PrintMissing(fault.name, "ms", "simulator not ready");
        return;
    }
    if (fault.save) {
        Ending load;
        HWND editor = LoadedEditor(&started, &load);
        if (editor && SimClear(kDevice) && SimCommand(fault.command).ok)
            ending = Save(&started, editor);
    } else if (SimCommand(fault.command).ok) {
        LoadedEditor(&started, &ending);
    }
    KeepWireLog(fault.name, SimCommand("log " + std::to_string(kDevice)).lines);
    SimResetAll();  // plug gives a pulled device a fresh line
    if (ending.ms < 0) {
        PrintMissing(fault.name, "ms", "no verdict");
        return;
    }
    std::string what = fault.what;
    what += ending.boxText.empty() ? "; ended without a message" : "; \"" + ending.boxText + "\"";
    PrintBound(fault.name, ending.ms, "ms", fault.boundMs, what.c_str());
}

void MeasureFaults()
{
    for (const Fault& fault : kFaults)
        MeasureFault(fault);
}

struct Measurement {
    const char* name;
    void (*run)();
};

constexpr Measurement kMeasurements[] = {
    {"startup", MeasureStartUp}, {"load", MeasureLoad},     {"save", MeasureSaves},
    {"find", MeasureFind},       {"faults", MeasureFaults}, {"latency", MeasureBehindLatency},
};

int Usage()
{
    fprintf(stderr, "usage: qbench [--run K] [MEASUREMENT...]; measurements:");
    for (const Measurement& m : kMeasurements)
        fprintf(stderr, " %s", m.name);
    fprintf(stderr, "\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<const Measurement*> chosen;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--run") == 0 && i + 1 < argc) {
            RunIndex = atoi(argv[++i]);
            continue;
        }
        const auto named = [&](const Measurement& m) { return strcmp(m.name, argv[i]) == 0; };
        const Measurement* found = std::find_if(std::begin(kMeasurements), std::end(kMeasurements), named);
        if (found == std::end(kMeasurements))
            return Usage();
        chosen.push_back(found);
    }
    if (chosen.empty()) {
        for (const Measurement& m : kMeasurements)
            chosen.push_back(&m);
    }
    if (!SimCommand("help").ok) {
        fprintf(stderr, "qbench: simulator not reachable (tools/bench up)\n");
        return 1;
    }
    for (const Measurement* m : chosen)
        m->run();
    SimCommand("pace on");  // as the bench starts it, for whoever shares it
    SimResetAll();
    return 0;
}
