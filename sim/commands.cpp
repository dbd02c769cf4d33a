#include "commands.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qsim {

namespace {

constexpr size_t kMaxTokens = 5000;
constexpr size_t kMaxSendBytes = 4096;
constexpr unsigned long kMaxNoise = 100000;
constexpr unsigned long kMaxStopAfter = 1000000000;

// "ATS0=1" then LF CR: what the device sends when its Reset switch is pressed.
constexpr uint8_t kBanner[8] = {'A', 'T', 'S', '0', '=', '1', 0x0A, 0x0D};
// The same with CR before LF, which the program must not take for a banner.
constexpr uint8_t kBannerCrFirst[8] = {'A', 'T', 'S', '0', '=', '1', 0x0D, 0x0A};

using Args = std::vector<std::string>;

struct Reply {
    std::vector<std::string>& lines;
    std::string error;  // set on failure
    bool quit;
};

using Handler = void (*)(Simulator& sim, const Args& args, Reply& reply);

bool ParseUnsigned(const std::string& text, unsigned long max, unsigned long& value)
{
    if (text.empty() || text.size() > 10)
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    errno = 0;
    unsigned long v = std::strtoul(text.c_str(), nullptr, 10);
    if (errno != 0 || v > max)
        return false;
    value = v;
    return true;
}

bool ParseHexByte(const std::string& text, uint8_t& value)
{
    if (text.empty() || text.size() > 2)
        return false;
    unsigned v = 0;
    for (char c : text) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        v = v * 16 + static_cast<unsigned>(d);
    }
    value = static_cast<uint8_t>(v);
    return true;
}

// args[0] names a device; null (with the error set) when it names none.
Device* TakeDevice(Simulator& sim, const Args& args, Reply& reply)
{
    unsigned long n = 0;
    if (args.empty() || !ParseUnsigned(args[0], static_cast<unsigned long>(sim.deviceCount), n) || n < 1) {
        reply.error = "bad device number";
        return nullptr;
    }
    return &sim.devices[n - 1];
}

void Send(Simulator& sim, Device& dev, std::vector<uint8_t> bytes, Reply& reply)
{
    if (!SendAndWait(sim, dev, std::move(bytes)))
        reply.error = "shutting down";
}

void CmdReset(Simulator& sim, const Args& args, Reply& reply)
{
    Device* dev = TakeDevice(sim, args, reply);
    if (!dev)
        return;
    const uint8_t* banner = kBanner;
    if (args.size() == 2) {
        if (args[1] != "crfirst") {
            reply.error = "usage: reset N [crfirst]";
            return;
        }
        banner = kBannerCrFirst;
    }
    Send(sim, *dev, std::vector<uint8_t>(banner, banner + sizeof kBanner), reply);
}

void CmdNoise(Simulator& sim, const Args& args, Reply& reply)
{
    Device* dev = TakeDevice(sim, args, reply);
    if (!dev)
        return;
    unsigned long count = 0;
    if (!ParseUnsigned(args[1], kMaxNoise, count)) {
        reply.error = "bad byte count";
        return;
    }
    const bool wait = args.size() == 2;
    if (!wait && args[2] != "nowait") {
        reply.error = "usage: noise N COUNT [nowait]";
        return;
    }
    std::vector<uint8_t> bytes;
    {
        std::lock_guard<std::mutex> lock(dev->mu);
        bytes = MakeNoise(*dev, count);
        if (!wait) {
            QueueJob(*dev, OutputJob{std::move(bytes), 0, 0});
            return;
        }
    }
    Send(sim, *dev, std::move(bytes), reply);
}

// Whatever the device has still to send is dropped: a burst stops at its next byte.
void CmdHush(Simulator& sim, const Args& args, Reply& reply)
{
    Device* dev = TakeDevice(sim, args, reply);
    if (!dev)
        return;
    std::lock_guard<std::mutex> lock(dev->mu);
    Hush(*dev);
}

void CmdSend(Simulator& sim, const Args& args, Reply& reply)
{
    Device* dev = TakeDevice(sim, args, reply);
    if (!dev)
        return;
    if (args.size() - 1 > kMaxSendBytes) {
        reply.error = "too many bytes";
        return;
    }
    std::vector<uint8_t> bytes;
    for (size_t i = 1; i < args.size(); ++i) {
        uint8_t b = 0;
        if (!ParseHexByte(args[i], b)) {
            reply.error = "bad hex byte " + args[i].substr(0, 8);
            return;
        }
        bytes.push_back(b);
    }
    Send(sim, *dev, std::move(bytes), reply);
}

struct ModeName {
    const char* name;
    Mode mode;
};

constexpr ModeName kModes[] = {
    {"normal", Mode::Normal}, {"silent", Mode::Silent}, {"crlf", Mode::Crlf},
    {"split", Mode::Split},   {"stray", Mode::Stray},   {"stopafter", Mode::StopAfter},
    {"shape", Mode::Shape},   {"delay", Mode::Delay},   {"latency", Mode::Latency},
};

// A reply template: up to kMaxShapeLength of a b n r s, with pauses (/) only between bytes.
bool ValidShape(const std::string& shape)
{
    if (shape.empty() || shape.size() > kMaxShapeLength)
        return false;
    if (shape.find_first_not_of("abnrs/") != std::string::npos)
        return false;
    return shape.front() != '/' && shape.back() != '/' && shape.find("//") == std::string::npos;
}

void CmdMode(Simulator& sim, const Args& args, Reply& reply)
{
    Device* dev = TakeDevice(sim, args, reply);
    if (!dev)
        return;
    const ModeName* found = nullptr;
    for (const ModeName& m : kModes) {
        if (args[1] == m.name)
            found = &m;
    }
    if (!found) {
        reply.error = "unknown mode";
        return;
    }
    unsigned long answers = 0;
    const bool isDelay = found->mode == Mode::Delay;
    const bool isLatency = found->mode == Mode::Latency;
    const bool needsCount = found->mode == Mode::StopAfter || isDelay || isLatency;
    const unsigned long maxCount = isDelay ? kMaxDelayMs : isLatency ? kMaxLatencyMs : kMaxStopAfter;
    const bool needsShape = found->mode == Mode::Shape;
    if ((needsCount || needsShape) != (args.size() == 3) ||
        (needsCount && !ParseUnsigned(args[2], maxCount, answers)) || (isLatency && answers == 0) ||
        (needsShape && !ValidShape(args[2]))) {
        reply.error =
            "usage: mode N normal|silent|crlf|split|stray|stopafter K|shape abnrs/|delay MS|latency MS";
        return;
    }
    std::lock_guard<std::mutex> lock(dev->mu);
    dev->mode = found->mode;
    dev->answersLeft = static_cast<long>(answers);
    dev->shape = needsShape ? args[2] : std::string();
}

void Repoint(Simulator& sim, const Args& args, Reply& reply, bool plug)
{
    Device* dev = TakeDevice(sim, args, reply);
    if (!dev)
        return;
    if (plug) {
        // After a pull, a fresh line: a new pty behind the same link.
        std::lock_guard<std::mutex> lock(dev->mu);
        dev->pullAfter = -1;
        if (dev->pulled) {
            char error[256];
            if (!OpenPtyPort(dev->port, error, sizeof error)) {
                reply.error = error;
                return;
            }
            dev->pulled = false;
            ResetParser(dev->parser);
        }
    }
    const char* target = plug ? dev->port.slaveName : sim.absentDir.c_str();
    char error[256];
    if (!PointLink(dev->linkPath.c_str(), target, error, sizeof error)) {
        reply.error = error;
        return;
    }
    std::lock_guard<std::mutex> lock(dev->mu);
    dev->plugged = plug;
}

void CmdPlug(Simulator& sim, const Args& args, Reply& reply)
{
    Repoint(sim, args, reply, true);
}
void CmdUnplug(Simulator& sim, const Args& args, Reply& reply)
{
    Repoint(sim, args, reply, false);
}

// The cable pulled out, now or once the device has taken FRAMES more frames: its end of the line
// is closed for good and the program's writes fail. plug N puts a fresh line in.
void CmdPull(Simulator& sim, const Args& args, Reply& reply)
{
    Device* dev = TakeDevice(sim, args, reply);
    if (!dev)
        return;
    unsigned long frames = 0;
    if (args.size() == 2 && !ParseUnsigned(args[1], kMaxStopAfter, frames)) {
        reply.error = "usage: pull N [FRAMES]";
        return;
    }
    std::unique_lock<std::mutex> lock(dev->mu);
    if (dev->pulled)
        return;
    dev->pullAfter = static_cast<long>(frames);
    if (frames == 0)
        dev->cv.wait(lock, [&] { return sim.stopping.load() || dev->pulled; });
}

// The pty's line settings as the program's serial calls left them, or set them: a port the
// program must give back as it found it.
void CmdLine(Simulator& sim, const Args& args, Reply& reply)
{
    Device* dev = TakeDevice(sim, args, reply);
    if (!dev)
        return;
    std::lock_guard<std::mutex> lock(dev->mu);
    if (dev->pulled) {
        reply.error = "cable pulled";
        return;
    }
    char text[64];
    if (args.size() == 3 && !SetLine(dev->port, args[1].c_str(), args[2].c_str(), text, sizeof text)) {
        reply.error = text;
        return;
    }
    if (args.size() == 2) {
        reply.error = "usage: line N [BAUD 8N1]";
        return;
    }
    if (!DescribeLine(dev->port, text, sizeof text)) {
        reply.error = "tcgetattr failed";
        return;
    }
    reply.lines.push_back(text);
}

void CmdSetReg(Simulator& sim, const Args& args, Reply& reply)
{
    Device* dev = TakeDevice(sim, args, reply);
    if (!dev)
        return;
    uint8_t code = 0, first = 0, second = 0;
    if (!ParseHexByte(args[1], code) || !ParseHexByte(args[2], first) || !ParseHexByte(args[3], second)) {
        reply.error = "usage: setreg N CODE_HEX HEX1 HEX2";
        return;
    }
    int index = RegisterIndex(code);
    if (index < 0) {
        reply.error = "no such register";
        return;
    }
    std::lock_guard<std::mutex> lock(dev->mu);
    dev->regs.pair[index][0] = first;
    dev->regs.pair[index][1] = second;
    PersistRegisters(*dev);
}

void CmdRegs(Simulator& sim, const Args& args, Reply& reply)
{
    Device* dev = TakeDevice(sim, args, reply);
    if (!dev)
        return;
    std::lock_guard<std::mutex> lock(dev->mu);
    for (int i = 0; i < kRegisterCount; ++i) {
        char line[16];
        FormatRegisterLine(dev->regs, i, line, sizeof line);
        reply.lines.push_back(line);
    }
}

void CmdFrames(Simulator& sim, const Args& args, Reply& reply)
{
    Device* dev = TakeDevice(sim, args, reply);
    if (!dev)
        return;
    std::lock_guard<std::mutex> lock(dev->mu);
    reply.lines.insert(reply.lines.end(), dev->frames.begin(), dev->frames.end());
}

void CmdLog(Simulator& sim, const Args& args, Reply& reply)
{
    Device* dev = TakeDevice(sim, args, reply);
    if (!dev)
        return;
    std::lock_guard<std::mutex> lock(dev->mu);
    reply.lines.insert(reply.lines.end(), dev->log.begin(), dev->log.end());
}

void CmdClear(Simulator& sim, const Args& args, Reply& reply)
{
    Device* dev = TakeDevice(sim, args, reply);
    if (!dev)
        return;
    std::lock_guard<std::mutex> lock(dev->mu);
    dev->frames.clear();
    dev->log.clear();
}

void CmdReads(Simulator& sim, const Args& args, Reply& reply)
{
    Device* dev = TakeDevice(sim, args, reply);
    if (!dev)
        return;
    std::lock_guard<std::mutex> lock(dev->mu);
    reply.lines.push_back(std::to_string(dev->reads));
}

// Back to the power-on register contents (the memory file follows).
void CmdPowerOn(Simulator& sim, const Args& args, Reply& reply)
{
    Device* dev = TakeDevice(sim, args, reply);
    if (!dev)
        return;
    std::lock_guard<std::mutex> lock(dev->mu);
    PowerOnContents(dev->regs);
    PersistRegisters(*dev);
}

// Line pacing of every device: on (output at 1200 baud), read (input consumed at 1200 baud too),
// off (neither).
void CmdPace(Simulator& sim, const Args& args, Reply& reply)
{
    if (args[0] == "on") {
        sim.pace = true;
        sim.paceRead = false;
    } else if (args[0] == "read") {
        sim.pace = true;
        sim.paceRead = true;
    } else if (args[0] == "off") {
        sim.pace = false;
        sim.paceRead = false;
    } else {
        reply.error = "usage: pace on|read|off";
    }
}

void CmdQuit(Simulator&, const Args&, Reply& reply)
{
    reply.quit = true;
}

void CmdHelp(Simulator& sim, const Args& args, Reply& reply);

struct CommandRow {
    const char* name;
    size_t minArgs;
    size_t maxArgs;
    Handler handler;
    const char* usage;
    const char* what;
};

constexpr CommandRow kCommands[] = {
    {"reset", 1, 2, CmdReset, "reset N [crfirst]", "send the reset banner (an empty line is reset 1)"},
    {"noise", 2, 3, CmdNoise, "noise N COUNT [nowait]",
     "send COUNT random bytes, none of them 41 or 00 (nowait: answer at once, the bytes still going)"},
    {"hush", 1, 1, CmdHush, "hush N", "drop what the device has still to send, a burst at its next byte"},
    {"send", 2, kMaxTokens, CmdSend, "send N HEX ...", "send raw bytes"},
    {"mode", 2, 3, CmdMode, "mode N MODE",
     "normal|silent|crlf|split|stray|stopafter K|shape T (T of a b pair, n LF, r CR, s 55, / 16 ms pause)"
     "|delay MS (each reply after MS ms)|latency MS (each byte sent reaches the port at the next multiple of "
     "MS ms)"},
    {"plug", 1, 1, CmdPlug, "plug N", "point the link at the device (a fresh pty after pull)"},
    {"line", 1, 3, CmdLine, "line N [BAUD 8N1]", "the pty's line settings, or set them (e.g. 9600 7E2)"},
    {"unplug", 1, 1, CmdUnplug, "unplug N", "point the link at an empty directory (absent port)"},
    {"pull", 1, 2, CmdPull, "pull N [FRAMES]",
     "pull the cable, now or after FRAMES more frames: the program's writes and reads fail"},
    {"setreg", 4, 4, CmdSetReg, "setreg N CODE HEX1 HEX2", "set a register, e.g. setreg 1 3f 30 37"},
    {"regs", 1, 1, CmdRegs, "regs N", "list the 49 registers"},
    {"frames", 1, 1, CmdFrames, "frames N", "what the device received: OK, R c, W c x y, X b"},
    {"log", 1, 1, CmdLog, "log N", "wire log: milliseconds rx|tx bytes"},
    {"clear", 1, 1, CmdClear, "clear N", "empty frames and log"},
    {"reads", 1, 1, CmdReads, "reads N", "number of read frames so far"},
    {"poweron", 1, 1, CmdPowerOn, "poweron N", "power-on register contents"},
    {"pace", 1, 1, CmdPace, "pace on|read|off", "pace output, output and input, or nothing"},
    {"quit", 0, 0, CmdQuit, "quit", "end the simulator"},
    {"help", 0, 0, CmdHelp, "help", "this list"},
};

void CmdHelp(Simulator&, const Args&, Reply& reply)
{
    for (const CommandRow& row : kCommands) {
        char line[256];
        std::snprintf(line, sizeof line, "%-24s %s", row.usage, row.what);
        reply.lines.push_back(line);
    }
}

// Splits on blanks; false when there are too many tokens.
bool Tokenize(const std::string& line, std::string& name, Args& args)
{
    size_t i = 0;
    bool first = true;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i == start)
            break;
        if (first) {
            name = line.substr(start, i - start);
            first = false;
        } else {
            if (args.size() >= kMaxTokens)
                return false;
            args.push_back(line.substr(start, i - start));
        }
    }
    return true;
}

// Keeps an error text to printable ASCII so garbage never reaches the reply raw.
std::string Printable(const std::string& text, size_t maxLength)
{
    std::string out;
    for (char c : text.substr(0, maxLength)) {
        unsigned char u = static_cast<unsigned char>(c);
        out += (u >= 0x20 && u < 0x7F) ? c : '?';
    }
    return out;
}

}  // namespace

bool ExecuteCommand(Simulator& sim, const std::string& rawLine, std::vector<std::string>& out)
{
    std::string line = rawLine;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();

    Reply reply{out, std::string(), false};
    std::string name;
    Args args;
    if (line.size() > kMaxCommandLine) {
        reply.error = "line too long";
    } else if (!Tokenize(line, name, args)) {
        reply.error = "too many arguments";
    } else if (name.empty()) {
        reply.error = "empty command";
    } else {
        const CommandRow* row = nullptr;
        for (const CommandRow& r : kCommands) {
            if (name == r.name)
                row = &r;
        }
        if (!row) {
            reply.error = "unknown command " + Printable(name, 32);
        } else if (args.size() < row->minArgs || args.size() > row->maxArgs) {
            reply.error = std::string("usage: ") + row->usage;
        } else {
            std::lock_guard<std::mutex> lock(sim.commandMu);
            row->handler(sim, args, reply);
        }
    }
    out.push_back(reply.error.empty() ? std::string("ok") : "error " + reply.error);
    return reply.quit && reply.error.empty();
}

}  // namespace qsim
