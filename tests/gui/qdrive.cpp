// qdrive: one action on the running program per invocation, for scripts (the headless demo).
// Windows are named by their exact caption; controls and commands by number or by their name in
// resources/resource.h (IDOK, IDM_ABOUT, IDC_PORT_COM3...). Exit code 0 on success; otherwise a
// message on stderr and exit code 1 (2 for a usage error).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "resources/resource.h"
#include "tests/gui/gui_driver.h"

namespace {

struct IdName {
    const char* name;
    long value;
};

#define ID_ROW(name) \
    {                \
#name, name  \
    }
constexpr IdName kIdNames[] = {
    ID_ROW(IDOK),          ID_ROW(IDCANCEL),          ID_ROW(IDM_FINDSYNC),    ID_ROW(IDM_EXIT),
    ID_ROW(IDM_ABOUT),     ID_ROW(IDC_VERSION),       ID_ROW(IDC_PORT_GROUP),  ID_ROW(IDC_PORT_AUTO),
    ID_ROW(IDC_PORT_COM1), ID_ROW(IDC_PORT_COM2),     ID_ROW(IDC_PORT_COM3),   ID_ROW(IDC_PORT_COM4),
    ID_ROW(IDC_PROGRESS),  ID_ROW(IDC_SEARCH_STATUS), ID_ROW(IDC_SAVE_STATUS), ID_ROW(IDC_START_FRAME),
    ID_ROW(IDC_END_FRAME), ID_ROW(IDC_SYNCHRONIZE),   ID_ROW(IDC_COMMENT),     ID_ROW(IDC_INIT1),
    ID_ROW(IDC_INIT2),     ID_ROW(IDC_INIT3),         ID_ROW(IDC_INIT4),       ID_ROW(IDC_LOAD),
    ID_ROW(IDC_DEFAULTS),  ID_ROW(IDC_SAVE),          ID_ROW(IDC_BAUD),        ID_ROW(IDC_MODEL),
    ID_ROW(IDC_CHANNEL),   ID_ROW(UM_FINDSYNC),       ID_ROW(UM_SYNCFOUND),    ID_ROW(UM_SYNCNOTFOUND),
};
#undef ID_ROW

// A number (decimal, or hex with 0x) or a name from the table.
bool ParseId(const char* text, long* value)
{
    for (const IdName& row : kIdNames) {
        if (_stricmp(row.name, text) == 0) {
            *value = row.value;
            return true;
        }
    }
    char* end = nullptr;
    *value = strtol(text, &end, 0);
    return end != text && *end == '\0';
}

bool ParseSeconds(const char* text, DWORD* milliseconds)
{
    char* end = nullptr;
    const double seconds = strtod(text, &end);
    if (end == text || *end != '\0' || seconds < 0 || seconds > 3600)
        return false;
    *milliseconds = static_cast<DWORD>(seconds * 1000);
    return true;
}

int Fail(const char* what, const char* detail)
{
    fprintf(stderr, "qdrive: %s: %s\n", what, detail);
    return 1;
}

// The window named by a caption, waited for a moment (it may be just opening).
HWND Window(const char* caption)
{
    return WaitTopWindow(0, caption, 2000);
}

// argv[0] a caption, argv[1] an id: the window and the id, or the exit code of the failure.
int WindowAndId(char** argv, HWND* window, int* id)
{
    long value = 0;
    if (!ParseId(argv[1], &value))
        return Fail("bad id", argv[1]);
    *window = Window(argv[0]);
    if (!*window)
        return Fail("no window", argv[0]);
    *id = static_cast<int>(value);
    return 0;
}

int Launch(int argc, char** argv)
{
    const std::string path = argc > 0 ? WindowsPath(argv[0]) : AppPath();
    AppProcess app;
    if (!LaunchApp(path, &app, false))
        return Fail("launch", path.c_str());
    printf("%lu\n", app.pid);
    CloseHandle(app.process);  // it goes on running
    return 0;
}

int WaitWindow(int, char** argv)
{
    DWORD ms = 0;
    if (!ParseSeconds(argv[1], &ms))
        return Fail("bad seconds", argv[1]);
    return WaitTopWindow(0, argv[0], ms) ? 0 : Fail("no window", argv[0]);
}

int WaitGone(int, char** argv)
{
    DWORD ms = 0;
    if (!ParseSeconds(argv[1], &ms))
        return Fail("bad seconds", argv[1]);
    return WaitTopWindowGone(0, argv[0], ms) ? 0 : Fail("window still there", argv[0]);
}

int ClickWith(char** argv, bool async)
{
    HWND window = nullptr;
    int id = 0;
    if (const int failed = WindowAndId(argv, &window, &id))
        return failed;
    const bool done = async ? ClickAsync(window, id) : Click(window, id);
    return done ? 0 : Fail("cannot click (missing, disabled or no answer)", argv[1]);
}

int ClickNow(int, char** argv)
{
    return ClickWith(argv, false);
}
int ClickLater(int, char** argv)
{
    return ClickWith(argv, true);
}

int Command(int, char** argv)
{
    HWND window = nullptr;
    int id = 0;
    if (const int failed = WindowAndId(argv, &window, &id))
        return failed;
    return PostCommand(window, id) ? 0 : Fail("cannot post to", argv[0]);
}

int Post(int argc, char** argv)
{
    long message = 0, wParam = 0, lParam = 0;
    if (!ParseId(argv[1], &message) || (argc > 2 && !ParseId(argv[2], &wParam)) ||
        (argc > 3 && !ParseId(argv[3], &lParam)))
        return Fail("bad number", argv[1]);
    HWND window = Window(argv[0]);
    if (!window)
        return Fail("no window", argv[0]);
    return PostToWindow(window, static_cast<UINT>(message), static_cast<WPARAM>(wParam), lParam)
               ? 0
               : Fail("cannot post to", argv[0]);
}

int Text(int, char** argv)
{
    HWND window = nullptr;
    int id = 0;
    if (const int failed = WindowAndId(argv, &window, &id))
        return failed;
    if (!Control(window, id))
        return Fail("no control", argv[1]);
    bool answered = false;
    std::string text = ControlText(window, id, &answered);
    if (!answered)  // the program is busy: the text the system holds is right for all but edits
        text = CaptionText(Control(window, id));
    printf("%s\n", text.c_str());
    return 0;
}

int SetText(int, char** argv)
{
    HWND window = nullptr;
    int id = 0;
    if (const int failed = WindowAndId(argv, &window, &id))
        return failed;
    return SetControlText(window, id, argv[2]) ? 0 : Fail("cannot set the text of", argv[1]);
}

int Checked(int, char** argv)
{
    HWND window = nullptr;
    int id = 0;
    if (const int failed = WindowAndId(argv, &window, &id))
        return failed;
    const int state = CheckState(window, id);
    if (state < 0)
        return Fail("no answer from", argv[1]);
    printf("%d\n", state);
    return 0;
}

int Keys(int argc, char** argv)
{
    for (int i = 0; i < argc; ++i) {
        if (!PressKeys(argv[i]))
            return Fail("cannot press", argv[i]);
        Sleep(50);  // let each combination be taken before the next
    }
    return 0;
}

int Front(int, char** argv)
{
    HWND window = Window(argv[0]);
    if (!window)
        return Fail("no window", argv[0]);
    return BringToFront(window, 3000) ? 0 : Fail("cannot bring to the front", argv[0]);
}

int MessageText(int, char** argv)
{
    DWORD ms = 0;
    if (!ParseSeconds(argv[1], &ms))
        return Fail("bad seconds", argv[1]);
    HWND box = WaitMessageBox(0, argv[0], ms);
    if (!box)
        return Fail("no message box", argv[0]);
    printf("%s\n", MessageBoxText(box).c_str());
    return 0;
}

int Dismiss(int, char** argv)
{
    HWND box = WaitMessageBox(0, argv[0], 2000);
    if (!box)
        return Fail("no message box", argv[0]);
    return DismissMessageBox(box) ? 0 : Fail("cannot dismiss", argv[0]);
}

int Windows(int argc, char** argv)
{
    const bool all = argc > 0 && strcmp(argv[0], "--all") == 0;
    for (HWND window : TopWindows(0, nullptr, !all)) {
        const std::string caption = CaptionText(window);
        if (caption.empty())
            continue;
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        printf("%lu\t%s%s\n", pid, caption.c_str(), IsWindowVisible(window) ? "" : "\t(hidden)");
    }
    return 0;
}

int CloseAll(int, char**)
{
    printf("%d\n", EndAllProcesses("quorbane.exe"));
    return 0;
}

struct Subcommand {
    const char* name;
    int minArgs;
    int maxArgs;
    int (*run)(int argc, char** argv);
    const char* usage;
};

constexpr Subcommand kSubcommands[] = {
    {"launch", 0, 1, Launch, "launch [PATH]            start the program, print its pid"},
    {"wait-window", 2, 2, WaitWindow, "wait-window CAPTION SECONDS"},
    {"wait-gone", 2, 2, WaitGone, "wait-gone CAPTION SECONDS"},
    {"click", 2, 2, ClickNow, "click CAPTION ID          click and wait until handled"},
    {"click-async", 2, 2, ClickLater, "click-async CAPTION ID    click without waiting"},
    {"command", 2, 2, Command, "command CAPTION ID        post WM_COMMAND"},
    {"post", 2, 4, Post, "post CAPTION MSG [WPARAM [LPARAM]]"},
    {"text", 2, 2, Text, "text CAPTION ID           print a control's text"},
    {"set-text", 3, 3, SetText, "set-text CAPTION ID TEXT"},
    {"checked", 2, 2, Checked, "checked CAPTION ID        print 0 or 1"},
    {"keys", 1, 16, Keys, "keys COMBO...             e.g. CTRL+Q ESC"},
    {"front", 1, 1, Front, "front CAPTION             bring to the foreground"},
    {"msgbox", 2, 2, MessageText, "msgbox CAPTION SECONDS    wait for a message box, print its text"},
    {"dismiss", 1, 1, Dismiss, "dismiss CAPTION           answer a message box"},
    {"windows", 0, 1, Windows, "windows [--all]           list top-level windows (--all: hidden too)"},
    {"close-all", 0, 0, CloseAll, "close-all                 end every quorbane.exe"},
};

int Usage()
{
    fprintf(stderr, "usage: qdrive SUBCOMMAND ARGS...\n");
    for (const Subcommand& row : kSubcommands)
        fprintf(stderr, "  %s\n", row.usage);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage();
    for (const Subcommand& row : kSubcommands) {
        if (strcmp(row.name, argv[1]) != 0)
            continue;
        const int count = argc - 2;
        if (count < row.minArgs || count > row.maxArgs)
            return Usage();
        return row.run(count, argv + 2);
    }
    return Usage();
}
