// qsync: the synchronizer's parameters from the command line. Reads a device into a settings
// file, writes a file into a device and verifies it, checks a device against a file, and finds
// the port a device is on by its reset banner.
#include <cstdio>
#include <cstring>

#include "qsync/commands.h"
#include "qsync/console.h"
#include "qsync/host.h"

namespace {

struct Command {
    const char* name;
    int minWords, maxWords;
    unsigned options;  // OptionBit of each option it takes
    int (*run)(const Invocation& invocation);
    const char* usage;
};

constexpr unsigned kPort = OptionBit(kPortOption), kWait = OptionBit(kWaitOption),
                   kOutput = OptionBit(kOutputOption), kModelChannel = OptionBit(kModelChannelOption);

constexpr Command kCommands[] = {
    {"find", 0, 0, kPort | kWait, RunFind,
     "qsync find [--port COMn] [--wait SECONDS]   wait for a reset banner; print the port"},
    {"read", 1, 1, kOutput, RunRead,
     "qsync read COMn [-o FILE]                   read the device; write a settings file (or print it)"},
    {"write", 2, 2, kModelChannel, RunWrite,
     "qsync write COMn FILE [--model-channel]     write the file's settings, read back, verify"},
    {"verify", 2, 2, 0, RunVerify,
     "qsync verify COMn FILE                      read the device and compare with the file"},
    {"show", 1, 1, kModelChannel, RunShow,
     "qsync show FILE [--model-channel]           check a file and print what a write would send"},
};

void PrintUsage(FILE* to)
{
    for (const Command& command : kCommands)
        fprintf(to, "%s\n", command.usage);
    fputs(
        "Exit codes: 0 done, 1 the device or its port failed, 2 bad usage or a bad file, "
        "3 verify found differences.\n",
        to);
}

int Usage(const char* complaint)
{
    if (complaint)
        fprintf(stderr, "qsync: %s\n", complaint);
    PrintUsage(stderr);
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage(nullptr);
    InstallStopHandlers();
    const char* name = argv[1];
    if (std::strcmp(name, "help") == 0 || std::strcmp(name, "--help") == 0) {
        PrintUsage(stdout);
        return kExitOk;
    }
    for (const Command& command : kCommands) {
        if (std::strcmp(command.name, name) != 0)
            continue;
        Invocation invocation;
        char complaint[96];
        if (!ParseInvocation(argc - 2, argv + 2, command.options, &invocation, complaint, sizeof complaint))
            return Usage(complaint);
        if (invocation.wordCount < command.minWords || invocation.wordCount > command.maxWords) {
            fprintf(stderr, "usage: %s\n", command.usage);
            return kExitUsage;
        }
        return command.run(invocation);
    }
    char complaint[96];
    snprintf(complaint, sizeof complaint, "unknown command %.40s", name);
    return Usage(complaint);
}
