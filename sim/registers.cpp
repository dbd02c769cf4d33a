#include "registers.h"

#include <cstdio>
#include <cstring>

namespace qsim {

namespace {

// The device's codes come in four runs; ascending order gives the index.
struct CodeRun {
    uint8_t first;
    uint8_t last;
};

constexpr CodeRun kRuns[] = {
    {0x30, 0x36},  // '0'..'6': start frame, end frame, baud and flags
    {0x3E, 0x3F},  // '>' channel, '?' model
    {0x48, 0x4F},  // 'H'..'O': comment block
    {0x50, 0x6F},  // 'P'..'o': init string block
};

constexpr int kBlockInitFirst = 0x50;
constexpr int kBlockCommentFirst = 0x48;
constexpr uint8_t kBel = 0x07;
constexpr uint8_t kCr = 0x0D;

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// One hex token of 1 or 2 digits; advances p past it.
bool TakeHexByte(const char*& p, uint8_t& value)
{
    while (*p == ' ' || *p == '\t')
        ++p;
    int hi = HexDigit(p[0]);
    if (hi < 0)
        return false;
    int lo = HexDigit(p[1]);
    if (lo < 0) {
        value = static_cast<uint8_t>(hi);
        p += 1;
    } else {
        value = static_cast<uint8_t>(hi * 16 + lo);
        p += 2;
    }
    return *p == '\0' || *p == ' ' || *p == '\t' || *p == '\r' || *p == '\n';
}

void SetPair(RegisterFile& regs, uint8_t code, uint8_t first, uint8_t second)
{
    int index = RegisterIndex(code);
    if (index < 0)
        return;
    regs.pair[index][0] = first;
    regs.pair[index][1] = second;
}

// Spreads a block of bytes over consecutive registers, two bytes each.
void SetBlock(RegisterFile& regs, int firstCode, const uint8_t* block, int size)
{
    for (int i = 0; i + 1 < size; i += 2) {
        SetPair(regs, static_cast<uint8_t>(firstCode + i / 2), block[i], block[i + 1]);
    }
}

}  // namespace

int RegisterIndex(uint8_t code)
{
    int base = 0;
    for (const CodeRun& run : kRuns) {
        if (code >= run.first && code <= run.last)
            return base + (code - run.first);
        base += run.last - run.first + 1;
    }
    return -1;
}

uint8_t RegisterCodeAt(int index)
{
    int base = 0;
    for (const CodeRun& run : kRuns) {
        int size = run.last - run.first + 1;
        if (index >= base && index < base + size)
            return static_cast<uint8_t>(run.first + (index - base));
        base += size;
    }
    return 0;
}

void PowerOnContents(RegisterFile& regs)
{
    std::memset(&regs, '0', sizeof regs);
    SetPair(regs, '?', '0', '5');  // model 5
    SetPair(regs, '>', '0', '1');  // channel 1
    // Frame numbers as five digits and a trailing '0': 1 -> 000010, 500 -> 005000.
    SetPair(regs, '0', '0', '0');
    SetPair(regs, '1', '0', '0');
    SetPair(regs, '2', '1', '0');
    SetPair(regs, '3', '0', '0');
    SetPair(regs, '4', '5', '0');
    SetPair(regs, '5', '0', '0');
    SetPair(regs, '6', '7', '<');  // '0' + baud code 7, '0' + flags 12

    uint8_t init[64];
    std::memset(init, kBel, sizeof init);
    std::memcpy(init, "0KL0DS", 6);
    init[6] = kCr;
    SetBlock(regs, kBlockInitFirst, init, sizeof init);

    uint8_t comment[16];
    std::memset(comment, kBel, sizeof comment);
    std::memcpy(comment, "QSIM", 4);
    SetBlock(regs, kBlockCommentFirst, comment, sizeof comment);
}

void FormatRegisterLine(const RegisterFile& regs, int index, char* out, int outSize)
{
    if (outSize <= 0)
        return;
    if (index < 0 || index >= kRegisterCount) {
        out[0] = '\0';
        return;
    }
    std::snprintf(out, static_cast<size_t>(outSize), "%02x %02x %02x", RegisterCodeAt(index),
                  regs.pair[index][0], regs.pair[index][1]);
}

bool ParseRegisterLine(const char* line, uint8_t& code, uint8_t& first, uint8_t& second)
{
    const char* p = line;
    uint8_t c = 0, a = 0, b = 0;
    if (!TakeHexByte(p, c) || !TakeHexByte(p, a) || !TakeHexByte(p, b))
        return false;
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')
        ++p;
    if (*p != '\0' || RegisterIndex(c) < 0)
        return false;
    code = c;
    first = a;
    second = b;
    return true;
}

bool LoadRegisterFile(const char* path, RegisterFile& regs)
{
    FILE* f = std::fopen(path, "r");
    if (!f)
        return false;
    char line[128];
    while (std::fgets(line, sizeof line, f)) {
        uint8_t code = 0, a = 0, b = 0;
        if (ParseRegisterLine(line, code, a, b))
            SetPair(regs, code, a, b);
    }
    std::fclose(f);
    return true;
}

bool SaveRegisterFile(const char* path, const RegisterFile& regs)
{
    char temp[4096];
    int n = std::snprintf(temp, sizeof temp, "%s.tmp", path);
    if (n < 0 || n >= static_cast<int>(sizeof temp))
        return false;
    FILE* f = std::fopen(temp, "w");
    if (!f)
        return false;
    bool ok = true;
    for (int i = 0; i < kRegisterCount; ++i) {
        char line[16];
        FormatRegisterLine(regs, i, line, sizeof line);
        if (std::fprintf(f, "%s\n", line) < 0)
            ok = false;
    }
    if (std::fclose(f) != 0)
        ok = false;
    if (!ok || std::rename(temp, path) != 0) {
        std::remove(temp);
        return false;
    }
    return true;
}

}  // namespace qsim
