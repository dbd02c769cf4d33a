// qsync: the synchronizer's parameters from the command line. Reads a device into a settings
// file, writes a file into a device and verifies it, checks a device against a file, and finds
// the port a device is on by its reset banner.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "qsync/commands.h"
#include "qsync/console.h"
#include "qsync/console_interrupt.h"
#include "qsync/trace_file.h"
#include "version.h"

namespace {

struct Command {
    const char* name;
    int minWords, maxWords;
    unsigned options;  // OptionBit of each option it takes
    int (*run)(const Invocation& invocation);
    const char* usage;
};

constexpr unsigned kPort = OptionBit(kPortOption), kWait = OptionBit(kWaitOption),
                   kOutput = OptionBit(kOutputOption), kModelChannel = OptionBit(kModelChannelOption),
                   kTrace = OptionBit(kTraceOption);

constexpr Command kCommands[] = {
    {"find", 0, 0, kPort | kWait | kTrace, RunFind,
     "qsync find [--port COMn] [--wait SECONDS]   wait for a reset banner; print the port"},
    {"read", 1, 1, kOutput | kTrace, RunRead,
     "qsync read COMn [-o FILE]                   read the device; write a settings file (or print it)"},
    {"write", 2, 2, kModelChannel | kTrace, RunWrite,
     "qsync write COMn FILE [--model-channel]     write the file's settings, read back, verify"},
    {"verify", 2, 2, kModelChannel | kTrace, RunVerify,
     "qsync verify COMn FILE [--model-channel]    read the device and compare with the file"},
    {"show", 1, 1, kModelChannel, RunShow,
     "qsync show FILE [--model-channel]           check a file and print what a write would send"},
};

void PrintUsage(FILE* to)
{
    for (const Command& command : kCommands)
        fprintf(to, "%s\n", command.usage);
    fputs(
        "qsync --version | -V                        print the version\n"
        "qsync --trace FILE COMMAND ...              find, read, write, verify: every byte on the line into "
        "FILE\n"
        "write and verify take a list of ports too (COM3,COM4,COM7): all at once, one line each.\n"
        "FILE may be - for standard input; -o - is standard output. -h or --help anywhere: this text.\n"
        "Exit codes: 0 done, 1 the device or its port failed, 2 bad usage, a bad file or output that\n"
        "could not be written, 3 verify found differences, 130 interrupted",
        to);
    fprintf(to, " (%s).\n", kInterruptCauses);
}

int Usage(const char* complaint)
{
    if (complaint)
        fprintf(stderr, "qsync: %s\n", complaint);
    PrintUsage(stderr);
    return kExitUsage;
}

// Runs the command that argv names.
int Run(int argc, char** argv)
{
    if (AsksFor(argc - 1, argv + 1, "-h", "--help")) {
        PrintUsage(stdout);
        return kExitOk;
    }
    if (AsksFor(argc - 1, argv + 1, "-V", "--version")) {
        printf("qsync %s\n", QUORBANE_VERSION);
        return kExitOk;
    }
    // --trace FILE may stand before the command, as a global option.
    const char* leadingTrace = nullptr;
    if (argc >= 2 && std::strcmp(argv[1], "--trace") == 0) {
        if (argc < 3)
            return Usage("--trace needs a value");
        leadingTrace = argv[2];
        argc -= 2;
        argv += 2;
    }
    if (argc < 2)
        return Usage(nullptr);
    const char* name = argv[1];
    if (std::strcmp(name, "help") == 0) {
        PrintUsage(stdout);
        return kExitOk;
    }
    for (const Command& command : kCommands) {
        if (std::strcmp(command.name, name) != 0)
            continue;
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
        if (invocation.wordCount < command.minWords || invocation.wordCount > command.maxWords) {
            fprintf(stderr, "usage: %s\n", command.usage);
            return kExitUsage;
        }
        // write and verify on a list of ports: a worker for each port, which traces its own line.
        if ((command.run == RunWrite || command.run == RunVerify) && IsPortList(invocation.words[0]))
            return RunOnPorts(command.name, invocation);
        // Each command opens its trace once its words are checked (StartTraceFile).
        return EndTraceFile(command.run(invocation));
    }
    char complaint[96];
    snprintf(complaint, sizeof complaint, "unknown command %.40s", name);
    return Usage(complaint);
}

}  // namespace

int main(int argc, char** argv)
{
    CatchConsoleInterrupts();
    int code = Run(argc, argv);
    // Results a script reads must have arrived: a full disk or a closed pipe is a failure too.
    if ((fflush(stdout) != 0 || ferror(stdout)) && (code == kExitOk || code == kExitDifferent))
        code = Fail(kExitUsage, "Can't write standard output: %s", strerror(errno));
    ConsoleInterruptsDone(code);
    return code;
}
