#pragma once
// The device's 49 registers as the tests expect them, restated independent of the program's own
// encoder: what a save of given field values leaves in the device, and what the simulator reports
// it holds ("regs N"). Devices 1..4 are the simulator's.
#include <map>
#include <string>
#include <vector>

// Register code -> its two bytes.
using RegisterImage = std::map<unsigned char, std::string>;

// What the editor's fields hold, as a save writes them.
struct DeviceFields {
    int model;
    int channel;
    int startFrame;
    int endFrame;
    int baudCode;  // 0, 4, 6 or 7
    bool synchronize;
    std::string init[4];
    std::string comment;
};

// The simulator's power-on contents, with the given start frame.
DeviceFields PowerOnFields(int startFrame = 1);

// "1200", "2400", "4800" or "9600" for a baud code; the code of a rate (7 for any other).
const char* RateText(int baudCode);
int BaudCodeOfRate(int rate);

// The 64 bytes of 'P'..'o': each non-empty string and a CR, then BEL to the end; a packing above
// 63 bytes is cut with CR at byte 62 and BEL at byte 63.
std::string InitBlock(const std::vector<std::string>& strings);
// The 16 bytes of 'H'..'O': the text, a BEL, BEL to the end.
std::string CommentBlock(const std::string& text);

// All 49 registers as a save of `fields` leaves them, model and channel included.
RegisterImage EncodeImage(const DeviceFields& fields);

// What the device holds now, from the simulator's "regs"; empty when it does not answer.
RegisterImage DeviceImage(int device);

// Writes `bytes` two at a time into the registers from `first` on ('0' with six characters fills
// '0', '1' and '2'). False for an odd count or a register the simulator refused.
bool SetRegisterRun(int device, unsigned char first, const std::string& bytes);
