// qsync: the synchronizer's parameters from the command line. Reads a device into a settings
// file, writes a file into a device and verifies it, checks a device against a file, and finds
// the port a device is on by its reset banner.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "qsync/commands.h"
#include "qsync/console.h"
#include "qsync/console_interrupt.h"
#include "qsync/host.h"
#include "qsync/trace_file.h"
#include "commit.h"
#include "version.h"

namespace {

// The platform's words for a port in the help texts.
#ifdef _WIN32
constexpr const char* kPortWords = "PORT is COM1 to COM256 (also as \\\\.\\COM12)";
constexpr const char* kExamplePort = "COM3";
constexpr const char* kExampleList = "COM3,COM4,COM7";
#else
constexpr const char* kPortWords = "PORT is a serial device such as /dev/ttyUSB0 or /dev/serial/by-id/NAME";
constexpr const char* kExamplePort = "/dev/ttyUSB0";
constexpr const char* kExampleList = "/dev/ttyUSB0,/dev/ttyUSB1";
#endif

struct Command {
    const char* name;
    int minWords, maxWords;
    unsigned options;  // OptionBit of each option it takes
    int (*run)(const Invocation& invocation);
    const char* synopsis;  // after "qsync NAME "
    const char* summary;
    const char* example;  // after "qsync NAME "; PORT and LIST stand for the platform's names
};

constexpr unsigned kPort = OptionBit(kPortOption), kWait = OptionBit(kWaitOption),
                   kOutput = OptionBit(kOutputOption), kModelChannel = OptionBit(kModelChannelOption),
                   kTrace = OptionBit(kTraceOption),
                   kTalk = OptionBit(kQuietOption) | OptionBit(kVerboseOption);

constexpr Command kCommands[] = {
    {"find", 0, 0, kPort | kWait | kTrace | kTalk, RunFind, "[--port PORT] [--wait SECONDS]",
     "wait for a reset banner; print the port it came on", "--wait 60"},
    {"read", 1, 1, kOutput | kTrace | kTalk, RunRead, "PORT [-o FILE]",
     "read the device; write a settings file (or print it)", "PORT -o show.ini"},
    {"write", 2, 2, kModelChannel | kTrace | kTalk, RunWrite, "PORT FILE [--model-channel]",
     "write the file's settings, read them back, compare", "LIST show.ini"},
    {"verify", 2, 2, kModelChannel | kTrace | kTalk, RunVerify, "PORT FILE [--model-channel]",
     "compare the device with what a write of the file stores", "PORT show.ini"},
    {"show", 1, 1, kModelChannel | kTalk, RunShow, "FILE [--model-channel]",
     "check a file and list the registers a write would send", "show.ini"},
};

// Each option as the help lists it.
struct OptionHelp {
    Option option;
    const char* spelled;
    const char* meaning;
};
constexpr OptionHelp kOptionHelp[] = {
    {kPortOption, "--port PORT", "listen on PORT only"},
    {kWaitOption, "--wait SECONDS", "listen SECONDS on each port (30; 1 to 3600)"},
    {kOutputOption, "-o, --output FILE", "write the settings into FILE (-: standard output)"},
    {kModelChannelOption, "--model-channel", "write and compare the model and channel too"},
    {kTraceOption, "--trace TRACE", "every byte on the line into TRACE (-: standard error)"},
    {kQuietOption, "-q, --quiet", "no status lines: results and failures only"},
    {kVerboseOption, "-v, --verbose", "one line per register on standard error"},
};

// The text with PORT and LIST replaced by the platform's examples.
void PrintExample(FILE* to, const char* text)
{
    for (const char* c = text; *c;) {
        if (std::strncmp(c, "PORT", 4) == 0) {
            fputs(kExamplePort, to);
            c += 4;
        } else if (std::strncmp(c, "LIST", 4) == 0) {
            fputs(kExampleList, to);
            c += 4;
        } else {
            fputc(*c++, to);
        }
    }
}

void PrintStatuses(FILE* to)
{
    fprintf(to,
            "Exit status: 0 done; 1 the device or its port failed; 2 bad usage, a bad file, or output that\n"
            "could not be written (nothing sent unless said); 3 verify: a write would change the device;\n"
            "130 interrupted (%s).\n",
            kInterruptCauses);
}

void PrintUsage(FILE* to)
{
    for (const Command& command : kCommands) {
        char synopsis[80];
        snprintf(synopsis, sizeof synopsis, "qsync %s %s", command.name, command.synopsis);
        fprintf(to, "%-41s %s\n", synopsis, command.summary);
    }
    fprintf(to,
            "%-41s %s\n%-41s %s\n%s.\n"
            "write and verify take a list of ports too (%s): all at once,\n"
            "one line each. FILE may be - for standard input.\n",
            "qsync COMMAND --help", "the command's options, an example", "qsync --version", "the version",
            kPortWords, kExampleList);
    PrintStatuses(to);
}

void PrintCommandHelp(const Command& command)
{
    printf("usage: qsync %s %s [options]\n%s.\n%s.\nOptions:\n", command.name, command.synopsis,
           command.summary, kPortWords);
    for (const OptionHelp& help : kOptionHelp) {
        if (command.options & OptionBit(help.option))
            printf("  %-19s %s\n", help.spelled, help.meaning);
    }
    printf("  %-19s %s\nExample:\n  qsync %s ", "-h, --help", "this text", command.name);
    PrintExample(stdout, command.example);
    printf("\n");
    PrintStatuses(stdout);
}

int Usage(const char* complaint)
{
    if (complaint)
        fprintf(stderr, "qsync: %s\n", complaint);
    PrintUsage(stderr);
    return kExitUsage;
}

// Ports given as words of their own ("write A B show.ini", "write A, B show.ini"): said at once,
// with the list the user meant.
int SeveralPorts(const Invocation& invocation)
{
    char list[512] = "";
    size_t length = 0;
    for (int i = 0; i + 1 < invocation.wordCount; ++i) {
        size_t n = std::strlen(invocation.words[i]);
        while (n > 0 && invocation.words[i][n - 1] == ',')
            --n;
        const int written = snprintf(list + length, sizeof list - length, "%s%.*s", length ? "," : "",
                                     static_cast<int>(n), invocation.words[i]);
        if (written < 0 || static_cast<size_t>(written) >= sizeof list - length)
            break;
        length += static_cast<size_t>(written);
    }
    char complaint[600];
    snprintf(complaint, sizeof complaint, "several ports are separated by commas: %s", list);
    return Usage(complaint);
}

bool TakesPortList(const Command& command)
{
    return command.run == RunWrite || command.run == RunVerify;
}

// Runs the command that argv names.
int Run(int argc, char** argv)
{
    // --trace FILE may stand before the command, as a global option.
    const char* leadingTrace = nullptr;
    if (argc >= 2 && std::strcmp(argv[1], "--trace") == 0) {
        if (argc < 3)
            return Usage("--trace needs a value");
        leadingTrace = argv[2];
        argc -= 2;
        argv += 2;
    }
    const Command* found = nullptr;
    for (const Command& command : kCommands) {
        if (argc >= 2 && std::strcmp(command.name, argv[1]) == 0)
            found = &command;
    }
    if (found && AsksFor(argc - 2, argv + 2, "-h", "--help")) {
        PrintCommandHelp(*found);
        return kExitOk;
    }
    if (AsksFor(argc - 1, argv + 1, "-h", "--help") || (argc >= 2 && std::strcmp(argv[1], "help") == 0)) {
        PrintUsage(stdout);
        return kExitOk;
    }
    if (AsksFor(argc - 1, argv + 1, "-V", "--version")) {
        printf(*QUORBANE_COMMIT ? "qsync %s (%s)\n" : "qsync %s\n", QUORBANE_VERSION, QUORBANE_COMMIT);
        return kExitOk;
    }
    if (argc < 2 && AloneOnConsole()) {
        // Double-clicked in Explorer: the console would close before the usage could be read.
        PrintUsage(stdout);
        fputs("Press any key to close this window.\n", stdout);
        fflush(stdout);
        WaitForAnyKey();
        return kExitUsage;
    }
    if (argc < 2)
        return Usage(nullptr);
    if (!found) {
        char complaint[96];
        snprintf(complaint, sizeof complaint, "unknown command %.40s", argv[1]);
        return Usage(complaint);
    }
    const Command& command = *found;
    Invocation invocation;
    char complaint[96];
    if (!ParseInvocation(argc - 2, argv + 2, command.options, command.name, &invocation, complaint,
                         sizeof complaint))
        return Usage(complaint);
    if (leadingTrace && invocation.options[kTraceOption])
        return Usage("--trace given twice");
    if (leadingTrace && !(command.options & kTrace)) {
        snprintf(complaint, sizeof complaint, "--trace is not an option of %s", command.name);
        return Usage(complaint);
    }
    if (leadingTrace)
        invocation.options[kTraceOption] = leadingTrace;
    if (invocation.options[kQuietOption] && invocation.options[kVerboseOption])
        return Usage("--quiet and --verbose exclude each other");
    const char* first = invocation.wordCount > 0 ? invocation.words[0] : "";
    if (TakesPortList(command) &&
        (invocation.wordCount > command.maxWords || (*first && first[std::strlen(first) - 1] == ',')))
        return SeveralPorts(invocation);
    if (invocation.wordCount < command.minWords || invocation.wordCount > command.maxWords) {
        fprintf(stderr, "usage: qsync %s %s\n", command.name, command.synopsis);
        return kExitUsage;
    }
    SetVerbosity(invocation.options[kQuietOption]     ? Verbosity::Quiet
                 : invocation.options[kVerboseOption] ? Verbosity::Verbose
                                                      : Verbosity::Normal);
    // write and verify on a list of ports: a worker for each port, which traces its own line.
    if (TakesPortList(command) && IsPortList(invocation.words[0]))
        return RunOnPorts(command.name, invocation);
    // Each command opens its trace once its words are checked (StartTraceFile).
    return EndTraceFile(command.run(invocation));
}

}  // namespace

int main(int argc, char** argv)
{
    CatchConsoleInterrupts();
    SetTracedCommand(argc, argv);
    int code = Run(argc, argv);
    // Results a script reads must have arrived: a full disk or a closed pipe is a failure too.
    if ((fflush(stdout) != 0 || ferror(stdout)) && (code == kExitOk || code == kExitDifferent))
        code = Fail(kExitUsage, "standard output: can't write: %s", strerror(errno));
    ConsoleInterruptsDone(code);
    return code;
}
