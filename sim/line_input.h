// Cuts a byte stream (a control connection, standard input) into command lines.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qsim {

struct LineInput {
    std::string partial;
    bool overlong = false;  // the current line passed the limit; the rest is dropped
};

// Appends the complete lines in data to lines (without LF). A line longer than
// maxLength is kept as its first maxLength + 1 characters, so that the command
// parser sees it is too long without the buffer growing without end.
void TakeLines(LineInput& input, const char* data, size_t n, size_t maxLength,
               std::vector<std::string>& lines);

}  // namespace qsim
