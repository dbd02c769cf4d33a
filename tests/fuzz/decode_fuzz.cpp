// What a load decodes from any register images: every init string and the comment end inside
// their arrays and hold no CR or BEL; the strings appear in the image in their order; the comment
// is the image's first 15 bytes up to a BEL; and strings that a save would write back unchanged
// (no cut) decode the same from what it writes. And the round trip of a whole register image:
// the file a read prints parses; its verify finds the device equal exactly when a write of it
// would change no register; after its write (model and channel left alone) the verify finds the
// device equal.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "link/register_compare.h"
#include "link/settings_file.h"
#include "link/sync_settings.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

std::vector<std::string> DecodedStrings()
{
    std::vector<std::string> strings;
    for (const char* s : Sync.initStrings) {
        strings.push_back(Visible(s, kInitStringSize));
        FUZZ_CHECK(memchr(s, kCr, kInitStringSize) == nullptr && memchr(s, kBel, kInitStringSize) == nullptr);
    }
    return strings;
}

// The non-empty strings first, as the block carries no empty one.
std::vector<std::string> Compacted(std::vector<std::string> strings)
{
    strings.erase(std::remove(strings.begin(), strings.end(), ""), strings.end());
    strings.resize(kInitStringCount);
    return strings;
}

void CheckInitBlock(const unsigned char image[kInitStringBlockBytes])
{
    DecodeInitBlock(image);
    const std::vector<std::string> strings = DecodedStrings();
    const std::string block(reinterpret_cast<const char*>(image), kInitStringBlockBytes - 1);
    size_t at = 0;
    size_t packed = 0;
    for (const std::string& s : strings) {
        at = block.find(s, at);
        FUZZ_CHECK(at != std::string::npos);
        at += s.size();
        packed += s.empty() ? 0 : s.size() + 1;
    }
    if (packed > kInitStringBlockBytes - 1)
        return;  // a save would cut them

    // Written back by a save and read back.
    SaveInputs in = {};
    for (int s = 0; s < kInitStringCount; ++s)
        memcpy(in.initTexts[s], strings[s].c_str(), strings[s].size() + 1);
    EncodeForSave(in);
    unsigned char written[kInitStringBlockBytes];
    memcpy(written, Sync.initBlock, sizeof written);
    DecodeInitBlock(written);
    FUZZ_CHECK(DecodedStrings() == Compacted(strings));
}

void CheckComment(const unsigned char image[kCommentBlockBytes])
{
    DecodeComment(image);
    const std::string text = Visible(Sync.comment, kCommentSize);
    const unsigned char* bel = static_cast<const unsigned char*>(memchr(image, kBel, kCommentSize - 1));
    const size_t expected = bel ? static_cast<size_t>(bel - image) : kCommentSize - 1;
    const size_t shown = strnlen(reinterpret_cast<const char*>(image), expected);
    FUZZ_CHECK(text == std::string(reinterpret_cast<const char*>(image), shown));
    // The load decodes in place: a second time changes nothing.
    char before[kCommentSize];
    memcpy(before, Sync.comment, sizeof before);
    DecodeComment(reinterpret_cast<const unsigned char*>(Sync.comment));
    FUZZ_CHECK(memcmp(before, Sync.comment, sizeof before) == 0);
}

// A whole register image: 'P'..'o', 'H'..'O', then '?', '>', '0'..'5', '6'.
constexpr size_t kNumbers = kInitStringBlockBytes + kCommentBlockBytes, kImageBytes = kNumbers + 18;

// What a load leaves in Sync, read as the editor shows it.
SettingsFileFields Loaded(const unsigned char* image)
{
    const unsigned char* n = image + kNumbers;
    Sync.model = ClampLoaded(LoadedField::Model, ParseTwoDigits(n));
    Sync.channel = ClampLoaded(LoadedField::Channel, ParseTwoDigits(n + 2));
    Sync.startFrame = ClampLoaded(LoadedField::StartFrame, ParseFrame(n + 4, "2"));
    Sync.endFrame = ClampLoaded(LoadedField::EndFrame, ParseFrame(n + 10, "501"));
    ParseBaudFlags(n + 16, &Sync.baudCode, &Sync.flags);
    Sync.baudCode = ClampLoaded(LoadedField::BaudCode, Sync.baudCode);
    DecodeInitBlock(image);
    DecodeComment(image + kInitStringBlockBytes);
    SettingsFileFields fields;
    SettingsFileFieldsFromSync(Sync, &fields);
    return fields;
}

// The image laid out as the device holds it, register by register.
RegisterPairs ByRegister(const unsigned char* image)
{
    RegisterPairs out = {};
    memcpy(out.pairs['P' - kFirstRegisterCode], image, kInitStringBlockBytes);
    memcpy(out.pairs['H' - kFirstRegisterCode], image + kInitStringBlockBytes, kCommentBlockBytes);
    memcpy(out.pairs['?' - kFirstRegisterCode], image + kNumbers, 2);
    memcpy(out.pairs['>' - kFirstRegisterCode], image + kNumbers + 2, 2);
    memcpy(out.pairs[0], image + kNumbers + 4, 14);  // '0' to '6'
    return out;
}

// verify without --model-channel: the registers that differ from what a write of the file stores.
int Verify(const SettingsFileFields& file, const unsigned char* image)
{
    SaveInputs in;
    SaveInputsFromSettingsFile(file, &in);
    EncodeForSave(in);
    RegisterPairs written;
    WrittenImage(&written);
    char diff[kRegisterDiffSize];
    const int count = ListRegisterDifferences(ByRegister(image), written, false, diff, sizeof diff);
    FUZZ_CHECK(count >= 0 && (count == 0) == (diff[0] == '\0'));
    return count;
}

// The settings file a read of the image prints, parsed back.
SettingsFileFields ReadFile(const unsigned char* image)
{
    const SettingsFileFields device = Loaded(image);
    char text[kSettingsFileBodySize + 8];
    const size_t n = PrintSettingsFile(device, "read", text, sizeof text);
    SettingsFileFields file;
    char err[128];
    FUZZ_CHECK(n > 0 && ParseSettingsFile(text, n, &file, err, sizeof err));
    char notes[kRegisterDiffSize];
    FUZZ_CHECK(ListLoadCorrections(ByRegister(image), device, notes, sizeof notes) >= 0);
    return file;
}

// read, then verify: differences exactly when a write of what was read would store other pairs;
// once that file is written (model and channel left alone), the device verifies.
void CheckRoundTrip(unsigned char image[kImageBytes])
{
    const SettingsFileFields file = ReadFile(image);
    const int differing = Verify(file, image);
    unsigned char before[kImageBytes];
    memcpy(before, image, sizeof before);
    for (RegisterCode code = '0'; code <= 'o'; ++code) {  // all but model and channel
        const size_t at = code >= 'P'   ? 2u * (code - 'P')
                          : code >= 'H' ? 64u + 2 * (code - 'H')
                                        : 84u + 2 * (code - '0');
        if (code <= '6' || code >= 'H')
            RegisterText(code, image + at);
    }
    FUZZ_CHECK((differing == 0) == (memcmp(before, image, sizeof before) == 0));
    FUZZ_CHECK(Verify(file, image) == 0);
    FUZZ_CHECK(Sync.flags == (file.synchronize ? 12 : 4));  // the bits not shown, as a save writes them
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    unsigned char image[kImageBytes];
    memset(image, kBel, sizeof image);
    memcpy(image, data, size < sizeof image ? size : sizeof image);
    CheckInitBlock(image);
    CheckComment(image + kInitStringBlockBytes);
    CheckRoundTrip(image);
    return 0;
}
