#include "qsync/arguments.h"

#include <cstdio>
#include <cstring>

#include "link/decimal_text.h"

namespace {

struct OptionRow {
    char shortName;  // '\0' for none
    const char* longName;
    Option option;
    bool takesValue;
};

constexpr OptionRow kOptionRows[] = {
    {'\0', "port", kPortOption, true},       {'\0', "wait", kWaitOption, true},
    {'o', "output", kOutputOption, true},    {'\0', "model-channel", kModelChannelOption, false},
    {'\0', "trace", kTraceOption, true},     {'q', "quiet", kQuietOption, false},
    {'v', "verbose", kVerboseOption, false},
};

const OptionRow* FindLong(const char* name, size_t length)
{
    for (const OptionRow& row : kOptionRows) {
        if (std::strlen(row.longName) == length && std::strncmp(row.longName, name, length) == 0)
            return &row;
    }
    return nullptr;
}

const OptionRow* FindShort(char name)
{
    for (const OptionRow& row : kOptionRows) {
        if (row.shortName != '\0' && row.shortName == name)
            return &row;
    }
    return nullptr;
}

// How the user named an option, for a message: "-o" or "--output", as they wrote it.
void Spelled(const char* arg, size_t length, char* out, size_t outSize)
{
    snprintf(out, outSize, "%.*s", static_cast<int>(length), arg);
}

}  // namespace

bool ParseSeconds(const char* text, int* seconds)
{
    const int value = ParseCount(text, kMaxSeconds);
    if (value == 0)
        return false;
    *seconds = value;
    return true;
}

namespace {

// Takes one option into *parsed: its row, how it was spelled, its value (attached, or the next
// argument, moving *i past it). False with the reason in err.
bool TakeOption(const OptionRow* row, const char* spelled, const char* attached, int argc,
                const char* const* argv, int* i, unsigned allowed, const char* command, Invocation* parsed,
                char* err, size_t errSize)
{
    if (!(allowed & OptionBit(row->option))) {
        snprintf(err, errSize, "%s is not an option of %s", spelled, command);
        return false;
    }
    if (parsed->options[row->option]) {
        snprintf(err, errSize, "%s given twice", spelled);
        return false;
    }
    if (!row->takesValue) {
        if (attached) {
            snprintf(err, errSize, "%s takes no value", spelled);
            return false;
        }
        parsed->options[row->option] = "";
        return true;
    }
    if (!attached && *i + 1 == argc) {
        snprintf(err, errSize, "%s needs a value", spelled);
        return false;
    }
    parsed->options[row->option] = attached ? attached : argv[++*i];
    return true;
}

// Whether the option word `arg` leaves its value to the next argument.
bool ValueFollows(const char* arg)
{
    if (arg[0] != '-' || arg[1] == '\0')
        return false;
    if (arg[1] == '-') {
        const OptionRow* row = std::strchr(arg, '=') ? nullptr : FindLong(arg + 2, std::strlen(arg + 2));
        return row && row->takesValue;
    }
    for (const char* c = arg + 1; *c; ++c) {
        const OptionRow* row = FindShort(*c);
        if (row && row->takesValue)
            return c[1] == '\0';
    }
    return false;
}

}  // namespace

bool ParseInvocation(int argc, const char* const* argv, unsigned allowed, const char* command,
                     Invocation* out, char* err, size_t errSize)
{
    Invocation parsed = {};
    bool optionsEnded = false;
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        char spelled[64];
        if (!optionsEnded && std::strcmp(arg, "--") == 0) {
            optionsEnded = true;
        } else if (!optionsEnded && arg[0] == '-' && arg[1] == '-') {
            // --name or --name=value, the name whole: no abbreviation.
            const char* equals = std::strchr(arg, '=');
            const size_t length = equals ? static_cast<size_t>(equals - arg) : std::strlen(arg);
            Spelled(arg, length, spelled, sizeof spelled);
            const OptionRow* row = FindLong(arg + 2, length - 2);
            if (!row) {
                snprintf(err, errSize, "unknown option %s", spelled);
                return false;
            }
            if (!TakeOption(row, spelled, equals ? equals + 1 : nullptr, argc, argv, &i, allowed, command,
                            &parsed, err, errSize))
                return false;
        } else if (!optionsEnded && arg[0] == '-' && arg[1] != '\0') {
            // -q, -qv, -oFILE, -qo FILE: flags bundled, the first option with a value takes the rest.
            for (const char* c = arg + 1; *c; ++c) {
                const char letter[3] = {'-', *c, '\0'};
                const OptionRow* row = FindShort(*c);
                if (!row) {
                    snprintf(err, errSize, "unknown option %s", letter);
                    return false;
                }
                const char* attached = row->takesValue && c[1] ? c + 1 : nullptr;
                if (!TakeOption(row, letter, attached, argc, argv, &i, allowed, command, &parsed, err,
                                errSize))
                    return false;
                if (row->takesValue)
                    break;
            }
        } else {  // a word; "-" alone is standard input or output
            if (parsed.wordCount == kMaxWords) {
                snprintf(err, errSize, "too many arguments: %s", arg);
                return false;
            }
            parsed.words[parsed.wordCount++] = arg;
        }
    }
    *out = parsed;
    return true;
}

bool AsksFor(int argc, const char* const* argv, const char* shortName, const char* longName)
{
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            return false;
        if (std::strcmp(argv[i], shortName) == 0 || std::strcmp(argv[i], longName) == 0)
            return true;
        if (ValueFollows(argv[i]))
            ++i;  // the value of an option is never a request: -o --help writes a file named --help
    }
    return false;
}

bool TracePathForPort(const char* path, const char* port, char* out, size_t outSize)
{
    // The extension is that of the last part of the path only.
    const char* base = path;
    for (const char* c = path; *c; ++c) {
        if (*c == '/' || *c == '\\')
            base = c + 1;
    }
    const char* dot = std::strrchr(base, '.');
    const size_t stem = dot && dot != base ? static_cast<size_t>(dot - path) : std::strlen(path);
    char safe[kPortNameSize];
    size_t length = 0;
    for (const char* c = port; *c && length + 1 < sizeof safe; ++c) {
        const bool plain = (*c >= 'A' && *c <= 'Z') || (*c >= 'a' && *c <= 'z') || (*c >= '0' && *c <= '9') ||
                           *c == '-' || *c == '.';
        if (length > 0 || plain)  // "/dev/..." starts at "dev"
            safe[length++] = plain ? *c : '_';
    }
    safe[length] = '\0';
    const int written = snprintf(out, outSize, "%.*s-%s%s", static_cast<int>(stem), path, safe, path + stem);
    return written > 0 && static_cast<size_t>(written) < outSize;
}
