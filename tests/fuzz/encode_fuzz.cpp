// A save of any editor contents, texts up to and past the editor's limits, terminated or not:
// EncodeForSave applies the save's rules, and what a save writes to the registers reads back,
// parsed and decoded as a load does, as the same fields (the texts cut to their limits, the init
// strings without the empty ones and cut to the 63 bytes of the block).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "link/sync_settings.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// Text bytes from the input, the block's own separators (CR, BEL) left out.
template <size_t N>
void FillText(FuzzedDataProvider& in, char (&text)[N])
{
    const std::string bytes = in.ConsumeBytesAsString(N);
    memset(text, 'x', N);  // unterminated unless the input says otherwise
    memcpy(text, bytes.data(), bytes.size());
    for (char& c : text) {
        if (c == kCr || c == kBel)
            c = '~';
    }
}

// The frame a save stores: empty gives `empty`, else strtoll's value kept inside low..high.
int32_t ExpectedFrame(const char* text, size_t size, int32_t empty, int32_t low, int32_t high)
{
    const std::string terminated(text, strnlen(text, size));
    if (terminated.empty())
        return empty;
    const long long value = strtoll(terminated.c_str(), nullptr, 10);
    return static_cast<int32_t>(value < low ? low : value > high ? high : value);
}

int32_t ExpectedBaudCode(uint32_t pos)
{
    return pos < 2400 ? 0 : pos < 4800 ? 4 : pos < 9600 ? 6 : 7;
}

// The init strings a load gets back: the non-empty texts, each followed by CR, cut to 62 bytes
// and a CR when they take more than 63.
std::vector<std::string> ExpectedInitStrings(const SaveInputs& in)
{
    std::string packed;
    for (const char* text : in.initTexts) {
        const std::string s(text, strnlen(text, kInitStringSize - 1));
        if (!s.empty())
            packed += s + '\r';
    }
    if (packed.size() > kInitStringBlockBytes - 1)
        packed = packed.substr(0, kInitStringBlockBytes - 2) + '\r';
    std::vector<std::string> strings;
    for (size_t at = 0, cr;
         strings.size() < kInitStringCount && (cr = packed.find('\r', at)) != std::string::npos; at = cr + 1)
        strings.push_back(packed.substr(at, cr - at));
    strings.resize(kInitStringCount);
    return strings;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    SaveInputs in;
    in.modelPos = input.ConsumeIntegral<int32_t>();
    in.channelPos = input.ConsumeIntegral<int32_t>();
    in.synchronize = input.ConsumeBool();
    in.baudPos = input.ConsumeIntegral<uint32_t>();
    FillText(input, in.startFrame);
    FillText(input, in.endFrame);
    for (char(&text)[kInitStringSize] : in.initTexts)
        FillText(input, text);
    FillText(input, in.comment);

    EncodeForSave(in);
    FUZZ_CHECK(Sync.model == (in.modelPos >= 1 && in.modelPos <= 99 ? in.modelPos : 5));
    FUZZ_CHECK(Sync.channel == (in.channelPos >= 1 && in.channelPos <= 99 ? in.channelPos : 1));
    FUZZ_CHECK(Sync.flags == (in.synchronize ? 12 : 4));
    FUZZ_CHECK(Sync.baudCode == ExpectedBaudCode(in.baudPos));
    FUZZ_CHECK(Sync.startFrame == ExpectedFrame(in.startFrame, sizeof in.startFrame, 1, 1, 53999));
    FUZZ_CHECK(Sync.endFrame == ExpectedFrame(in.endFrame, sizeof in.endFrame, 2, 2, 54000));
    for (int s = 0; s < kInitStringCount; ++s) {
        const std::string typed(in.initTexts[s], strnlen(in.initTexts[s], kInitStringSize - 1));
        FUZZ_CHECK(Visible(Sync.initStrings[s], kInitStringSize) == typed);
    }

    // The device's registers after the save, every code tried.
    unsigned char regs[256][2];
    for (int code = 0; code < 256; ++code) {
        RegisterText(static_cast<RegisterCode>(code), regs[code]);
        const bool mapped =
            code == '?' || code == '>' || (code >= '0' && code <= '6') || (code >= 'H' && code <= 'o');
        if (!mapped)
            FUZZ_CHECK(regs[code][0] == 0 && regs[code][1] == 0);
    }

    // Registers lie in code order, so a run of registers is a run of bytes.
    auto reg = [&regs](RegisterCode code) { return regs[code]; };

    // Read back as the save's read-back compares (no range rules) and as a load keeps them.
    FUZZ_CHECK(ParseTwoDigits(reg('?')) == Sync.model);
    FUZZ_CHECK(ClampLoaded(LoadedField::Model, Sync.model) == Sync.model);
    FUZZ_CHECK(ParseTwoDigits(reg('>')) == Sync.channel);
    FUZZ_CHECK(ClampLoaded(LoadedField::Channel, Sync.channel) == Sync.channel);
    FUZZ_CHECK(ParseFrame(reg('0'), "2") == Sync.startFrame);
    FUZZ_CHECK(ClampLoaded(LoadedField::StartFrame, Sync.startFrame) == Sync.startFrame);
    FUZZ_CHECK(ParseFrame(reg('3'), "501") == Sync.endFrame);
    FUZZ_CHECK(ClampLoaded(LoadedField::EndFrame, Sync.endFrame) == Sync.endFrame);
    int32_t code = -1, flags = -1;
    ParseBaudFlags(reg('6'), &code, &flags);
    FUZZ_CHECK(code == Sync.baudCode && flags == Sync.flags);
    FUZZ_CHECK(ClampLoaded(LoadedField::BaudCode, code) == code);

    const std::string comment(in.comment, strnlen(in.comment, kCommentSize - 1));
    DecodeComment(reg('H'));
    FUZZ_CHECK(Visible(Sync.comment, kCommentSize) == comment);

    const std::vector<std::string> expected = ExpectedInitStrings(in);
    DecodeInitBlock(reg('P'));
    for (int s = 0; s < kInitStringCount; ++s)
        FUZZ_CHECK(Visible(Sync.initStrings[s], kInitStringSize) == expected[s]);
    return 0;
}
