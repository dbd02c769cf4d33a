#include "qsync/arguments.h"

#include <cstdio>
#include <cstring>

#include "link/decimal_text.h"

namespace {

struct OptionRow {
    const char* name;
    Option option;
    bool takesValue;
};

constexpr OptionRow kOptionRows[] = {
    {"--port", kPortOption, true},   {"--wait", kWaitOption, true},
    {"-o", kOutputOption, true},     {"--model-channel", kModelChannelOption, false},
    {"--trace", kTraceOption, true},
};

const OptionRow* FindOption(const char* name)
{
    for (const OptionRow& row : kOptionRows) {
        if (std::strcmp(row.name, name) == 0)
            return &row;
    }
    return nullptr;
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

bool ParseInvocation(int argc, const char* const* argv, unsigned allowed, const char* command,
                     Invocation* out, char* err, size_t errSize)
{
    Invocation parsed = {};
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        const OptionRow* row = arg[0] == '-' ? FindOption(arg) : nullptr;
        if (row && !(allowed & OptionBit(row->option))) {
            snprintf(err, errSize, "%s is not an option of %s", arg, command);
            return false;
        }
        if (arg[0] == '-' && arg[1] != '\0' && !row) {  // "-" alone is a word: standard input or output
            snprintf(err, errSize, "unknown option %s", arg);
            return false;
        }
        if (!row) {
            if (parsed.wordCount == kMaxWords) {
                snprintf(err, errSize, "too many arguments: %s", arg);
                return false;
            }
            parsed.words[parsed.wordCount++] = arg;
            continue;
        }
        if (parsed.options[row->option]) {
            snprintf(err, errSize, "%s given twice", arg);
            return false;
        }
        if (row->takesValue && i + 1 == argc) {
            snprintf(err, errSize, "%s needs a value", arg);
            return false;
        }
        parsed.options[row->option] = row->takesValue ? argv[++i] : "";
    }
    *out = parsed;
    return true;
}

bool AsksFor(int argc, const char* const* argv, const char* shortName, const char* longName)
{
    for (int i = 0; i < argc; ++i) {
        const OptionRow* row = FindOption(argv[i]);
        if (row && row->takesValue) {
            ++i;
            continue;
        }
        if (std::strcmp(argv[i], shortName) == 0 || std::strcmp(argv[i], longName) == 0)
            return true;
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
