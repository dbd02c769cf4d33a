#include "link/register_compare.h"

#include <cstdio>
#include <cstring>

namespace {

// Appends to a fixed buffer; what does not fit marks it full.
struct Text {
    char* out;
    size_t size, length;
    bool full;
};

void Add(Text& text, const char* format, const char* a, const char* b, const char* c)
{
    const int n = text.full ? -1 : snprintf(text.out + text.length, text.size - text.length, format, a, b, c);
    if (n < 0 || static_cast<size_t>(n) >= text.size - text.length)
        text.full = true;
    else
        text.length += static_cast<size_t>(n);
}

int Finish(Text& text, int count)
{
    if (!text.full)
        return count;
    if (text.size > 0)
        text.out[0] = '\0';
    return -1;
}

// The bytes as a file's text shows them, in quotes; `quoted` takes 4 characters a byte and 3.
void Quoted(const unsigned char* bytes, size_t count, char* quoted, size_t size)
{
    char escaped[32];
    EscapeSettingsText(reinterpret_cast<const char*>(bytes), count, escaped, sizeof escaped);
    snprintf(quoted, size, "\"%s\"", escaped);
}

// A number of a settings file and where the device holds it: `digits` decimal digits from the
// register `first` on (a frame's sixth character carries nothing).
struct NumberKey {
    const char* key;
    RegisterCode first;
    int digits;
    int32_t SettingsFileFields::*field;
};
constexpr NumberKey kNumbers[] = {
    {"model", '?', 2, &SettingsFileFields::model},
    {"channel", '>', 2, &SettingsFileFields::channel},
    {"start_frame", '0', 5, &SettingsFileFields::startFrame},
    {"end_frame", '3', 5, &SettingsFileFields::endFrame},
};

// The device's value as a file would show it: the number its digits make, or the bytes quoted
// when they are not digits. Returns whether it is the number `shown`.
bool DeviceValue(const unsigned char* bytes, int digits, int32_t shown, char* text, size_t size)
{
    int32_t value = 0;
    for (int i = 0; i < digits; ++i) {
        if (bytes[i] < '0' || bytes[i] > '9') {
            Quoted(bytes, static_cast<size_t>(digits), text, size);
            return false;
        }
        value = value * 10 + (bytes[i] - '0');
    }
    snprintf(text, size, "%ld", static_cast<long>(value));
    return value == shown;
}

}  // namespace

const unsigned char* RegisterPairOf(const RegisterPairs& image, RegisterCode code)
{
    static const unsigned char kNone[2] = {0, 0};
    const int at = code - kFirstRegisterCode;
    return at >= 0 && at < kRegisterCodeSpan ? image.pairs[at] : kNone;
}

void WrittenImage(RegisterPairs* out)
{
    std::memset(out, 0, sizeof *out);
    for (int at = 0; at < kRegisterCodeSpan; ++at)
        RegisterText(static_cast<RegisterCode>(kFirstRegisterCode + at), out->pairs[at]);
}

size_t RegisterLabel(RegisterCode code, char* out, size_t outSize)
{
    const char* keys = nullptr;
    for (const RegisterRun& run : kRegisterRuns) {
        if (code >= run.first && code < run.first + run.count)
            keys = run.keys;
    }
    const int n = keys ? snprintf(out, outSize, "register %c (%s)", code, keys) : -1;
    if (n < 0 || static_cast<size_t>(n) >= outSize) {
        if (outSize > 0)
            out[0] = '\0';
        return 0;
    }
    return static_cast<size_t>(n);
}

int RegistersInWriteOrder(bool modelAndChannel, RegisterCode codes[kRegisterCount])
{
    int count = 0;
    for (const RegisterRun& run : kRegisterRuns) {
        for (int i = 0; i < run.count && (modelAndChannel || !run.modelOrChannel); ++i)
            codes[count++] = static_cast<RegisterCode>(run.first + i);
    }
    return count;
}

void QuotePair(const unsigned char pair[2], char out[kQuotedPairSize])
{
    Quoted(pair, 2, out, kQuotedPairSize);
}

int ListRegisterDifferences(const RegisterPairs& device, const RegisterPairs& written, bool modelAndChannel,
                            char* out, size_t outSize)
{
    Text text{out, outSize, 0, outSize == 0};
    if (outSize > 0)
        out[0] = '\0';
    int count = 0;
    RegisterCode codes[kRegisterCount];
    const int registers = RegistersInWriteOrder(modelAndChannel, codes);
    for (int i = 0; i < registers; ++i) {
        const unsigned char* held = RegisterPairOf(device, codes[i]);
        const unsigned char* stored = RegisterPairOf(written, codes[i]);
        if (std::memcmp(held, stored, 2) == 0)
            continue;
        char label[64], heldText[kQuotedPairSize], storedText[kQuotedPairSize];
        RegisterLabel(codes[i], label, sizeof label);
        QuotePair(held, heldText);
        QuotePair(stored, storedText);
        Add(text, "%s: device %s, a write stores %s\n", label, heldText, storedText);
        ++count;
    }
    return Finish(text, count);
}

int ListLoadCorrections(const RegisterPairs& device, const SettingsFileFields& loaded, char* out,
                        size_t outSize)
{
    Text text{out, outSize, 0, outSize == 0};
    if (outSize > 0)
        out[0] = '\0';
    int count = 0;
    char held[32], shown[16];
    for (const NumberKey& number : kNumbers) {
        // The registers of one number follow each other in the image.
        const unsigned char* bytes = RegisterPairOf(device, number.first);
        if (DeviceValue(bytes, number.digits, loaded.*number.field, held, sizeof held))
            continue;
        snprintf(shown, sizeof shown, "%ld", static_cast<long>(loaded.*number.field));
        Add(text, "%s: device %s, file %s\n", number.key, held, shown);
        ++count;
    }
    const unsigned char* baud = RegisterPairOf(device, '6');
    const int32_t rate = BaudRates[baud[0] & 7];
    if (rate != loaded.baud) {
        if (rate != 0)
            snprintf(held, sizeof held, "%ld", static_cast<long>(rate));
        else
            Quoted(baud, 2, held, sizeof held);
        snprintf(shown, sizeof shown, "%ld", static_cast<long>(loaded.baud));
        Add(text, "%s: device %s, file %s\n", "baud", held, shown);
        ++count;
    }
    return Finish(text, count);
}
