#pragma once
// The text of a settings file, below what its keys mean: lines ending in LF or CR LF, one
// [section] of "key = value" lines, comment lines, quoted texts with their escapes, UTF-8 in the
// file for the code page 1252 bytes of the record, and refusals that name their line; and the
// writer that prints the same text back. link/settings_file.h gives the keys their meaning.
#include <cstddef>
#include <cstdint>

constexpr size_t kSettingsReasonSize = 160;  // a refusal's reason, without its line number
using SettingsReason = char[kSettingsReasonSize];
constexpr size_t kSettingsValueSize = 128;  // a value as printed: at most 2 + 4 * 23 characters

// A span of the text: a line, a key's name or its value, blanks trimmed.
struct SettingsSpan {
    const char* p;
    size_t n;
};

// Appends into a fixed buffer, always NUL-terminated; what does not fit sets `full`.
struct TextWriter {
    char* buf;
    size_t size;  // at least 1
    size_t len;
    bool full;
    const char* lineEnd;  // "\r\n" unless the printer asks for another
};

TextWriter StartTextWriter(char* buf, size_t size);
void PutChar(TextWriter& w, char c);
void PutText(TextWriter& w, const char* s);
// The bytes of a text as they stand between the quotes of a file: code page 1252 written as
// UTF-8, a byte the code page lacks as \xNN.
void PutEscaped(TextWriter& w, const char* text, size_t n);
// The same between its double quotes.
void PutQuoted(TextWriter& w, const char* text, size_t n);
// "; comment" (a bare ';' for an empty one) and the line end. False, writing nothing, when the
// comment holds a control character: a line break would end it early.
bool PutSettingsComment(TextWriter& w, const char* comment);
// A line of its own: the section header, or "name = value".
void PutSettingsSection(TextWriter& w, const char* section);
void PutSettingsEntry(TextWriter& w, const char* name, const char* value);

// The bytes text[0..n) as they stand between the quotes of a file. Returns the length written
// (without the NUL), or 0 with out empty when they do not fit in outSize.
size_t EscapeSettingsText(const char* text, size_t n, char* out, size_t outSize);

// Names of sections and keys match without regard to case, as in Windows settings files.
bool SameSettingsName(const char* a, const char* b, size_t n);

// Writes "line N: reason" into err (when there is room for anything) and returns false.
bool RefuseSettingsLine(char* err, size_t errSize, int line, const char* format, ...);
// A refused name as a message shows it: escaped and cut short.
void EchoSettingsText(const char* p, size_t n, char out[kSettingsValueSize]);

// Walks the lines of a text that holds one `section`; a leading UTF-8 byte-order mark is skipped.
struct SettingsReader {
    const char* text;
    size_t len;
    size_t pos;
    const char* section;  // "[name]"
    int line;             // of the entry last returned
    int sectionLine;      // 0 until the header is seen
};

SettingsReader StartSettingsReader(const char* text, size_t len, const char* section);
// The next "name = value" line, past blank and comment lines and the section's header: 1 with
// both trimmed, 0 at the end of the text, or -1 with err "line N: reason" for another section, a
// header seen twice, a line before the header or one that is not "name = value", and at the end
// for a text without the header.
int NextSettingsEntry(SettingsReader& r, SettingsSpan* name, SettingsSpan* value, char* err, size_t errSize);
// The line where what is missing is reported: the last one.
int LastSettingsLine(const SettingsReader& r);

// An optional sign, then digits and nothing else; larger magnitudes saturate.
bool ReadSettingsNumber(SettingsSpan v, int32_t* value);

// A quoted value read one byte of the record at a time.
struct QuotedText {
    SettingsSpan v;
    size_t i;  // past the opening quote, then past each character read
};

// False when the value does not start with a double quote.
bool OpenQuotedText(SettingsSpan v, QuotedText* q);
// The next byte, 1 to 255 (an escape's, or a UTF-8 character's in code page 1252); 0 at the
// closing quote, which must end the value; -1 with the reason otherwise.
int NextQuotedByte(QuotedText& q, SettingsReason& reason);
