#include "link/sync_settings.h"

#include <cstdio>
#include <cstring>

#include "link/decimal_text.h"

SyncSettings Sync;
unsigned char regBuffer[kRegBufferSize];
int defaultsPending;
const int32_t BaudRates[8] = {1200, 0, 0, 0, 2400, 0, 4800, 9600};

namespace {

constexpr int kMaxInitChars = kInitStringSize - 1;     // 23
constexpr int kMaxCommentChars = kCommentSize - 1;     // 15
constexpr int kBlockLast = kInitStringBlockBytes - 1;  // 63: the InitStringBlock's last byte

constexpr int32_t kDefaultModel = 5, kDefaultChannel = 1;
constexpr int32_t kStartEmpty = 1, kEndEmpty = 2;
constexpr int32_t kBaudCode1200 = 0, kBaudCode2400 = 4, kBaudCode4800 = 6, kBaudCode9600 = 7;

bool InNumberRange(int32_t v)
{
    return v >= kNumberLow && v <= kNumberHigh;
}

// Length of the text in src, stopping at a NUL, at `limit` characters or at the array's end.
size_t BoundedLength(const char* src, size_t arraySize, size_t limit)
{
    size_t cap = arraySize < limit ? arraySize : limit;
    size_t n = 0;
    while (n < cap && src[n] != '\0')
        ++n;
    return n;
}

int32_t BaudCodeFromPosition(uint32_t pos)
{
    if (pos < 2400)
        return kBaudCode1200;
    if (pos < 4800)
        return kBaudCode2400;
    if (pos < 9600)
        return kBaudCode4800;
    return kBaudCode9600;
}

// '0' plus the value's low byte, as the device stores baud code and flags.
unsigned char DigitByte(int32_t value)
{
    return static_cast<unsigned char>(('0' + (static_cast<uint32_t>(value) & 0xFFu)) & 0xFFu);
}

// Packs the four stored init strings into initBlock; every write is checked against the
// 96-byte block (a loaded fourth string may hold 23 characters, one more than the editor lets
// the user type, and four of them would put the closing BEL one byte past the end).
void PackInitBlock()
{
    unsigned char* block = Sync.initBlock;
    std::memset(block, kBel, kInitBlockSize);
    size_t pos = 0;
    for (int s = 0; s < kInitStringCount; ++s) {
        const char* text = Sync.initStrings[s];
        size_t len = BoundedLength(text, kInitStringSize, kMaxInitChars);
        for (size_t i = 0; i < len && pos < kInitBlockSize; ++i) {
            block[pos++] = static_cast<unsigned char>(text[i]);
        }
        if (len > 0 && pos < kInitBlockSize)
            block[pos++] = kCr;
    }
    if (pos < kInitBlockSize)
        block[pos] = kBel;
    if (pos > kBlockLast) {  // does not fit 64 bytes: cut, keeping the CR BEL ending
        block[kBlockLast - 1] = kCr;
        block[kBlockLast] = kBel;
    }
}

// "%05ld0" of a frame: five digits with leading zeros and a trailing '0'. Wider for values
// outside 0..99999, of which only the first six characters are ever sent.
void FrameText(int32_t frame, char out[16])
{
    std::snprintf(out, 16, "%05ld0", static_cast<long>(frame));
}

}  // namespace

void ApplyDefaults()
{
    defaultsPending = 1;
    if (!InNumberRange(Sync.model))
        Sync.model = kDefaultModel;
    if (!InNumberRange(Sync.channel))
        Sync.channel = kDefaultChannel;
    Sync.flags = FLAG_SYNCHRONIZE | FLAG_ALWAYS;
    Sync.baudCode = kBaudCode9600;
    Sync.startFrame = 1;
    Sync.endFrame = 500;
    std::memset(Sync.initStrings, 0, sizeof Sync.initStrings);
    std::memcpy(Sync.initStrings[0], "0KL0DS", 7);
    std::memset(Sync.comment, 0, sizeof Sync.comment);
}

void EncodeForSave(const SaveInputs& in)
{
    Sync.model = InNumberRange(in.modelPos) ? in.modelPos : kDefaultModel;
    Sync.channel = InNumberRange(in.channelPos) ? in.channelPos : kDefaultChannel;
    Sync.flags = in.synchronize ? (FLAG_SYNCHRONIZE | FLAG_ALWAYS) : FLAG_ALWAYS;
    Sync.baudCode = BaudCodeFromPosition(in.baudPos);
    Sync.startFrame =
        FrameFromTextBounded(in.startFrame, sizeof in.startFrame, kStartEmpty, kStartLow, kStartHigh);
    Sync.endFrame = FrameFromTextBounded(in.endFrame, sizeof in.endFrame, kEndEmpty, kEndLow, kEndHigh);

    for (int s = 0; s < kInitStringCount; ++s) {
        size_t len = BoundedLength(in.initTexts[s], kInitStringSize, kMaxInitChars);
        std::memset(Sync.initStrings[s], 0, kInitStringSize);
        std::memcpy(Sync.initStrings[s], in.initTexts[s], len);
    }
    PackInitBlock();

    // The CommentBlock: the text, then BEL to the end (at least one, as the text stops at 15).
    size_t len = BoundedLength(in.comment, kCommentSize, kMaxCommentChars);
    std::memset(Sync.comment, kBel, kCommentSize);
    std::memcpy(Sync.comment, in.comment, len);
}

void RegisterText(RegisterCode code, unsigned char pair[2])
{
    char text[16];
    pair[0] = pair[1] = 0;
    if (code == '?' || code == '>') {
        int32_t value = code == '?' ? Sync.model : Sync.channel;
        std::snprintf(text, sizeof text, "%02d", static_cast<int>(value));
        pair[0] = static_cast<unsigned char>(text[0]);
        pair[1] = static_cast<unsigned char>(text[1]);
    } else if (code >= '0' && code <= '5') {
        int index = code - '0';
        FrameText(index < 3 ? Sync.startFrame : Sync.endFrame, text);
        int offset = (index % 3) * 2;
        pair[0] = static_cast<unsigned char>(text[offset]);
        pair[1] = static_cast<unsigned char>(text[offset + 1]);
    } else if (code == '6') {
        pair[0] = DigitByte(Sync.baudCode);
        pair[1] = DigitByte(Sync.flags);
    } else if (code >= 'H' && code <= 'O') {
        int i = code - 'H';
        pair[0] = static_cast<unsigned char>(Sync.comment[2 * i]);
        pair[1] = static_cast<unsigned char>(Sync.comment[2 * i + 1]);
    } else if (code >= 'P' && code <= 'o') {
        int i = code - 'P';
        pair[0] = Sync.initBlock[2 * i];
        pair[1] = Sync.initBlock[2 * i + 1];
    }
}

int32_t ParseTwoDigits(const unsigned char pair[2])
{
    return ParseDecimalBounded(reinterpret_cast<const char*>(pair), 2);
}

int32_t ParseFrame(const unsigned char text[6], const char* fallback)
{
    int32_t value = 0;
    for (int i = 0; i < 5; ++i) {  // the sixth character is always '0' and carries nothing
        if (text[i] < '0' || text[i] > '9')
            return ParseDecimal(fallback);
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

void ParseBaudFlags(const unsigned char pair[2], int32_t* baudCode, int32_t* flags)
{
    *baudCode = pair[0] & 7;
    *flags = pair[1] & 0x0F;
}

int32_t ClampLoaded(LoadedField field, int32_t value)
{
    switch (field) {
        case LoadedField::Model:
            return InNumberRange(value) ? value : 0;
        case LoadedField::Channel:
            return InNumberRange(value) ? value : kDefaultChannel;
        case LoadedField::StartFrame:
            return value > kStartHigh ? 1 : value;
        case LoadedField::EndFrame:
            if (value <= kEndHigh)
                return value;
            // startFrame + 1, kept from overflowing when the start frame was never range-checked.
            return Sync.startFrame == INT32_MAX ? INT32_MAX : Sync.startFrame + 1;
        case LoadedField::BaudCode:
            return (value == kBaudCode1200 || value == kBaudCode2400 || value == kBaudCode4800 ||
                    value == kBaudCode9600)
                       ? value
                       : kBaudCode9600;
        case LoadedField::Flags:
            return value;
    }
    return value;
}

void DecodeInitBlock(const unsigned char image[kInitStringBlockBytes])
{
    std::memset(Sync.initStrings, 0, sizeof Sync.initStrings);
    int current = 0;
    int count = 0;  // characters stored in the current string
    for (int i = 0; i < kInitStringBlockBytes; ++i) {
        unsigned char b = i == kBlockLast ? 0 : image[i];  // the last byte always reads as NUL
        if (b == kBel)
            break;
        if (b == kCr) {
            if (++current == kInitStringCount)
                break;
            count = 0;
            continue;
        }
        if (count == kMaxInitChars) {  // full: the byte rolls over into the next string
            if (current == kInitStringCount - 1)
                continue;  // string 4 full: dropped
            ++current;
            count = 0;
        }
        Sync.initStrings[current][count++] = static_cast<char>(b);
    }
}

void DecodeComment(const unsigned char image[kCommentBlockBytes])
{
    unsigned char copy[kCommentBlockBytes];  // image may be Sync.comment itself
    std::memcpy(copy, image, kCommentBlockBytes);
    for (int i = 0; i < kCommentBlockBytes; ++i) {
        Sync.comment[i] = copy[i] == kBel ? '\0' : static_cast<char>(copy[i]);
    }
    Sync.comment[kCommentSize - 1] = '\0';
}
