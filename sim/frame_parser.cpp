#include "frame_parser.h"

namespace qsim {

namespace {

constexpr uint8_t kCr = 0x0D;
constexpr uint8_t kLf = 0x0A;

// Length of the frame that a start byte opens; 0 when it opens none.
int FrameLength(uint8_t start)
{
    switch (start) {
        case 'R':
            return 3;
        case 'W':
            return 5;
        case 'O':
            return 4;
        default:
            return 0;
    }
}

// Whether byte b may stand at position pos (>= 1) of the frame begun by start.
bool FitsAt(uint8_t start, int pos, uint8_t b)
{
    if (start == 'O') {
        constexpr uint8_t kHandshake[4] = {'O', 'K', kCr, kLf};
        return b == kHandshake[pos];
    }
    // Register code and data bytes may be anything; the frame ends with CR.
    return pos < FrameLength(start) - 1 || b == kCr;
}

FrameItem MakeStray(uint8_t b)
{
    return FrameItem{ItemKind::Stray, 0, b, 0};
}

FrameItem MakeFrame(const uint8_t* held)
{
    switch (held[0]) {
        case 'R':
            return FrameItem{ItemKind::Read, held[1], 0, 0};
        case 'W':
            return FrameItem{ItemKind::Write, held[1], held[2], held[3]};
        default:
            return FrameItem{ItemKind::Handshake, 0, 0, 0};
    }
}

}  // namespace

void ResetParser(FrameParser& parser)
{
    parser.count = 0;
}

int FeedByte(FrameParser& parser, uint8_t byte, FrameItem out[kMaxItemsPerByte])
{
    // Bytes still to scan. Held bytes plus pending bytes never exceed 5: a
    // rescan moves held bytes back here after one of them has left as stray.
    uint8_t pending[6];
    int pendingCount = 0;
    pending[pendingCount++] = byte;
    int produced = 0;

    while (pendingCount > 0 && produced < kMaxItemsPerByte) {
        uint8_t b = pending[0];
        for (int i = 1; i < pendingCount; ++i)
            pending[i - 1] = pending[i];
        --pendingCount;

        if (parser.count == 0) {
            if (FrameLength(b) == 0) {
                out[produced++] = MakeStray(b);
            } else {
                parser.held[0] = b;
                parser.count = 1;
            }
            continue;
        }
        if (FitsAt(parser.held[0], parser.count, b)) {
            parser.held[parser.count++] = b;
            if (parser.count == FrameLength(parser.held[0])) {
                out[produced++] = MakeFrame(parser.held);
                parser.count = 0;
            }
            continue;
        }
        // Broken frame: its start byte is stray, everything after it is scanned again.
        out[produced++] = MakeStray(parser.held[0]);
        uint8_t rescan[6];
        int rescanCount = 0;
        for (int i = 1; i < parser.count; ++i)
            rescan[rescanCount++] = parser.held[i];
        rescan[rescanCount++] = b;
        for (int i = 0; i < pendingCount && rescanCount < 6; ++i)
            rescan[rescanCount++] = pending[i];
        for (int i = 0; i < rescanCount; ++i)
            pending[i] = rescan[i];
        pendingCount = rescanCount;
        parser.count = 0;
    }
    return produced;
}

}  // namespace qsim
