// The control commands, shared by the TCP control port and standard input.
#pragma once

#include <string>
#include <vector>

#include "simulator.h"

namespace qsim {

// Longest command line accepted; longer lines are refused whole.
constexpr size_t kMaxCommandLine = 16384;

// Runs one command line and appends its reply lines to out: zero or more data
// lines, then "ok" or "error TEXT". Returns true when the command was quit.
bool ExecuteCommand(Simulator& sim, const std::string& line, std::vector<std::string>& out);

}  // namespace qsim
