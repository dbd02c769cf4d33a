#include "link/settings_file.h"

#include <cstdio>
#include <cstring>

#include "link/field_limits.h"

namespace {

constexpr char kSection[] = "[synchronizer]";
constexpr int kCommentIndex = kInitStringCount;  // text index of the comment; 0 to 3 are init strings
using Reason = SettingsReason;

// A parsed text is gathered in an init string's array, so no field may be longer.
static_assert(kCommentFieldChars < kCommentSize && kCommentSize <= kInitStringSize,
              "a field's text must fit its array with its NUL");

// Length of a NUL-terminated text in a fixed array that may lack its NUL.
size_t FixedLength(const char* text, size_t arraySize)
{
    size_t n = 0;
    while (n < arraySize && text[n] != '\0')
        ++n;
    return n;
}

// Copies a text between fixed arrays, NUL-filling dst and cutting the text to fit.
void CopyText(char* dst, size_t dstSize, const char* src, size_t srcSize)
{
    size_t n = FixedLength(src, srcSize);
    if (n > dstSize - 1)
        n = dstSize - 1;
    std::memset(dst, 0, dstSize);
    std::memcpy(dst, src, n);
}

char* TextOf(SettingsFileFields& f, int index)
{
    return index < kInitStringCount ? f.initStrings[index] : f.comment;
}

const char* TextOf(const SettingsFileFields& f, int index)
{
    return index < kInitStringCount ? f.initStrings[index] : f.comment;
}

size_t TextArraySize(int index)
{
    return index < kInitStringCount ? kInitStringSize : kCommentSize;
}

struct FileKey;
using ValueParser = bool (*)(SettingsSpan v, const FileKey& key, SettingsFileFields* f, Reason& reason);
using ValueFormatter = void (*)(const SettingsFileFields& f, const FileKey& key, TextWriter& w);

struct FileKey {
    const char* name;
    ValueParser parse;
    ValueFormatter format;
    int32_t SettingsFileFields::*number;  // numbers and the baud rate
    int32_t low, high;                    // a number's range; a text's most characters
    int text;                             // a text's index: init strings 0 to 3, the comment
};

// The number of a key's value; false, with the reason, if it is not one.
bool ReadNumberOf(SettingsSpan v, const FileKey& key, int32_t* value, Reason& reason)
{
    if (ReadSettingsNumber(v, value))
        return true;
    std::snprintf(reason, sizeof reason, "%s is not a number", key.name);
    return false;
}

bool ParseNumber(SettingsSpan v, const FileKey& key, SettingsFileFields* f, Reason& reason)
{
    int32_t value;
    if (!ReadNumberOf(v, key, &value, reason))
        return false;
    if (value < key.low || value > key.high) {
        std::snprintf(reason, sizeof reason, "%s out of range %ld to %ld", key.name,
                      static_cast<long>(key.low), static_cast<long>(key.high));
        return false;
    }
    f->*key.number = value;
    return true;
}

bool ParseBaud(SettingsSpan v, const FileKey& key, SettingsFileFields* f, Reason& reason)
{
    int32_t value;
    if (!ReadNumberOf(v, key, &value, reason))
        return false;
    for (int32_t rate : BaudRates) {
        if (rate != 0 && rate == value) {
            f->*key.number = value;
            return true;
        }
    }
    std::snprintf(reason, sizeof reason, "%s must be 1200, 2400, 4800 or 9600", key.name);
    return false;
}

bool ParseYesNo(SettingsSpan v, const FileKey& key, SettingsFileFields* f, Reason& reason)
{
    if (v.n == 3 && std::memcmp(v.p, "yes", 3) == 0) {
        f->synchronize = true;
        return true;
    }
    if (v.n == 2 && std::memcmp(v.p, "no", 2) == 0) {
        f->synchronize = false;
        return true;
    }
    std::snprintf(reason, sizeof reason, "%s must be yes or no", key.name);
    return false;
}

// A byte the device could not keep where the text goes: in the init-string block CR separates the
// strings and BEL fills the rest; in the comment BEL ends it.
bool Storable(int byte, const FileKey& key, Reason& reason)
{
    const bool init = key.text < kInitStringCount;
    if (byte == kBel || (init && byte == kCr)) {
        std::snprintf(reason, sizeof reason, "%s holds a %s, which the device takes as %s", key.name,
                      byte == kBel ? "BEL (\\x07)" : "CR (\\r)",
                      byte == kCr ? "the end of an init string"
                      : init      ? "the end of the init strings"
                                  : "the end of the comment");
        return false;
    }
    return true;
}

bool ParseText(SettingsSpan v, const FileKey& key, SettingsFileFields* f, Reason& reason)
{
    QuotedText q;
    if (!OpenQuotedText(v, &q)) {
        std::snprintf(reason, sizeof reason, "%s must be in double quotes", key.name);
        return false;
    }
    char text[kInitStringSize] = {};  // the larger of the two text arrays
    int32_t len = 0;
    for (;;) {
        const int byte = NextQuotedByte(q, reason);
        if (byte == 0)
            break;
        if (byte < 0 || !Storable(byte, key, reason))
            return false;
        if (len == key.high) {
            std::snprintf(reason, sizeof reason, "%s longer than %ld characters", key.name,
                          static_cast<long>(key.high));
            return false;
        }
        text[len++] = static_cast<char>(byte);
    }
    CopyText(TextOf(*f, key.text), TextArraySize(key.text), text, sizeof text);
    return true;
}

void FormatNumber(const SettingsFileFields& f, const FileKey& key, TextWriter& w)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%ld", static_cast<long>(f.*key.number));
    PutText(w, digits);
}

void FormatYesNo(const SettingsFileFields& f, const FileKey&, TextWriter& w)
{
    PutText(w, f.synchronize ? "yes" : "no");
}

void FormatText(const SettingsFileFields& f, const FileKey& key, TextWriter& w)
{
    const char* text = TextOf(f, key.text);
    PutQuoted(w, text, FixedLength(text, TextArraySize(key.text) - 1));
}

// What a load can give is accepted (model 0, frames from 0, a fourth init string of 23 characters,
// init strings longer together than the block), so that any device's file writes back; a write
// corrects or cuts it as the window program's save does, and says so.
constexpr int32_t kLoadedLow = 0, kInitChars = kInitStringSize - 1;

// The keys in the order they are printed.
constexpr FileKey kKeys[] = {
    {"model", ParseNumber, FormatNumber, &SettingsFileFields::model, kLoadedLow, kNumberHigh, 0},
    {"channel", ParseNumber, FormatNumber, &SettingsFileFields::channel, kNumberLow, kNumberHigh, 0},
    {"baud", ParseBaud, FormatNumber, &SettingsFileFields::baud, 0, 0, 0},
    {"start_frame", ParseNumber, FormatNumber, &SettingsFileFields::startFrame, kLoadedLow, kStartHigh, 0},
    {"end_frame", ParseNumber, FormatNumber, &SettingsFileFields::endFrame, kLoadedLow, kEndHigh, 0},
    {"synchronize", ParseYesNo, FormatYesNo, nullptr, 0, 0, 0},
    {"init1", ParseText, FormatText, nullptr, 0, kInitChars, 0},
    {"init2", ParseText, FormatText, nullptr, 0, kInitChars, 1},
    {"init3", ParseText, FormatText, nullptr, 0, kInitChars, 2},
    {"init4", ParseText, FormatText, nullptr, 0, kInitChars, 3},
    {"comment", ParseText, FormatText, nullptr, 0, kCommentFieldChars, kCommentIndex},
};
constexpr int kKeyCount = static_cast<int>(sizeof kKeys / sizeof kKeys[0]);

void FormatValue(const SettingsFileFields& f, const FileKey& key, char value[kSettingsValueSize])
{
    TextWriter w = StartTextWriter(value, kSettingsValueSize);
    key.format(f, key, w);
}

int FindKey(const char* name, size_t n)
{
    for (int k = 0; k < kKeyCount; ++k) {
        if (std::strlen(kKeys[k].name) == n && SameSettingsName(kKeys[k].name, name, n))
            return k;
    }
    return -1;
}

}  // namespace

bool ParseSettingsFile(const char* text, size_t len, SettingsFileFields* out, char* err, size_t errSize)
{
    SettingsFileFields f;
    std::memset(&f, 0, sizeof f);
    int keyLine[kKeyCount] = {};
    char echo[kSettingsValueSize];
    Reason reason;
    if (len > kSettingsFileMaxSize)  // also keeps the line count far from overflowing
        return RefuseSettingsLine(err, errSize, 1, "larger than %lu bytes",
                                  static_cast<unsigned long>(kSettingsFileMaxSize));

    SettingsReader r = StartSettingsReader(text, len, kSection);
    SettingsSpan name, value;
    int next;
    while ((next = NextSettingsEntry(r, &name, &value, err, errSize)) > 0) {
        const int k = FindKey(name.p, name.n);
        if (k < 0) {
            EchoSettingsText(name.p, name.n, echo);
            return RefuseSettingsLine(err, errSize, r.line, "unknown key '%s'", echo);
        }
        if (keyLine[k] != 0)
            return RefuseSettingsLine(err, errSize, r.line, "duplicate key '%s' (first on line %d)",
                                      kKeys[k].name, keyLine[k]);
        keyLine[k] = r.line;
        if (!kKeys[k].parse(value, kKeys[k], &f, reason))
            return RefuseSettingsLine(err, errSize, r.line, "%s", reason);
    }
    if (next < 0)
        return false;

    // What is missing is reported at the last line.
    for (int k = 0; k < kKeyCount; ++k) {
        if (keyLine[k] == 0)
            return RefuseSettingsLine(err, errSize, LastSettingsLine(r), "missing key '%s'", kKeys[k].name);
    }
    *out = f;
    if (err != nullptr && errSize > 0)
        err[0] = '\0';
    return true;
}

size_t PrintSettingsFile(const SettingsFileFields& fields, const char* headerComment, char* out,
                         size_t outSize, const char* lineEnd)
{
    if (out == nullptr || outSize == 0)
        return 0;
    TextWriter w = StartTextWriter(out, outSize);
    w.lineEnd = lineEnd;
    if (!PutSettingsComment(w, headerComment ? headerComment : ""))
        return 0;
    PutSettingsSection(w, kSection);
    char value[kSettingsValueSize];
    for (const FileKey& key : kKeys) {
        FormatValue(fields, key, value);
        PutSettingsEntry(w, key.name, value);
    }
    if (w.full) {
        out[0] = '\0';
        return 0;
    }
    return w.len;
}

int ListSettingsDifferences(const SettingsFileFields& file, const SettingsFileFields& device, char* out,
                            size_t outSize, const char* deviceLabel)
{
    if (out == nullptr || outSize == 0)
        return -1;
    TextWriter w = StartTextWriter(out, outSize);
    int count = 0;
    char a[kSettingsValueSize], b[kSettingsValueSize];
    for (const FileKey& key : kKeys) {
        FormatValue(file, key, a);
        FormatValue(device, key, b);
        if (std::strcmp(a, b) == 0)
            continue;
        ++count;
        PutText(w, key.name);
        PutText(w, ": file ");
        PutText(w, a);
        PutChar(w, ',');
        PutChar(w, ' ');
        PutText(w, deviceLabel);
        PutChar(w, ' ');
        PutText(w, b);
        PutChar(w, '\n');
    }
    if (w.full) {
        out[0] = '\0';
        return -1;
    }
    return count;
}

void SettingsFileFieldsFromSync(const SyncSettings& sync, SettingsFileFields* out)
{
    std::memset(out, 0, sizeof *out);
    out->model = sync.model;
    out->channel = sync.channel;
    out->baud = BaudRates[sync.baudCode & 7];
    out->startFrame = sync.startFrame;
    out->endFrame = sync.endFrame;
    out->synchronize = (sync.flags & FLAG_SYNCHRONIZE) != 0;
    for (int s = 0; s < kInitStringCount; ++s)
        CopyText(out->initStrings[s], kInitStringSize, sync.initStrings[s], kInitStringSize);
    CopyText(out->comment, kCommentSize, sync.comment, kCommentSize);
}

void SaveInputsFromSettingsFile(const SettingsFileFields& fields, SaveInputs* out)
{
    std::memset(out, 0, sizeof *out);
    out->modelPos = fields.model;
    out->channelPos = fields.channel;
    out->synchronize = fields.synchronize;
    out->baudPos = static_cast<uint32_t>(fields.baud);
    std::snprintf(out->startFrame, sizeof out->startFrame, "%ld", static_cast<long>(fields.startFrame));
    std::snprintf(out->endFrame, sizeof out->endFrame, "%ld", static_cast<long>(fields.endFrame));
    for (int s = 0; s < kInitStringCount; ++s)
        CopyText(out->initTexts[s], sizeof out->initTexts[s], fields.initStrings[s], kInitStringSize);
    CopyText(out->comment, sizeof out->comment, fields.comment, kCommentSize);
}

void SettingsFileFieldsAsStored(const SettingsFileFields& fields, SettingsFileFields* out)
{
    SaveInputs in;
    SaveInputsFromSettingsFile(fields, &in);
    SettingsFileFieldsAfterSave(in, out);
}

void SettingsFileFieldsAfterSave(const SaveInputs& in, SettingsFileFields* out)
{
    EncodeForSave(in);
    DecodeInitBlock(Sync.initBlock);  // the device gives back what the save wrote
    DecodeComment(reinterpret_cast<const unsigned char*>(Sync.comment));
    SettingsFileFieldsFromSync(Sync, out);
}
