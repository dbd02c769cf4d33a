// The application shell as the user meets it: start, title and menu, About box, the ways out,
// second instance, and the main window's answers to its private messages.
#include <set>
#include <string>

#include "resources/resource.h"
#include "tests/gui/scenario_fixture.h"

namespace {

using ShellScenario = AppScenario;

// The menu bar: each popup, its one item, the item's command, and the keys that reach it.
struct MenuRow {
    const char* popup;
    const char* item;
    UINT command;
    const char* popupKey;
    const char* itemKey;
};
constexpr MenuRow kMenuRows[] = {
    {"&File", "E&xit", IDM_EXIT, "ALT+F", "X"},
    {"&Synchronizer", "&Find Synchronizer", IDM_FINDSYNC, "ALT+S", "F"},
    {"&Help", "&About...", IDM_ABOUT, "ALT+H", "A"},
};
constexpr int kMenuRowCount = static_cast<int>(sizeof kMenuRows / sizeof kMenuRows[0]);

std::string MenuText(HMENU menu, UINT position)
{
    char text[64] = {};
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

// Chooses the row's item with its keys, as a user would: the popup's keys, then the item key once
// the popup is open, so that the key goes to it.
bool ChooseFromMenu(HWND main, const MenuRow& row)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(main, &pid);
    return BringToFront(main) && PressKeys(row.popupKey) && WaitTopWindowOfClass(pid, "#32768", nullptr) &&
           PressKeys(row.itemKey);
}

// Another process cannot read a window's menu, so the menu is read from the program's
// resources and then used through the keyboard on the live window.
TEST_F(ShellScenario, MainWindowHasTitleAndThreePopups)
{
    HMODULE image = LoadLibraryExA(AppPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(image, nullptr) << AppPath();
    HMENU bar = LoadMenuA(image, "QUORBANE");
    ASSERT_NE(bar, nullptr) << "no menu QUORBANE in the program";
    EXPECT_EQ(GetMenuItemCount(bar), kMenuRowCount);
    for (int i = 0; i < kMenuRowCount && i < GetMenuItemCount(bar); ++i) {
        SCOPED_TRACE(kMenuRows[i].popup);
        EXPECT_EQ(MenuText(bar, i), kMenuRows[i].popup);
        HMENU popup = GetSubMenu(bar, i);
        ASSERT_NE(popup, nullptr);
        ASSERT_EQ(GetMenuItemCount(popup), 1);
        EXPECT_EQ(MenuText(popup, 0), kMenuRows[i].item);
        EXPECT_EQ(GetMenuItemID(popup, 0), kMenuRows[i].command);
    }
    DestroyMenu(bar);
    FreeLibrary(image);

    ASSERT_TRUE(Start());
    EXPECT_EQ(CaptionText(main_), kMainCaption);
    char className[32] = {};
    GetClassNameA(main_, className, sizeof className);
    EXPECT_STREQ(className, "Quorbane");
    EXPECT_NE(GetMenu(main_), nullptr) << "the main window has no menu";
}

// What each menu item opens, reached with its keys as a user would (File, Exit is a way out below).
TEST_F(ShellScenario, MenuItemsOpenTheirDialogsFromTheKeyboard)
{
    struct OpenRow {
        int menuRow;
        const char* opens;
        int closeButton;
    };
    constexpr OpenRow kOpenRows[] = {{2, kAboutCaption, IDOK}, {1, kFindCaption, IDCANCEL}};
    ASSERT_TRUE(Start());
    for (const OpenRow& row : kOpenRows) {
        const MenuRow& menu = kMenuRows[row.menuRow];
        SCOPED_TRACE(menu.item);
        ASSERT_TRUE(ChooseFromMenu(main_, menu));
        HWND dialog = WaitTopWindow(Pid(), row.opens);
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(Click(dialog, row.closeButton));
        ASSERT_TRUE(WaitTopWindowGone(Pid(), row.opens));
    }
}

TEST_F(ShellScenario, AboutBoxShowsVersionAndClosesWithOk)
{
    ASSERT_TRUE(Start());
    ASSERT_TRUE(PostCommand(main_, IDM_ABOUT));
    HWND about = WaitTopWindow(Pid(), kAboutCaption);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(GetWindow(about, GW_OWNER), main_);
    EXPECT_EQ(CaptionText(Control(about, IDC_VERSION)), QUORBANE_VERSION);

    // Ctrl+Q belongs to the main window's message loop: in an open dialog it does nothing.
    ASSERT_TRUE(BringToFront(about));
    // Keys are handled in the order they were pressed: once the Enter behind Ctrl+Q has closed
    // the box, Ctrl+Q has been handled too.
    ASSERT_TRUE(PressKeys("CTRL+Q"));
    ASSERT_TRUE(PressKeys("ENTER"));
    EXPECT_TRUE(WaitTopWindowGone(Pid(), kAboutCaption));
    EXPECT_TRUE(AppAlive(App()));
    EXPECT_TRUE(Responds(main_));
}

// Every way out ends the process with exit code 0; a command line that names no list of ports
// ends it with exit code 2 after its box, with no main window.
struct ExitRow {
    const char* name;
    bool (*leave)(HWND main);
    const char* arguments = "";
    const char* refused = nullptr;  // the word the box names
};
constexpr ExitRow kExitRows[] = {
    {"File, Exit from the keyboard", [](HWND main) { return ChooseFromMenu(main, kMenuRows[0]); }},
    {"Ctrl+Q", [](HWND main) { return BringToFront(main) && PressKeys("CTRL+Q"); }},
    {"close box", [](HWND main) { return PostToWindow(main, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    {"no port", nullptr, "COM1 LPT1", "LPT1"},
    {"a fifth port", nullptr, "COM1 COM2 COM3 COM4 COM12", "COM12"},
    {"a port twice", nullptr, "COM3 \\\\.\\com3", "\\\\.\\com3"},
};

TEST_F(ShellScenario, EveryWayOutEndsWithExitCodeZero)
{
    for (const ExitRow& row : kExitRows) {
        SCOPED_TRACE(row.name);
        AppProcess& app = Launch(row.arguments);
        HWND box = row.refused ? WaitMessageBox(app.pid, "Quorbane") : nullptr;
        if (row.refused) {
            EXPECT_EQ(MessageBoxText(box),
                      std::string("Can't use \"") + row.refused +
                          "\": give up to four serial ports, COM1 to COM256, each once.");
            EXPECT_EQ(FindTopWindow(app.pid, kMainCaption, false), nullptr);
        }
        HWND main = row.refused ? nullptr : WaitMainWindow(app);
        ASSERT_TRUE(row.refused ? DismissMessageBox(box) : main && row.leave(main));
        DWORD code = 99;
        ASSERT_TRUE(WaitAppExit(app, kWaitMs, &code)) << "the program did not end";
        EXPECT_EQ(code, row.refused ? 2u : 0u);
    }
}

TEST_F(ShellScenario, SecondInstanceRunsBesideTheFirst)
{
    ASSERT_TRUE(Start());
    AppProcess& second = Launch();
    HWND secondMain = WaitMainWindow(second);
    ASSERT_NE(secondMain, nullptr) << "the second instance shows no main window";
    EXPECT_NE(secondMain, main_);
    EXPECT_TRUE(AppAlive(App()));
    EXPECT_TRUE(AppAlive(second));
    EXPECT_TRUE(Responds(main_));
    EXPECT_TRUE(Responds(secondMain));
}

// Commands the main window does not list go to the default procedure and do nothing. A posted
// About command behind them shows when they have been handled.
TEST_F(ShellScenario, UnknownCommandsDoNothing)
{
    constexpr int kUnknownIds[] = {0, IDOK, IDCANCEL, 515, 517, 999, 1001, 1099, 1101, UM_FINDSYNC, 0xFFFF};
    ASSERT_TRUE(Start());
    for (int id : kUnknownIds)
        ASSERT_TRUE(PostCommand(main_, id));
    ASSERT_TRUE(PostCommand(main_, IDM_ABOUT));
    // The commands are handled in the order they were posted: once the About box is up, whatever
    // the unknown ones did has been done.
    HWND about = WaitTopWindow(Pid(), kAboutCaption);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(VisibleCaptions(), (std::multiset<std::string>{kMainCaption, kAboutCaption}));
    ASSERT_TRUE(Click(about, IDOK));
    EXPECT_TRUE(WaitTopWindowGone(Pid(), kAboutCaption));
    EXPECT_TRUE(AppAlive(App()));
}

TEST_F(ShellScenario, SyncNotFoundShowsExactlyOneFailureBox)
{
    ASSERT_TRUE(Start());
    ASSERT_TRUE(PostToWindow(main_, UM_SYNCNOTFOUND, 1, 0));
    HWND box = WaitMessageBox(Pid(), kFailureCaption);
    ASSERT_NE(box, nullptr);
    // The test posts nothing else: a second box could only follow this one, which the About
    // command posted behind it checks below.
    EXPECT_EQ(TopWindows(Pid(), kFailureCaption).size(), 1u);
    EXPECT_EQ(VisibleCaptions().size(), 2u) << "besides the box something else opened";
    EXPECT_EQ(MessageBoxText(box), kNotFoundText);
    EXPECT_EQ(GetWindow(box, GW_OWNER), main_);
    EXPECT_TRUE(ControlVisible(box, IDOK));
    EXPECT_FALSE(ControlVisible(box, IDCANCEL)) << "MB_OK has no Cancel button";
    ASSERT_TRUE(DismissMessageBox(box));
    EXPECT_TRUE(WaitTopWindowGone(Pid(), kFailureCaption));

    // Nothing follows the box: behind a posted About command, only the About box opens.
    ASSERT_TRUE(PostCommand(main_, IDM_ABOUT));
    HWND about = WaitTopWindow(Pid(), kAboutCaption);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(FindTopWindow(Pid(), kFailureCaption), nullptr);
    EXPECT_EQ(VisibleCaptions().size(), 2u);
    EXPECT_TRUE(Click(about, IDOK));
}

// UM_FINDSYNC opens the search whatever its wParam. No port selection ran in this process, so
// the search has no candidate and ends on its first tick with the failure box.
TEST_F(ShellScenario, FindSyncMessageOpensTheSearch)
{
    ASSERT_TRUE(Start());
    ASSERT_TRUE(PostToWindow(main_, UM_FINDSYNC, 7, 0));
    HWND search = WaitTopWindow(Pid(), kSearchCaption);
    ASSERT_NE(search, nullptr);
    EXPECT_EQ(GetWindow(search, GW_OWNER), main_);
    ExpectNotFoundBox();
    EXPECT_EQ(FindTopWindow(Pid(), kSearchCaption, false), nullptr);
    EXPECT_TRUE(AppAlive(App()));
}

}  // namespace
