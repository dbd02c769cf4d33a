#include "link/cp1252.h"

namespace {

// 0x80 to 0x9F; the rest of the code page is Latin-1 (the byte is the character). 0: undefined.
constexpr uint16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

}  // namespace

int32_t UnicodeOfCp1252(unsigned char byte)
{
    if (byte < 0x80 || byte >= 0xA0)
        return byte;
    const uint16_t character = kHighControls[byte - 0x80];
    return character != 0 ? character : -1;
}

int Cp1252OfUnicode(uint32_t character)
{
    if (character < 0x80 || (character >= 0xA0 && character <= 0xFF))
        return static_cast<int>(character);
    for (int i = 0; i < 32; ++i) {
        if (kHighControls[i] != 0 && kHighControls[i] == character)
            return 0x80 + i;
    }
    return -1;
}

size_t PutUtf8(uint32_t character, char out[4])
{
    if (character < 0x80) {
        out[0] = static_cast<char>(character);
        return 1;
    }
    if (character < 0x800) {
        out[0] = static_cast<char>(0xC0 | (character >> 6));
        out[1] = static_cast<char>(0x80 | (character & 0x3F));
        return 2;
    }
    if (character < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (character >> 12));
        out[1] = static_cast<char>(0x80 | ((character >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (character & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | ((character >> 18) & 0x07));
    out[1] = static_cast<char>(0x80 | ((character >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((character >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (character & 0x3F));
    return 4;
}

size_t ReadUtf8(const char* p, size_t n, uint32_t* character)
{
    if (n == 0)
        return 0;
    const unsigned char lead = static_cast<unsigned char>(p[0]);
    size_t length;
    uint32_t value, lowest;
    if (lead < 0x80) {
        *character = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1F, lowest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0F, lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07, lowest = 0x10000;
    } else {
        return 0;
    }
    if (n < length)
        return 0;
    for (size_t i = 1; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(p[i]);
        if ((c & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (c & 0x3F);
    }
    if (value < lowest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *character = value;
    return length;
}
