#include "line_input.h"

namespace qsim {

void TakeLines(LineInput& input, const char* data, size_t n, size_t maxLength,
               std::vector<std::string>& lines)
{
    for (size_t i = 0; i < n; ++i) {
        char c = data[i];
        if (c == '\n') {
            lines.push_back(input.partial);
            input.partial.clear();
            input.overlong = false;
            continue;
        }
        if (input.partial.size() <= maxLength) {
            input.partial += c;
        } else {
            input.overlong = true;
        }
    }
}

}  // namespace qsim
