#include "tests/support/wire_frames.h"

#include <algorithm>
#include <cstdio>

namespace {

// `head`, then the init strings 'P'..'o' and the comment 'H'..'O', the order of both a load's reads
// and a save's writes.
std::string CodesAfter(const char* head)
{
    std::string codes = head;
    for (char c = 'P'; c <= 'o'; ++c)
        codes += c;
    for (char c = 'H'; c <= 'O'; ++c)
        codes += c;
    return codes;
}

constexpr const char* kReadHead = "?>0123456";

FrameList Cut(FrameList frames, size_t count)
{
    if (count < frames.size())
        frames.resize(count);
    return frames;
}

}  // namespace

std::string ReadFrame(unsigned char code)
{
    char line[8];
    snprintf(line, sizeof line, "R %02x", code);
    return line;
}

std::string WriteFrame(unsigned char code, unsigned char first, unsigned char second)
{
    char line[16];
    snprintf(line, sizeof line, "W %02x %02x %02x", code, first, second);
    return line;
}

std::string StrayFrame(unsigned char byte)
{
    char line[8];
    snprintf(line, sizeof line, "X %02x", byte);
    return line;
}

FrameList LoadFrames(size_t count)
{
    FrameList frames = {"OK", "OK"};
    for (char code : CodesAfter(kReadHead))
        frames.push_back(ReadFrame(static_cast<unsigned char>(code)));
    return Cut(frames, count);
}

FrameList SaveFrames(const RegisterImage& image, bool modelAndChannel, size_t count)
{
    FrameList frames = {"OK", "OK"};
    for (char c : CodesAfter(modelAndChannel ? "?012345>6" : "0123456")) {
        const auto entry = image.find(static_cast<unsigned char>(c));
        // A register missing from the image shows as NULs, which no save writes.
        const std::string pair = (entry == image.end() ? "" : entry->second) + std::string(2, '\0');
        const auto* bytes = reinterpret_cast<const unsigned char*>(pair.data());
        frames.push_back(WriteFrame(static_cast<unsigned char>(c), bytes[0], bytes[1]));
    }
    for (char code : CodesAfter(kReadHead))
        frames.push_back(ReadFrame(static_cast<unsigned char>(code)));
    return Cut(frames, count);
}

size_t CountFrames(const FrameList& frames, char kind)
{
    return static_cast<size_t>(std::count_if(
        frames.begin(), frames.end(), [kind](const std::string& f) { return !f.empty() && f[0] == kind; }));
}
