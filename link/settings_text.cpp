#include "link/settings_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "link/cp1252.h"
#include "link/decimal_text.h"

namespace {

constexpr char kEol[] = "\r\n";
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";  // what Notepad puts before a UTF-8 text
constexpr size_t kEchoChars = 24;                  // characters of a refused key or header echoed back

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// One wording for a NUL written raw and as \x00: the device would end the text there.
constexpr const char* kNulInText = "a NUL byte cannot be stored: it would end the text";

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

SettingsSpan Trim(const char* p, size_t n)
{
    while (n > 0 && IsBlank(p[0])) {
        ++p;
        --n;
    }
    while (n > 0 && IsBlank(p[n - 1]))
        --n;
    return SettingsSpan{p, n};
}

// The byte of the escape at v.p[*i] (the backslash), moving *i past it; -1 with a reason if bad.
int ReadEscape(SettingsSpan v, size_t* i, SettingsReason& reason)
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
            TextWriter w = StartTextWriter(shown, sizeof shown);
            PutEscaped(w, &e, 1);
            std::snprintf(reason, sizeof reason, "unknown escape \\%s", shown);
            return -1;
        }
    }
}

// The character at v.p[*i], a raw UTF-8 character, as its code page byte, moving *i past it; -1
// with a reason if it is not UTF-8 or the code page lacks it.
int ReadCharacter(SettingsSpan v, size_t* i, SettingsReason& reason)
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

}  // namespace

TextWriter StartTextWriter(char* buf, size_t size)
{
    buf[0] = '\0';
    return TextWriter{buf, size, 0, false, kEol};
}

void PutChar(TextWriter& w, char c)
{
    if (w.len + 1 >= w.size) {
        w.full = true;
        return;
    }
    w.buf[w.len++] = c;
    w.buf[w.len] = '\0';
}

void PutText(TextWriter& w, const char* s)
{
    for (; *s; ++s)
        PutChar(w, *s);
}

void PutEscaped(TextWriter& w, const char* text, size_t n)
{
    static const char kHex[] = "0123456789ABCDEF";
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const int32_t character = UnicodeOfCp1252(c);
        if (c == '"' || c == '\\') {
            PutChar(w, '\\');
            PutChar(w, static_cast<char>(c));
        } else if (c == '\r') {
            PutText(w, "\\r");
        } else if (c == '\n') {
            PutText(w, "\\n");
        } else if (c >= 0x80 && character >= 0) {
            char utf8[4];
            const size_t length = PutUtf8(static_cast<uint32_t>(character), utf8);
            for (size_t k = 0; k < length; ++k)
                PutChar(w, utf8[k]);
        } else if (c < 0x20 || c >= 0x7F) {
            PutText(w, "\\x");
            PutChar(w, kHex[c >> 4]);
            PutChar(w, kHex[c & 0xF]);
        } else {
            PutChar(w, static_cast<char>(c));
        }
    }
}

void PutQuoted(TextWriter& w, const char* text, size_t n)
{
    PutChar(w, '"');
    PutEscaped(w, text, n);
    PutChar(w, '"');
}

bool PutSettingsComment(TextWriter& w, const char* comment)
{
    for (const char* c = comment; *c; ++c) {
        const unsigned char b = static_cast<unsigned char>(*c);
        if (b < 0x20 || b == 0x7F)
            return false;
    }
    PutChar(w, ';');
    if (comment[0] != '\0') {
        PutChar(w, ' ');
        PutText(w, comment);
    }
    PutText(w, w.lineEnd);
    return true;
}

void PutSettingsSection(TextWriter& w, const char* section)
{
    PutText(w, section);
    PutText(w, w.lineEnd);
}

void PutSettingsEntry(TextWriter& w, const char* name, const char* value)
{
    PutText(w, name);
    PutText(w, " = ");
    PutText(w, value);
    PutText(w, w.lineEnd);
}

size_t EscapeSettingsText(const char* text, size_t n, char* out, size_t outSize)
{
    if (outSize == 0)
        return 0;
    TextWriter w = StartTextWriter(out, outSize);
    PutEscaped(w, text, n);
    if (w.full) {
        out[0] = '\0';
        return 0;
    }
    return w.len;
}

bool SameSettingsName(const char* a, const char* b, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        const char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
        if (x != y)
            return false;
    }
    return true;
}

bool RefuseSettingsLine(char* err, size_t errSize, int line, const char* format, ...)
{
    if (err == nullptr || errSize == 0)
        return false;
    char reason[kSettingsReasonSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(reason, sizeof reason, format, args);
    va_end(args);
    std::snprintf(err, errSize, "line %d: %s", line, reason);
    return false;
}

void EchoSettingsText(const char* p, size_t n, char out[kSettingsValueSize])
{
    TextWriter w = StartTextWriter(out, kSettingsValueSize);
    PutEscaped(w, p, n < kEchoChars ? n : kEchoChars);
    if (n > kEchoChars)
        PutText(w, "...");
}

SettingsReader StartSettingsReader(const char* text, size_t len, const char* section)
{
    const size_t bom = sizeof kByteOrderMark - 1;
    const size_t start = len >= bom && std::memcmp(text, kByteOrderMark, bom) == 0 ? bom : 0;
    return SettingsReader{text, len, start, section, 0, 0};
}

int NextSettingsEntry(SettingsReader& r, SettingsSpan* name, SettingsSpan* value, char* err, size_t errSize)
{
    char echo[kSettingsValueSize];
    while (r.pos < r.len) {
        ++r.line;
        const char* start = r.text + r.pos;
        size_t n = 0;
        while (r.pos + n < r.len && start[n] != '\n')
            ++n;
        r.pos += n + (r.pos + n < r.len ? 1 : 0);
        if (n > 0 && start[n - 1] == '\r')  // CR LF: the CR belongs to the line ending
            --n;
        const SettingsSpan l = Trim(start, n);
        if (l.n == 0 || l.p[0] == ';' || l.p[0] == '#')
            continue;
        if (l.p[0] == '[') {
            if (l.n != std::strlen(r.section) || !SameSettingsName(l.p, r.section, l.n)) {
                EchoSettingsText(l.p, l.n, echo);
                RefuseSettingsLine(err, errSize, r.line, "unknown section %s, expected %s", echo, r.section);
                return -1;
            }
            if (r.sectionLine != 0) {
                RefuseSettingsLine(err, errSize, r.line, "repeated section header (first on line %d)",
                                   r.sectionLine);
                return -1;
            }
            r.sectionLine = r.line;
            continue;
        }
        if (r.sectionLine == 0) {
            RefuseSettingsLine(err, errSize, r.line, "text before the %s section header", r.section);
            return -1;
        }
        const char* equals = static_cast<const char*>(std::memchr(l.p, '=', l.n));
        *name = equals ? Trim(l.p, static_cast<size_t>(equals - l.p)) : SettingsSpan{l.p, 0};
        if (name->n == 0) {
            RefuseSettingsLine(err, errSize, r.line, "expected key = value");
            return -1;
        }
        const size_t after = static_cast<size_t>(equals - l.p) + 1;
        *value = Trim(l.p + after, l.n - after);
        return 1;
    }
    if (r.sectionLine == 0) {
        RefuseSettingsLine(err, errSize, LastSettingsLine(r), "missing %s section header", r.section);
        return -1;
    }
    return 0;
}

int LastSettingsLine(const SettingsReader& r)
{
    return r.line > 0 ? r.line : 1;
}

bool ReadSettingsNumber(SettingsSpan v, int32_t* value)
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

bool OpenQuotedText(SettingsSpan v, QuotedText* q)
{
    if (v.n == 0 || v.p[0] != '"')
        return false;
    *q = QuotedText{v, 1};
    return true;
}

int NextQuotedByte(QuotedText& q, SettingsReason& reason)
{
    if (q.i >= q.v.n) {
        std::snprintf(reason, sizeof reason, "missing closing quote");
        return -1;
    }
    const unsigned char c = static_cast<unsigned char>(q.v.p[q.i]);
    if (c == '"') {
        if (q.i + 1 != q.v.n) {
            std::snprintf(reason, sizeof reason, "text after the closing quote");
            return -1;
        }
        return 0;
    }
    if (c == '\\')
        return ReadEscape(q.v, &q.i, reason);
    if (c == 0) {
        std::snprintf(reason, sizeof reason, "%s", kNulInText);
        return -1;
    }
    if (c < 0x20 || c == 0x7F) {
        std::snprintf(reason, sizeof reason, "control character in a text: write it as \\x%02X",
                      static_cast<unsigned>(c));
        return -1;
    }
    return ReadCharacter(q.v, &q.i, reason);
}
