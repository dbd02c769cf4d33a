// A settings file as a person may have edited it: whatever is accepted prints, and the printed
// text reads back as the same record. Whatever is refused leaves the record untouched.
#include <cstdint>
#include <cstring>

#include "link/settings_file.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SettingsFileFields first, again;
    memset(&first, 0x5A, sizeof first);
    SettingsFileFields untouched = first;
    char err[128];
    if (!ParseSettingsFile(reinterpret_cast<const char*>(data), size, &first, err, sizeof err)) {
        FUZZ_CHECK(memcmp(&first, &untouched, sizeof first) == 0);
        FUZZ_CHECK(strnlen(err, sizeof err) < sizeof err);
        return 0;
    }
    char text[kSettingsFileBodySize + 8];
    const size_t n = PrintSettingsFile(first, "fuzz", text, sizeof text);
    FUZZ_CHECK(n > 0 && n < sizeof text);
    FUZZ_CHECK(ParseSettingsFile(text, n, &again, err, sizeof err));
    char diff[kSettingsDiffSize];
    FUZZ_CHECK(ListSettingsDifferences(first, again, diff, sizeof diff) == 0);
    return 0;
}
