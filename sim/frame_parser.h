// Splits the bytes the program sends into the items the device acts on:
// the handshake text "OK" CR LF, read frames R c CR, write frames W c x y CR,
// and single bytes that belong to no frame.
#pragma once

#include <cstdint>

namespace qsim {

enum class ItemKind : uint8_t { Handshake, Read, Write, Stray };

struct FrameItem {
    ItemKind kind;
    uint8_t code;    // Read, Write
    uint8_t first;   // Write; the stray byte for Stray
    uint8_t second;  // Write
};

// A frame is at most 5 bytes; held keeps the part received so far.
struct FrameParser {
    uint8_t held[5];
    int count;
};

// Feeding one byte completes at most this many items.
constexpr int kMaxItemsPerByte = 5;

void ResetParser(FrameParser& parser);

// Takes one received byte and stores the items it completes in out, returning
// their number (0..kMaxItemsPerByte). A byte that does not fit the frame under
// way gives up that frame: its first byte becomes a stray item and the rest is
// scanned again, so a frame that starts inside a broken one is still found.
int FeedByte(FrameParser& parser, uint8_t byte, FrameItem out[kMaxItemsPerByte]);

}  // namespace qsim
