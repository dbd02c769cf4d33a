// The simulated synchronizer's register memory: 49 registers of two bytes.
// Restated here on purpose, apart from the program's own table, so that one
// wrong code cannot pass unnoticed on both ends of the line.
#pragma once

#include <cstdint>

namespace qsim {

constexpr int kRegisterCount = 49;

struct RegisterFile {
    uint8_t pair[kRegisterCount][2];
};

// Index 0..48 of a register code in ascending code order, or -1 when the
// device has no such register.
int RegisterIndex(uint8_t code);

// The code at an index 0..48 (ascending order).
uint8_t RegisterCodeAt(int index);

// What a fresh device holds: model 05, channel 01, start frame 1, end frame
// 500, baud code 7 with flags 12, init block "0KL0DS" CR then BEL, comment
// "QSIM" then BEL.
void PowerOnContents(RegisterFile& regs);

// One register as text "cc xx yy" (lower-case hex), as the control port and
// the memory file both write it. out must hold at least 9 bytes.
void FormatRegisterLine(const RegisterFile& regs, int index, char* out, int outSize);

// Reads "cc xx yy" (hex, 1-2 digits each, surrounding blanks allowed).
// Returns false for anything else, including an unknown code.
bool ParseRegisterLine(const char* line, uint8_t& code, uint8_t& first, uint8_t& second);

// The memory file: one FormatRegisterLine per register. Loading keeps the
// current contents of registers the file does not name and skips bad lines.
bool LoadRegisterFile(const char* path, RegisterFile& regs);
// Written to a temporary name and renamed, so a crash never leaves half a file.
bool SaveRegisterFile(const char* path, const RegisterFile& regs);

}  // namespace qsim
