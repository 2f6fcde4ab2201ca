// Lenient Base64 decoding of attachment content.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velamanifold {

// Returns the bytes of standard Base64 text; bytes outside the alphabet are
// skipped, the first "=" ends the data, leftover bits are dropped.
std::vector<uint8_t> Base64Decode(const std::string& text);

}  // namespace velamanifold
