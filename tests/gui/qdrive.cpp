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
    ID_ROW(IDC_CHANNEL),   ID_ROW(IDC_START_LABEL),
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

// A subcommand's arguments, with what main has made of them: for a subcommand that names a
// control, argv[0] a caption gives `window` (waited for a moment: it may be just opening) and
// argv[1] an id gives `id`; for one that waits, argv[1] in seconds gives `ms`.
struct Args {
    int argc;
    char** argv;
    HWND window;
    int id;
    DWORD ms;
};

int Launch(const Args& a)
{
    const std::string path = a.argc > 0 ? WindowsPath(a.argv[0]) : AppPath();
    AppProcess app;
    if (!LaunchApp(path, &app, false))
        return Fail("launch", path.c_str());
    printf("%lu\n", app.pid);
    CloseHandle(app.process);  // it goes on running
    return 0;
}

int WaitWindow(const Args& a)
{
    return WaitTopWindow(0, a.argv[0], a.ms) ? 0 : Fail("no window", a.argv[0]);
}

int WaitGone(const Args& a)
{
    return WaitTopWindowGone(0, a.argv[0], a.ms) ? 0 : Fail("window still there", a.argv[0]);
}

int ClickNow(const Args& a)
{
    return Click(a.window, a.id) ? 0 : Fail("cannot click (missing, disabled or no answer)", a.argv[1]);
}

int ClickLater(const Args& a)
{
    return ClickAsync(a.window, a.id) ? 0 : Fail("cannot click (missing, disabled or no answer)", a.argv[1]);
}

int Command(const Args& a)
{
    return PostCommand(a.window, a.id) ? 0 : Fail("cannot post to", a.argv[0]);
}

int Text(const Args& a)
{
    if (!Control(a.window, a.id))
        return Fail("no control", a.argv[1]);
    bool answered = false;
    std::string text = ControlText(a.window, a.id, &answered);
    if (!answered)  // the program is busy: the text the system holds is right for all but edits
        text = CaptionText(Control(a.window, a.id));
    printf("%s\n", text.c_str());
    return 0;
}

int SetText(const Args& a)
{
    return SetControlText(a.window, a.id, a.argv[2]) ? 0 : Fail("cannot set the text of", a.argv[1]);
}

int Keys(const Args& a)
{
    HWND window = WaitTopWindow(0, a.argv[0], 2000);
    return BringToFront(window) && PressKeys(a.argv[1]) ? 0 : Fail("cannot press keys in", a.argv[0]);
}

// WM_CONTEXTMENU for a right-click in the middle of the control.
int ContextMenu(const Args& a)
{
    HWND control = Control(a.window, a.id);
    RECT area = {};
    if (!control || !GetWindowRect(control, &area))
        return Fail("no control", a.argv[1]);
    const LPARAM at = MAKELPARAM((area.left + area.right) / 2, (area.top + area.bottom) / 2);
    return PostToWindow(a.window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(control), at)
               ? 0
               : Fail("cannot post to", a.argv[0]);
}

int MessageText(const Args& a)
{
    HWND box = WaitMessageBox(0, a.argv[0], a.ms);
    if (!box)
        return Fail("no message box", a.argv[0]);
    printf("%s\n", MessageBoxText(box).c_str());
    return 0;
}

int Dismiss(const Args& a)
{
    HWND box = WaitMessageBox(0, a.argv[0], 2000);
    if (!box)
        return Fail("no message box", a.argv[0]);
    return DismissMessageBox(box) ? 0 : Fail("cannot dismiss", a.argv[0]);
}

int Windows(const Args& a)
{
    const bool all = a.argc > 0 && strcmp(a.argv[0], "--all") == 0;
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

int CloseAll(const Args&)
{
    printf("%d\n", EndAllProcesses("quorbane.exe"));
    return 0;
}

enum Takes { kPlain, kControl, kSeconds };  // what main resolves first (see Args)

struct Subcommand {
    const char* name;
    int minArgs;
    int maxArgs;
    Takes takes;
    int (*run)(const Args& a);
    const char* usage;
};

constexpr Subcommand kSubcommands[] = {
    {"launch", 0, 1, kPlain, Launch, "launch [PATH]            start the program, print its pid"},
    {"wait-window", 2, 2, kSeconds, WaitWindow, "wait-window CAPTION SECONDS"},
    {"wait-gone", 2, 2, kSeconds, WaitGone, "wait-gone CAPTION SECONDS"},
    {"click", 2, 2, kControl, ClickNow, "click CAPTION ID          click and wait until handled"},
    {"click-async", 2, 2, kControl, ClickLater, "click-async CAPTION ID    click without waiting"},
    {"command", 2, 2, kControl, Command, "command CAPTION ID        post WM_COMMAND"},
    {"text", 2, 2, kControl, Text, "text CAPTION ID           print a control's text"},
    {"set-text", 3, 3, kControl, SetText, "set-text CAPTION ID TEXT"},
    {"keys", 2, 2, kPlain, Keys, "keys CAPTION KEYS         bring to front, press keys (CTRL+S, ESC)"},
    {"context-menu", 2, 2, kControl, ContextMenu, "context-menu CAPTION ID   right-click on a control"},
    {"msgbox", 2, 2, kSeconds, MessageText,
     "msgbox CAPTION SECONDS    wait for a message box, print its text"},
    {"dismiss", 1, 1, kPlain, Dismiss, "dismiss CAPTION           answer a message box"},
    {"windows", 0, 1, kPlain, Windows,
     "windows [--all]           list top-level windows (--all: hidden too)"},
    {"close-all", 0, 0, kPlain, CloseAll, "close-all                 end every quorbane.exe"},
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
        Args a = {count, argv + 2, nullptr, 0, 0};
        long id = 0;
        if (row.takes == kSeconds && !ParseSeconds(a.argv[1], &a.ms))
            return Fail("bad seconds", a.argv[1]);
        if (row.takes == kControl && !ParseId(a.argv[1], &id))
            return Fail("bad id", a.argv[1]);
        if (row.takes == kControl && !(a.window = WaitTopWindow(0, a.argv[0], 2000)))
            return Fail("no window", a.argv[0]);
        a.id = static_cast<int>(id);
        return row.run(a);
    }
    return Usage();
}
