#include "tests/support/register_image.h"

#include <cstdio>

#include "tests/support/sim_control.h"

namespace {

std::string Formatted(const char* format, int value)
{
    char text[16];
    snprintf(text, sizeof text, format, value);
    return text;
}

// Puts `block` two bytes a register from `first` on.
void PutRun(RegisterImage& image, unsigned char first, const std::string& block)
{
    for (size_t i = 0; i + 1 < block.size(); i += 2)
        image[static_cast<unsigned char>(first + i / 2)] = block.substr(i, 2);
}

}  // namespace

DeviceFields PowerOnFields(int startFrame)
{
    return {5, 1, startFrame, 500, 7, true, {"0KL0DS", "", "", ""}, "QSIM"};
}

// The device's four rates by baud code; any other code shows as 9600, any other rate is code 7.
constexpr struct {
    int code;
    int rate;
    const char* text;
} kRates[] = {{0, 1200, "1200"}, {4, 2400, "2400"}, {6, 4800, "4800"}, {7, 9600, "9600"}};

const char* RateText(int baudCode)
{
    for (const auto& r : kRates) {
        if (r.code == baudCode)
            return r.text;
    }
    return "9600";
}

int BaudCodeOfRate(int rate)
{
    for (const auto& r : kRates) {
        if (r.rate == rate)
            return r.code;
    }
    return 7;
}

std::string InitBlock(const std::vector<std::string>& strings)
{
    std::string block;
    for (const std::string& text : strings) {
        if (!text.empty())
            block += text + '\r';
    }
    if (block.size() > 63) {
        block.resize(62);
        block += '\r';
    }
    block.resize(64, '\a');
    return block;
}

std::string CommentBlock(const std::string& text)
{
    std::string block = text + '\a';
    block.resize(16, '\a');
    return block;
}

RegisterImage EncodeImage(const DeviceFields& f)
{
    RegisterImage image;
    image['?'] = Formatted("%02d", f.model);
    image['>'] = Formatted("%02d", f.channel);
    // Each frame as five digits and a trailing '0' over three registers.
    PutRun(image, '0', Formatted("%05d0", f.startFrame));
    PutRun(image, '3', Formatted("%05d0", f.endFrame));
    image['6'] = {static_cast<char>('0' + f.baudCode), static_cast<char>('0' + (f.synchronize ? 12 : 4))};
    PutRun(image, 'P', InitBlock({f.init[0], f.init[1], f.init[2], f.init[3]}));
    PutRun(image, 'H', CommentBlock(f.comment));
    return image;
}

RegisterImage DeviceImage(int device)
{
    RegisterImage image;
    for (const std::string& line : SimCommandOn(device, "regs").lines) {
        unsigned code = 0, a = 0, b = 0;
        if (sscanf(line.c_str(), "%x %x %x", &code, &a, &b) == 3)
            image[static_cast<unsigned char>(code)] = std::string{static_cast<char>(a), static_cast<char>(b)};
    }
    return image;
}

bool SetRegisterRun(int device, unsigned char first, const std::string& bytes)
{
    if (bytes.size() % 2 != 0)
        return false;
    const auto* pairs = reinterpret_cast<const unsigned char*>(bytes.data());
    for (size_t i = 0; i < bytes.size(); i += 2) {
        if (!SimSetRegister(device, static_cast<unsigned char>(first + i / 2), pairs[i], pairs[i + 1]))
            return false;
    }
    return true;
}
