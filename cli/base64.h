// Base64 encoding of mesh buffers.
#pragma once

#include <cstddef>
#include <string>

namespace velamanifold {

// Returns the standard Base64 text (RFC 4648 alphabet, "=" padding, no line
// breaks) of `length` bytes: exactly 4 * ceil(length / 3) characters.
std::string Base64Encode(const void* bytes, size_t length);

// Appends Base64Encode(bytes, length) to `out`, growing it once.
void AppendBase64(std::string& out, const void* bytes, size_t length);

}  // namespace velamanifold
