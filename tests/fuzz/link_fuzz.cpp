// libFuzzer entry: whatever a device (or a careless caller) hands the pure logic, nothing reads
// or writes outside its buffers (ASan, UBSan). The first byte picks the routine.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "dialogs/field_rules.h"
#include "link/accumulator.h"
#include "link/banner.h"
#include "link/decimal_text.h"
#include "link/settings_file.h"
#include "link/sync_settings.h"

namespace {

// Bytes gathered over many reads of up to 256 bytes, then the search's banner test.
void GatherAndRecognize(const uint8_t* data, size_t size)
{
    static Accumulator gathered;
    AccumulatorReset(gathered);
    while (size > 0) {
        const size_t chunk = size < 256 ? size : 256;
        AccumulatorAppend(gathered, data, chunk);
        AccumulatorTerminate(gathered);
        BannerRecognized(gathered.bytes, gathered.end + 1);
        data += chunk;
        size -= chunk;
    }
}

// A device's register images, decoded as a load and a save's read-back do.
void DecodeImages(const uint8_t* data, size_t size)
{
    unsigned char image[kInitStringBlockBytes] = {};
    memcpy(image, data, size < sizeof image ? size : sizeof image);
    DecodeInitBlock(image);
    DecodeComment(image);
    DecodeComment(reinterpret_cast<const unsigned char*>(Sync.comment));
    ParseTwoDigits(image);
    ParseFrame(image, "2");
    int32_t code = 0, flags = 0;
    ParseBaudFlags(image, &code, &flags);
    Sync.startFrame = ParseDecimalBounded(reinterpret_cast<const char*>(image), sizeof image);
    ClampLoaded(LoadedField::EndFrame, ParseFrame(image + 6, "501"));
    SteppedBaudCode(code, static_cast<uint32_t>(Sync.startFrame));
}

// Whatever the editor's controls could hold, terminated or not.
void EncodeInputs(const uint8_t* data, size_t size)
{
    // Field by field (a bool holds only 0 or 1); the texts need not be terminated.
    uint8_t raw[sizeof(SaveInputs)];
    memset(raw, 'x', sizeof raw);
    memcpy(raw, data, size < sizeof raw ? size : sizeof raw);
    SaveInputs in;
    memcpy(&in.modelPos, raw, 4);
    memcpy(&in.channelPos, raw + 4, 4);
    memcpy(&in.baudPos, raw + 8, 4);
    in.synchronize = (raw[12] & 1) != 0;
    size_t at = 13;
    for (char* text : {in.startFrame, in.endFrame}) {
        memcpy(text, raw + at, sizeof in.startFrame);
        at += sizeof in.startFrame;
    }
    memcpy(in.initTexts, raw + at, sizeof in.initTexts);
    at += sizeof in.initTexts;
    memcpy(in.comment, raw + at, sizeof raw - at < sizeof in.comment ? sizeof raw - at : sizeof in.comment);
    EncodeForSave(in);
    unsigned char pair[2];
    for (int code = 0; code < 256; ++code)
        RegisterText(static_cast<RegisterCode>(code), pair);
    ApplyDefaults();
}

// A settings file as a person may have edited it: what is read prints and reads back the same.
void ReadSettingsFile(const uint8_t* data, size_t size)
{
    SettingsFileFields first, again;
    char err[128];
    if (!ParseSettingsFile(reinterpret_cast<const char*>(data), size, &first, err, sizeof err))
        return;
    char text[kSettingsFileBodySize + 8];
    const size_t n = PrintSettingsFile(first, "fuzz", text, sizeof text);
    char diff[kSettingsDiffSize];
    if (n == 0 || !ParseSettingsFile(text, n, &again, err, sizeof err) ||
        ListSettingsDifferences(first, again, diff, sizeof diff) != 0)
        abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    switch (data[0] % 4) {
    case 0:
        GatherAndRecognize(data + 1, size - 1);
        break;
    case 1:
        DecodeImages(data + 1, size - 1);
        break;
    case 2:
        ReadSettingsFile(data + 1, size - 1);
        break;
    default:
        EncodeInputs(data + 1, size - 1);
        break;
    }
    return 0;
}
