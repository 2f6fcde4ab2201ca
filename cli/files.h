// Reading and writing whole files for the commands for people.
#pragma once

#include <string>

namespace velamanifold {

// Returns the whole content of the file at `path` ("-": standard input).
// Throws std::runtime_error saying why it cannot be read.
std::string ReadWholeFile(const std::string& path);

// Writes `bytes` as the file at `path`, whole or not at all: they go to a
// temporary file beside it that is renamed over `path` once complete, and
// removed on failure. Throws std::runtime_error saying why it cannot be written.
void WriteWholeFile(const std::string& path, const std::string& bytes);

}  // namespace velamanifold
