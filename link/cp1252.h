#pragma once
// The device keeps single bytes in Windows code page 1252, as the window program shows them;
// settings files are UTF-8. These convert one character at a time. No input or output here.
#include <cstddef>
#include <cstdint>

// The Unicode character of a code page byte, or -1 for the five bytes the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D).
int32_t UnicodeOfCp1252(unsigned char byte);
// The code page byte of a Unicode character, or -1 when the code page lacks it.
int Cp1252OfUnicode(uint32_t character);

// Writes the UTF-8 form of a character (at most U+10FFFF) into out; returns its length, 1 to 4.
size_t PutUtf8(uint32_t character, char out[4]);
// Reads one UTF-8 character from p[0..n): its length (1 to 4) and *character, or 0 for bytes that
// are not UTF-8 (a stray continuation, an overlong form, a surrogate, a sequence cut short).
size_t ReadUtf8(const char* p, size_t n, uint32_t* character);
