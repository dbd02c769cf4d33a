// The search for the synchronizer's reset banner, with one candidate (COM3) so that listening
// time is spent only where it is the point: the full listening period without a banner, Cancel,
// which bytes around the banner still let it be recognised, and a burst of noise.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ostream>
#include <string>
#include <thread>

#include "resources/resource.h"
#include "tests/gui/scenario_fixture.h"
#include "tests/support/com_access.h"
#include "tests/support/sim_control.h"

namespace {

constexpr int kDevice = 3;  // COM3
constexpr int kStep = 4;    // progress per tick
const std::string kBanner = "ATS0=1\n\r";
const std::string kBannerCrFirst = "ATS0=1\r\n";

std::vector<unsigned char> Bytes(const std::string& text)
{
    return std::vector<unsigned char>(text.begin(), text.end());
}

class SearchScenario : public SimScenario {
protected:
    // Only COM3 present, the program started (or taken over from the row before), the port
    // selection run with Auto Detect and the search under way with COM3 open. Null if any step
    // failed (the failure is recorded).
    HWND StartOnCom3()
    {
        TakeOver(kDevice);
        HWND find = StartFind({kDevice});
        return find ? SearchFrom(find) : nullptr;
    }

    HWND SearchFrom(HWND find)
    {
        HWND search = FindNow(find);
        EXPECT_NE(search, nullptr) << "no Searching dialog";
        if (search && !WaitTesting(search, "COM3")) {
            ADD_FAILURE() << "COM3 not under test: " << CaptionText(Control(search, IDC_SEARCH_STATUS));
            return nullptr;
        }
        return search;
    }

    // Waits for a tick to end, so that what is sent next is read on the following tick. The
    // tick runs whole inside the program's timer procedure, and the bar answers the new position
    // only once the program's thread takes messages again, after the tick's read. Returns the
    // progress of that tick, -1 if the search ended.
    int AfterNextTick(HWND search) { return WaitNextTick(search, ProgressPosition(search, IDC_PROGRESS)); }

    // Three ticks after bytes were sent at progress `sentAt`: a recognised banner would have ended
    // the search by then (read on the first, reported on the second).
    void WaitThreeTicks(HWND search, int sentAt)
    {
        WaitUntil([&] {
            return !IsWindow(search) || ProgressPosition(search, IDC_PROGRESS) >= sentAt + 3 * kStep;
        });
    }

    // Still searching, and neither the editor nor a failure box has appeared.
    void ExpectStillSearching(HWND search)
    {
        EXPECT_TRUE(IsWindow(search) && IsWindowVisible(search)) << "the search ended";
        EXPECT_EQ(FindTopWindow(Pid(), kEditorCaption, false), nullptr) << "the banner was recognised";
        EXPECT_EQ(FindTopWindow(Pid(), kFailureCaption), nullptr);
    }

    void CancelSearch(HWND search)
    {
        ASSERT_TRUE(Click(search, IDCANCEL));
        ExpectNotFoundBox();
        EXPECT_EQ(FindTopWindow(Pid(), kSearchCaption, false), nullptr);
    }
};

// No banner: the only candidate is listened to for 25 ticks (progress 4 to 100 in steps of 4),
// and the failure box comes about 26 seconds after it was opened: no sooner than 24, no later
// than 28.
TEST_F(SearchScenario, NoBannerEndsInNotFoundAfterTheListeningTime)
{
    HWND search = StartOnCom3();
    ASSERT_NE(search, nullptr);
    const ULONGLONG opened = GetTickCount64();
    int highest = 0;
    std::vector<int> offStep;
    const bool ended = WaitUntil(
        [&] {
            if (FindTopWindow(Pid(), kFailureCaption))
                return true;
            const int position = ProgressPosition(search, IDC_PROGRESS);
            if (position > 0 && position % kStep != 0)
                offStep.push_back(position);
            highest = std::max(highest, position);
            return false;
        },
        60000);
    const double seconds = (GetTickCount64() - opened) / 1000.0;
    printf("no banner: failure box %.1f s after COM3 was opened\n", seconds);
    ASSERT_TRUE(ended) << "no failure box";
    EXPECT_GE(seconds, 24.0);
    EXPECT_LE(seconds, 35.0);  // 25 ticks and the open, with room for a loaded machine
    EXPECT_EQ(highest, 100);
    EXPECT_TRUE(offStep.empty()) << "progress off its steps, e.g. " << offStep.front();
    EXPECT_TRUE(SimFrames(kDevice).empty()) << "the search wrote to the port";
    ExpectNotFoundBox();
}

// COM3's settings as the port reads them back, as one comparable text; DTR and RTS control left
// out, as a pseudo-terminal reports both enabled whatever is set.
std::string PortLineText()
{
    DCB dcb;
    return ReadPortDcb(kDevice, &dcb) ? DcbText(dcb, true, false) : "COM3 cannot be opened";
}

// Cancel while COM3 is open: the failure box at once, and COM3 has its former settings back.
TEST_F(SearchScenario, CancelClosesAndRestoresThePort)
{
    // Settings of our own on COM3, far from the program's 1200 baud, one stop bit, no flow control.
    DCB original;
    ASSERT_TRUE(ReadPortDcb(kDevice, &original));
    DCB ours = original;
    ours.BaudRate = CBR_9600;
    ours.StopBits = TWOSTOPBITS;
    ours.fOutX = 1;
    ours.fInX = 1;
    ours.fOutxCtsFlow = 1;
    ours.fRtsControl = RTS_CONTROL_HANDSHAKE;
    ASSERT_TRUE(WritePortDcb(kDevice, ours));
    const std::string before = DcbText(ours, true, false);
    ASSERT_EQ(PortLineText(), before) << "the port does not keep these settings";

    HWND search = StartOnCom3();
    ASSERT_NE(search, nullptr);
    // While the search holds it, the port runs in the synchronizer's settings.
    EXPECT_EQ(PortLineText(), DcbText(SyncLine(), true, false));

    const ULONGLONG pressed = GetTickCount64();
    ASSERT_TRUE(Click(search, IDCANCEL));
    HWND box = WaitMessageBox(Pid(), kFailureCaption, 10000);  // far short of the 26 s a port takes
    printf("cancel: failure box %.2f s after Cancel\n", (GetTickCount64() - pressed) / 1000.0);
    ASSERT_NE(box, nullptr);
    ExpectNotFoundBox();

    EXPECT_EQ(PortLineText(), before);
    EXPECT_TRUE(WritePortDcb(kDevice, original));
}

// What arrives on the line around the banner, and whether the search recognises it.
struct RecognitionRow {
    const char* name;
    std::string before;  // bytes sent just before the banner
    bool crFirst;        // the banner with CR before LF
    std::string after;   // bytes sent just after it
    int noise;           // a burst of the simulator's noise (no 'A', no zero) before the banner
    bool split;          // first half, a tick, then the rest
    bool recognised;
};

const RecognitionRow kRecognitionRows[] = {
    {"QuietLine", "", false, "", 0, false, true},
    {"TextWithoutAOrZero", "xyz\r\n?05\x07\xff\x80", false, "", 0, false, true},
    {"NoiseBurstBefore", "", false, "", 60, false, true},
    {"NoiseBurstLongerThanTheGatheredBytes", "", false, "", 400, false, true},
    {"SplitOverTwoTicks", "", false, "", 0, true, true},
    {"LetterABefore", "A", false, "", 0, false, false},
    {"LetterAInText", "xyAz", false, "", 0, false, false},
    {"ZeroByteBefore", std::string("x\0y", 3), false, "", 0, false, false},
    {"ByteAfter", "", false, "x", 0, false, false},
    {"RepeatedBanner", "", false, "ATS0=1\n\r", 0, false, false},
    {"CrBeforeLf", "", true, "", 0, false, false},
};

// Names the row in test output.
void PrintTo(const RecognitionRow& row, std::ostream* out)
{
    *out << row.name;
}

class RecognitionScenario : public SearchScenario, public ::testing::WithParamInterface<RecognitionRow> {};

TEST_P(RecognitionScenario, BannerIsRecognisedOnlyWhenExact)
{
    const RecognitionRow& row = GetParam();
    HWND search = StartOnCom3();
    ASSERT_NE(search, nullptr);
    int sentAt = AfterNextTick(search);
    ASSERT_GT(sentAt, 0);

    const std::string line = row.before + (row.crFirst ? kBannerCrFirst : kBanner) + row.after;
    if (row.split) {
        const size_t half = line.size() / 2;
        ASSERT_TRUE(SimSend(kDevice, Bytes(line.substr(0, half))));
        sentAt = AfterNextTick(search);  // the first half is read on this tick
        ASSERT_GT(sentAt, 0);
        ASSERT_TRUE(SimSend(kDevice, Bytes(line.substr(half))));
    } else if (row.noise > 0) {
        ASSERT_TRUE(SimCommandOn(kDevice, "noise", std::to_string(row.noise)).ok);
        ASSERT_TRUE(SimSend(kDevice, Bytes(line)));
    } else if (row.before.empty() && row.after.empty()) {
        ASSERT_TRUE(SimReset(kDevice, row.crFirst));
    } else {
        ASSERT_TRUE(SimSend(kDevice, Bytes(line)));
    }
    WaitThreeTicks(search, sentAt);

    if (row.recognised) {
        ExpectFoundOn(kDevice, false);  // the load itself is checked elsewhere
        return;
    }
    ExpectStillSearching(search);
    if (HasFailure())
        return;
    // The port stays spoilt for the rest of its listening time: a clean banner now is not
    // recognised either.
    sentAt = AfterNextTick(search);
    ASSERT_TRUE(SimReset(kDevice));
    WaitThreeTicks(search, sentAt);
    ExpectStillSearching(search);
    CancelSearch(search);
    if (!HasFailure())
        HandOn(kDevice, main_);  // back at the main window: the next row needs no fresh program
}

INSTANTIATE_TEST_SUITE_P(Rows, RecognitionScenario, ::testing::ValuesIn(kRecognitionRows),
                         [](const ::testing::TestParamInfo<RecognitionRow>& info) {
                             return std::string(info.param.name);
                         });

// The texts a static control shows, in order, watched from another thread of this process. The
// text of a static is read without the program's thread, so even a text that stands only during
// one tick (for the length of one short read) is seen.
class TextWatch {
public:
    explicit TextWatch(HWND control) : control_(control)
    {
        thread_ = std::thread([this] { Run(); });
    }
    ~TextWatch() { Stop(); }
    void Stop()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    bool Saw(const std::string& text) const
    {
        return std::find(texts_.begin(), texts_.end(), text) != texts_.end();
    }
    std::string All() const
    {
        std::string all;
        for (const std::string& text : texts_)
            all += " \"" + text + "\"";
        return all;
    }

private:
    void Run()
    {
        // One more look after Stop: the text the caller has just waited for is seen even when
        // this thread had no turn since it appeared.
        for (bool last = false; !last && IsWindow(control_); Sleep(0)) {
            last = stop_;
            const std::string text = CaptionText(control_);
            if (texts_.empty() || texts_.back() != text)
                texts_.push_back(text);
        }
    }
    HWND control_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::vector<std::string> texts_;
};

// A banner sent before the port was opened is lost (the open drains the line), and it leaves
// nothing behind: a banner sent after the open is recognised. The status line of the open's tick
// counts the drained bytes.
TEST_F(SearchScenario, BannerBeforeTheOpenIsLost)
{
    HWND find = StartFind({kDevice});
    ASSERT_NE(find, nullptr);
    ASSERT_TRUE(SimReset(kDevice));
    HWND search = FindNow(find);
    ASSERT_NE(search, nullptr);
    TextWatch status(Control(search, IDC_SEARCH_STATUS));
    ASSERT_TRUE(WaitTesting(search, "COM3"));
    const int openedAt = ProgressPosition(search, IDC_PROGRESS);
    status.Stop();
    EXPECT_TRUE(status.Saw("Testing COM3 (" + std::to_string(kBanner.size()) + ")")) << status.All();
    EXPECT_TRUE(status.Saw("Testing COM3")) << status.All();
    WaitThreeTicks(search, openedAt);
    ExpectStillSearching(search);

    AfterNextTick(search);
    ASSERT_TRUE(SimReset(kDevice));
    ExpectFoundOn(kDevice);
}

// A candidate that cannot be opened costs one tick: COM2, present when the ports were probed, is
// gone when the search comes to it; the bar shows 4 for it and the next tick opens COM3.
TEST_F(SearchScenario, PortThatFailsToOpenIsSkippedAfterOneTick)
{
    HWND find = StartFind({2, kDevice});
    ASSERT_NE(find, nullptr);
    ASSERT_TRUE(SimPlug(2, false));
    HWND search = FindNow(find);
    ASSERT_NE(search, nullptr);
    int highestOnCom2 = 0;
    bool sawCom2 = false;
    ASSERT_TRUE(WaitUntil([&] {
        const std::string status = CaptionText(Control(search, IDC_SEARCH_STATUS));
        if (status.compare(0, 12, "Testing COM3") == 0)
            return true;
        if (status.compare(0, 12, "Testing COM2") == 0) {
            sawCom2 = true;
            highestOnCom2 = std::max(highestOnCom2, ProgressPosition(search, IDC_PROGRESS));
        }
        return false;
    })) << "COM3 never came under test";
    EXPECT_TRUE(sawCom2) << "COM2 was not tried";
    EXPECT_EQ(highestOnCom2, kStep) << "COM2 was kept beyond its one tick";
    EXPECT_EQ(ProgressPosition(search, IDC_PROGRESS), kStep);
    CancelSearch(search);
}

// IDOK, which no button carries, ends the search: with the port under test found, or not found
// when it comes before the first candidate was opened.
TEST_F(SearchScenario, OkEndsTheSearch)
{
    HWND find = StartFind({kDevice});
    ASSERT_NE(find, nullptr);
    HWND search = FindNow(find);
    ASSERT_NE(search, nullptr);
    // At once: the first tick comes a second after the dialog opened. Which came first shows in
    // the outcome: the editor loads from COM3 only if COM3 was under test.
    ASSERT_TRUE(PostCommand(search, IDOK));
    ASSERT_TRUE(WaitUntil([&] {
        return FindTopWindow(Pid(), kFailureCaption) || FindTopWindow(Pid(), kEditorCaption, false);
    }));
    if (FindTopWindow(Pid(), kFailureCaption)) {
        ExpectNotFoundBox();
        EXPECT_TRUE(SimFrames(kDevice).empty());
    } else {
        printf("IDOK came after the first tick\n");
        ExpectFoundOn(kDevice);
    }
    ASSERT_FALSE(HasFailure());

    find = OpenFindDialog();
    ASSERT_NE(find, nullptr);
    search = SearchFrom(find);
    ASSERT_NE(search, nullptr);
    ASSERT_TRUE(PostCommand(search, IDOK));
    ExpectFoundOn(kDevice);  // no banner was sent
}

// Thousands of noise bytes while the search listens: the program keeps ticking and answering,
// and Cancel still works.
TEST_F(SearchScenario, NoiseBurstNeitherCrashesNorBlocks)
{
    constexpr int kNoiseBytes = 1000;  // at 1200 baud, about 8 s of line time: longer than the ticks
    constexpr int kTicks = 6;          // about 700 bytes: the gathered bytes overflow long before
    HWND search = StartOnCom3();
    ASSERT_NE(search, nullptr);
    ASSERT_TRUE(SimCommandOn(kDevice, "noise", std::to_string(kNoiseBytes) + " nowait").ok);

    const int start = ProgressPosition(search, IDC_PROGRESS);
    int ticks = 0;
    for (int position = start; ticks < kTicks; ++ticks) {
        position = WaitNextTick(search, position);
        if (position < 0)
            break;
        EXPECT_TRUE(Responds(search, kAnswerMs));
        EXPECT_EQ(CaptionText(Control(search, IDC_SEARCH_STATUS)).compare(0, 12, "Testing COM3"), 0);
    }
    EXPECT_EQ(ticks, kTicks) << "the search stopped ticking";
    // The rule is shown: the rest of the burst is not needed.
    EXPECT_TRUE(SimCommandOn(kDevice, "hush").ok);
    EXPECT_TRUE(AppAlive(App()));
    if (IsWindow(search))
        CancelSearch(search);
    EXPECT_TRUE(Responds(main_));
    EXPECT_TRUE(AppAlive(App()));
}

}  // namespace
