#pragma once
// The frames the device received, as the simulator's "frames N" lists them: "OK" for a handshake
// text, "R 3f" for a read, "W 30 30 31" for a write, "X 61" for a byte that opens no frame.
#include <cstddef>
#include <string>
#include <vector>

#include "tests/support/register_image.h"

using FrameList = std::vector<std::string>;

constexpr size_t kWholeList = static_cast<size_t>(-1);
// A save without model and channel: the handshake twice and 47 writes before its reads.
constexpr size_t kSaveWriteFrames = 2 + 47;

std::string ReadFrame(unsigned char code);
std::string WriteFrame(unsigned char code, unsigned char first, unsigned char second);
std::string StrayFrame(unsigned char byte);

// A load: the handshake twice, then one read per register in the load's order ('?', '>', '0'..'6',
// the init strings 'P'..'o', the comment 'H'..'O'); only its first `count` frames.
FrameList LoadFrames(size_t count = kWholeList);

// A save of `image`: the handshake twice, the writes ('?' first and '>' after '5' only when model
// and channel are written), then the read-back in the load's order; only its first `count` frames.
FrameList SaveFrames(const RegisterImage& image, bool modelAndChannel, size_t count = kWholeList);

// How many frames of a kind ('R', 'W', 'O', 'X') the list holds.
size_t CountFrames(const FrameList& frames, char kind);
