// What a load makes of any register contents: the two-digit, frame and baud/flags parsers and the
// load's range rules, in the load's order. Each parsed value matches the C library's reading of
// the same characters, and every loaded value lies where the range rules put it.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "link/sync_settings.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// strtol's reading of `count` characters (a NUL among them ends the text).
int32_t LibraryValue(const unsigned char* chars, size_t count)
{
    char text[8] = {};
    memcpy(text, chars, count);
    return static_cast<int32_t>(strtol(text, nullptr, 10));
}

int32_t ExpectedFrame(const unsigned char text[6], int32_t fallback)
{
    for (int i = 0; i < 5; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return fallback;
    }
    return LibraryValue(text, 5);
}

int32_t LoadTwoDigits(const unsigned char pair[2], LoadedField field, int32_t outside)
{
    const int32_t parsed = ParseTwoDigits(pair);
    FUZZ_CHECK(parsed == LibraryValue(pair, 2));
    const int32_t loaded = ClampLoaded(field, parsed);
    FUZZ_CHECK(loaded == (parsed >= 1 && parsed <= 99 ? parsed : outside));
    return loaded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The registers '?', '>', '0'..'2', '3'..'5' and '6', as a load reads them.
    unsigned char regs[2 + 2 + 6 + 6 + 2] = {};
    memcpy(regs, data, size < sizeof regs ? size : sizeof regs);
    const unsigned char* start = regs + 4;
    const unsigned char* end = regs + 10;
    const unsigned char* baudFlags = regs + 16;

    Sync.model = LoadTwoDigits(regs, LoadedField::Model, 0);
    Sync.channel = LoadTwoDigits(regs + 2, LoadedField::Channel, 1);

    const int32_t startParsed = ParseFrame(start, "2");
    FUZZ_CHECK(startParsed == ExpectedFrame(start, 2));
    Sync.startFrame = ClampLoaded(LoadedField::StartFrame, startParsed);
    FUZZ_CHECK(Sync.startFrame == (startParsed > 53999 ? 1 : startParsed));
    FUZZ_CHECK(Sync.startFrame >= 0 && Sync.startFrame <= 53999);

    const int32_t endParsed = ParseFrame(end, "501");
    FUZZ_CHECK(endParsed == ExpectedFrame(end, 501));
    Sync.endFrame = ClampLoaded(LoadedField::EndFrame, endParsed);
    FUZZ_CHECK(Sync.endFrame == (endParsed > 54000 ? Sync.startFrame + 1 : endParsed));
    FUZZ_CHECK(Sync.endFrame >= 0 && Sync.endFrame <= 54000);

    int32_t code = -1, flags = -1;
    ParseBaudFlags(baudFlags, &code, &flags);
    FUZZ_CHECK(code == (baudFlags[0] & 7) && flags == (baudFlags[1] & 0x0F));
    Sync.baudCode = ClampLoaded(LoadedField::BaudCode, code);
    Sync.flags = ClampLoaded(LoadedField::Flags, flags);
    FUZZ_CHECK(BaudRates[Sync.baudCode] != 0);  // the editor can show it
    FUZZ_CHECK(Sync.baudCode == (BaudRates[code] != 0 ? code : 7));
    FUZZ_CHECK(Sync.flags == flags);
    return 0;
}
