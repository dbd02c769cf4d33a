#pragma once
// The synchronizer's parameter set, its register map and the rules that turn values into
// register contents and back. No input or output here: the load and save dialogs move each
// register pair over the line.
#include <cstdint>

constexpr int kInitStringCount = 4, kInitStringSize = 24, kCommentSize = 16;
constexpr int kInitBlockSize = 96, kInitStringBlockBytes = 64, kCommentBlockBytes = 16;
constexpr int kRegBufferSize = 64;
constexpr unsigned char kBel = 0x07, kCr = 0x0D;
constexpr int32_t FLAG_SYNCHRONIZE = 8, FLAG_ALWAYS = 4;

// The ranges a save stores: model and channel, start frame, end frame.
constexpr int32_t kNumberLow = 1, kNumberHigh = 99;
constexpr int32_t kStartLow = 1, kStartHigh = 53999;
constexpr int32_t kEndLow = 2, kEndHigh = 54000;

using RegisterCode = unsigned char;

struct SyncSettings {
    int32_t model, channel, flags, baudCode, startFrame, endFrame;
    char initStrings[kInitStringCount][kInitStringSize];  // each NUL-terminated, at most 23 chars
    // Text, or the CommentBlock from EncodeForSave until the save's read-back is accepted.
    char comment[kCommentSize];
    unsigned char initBlock[kInitBlockSize];  // first 64 bytes: the InitStringBlock a save writes
};

extern SyncSettings Sync;  // the one instance, zero-filled at start
extern unsigned char regBuffer[kRegBufferSize];
extern int defaultsPending;         // set by ApplyDefaults: the next save writes model and channel
extern const int32_t BaudRates[8];  // indexed by BaudCode; 0 where a code has no rate

// What the editor reads from its controls just before a save.
struct SaveInputs {
    int32_t modelPos, channelPos;  // whole UDM_GETPOS results (a failed read is out of range)
    bool synchronize;
    uint32_t baudPos;
    char startFrame[31], endFrame[31];
    char initTexts[kInitStringCount][kInitStringSize];
    char comment[kCommentSize];
};

void ApplyDefaults();
void EncodeForSave(const SaveInputs& in);

// The two characters a save writes to `code`. A code outside the map gives two NULs.
void RegisterText(RegisterCode code, unsigned char pair[2]);

int32_t ParseTwoDigits(const unsigned char pair[2]);
// The six characters of a frame's three registers; a non-digit among the first five gives the
// value of `fallback` instead ("2" for the start frame, "501" for the end frame).
int32_t ParseFrame(const unsigned char text[6], const char* fallback);
void ParseBaudFlags(const unsigned char pair[2], int32_t* baudCode, int32_t* flags);

enum class LoadedField { Model, Channel, StartFrame, EndFrame, BaudCode, Flags };
// Range rules of a load. EndFrame uses Sync.startFrame, so the start frame is stored first.
int32_t ClampLoaded(LoadedField field, int32_t value);

// Replaces Sync.initStrings with the strings of a 64-byte InitStringBlock.
void DecodeInitBlock(const unsigned char image[kInitStringBlockBytes]);
// Replaces Sync.comment; image may be Sync.comment itself (the load decodes in place).
void DecodeComment(const unsigned char image[kCommentBlockBytes]);
