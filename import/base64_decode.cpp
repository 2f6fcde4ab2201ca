#include "import/base64_decode.h"

namespace velamanifold {

namespace {

// Returns the 6-bit value of a standard Base64 alphabet byte, or -1.
int SextetOf(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::vector<uint8_t> Base64Decode(const std::string& text) {
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() / 4 * 3 + 3);
  uint32_t accumulator = 0;
  int pending = 0;
  for (unsigned char c : text) {
    if (c == '=') break;
    int value = SextetOf(c);
    if (value < 0) continue;  // line breaks and other noise between groups
    accumulator = (accumulator << 6) | static_cast<uint32_t>(value);
    pending += 6;
    if (pending >= 8) {
      pending -= 8;
      bytes.push_back(static_cast<uint8_t>(accumulator >> pending));
      accumulator &= (1u << pending) - 1;  // keep only the bits still pending
    }
  }
  return bytes;
}

}  // namespace velamanifold
