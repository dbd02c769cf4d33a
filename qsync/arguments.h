#pragma once
// What qsync's command line says: the words after the command, its options, port names and
// numbers of seconds. No input or output here.
#include <cstddef>

#include "link/port_name.h"

// A whole number of seconds from 1 to kMaxSeconds, digits only.
constexpr int kMaxSeconds = 3600;
bool ParseSeconds(const char* text, int* seconds);

// The options a command may take; a command's table row says which with a mask of their bits.
enum Option {
    kPortOption,
    kWaitOption,
    kOutputOption,
    kModelChannelOption,
    kTraceOption,
    kQuietOption,
    kVerboseOption,
    kOptionCount
};
constexpr unsigned OptionBit(Option option)
{
    return 1u << option;
}

// The most words a command line may hold besides its options: more than any command takes, so
// that ports given as separate words can be told apart from other slips.
constexpr int kMaxWords = 8;

struct Invocation {
    const char* words[kMaxWords];  // "-": standard input (a FILE) or output (the value of -o)
    int wordCount;
    // The value of each option given, "" for a flag; nullptr when absent.
    const char* options[kOptionCount];
};

// Sorts argv[0..argc) into words and the options that `allowed` permits, each at most once, the
// same on every platform: short options bundled (-qo FILE) or with their value attached (-oFILE),
// long ones with "=" or a space (--output=FILE, --output FILE), never abbreviated; "--" ends the
// options. An option of another command is named as such ("--wait is not an option of read").
// "-" is a word. On a refusal writes the reason into err and returns false.
bool ParseInvocation(int argc, const char* const* argv, unsigned allowed, const char* command,
                     Invocation* out, char* err, size_t errSize);

// True when argv[0..argc) asks for help (-h, --help) or for the version (-V, --version), wherever
// it stands before "--"; values of options are not looked at.
bool AsksFor(int argc, const char* const* argv, const char* shortName, const char* longName);

// A trace FILE named for one port of a list: the port's name, made fit for a file name, added
// before FILE's extension ("line.txt" and COM3: "line-COM3.txt"; /dev/ttyUSB0: "line-dev_ttyUSB0.txt").
// False when it does not fit in outSize.
bool TracePathForPort(const char* path, const char* port, char* out, size_t outSize);
