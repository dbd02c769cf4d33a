#pragma once
// A settings file: the editor's fields as a small text a person can read, edit and compare.
//
//   ; read from COM1 on 2026-12-07 14:03
//   [synchronizer]
//   model = 5
//   channel = 1
//   baud = 9600
//   start_frame = 1
//   end_frame = 500
//   synchronize = yes
//   init1 = "0KL0DS"
//   init2 = ""
//   init3 = ""
//   init4 = ""
//   comment = "QSIM"
//
// One [synchronizer] section holds every key once, in any order. Blank lines and lines starting
// with ';' or '#' are skipped; there are no comments after a value. Spaces and tabs around keys
// and values are ignored. Lines end with LF or CR LF (both are read, and may be mixed); the
// printer writes the line end it is given: CR LF on Windows, LF on Linux. Texts are in double quotes with
// the escapes \" \\ \r \n \t and \xNN (the byte itself, also from 0x80 up); the printer writes
// each control byte as \xNN except CR and LF as \r and \n, and each byte from 0x80 up as the UTF-8
// of its code page 1252 character, or as \xNN where the code page has none. The text itself is
// read and printed by link/settings_text.h; here are the keys, their ranges and their mapping onto
// the settings and the register image.
#include <cstddef>
#include <cstdint>

#include "link/settings_text.h"
#include "link/sync_settings.h"

// What the editor shows: the record of a settings file.
struct SettingsFileFields {
    int32_t model, channel;
    int32_t baud;  // the rate itself: 1200, 2400, 4800 or 9600
    int32_t startFrame, endFrame;
    bool synchronize;
    char initStrings[kInitStringCount][kInitStringSize];  // NUL-terminated
    char comment[kCommentSize];                           // NUL-terminated
};

// Reads a settings file of `len` bytes (no NUL needed). On success fills *out and returns true.
// Otherwise leaves *out unchanged, writes "line N: reason" into err and returns false. Values are
// held to what a load of any device can give: model 0 to 99, channel 1 to 99, baud
// 1200/2400/4800/9600, start frame 0 to 53999, end frame 0 to 54000, synchronize yes or no, init
// strings of at most 23 characters without CR or BEL, a comment of at most 15 without BEL. A write
// corrects and cuts what the editor would not keep (SettingsFileFieldsAsStored).
// A leading UTF-8 byte-order mark is skipped; section and key names match without regard to case.
// Texts are UTF-8 in the file and code page 1252 in the record: a character the code page lacks
// is refused.
// A longer text is refused whole (a settings file takes well under 1 KB).
constexpr size_t kSettingsFileMaxSize = 65536;
bool ParseSettingsFile(const char* text, size_t len, SettingsFileFields* out, char* err, size_t errSize);

// Any record, whatever its values, fits in this much text besides its header comment.
constexpr size_t kSettingsFileBodySize = 1024;

// Prints `fields` as a settings file whose first line is the comment "; headerComment". Returns
// the length written (without the NUL), or 0 with out empty when it does not fit in outSize or
// the header holds a control character. Lines end with `lineEnd` (LF for a Linux user's tools).
// Prints values as they are, also outside the ranges that
// ParseSettingsFile accepts.
size_t PrintSettingsFile(const SettingsFileFields& fields, const char* headerComment, char* out,
                         size_t outSize, const char* lineEnd = "\r\n");

// Any two records' differences fit in this much text.
constexpr size_t kSettingsDiffSize = 2048;

// One line per field that differs, in file order, values written as in a file:
//   channel: file 3, device 1
// (deviceLabel in place of "device"). Returns the number of fields that differ, or -1 with out
// empty when the text does not fit.
int ListSettingsDifferences(const SettingsFileFields& file, const SettingsFileFields& device, char* out,
                            size_t outSize, const char* deviceLabel = "device");

// The editor's view of SyncSettings after a load: what the editor shows, field by field.
void SettingsFileFieldsFromSync(const SyncSettings& sync, SettingsFileFields* out);

// What the editor would hand EncodeForSave if it showed `fields`.
void SaveInputsFromSettingsFile(const SettingsFileFields& fields, SaveInputs* out);

// What a device holds after a save of `fields`, as a load shows it: the device packs the init
// strings, so an empty string before a non-empty one does not survive. Uses Sync as scratch: it
// is left holding the save's values.
void SettingsFileFieldsAsStored(const SettingsFileFields& fields, SettingsFileFields* out);
// The same from what the editor hands the save: Sync is left holding the values a load of the
// device would then show.
void SettingsFileFieldsAfterSave(const SaveInputs& in, SettingsFileFields* out);
