// The link to each pty, absent ports, and the device's register memory.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "sim_harness.h"

namespace simtest {
namespace {

std::string LinkTarget(const std::string& path)
{
    std::error_code ec;
    const std::string target = std::filesystem::read_symlink(path, ec).string();
    return ec ? "<not a link>" : target;
}

bool IsEmptyDirectory(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::is_directory(path, ec) && std::filesystem::is_empty(path, ec);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class SimLine : public SimFixture {};

TEST_F(SimLine, LinkFollowsPlugAndUnplug)
{
    SimOptions o = Fast(2);
    o.extraArgs.insert(o.extraArgs.end(), {"--unplugged", "2"});
    ASSERT_NO_FATAL_FAILURE(Boot(o));
    EXPECT_EQ(LinkTarget(sim.LinkPath(1)), sim.PtyName(1));
    EXPECT_TRUE(IsEmptyDirectory(sim.LinkPath(2)));

    struct Step {
        const char* command;
        int device;
        bool present;
    };
    const Step steps[] = {
        {"unplug 1", 1, false}, {"plug 1", 1, true},    {"plug 2", 2, true},
        {"unplug 2", 2, false}, {"unplug 2", 2, false}, {"plug 2", 2, true},
    };
    for (const Step& step : steps) {
        ASSERT_EQ(ctl.Cmd(step.command).back(), "ok") << step.command;
        const std::string link = sim.LinkPath(step.device);
        // A port mapped to a directory cannot be opened: the absent port.
        EXPECT_EQ(IsEmptyDirectory(link), !step.present) << step.command;
        Line l;
        ASSERT_EQ(l.Open(link), step.present) << step.command;
        if (step.present) {
            EXPECT_EQ(LinkTarget(link), sim.PtyName(step.device)) << step.command;
            EXPECT_EQ(l.Ask("R>\r", 4), Hex(Answer("01"))) << step.command;
        }
    }
}

// The device holds its own end of the pty, so the program may close its port
// and open it again, as every dialog does.
TEST_F(SimLine, PortWorksAfterCloseAndReopen)
{
    ASSERT_NO_FATAL_FAILURE(Boot(Fast()));
    line[0].Close();
    for (int round = 0; round < 3; ++round) {
        // The device goes on sending while the port is closed; the line keeps it.
        ASSERT_EQ(ctl.Cmd("reset 1").back(), "ok");
        Line l;
        ASSERT_TRUE(l.Open(sim.LinkPath(1))) << round;
        EXPECT_EQ(l.ReadExactly(8, kWaitMs), "ATS0=1\n\r") << round;
        EXPECT_EQ(l.Ask("R?\r", 4), Hex(Answer("05"))) << round;
    }
    EXPECT_EQ(ctl.Data("reads 1"), std::vector<std::string>{"3"});
    WireLog tx;
    ASSERT_NO_FATAL_FAILURE(ReadWireLog("tx", tx));
    std::string once = "ATS0=1\n\r" + Answer("05");
    EXPECT_EQ(Hex(tx.bytes), Hex(once + once + once));
}

TEST_F(SimLine, MemoryKeepsRegistersAcrossRestarts)
{
    TempDir temp;
    ASSERT_FALSE(temp.path.empty());
    const std::string memory = temp.path + "/regs";  // qsim makes it
    SimOptions o = Fast(2);
    o.extraArgs.insert(o.extraArgs.end(), {"--memory", memory});
    ASSERT_NO_FATAL_FAILURE(Boot(o));

    // The file is rewritten before the device takes its next frame.
    ASSERT_EQ(line[0].Ask("W?42\rR?\r", 4), Hex(Answer("42")));
    std::string file = ReadFile(memory + "/dev1.regs");
    EXPECT_NE(file.find("3f 34 32\n"), std::string::npos) << file;
    ASSERT_EQ(ctl.Cmd("setreg 1 6f 41 42").back(), "ok");
    file = ReadFile(memory + "/dev1.regs");
    EXPECT_NE(file.find("6f 41 42\n"), std::string::npos) << file;
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 49) << file;
    // Device 2 was never written.
    struct stat st;
    EXPECT_NE(stat((memory + "/dev2.regs").c_str(), &st), 0);
    ASSERT_EQ(sim.Stop(), 0);

    SimProcess again;
    ASSERT_TRUE(again.Start(o)) << again.why();
    Line l1, l2;
    ASSERT_TRUE(l1.Open(again.LinkPath(1)));
    ASSERT_TRUE(l2.Open(again.LinkPath(2)));
    EXPECT_EQ(l1.Ask("R?\rRo\r", 8), Hex(Answer("42") + Answer("AB")));
    EXPECT_EQ(l2.Ask("R?\r", 4), Hex(Answer("05")));
}

// A damaged memory file costs only its damaged lines.
TEST_F(SimLine, MemoryFileWithBadLinesLoadsTheGoodOnes)
{
    TempDir temp;
    ASSERT_FALSE(temp.path.empty());
    const std::string memory = temp.path;
    {
        std::ofstream out(memory + "/dev1.regs");
        out << "garbage\n3e 39 39\n40 30 30\n3f 3x 30\n\n3f\n36 34 34 34\n"
            << std::string(500, 'z') << "\n50 41 42\n";
    }
    SimOptions o = Fast();
    o.extraArgs.insert(o.extraArgs.end(), {"--memory", memory});
    ASSERT_NO_FATAL_FAILURE(Boot(o));
    EXPECT_EQ(line[0].Ask("R>\rR?\rR6\rRP\r", 16),
              Hex(Answer("99") + Answer("05") + Answer("7<") + Answer("AB")));
    sim.Stop();
}

}  // namespace
}  // namespace simtest
