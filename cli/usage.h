// The program's own usage: every request operation and command for people,
// one line each.
#pragma once

#include <string>

namespace velamanifold {

// Returns the usage text, ending in a line feed. Its first line is the usage
// line a missing operation has always printed.
std::string ProgramUsage();

// Returns true when `arg` asks for the program's usage ("--help", "-h", "help").
bool IsHelpArgument(const std::string& arg);

}  // namespace velamanifold
