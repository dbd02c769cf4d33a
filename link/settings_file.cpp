#include "link/settings_file.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "link/cp1252.h"
#include "link/decimal_text.h"
#include "link/field_limits.h"

namespace {

// One wording for a NUL written raw and as \x00: the device would end the text there.
constexpr const char* kNulInText = "a NUL byte cannot be stored: it would end the text";

constexpr char kSection[] = "[synchronizer]";
constexpr char kEol[] = "\r\n";
constexpr int kCommentIndex = kInitStringCount;    // text index of the comment; 0 to 3 are init strings
constexpr size_t kValueSize = 128;                 // a value as printed: at most 2 + 4 * 23 characters
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";  // what Notepad puts before a UTF-8 text
constexpr size_t kReasonSize = 160;                // a refusal's reason, without its line number
constexpr size_t kEchoChars = 24;                  // characters of a refused key or header echoed back
using Reason = char[kReasonSize];

// A parsed text is gathered in an init string's array, so no field may be longer.
static_assert(kCommentFieldChars < kCommentSize && kCommentSize <= kInitStringSize,
              "a field's text must fit its array with its NUL");

// Appends into a fixed buffer, always NUL-terminated; what does not fit sets `full`.
struct Writer {
    char* buf;
    size_t size;  // at least 1
    size_t len;
    bool full;
};

Writer StartWriter(char* buf, size_t size)
{
    buf[0] = '\0';
    return Writer{buf, size, 0, false};
}

void PutChar(Writer& w, char c)
{
    if (w.len + 1 >= w.size) {
        w.full = true;
        return;
    }
    w.buf[w.len++] = c;
    w.buf[w.len] = '\0';
}

void Put(Writer& w, const char* s)
{
    for (; *s; ++s)
        PutChar(w, *s);
}

// The bytes of a text as they stand between the quotes of a file: code page 1252 written as
// UTF-8, a byte the code page lacks as \xNN.
void PutEscaped(Writer& w, const char* text, size_t n)
{
    static const char kHex[] = "0123456789ABCDEF";
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const int32_t character = UnicodeOfCp1252(c);
        if (c == '"' || c == '\\') {
            PutChar(w, '\\');
            PutChar(w, static_cast<char>(c));
        } else if (c == '\r') {
            Put(w, "\\r");
        } else if (c == '\n') {
            Put(w, "\\n");
        } else if (c >= 0x80 && character >= 0) {
            char utf8[4];
            const size_t length = PutUtf8(static_cast<uint32_t>(character), utf8);
            for (size_t k = 0; k < length; ++k)
                PutChar(w, utf8[k]);
        } else if (c < 0x20 || c >= 0x7F) {
            Put(w, "\\x");
            PutChar(w, kHex[c >> 4]);
            PutChar(w, kHex[c & 0xF]);
        } else {
            PutChar(w, static_cast<char>(c));
        }
    }
}

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

// A value between its '=' and the end of its line, blanks trimmed.
struct Value {
    const char* p;
    size_t n;
};

struct FileKey;
using ValueParser = bool (*)(Value v, const FileKey& key, SettingsFileFields* f, Reason& reason);
using ValueFormatter = void (*)(const SettingsFileFields& f, const FileKey& key, Writer& w);

struct FileKey {
    const char* name;
    ValueParser parse;
    ValueFormatter format;
    int32_t SettingsFileFields::*number;  // numbers and the baud rate
    int32_t low, high;                    // a number's range; a text's most characters
    int text;                             // a text's index: init strings 0 to 3, the comment
};

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// An optional sign, then digits and nothing else; larger magnitudes saturate (and so fail a range).
bool ReadNumber(Value v, int32_t* value)
{
    size_t i = v.n > 0 && (v.p[0] == '+' || v.p[0] == '-') ? 1 : 0;
    if (i == v.n)
        return false;
    for (size_t k = i; k < v.n; ++k) {
        if (!IsDigit(v.p[k]))
            return false;
    }
    *value = ParseDecimalBounded(v.p, v.n);
    return true;
}

// The number of a key's value; false, with the reason, if it is not one.
bool ReadNumberOf(Value v, const FileKey& key, int32_t* value, Reason& reason)
{
    if (ReadNumber(v, value))
        return true;
    std::snprintf(reason, sizeof reason, "%s is not a number", key.name);
    return false;
}

bool ParseNumber(Value v, const FileKey& key, SettingsFileFields* f, Reason& reason)
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

bool ParseBaud(Value v, const FileKey& key, SettingsFileFields* f, Reason& reason)
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

bool ParseYesNo(Value v, const FileKey& key, SettingsFileFields* f, Reason& reason)
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

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The byte of the escape at v.p[*i] (the backslash), moving *i past it; -1 with a reason if bad.
int ReadEscape(Value v, size_t* i, Reason& reason)
{
    if (*i + 1 >= v.n) {
        std::snprintf(reason, sizeof reason, "missing closing quote");
        return -1;
    }
    const char e = v.p[*i + 1];
    *i += 2;
    switch (e) {
        case '"':
        case '\\':
            return e;
        case 'r':
            return '\r';
        case 'n':
            return '\n';
        case 't':
            return '\t';
        case 'x': {
            const int high = *i < v.n ? HexDigit(v.p[*i]) : -1;
            const int low = *i + 1 < v.n ? HexDigit(v.p[*i + 1]) : -1;
            if (high < 0 || low < 0) {
                std::snprintf(reason, sizeof reason, "\\x needs two hex digits");
                return -1;
            }
            *i += 2;
            if (high == 0 && low == 0) {
                std::snprintf(reason, sizeof reason, "%s", kNulInText);
                return -1;
            }
            return high * 16 + low;
        }
        default: {
            char shown[8];
            Writer w = StartWriter(shown, sizeof shown);
            PutEscaped(w, &e, 1);
            std::snprintf(reason, sizeof reason, "unknown escape \\%s", shown);
            return -1;
        }
    }
}

// The character at v.p[*i], a raw UTF-8 character, as its code page byte, moving *i past it; -1
// with a reason if it is not UTF-8 or the code page lacks it.
int ReadCharacter(Value v, size_t* i, Reason& reason)
{
    uint32_t character = 0;
    const size_t length = ReadUtf8(v.p + *i, v.n - *i, &character);
    if (length == 0) {
        std::snprintf(reason, sizeof reason, "not UTF-8 text: save the file as UTF-8");
        return -1;
    }
    const int byte = Cp1252OfUnicode(character);
    if (byte < 0) {
        std::snprintf(reason, sizeof reason, "U+%04lX is not a character of code page 1252",
                      static_cast<unsigned long>(character));
        return -1;
    }
    *i += length;
    return byte;
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

bool ParseText(Value v, const FileKey& key, SettingsFileFields* f, Reason& reason)
{
    if (v.n == 0 || v.p[0] != '"') {
        std::snprintf(reason, sizeof reason, "%s must be in double quotes", key.name);
        return false;
    }
    char text[kInitStringSize] = {};  // the larger of the two text arrays
    int32_t len = 0;
    size_t i = 1;
    for (;;) {
        if (i >= v.n) {
            std::snprintf(reason, sizeof reason, "missing closing quote");
            return false;
        }
        const unsigned char c = static_cast<unsigned char>(v.p[i]);
        if (c == '"')
            break;
        int byte = c;
        if (c == '\\') {
            byte = ReadEscape(v, &i, reason);
        } else if (c == 0) {
            std::snprintf(reason, sizeof reason, "%s", kNulInText);
            return false;
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(reason, sizeof reason, "control character in a text: write it as \\x%02X",
                          static_cast<unsigned>(c));
            return false;
        } else {
            byte = ReadCharacter(v, &i, reason);
        }
        if (byte < 0 || !Storable(byte, key, reason))
            return false;
        if (len == key.high) {
            std::snprintf(reason, sizeof reason, "%s longer than %ld characters", key.name,
                          static_cast<long>(key.high));
            return false;
        }
        text[len++] = static_cast<char>(byte);
    }
    if (i + 1 != v.n) {
        std::snprintf(reason, sizeof reason, "text after the closing quote");
        return false;
    }
    CopyText(TextOf(*f, key.text), TextArraySize(key.text), text, sizeof text);
    return true;
}

void FormatNumber(const SettingsFileFields& f, const FileKey& key, Writer& w)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%ld", static_cast<long>(f.*key.number));
    Put(w, digits);
}

void FormatYesNo(const SettingsFileFields& f, const FileKey&, Writer& w)
{
    Put(w, f.synchronize ? "yes" : "no");
}

void FormatText(const SettingsFileFields& f, const FileKey& key, Writer& w)
{
    const char* text = TextOf(f, key.text);
    const size_t size = TextArraySize(key.text);
    PutChar(w, '"');
    PutEscaped(w, text, FixedLength(text, size - 1));
    PutChar(w, '"');
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

void FormatValue(const SettingsFileFields& f, const FileKey& key, char value[kValueSize])
{
    Writer w = StartWriter(value, kValueSize);
    key.format(f, key, w);
}

// Names of sections and keys match without regard to case, as in Windows settings files.
bool SameName(const char* a, const char* b, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        const char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
        if (x != y)
            return false;
    }
    return true;
}

int FindKey(const char* name, size_t n)
{
    for (int k = 0; k < kKeyCount; ++k) {
        if (std::strlen(kKeys[k].name) == n && SameName(kKeys[k].name, name, n))
            return k;
    }
    return -1;
}

bool Refuse(char* err, size_t errSize, int line, const char* format, ...)
{
    if (err == nullptr || errSize == 0)
        return false;
    char reason[kReasonSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(reason, sizeof reason, format, args);
    va_end(args);
    std::snprintf(err, errSize, "line %d: %s", line, reason);
    return false;
}

// A refused key or header as the message shows it: escaped and cut short.
void Echo(const char* p, size_t n, char out[kValueSize])
{
    Writer w = StartWriter(out, kValueSize);
    PutEscaped(w, p, n < kEchoChars ? n : kEchoChars);
    if (n > kEchoChars)
        Put(w, "...");
}

Value Trim(const char* p, size_t n)
{
    while (n > 0 && IsBlank(p[0])) {
        ++p;
        --n;
    }
    while (n > 0 && IsBlank(p[n - 1]))
        --n;
    return Value{p, n};
}

}  // namespace

bool ParseSettingsFile(const char* text, size_t len, SettingsFileFields* out, char* err, size_t errSize)
{
    SettingsFileFields f;
    std::memset(&f, 0, sizeof f);
    int sectionLine = 0;
    int keyLine[kKeyCount] = {};
    int line = 0;
    char echo[kValueSize];
    char reason[kReasonSize];
    if (len > kSettingsFileMaxSize)  // also keeps the line count far from overflowing
        return Refuse(err, errSize, 1, "larger than %lu bytes",
                      static_cast<unsigned long>(kSettingsFileMaxSize));

    const size_t bom = sizeof kByteOrderMark - 1;
    for (size_t pos = len >= bom && std::memcmp(text, kByteOrderMark, bom) == 0 ? bom : 0; pos < len;) {
        ++line;
        const char* start = text + pos;
        size_t n = 0;
        while (pos + n < len && start[n] != '\n')
            ++n;
        pos += n + (pos + n < len ? 1 : 0);
        if (n > 0 && start[n - 1] == '\r')  // CR LF: the CR belongs to the line ending
            --n;
        const Value l = Trim(start, n);
        if (l.n == 0 || l.p[0] == ';' || l.p[0] == '#')
            continue;
        if (l.p[0] == '[') {
            if (l.n != sizeof kSection - 1 || !SameName(l.p, kSection, l.n)) {
                Echo(l.p, l.n, echo);
                return Refuse(err, errSize, line, "unknown section %s, expected %s", echo, kSection);
            }
            if (sectionLine != 0)
                return Refuse(err, errSize, line, "repeated section header (first on line %d)", sectionLine);
            sectionLine = line;
            continue;
        }
        if (sectionLine == 0)
            return Refuse(err, errSize, line, "text before the %s section header", kSection);
        const char* equals = static_cast<const char*>(std::memchr(l.p, '=', l.n));
        const Value name = equals ? Trim(l.p, static_cast<size_t>(equals - l.p)) : Value{l.p, 0};
        if (name.n == 0)
            return Refuse(err, errSize, line, "expected key = value");
        const int k = FindKey(name.p, name.n);
        if (k < 0) {
            Echo(name.p, name.n, echo);
            return Refuse(err, errSize, line, "unknown key '%s'", echo);
        }
        if (keyLine[k] != 0)
            return Refuse(err, errSize, line, "duplicate key '%s' (first on line %d)", kKeys[k].name,
                          keyLine[k]);
        keyLine[k] = line;
        const size_t after = static_cast<size_t>(equals - l.p) + 1;
        if (!kKeys[k].parse(Trim(l.p + after, l.n - after), kKeys[k], &f, reason))
            return Refuse(err, errSize, line, "%s", reason);
    }

    // What is missing is reported at the last line.
    const int last = line > 0 ? line : 1;
    if (sectionLine == 0)
        return Refuse(err, errSize, last, "missing %s section header", kSection);
    for (int k = 0; k < kKeyCount; ++k) {
        if (keyLine[k] == 0)
            return Refuse(err, errSize, last, "missing key '%s'", kKeys[k].name);
    }
    *out = f;
    if (err != nullptr && errSize > 0)
        err[0] = '\0';
    return true;
}

size_t PrintSettingsFile(const SettingsFileFields& fields, const char* headerComment, char* out,
                         size_t outSize)
{
    if (out == nullptr || outSize == 0)
        return 0;
    const char* header = headerComment ? headerComment : "";
    for (const char* c = header; *c; ++c) {
        const unsigned char b = static_cast<unsigned char>(*c);
        if (b < 0x20 || b == 0x7F) {  // a line break would end the comment early
            out[0] = '\0';
            return 0;
        }
    }
    Writer w = StartWriter(out, outSize);
    PutChar(w, ';');
    if (header[0] != '\0') {
        PutChar(w, ' ');
        Put(w, header);
    }
    Put(w, kEol);
    Put(w, kSection);
    Put(w, kEol);
    char value[kValueSize];
    for (const FileKey& key : kKeys) {
        FormatValue(fields, key, value);
        Put(w, key.name);
        Put(w, " = ");
        Put(w, value);
        Put(w, kEol);
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
    Writer w = StartWriter(out, outSize);
    int count = 0;
    char a[kValueSize], b[kValueSize];
    for (const FileKey& key : kKeys) {
        FormatValue(file, key, a);
        FormatValue(device, key, b);
        if (std::strcmp(a, b) == 0)
            continue;
        ++count;
        Put(w, key.name);
        Put(w, ": file ");
        Put(w, a);
        PutChar(w, ',');
        PutChar(w, ' ');
        Put(w, deviceLabel);
        PutChar(w, ' ');
        Put(w, b);
        PutChar(w, '\n');
    }
    if (w.full) {
        out[0] = '\0';
        return -1;
    }
    return count;
}

void SettingsFileFieldsExpected(const SettingsFileFields& file, const SettingsFileFields& device,
                                SettingsFileFields* out)
{
    SettingsFileFieldsAsStored(file, out);
    for (const FileKey& key : kKeys) {
        if (key.number && device.*key.number == file.*key.number)
            out->*key.number = file.*key.number;
    }
    if (std::memcmp(device.initStrings, file.initStrings, sizeof file.initStrings) == 0)
        std::memcpy(out->initStrings, file.initStrings, sizeof file.initStrings);
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

size_t EscapeSettingsText(const char* text, size_t n, char* out, size_t outSize)
{
    if (outSize == 0)
        return 0;
    Writer w = StartWriter(out, outSize);
    PutEscaped(w, text, n);
    if (w.full) {
        out[0] = '\0';
        return 0;
    }
    return w.len;
}
