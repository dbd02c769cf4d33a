#pragma once
// The registers as the device holds them, pair by pair: what verify compares with what a write
// would store, and the notes a read gives where the load showed a value otherwise than the device
// holds it. No input or output here.
#include <cstddef>

#include "link/settings_file.h"
#include "link/sync_settings.h"

// Register codes run from '0' to 'o'; 49 of those 64 are registers.
constexpr RegisterCode kFirstRegisterCode = '0';
constexpr int kRegisterCodeSpan = 64;
struct RegisterPairs {
    unsigned char pairs[kRegisterCodeSpan][2];  // by code - kFirstRegisterCode
    bool answered[kRegisterCodeSpan];           // the pair is what the device answered
};

// The registers in the order a save writes them, with the keys of a settings file each holds.
struct RegisterRun {
    RegisterCode first;
    int count;
    bool modelOrChannel;  // written and compared only when asked for
    const char* keys;
};
constexpr RegisterRun kRegisterRuns[] = {
    {'?', 1, true, "model"},    {'0', 3, false, "start_frame"},       {'3', 3, false, "end_frame"},
    {'>', 1, true, "channel"},  {'6', 1, false, "baud, synchronize"}, {'P', 32, false, "init1 to init4"},
    {'H', 8, false, "comment"},
};

// The registers in the order a save writes them into `codes`, model and channel only when
// asked for; returns their count.
constexpr int kRegisterCount = 49;
int RegistersInWriteOrder(bool modelAndChannel, RegisterCode codes[kRegisterCount]);
// A pair as a file's text shows it, in double quotes ("5<", "\x07\x07").
constexpr size_t kQuotedPairSize = 12;
void QuotePair(const unsigned char pair[2], char out[kQuotedPairSize]);

// The pair of `code` in an image (a code outside '0'..'o' is not one).
const unsigned char* RegisterPairOf(const RegisterPairs& image, RegisterCode code);
// The image a save of Sync writes: RegisterText of every register.
void WrittenImage(RegisterPairs* out);
// "register 6 (baud, synchronize)"; the length, or 0 with out empty when it does not fit.
size_t RegisterLabel(RegisterCode code, char* out, size_t outSize);

// Any list of register differences or load notes fits in this much text.
constexpr size_t kRegisterDiffSize = 6144;
// One line per register that differs, in the order a save writes them (model and channel only
// when asked for):
//   register 6 (baud, synchronize): device "5<", a write stores "40"
// Returns the count, or -1 with out empty when the text does not fit.
int ListRegisterDifferences(const RegisterPairs& device, const RegisterPairs& written, bool modelAndChannel,
                            char* out, size_t outSize);
// One line per number that a load of `device` shows otherwise than the device holds it (a value
// out of range, or no number at all), `loaded` being what the load showed:
//   start_frame: device 99999, file 1
// Returns the count, or -1 with out empty when the text does not fit.
int ListLoadCorrections(const RegisterPairs& device, const SettingsFileFields& loaded, char* out,
                        size_t outSize);
