#include "import/base64_decode.h"

#include <array>

namespace velamanifold {

namespace {

// The 6-bit value of every byte of the standard Base64 alphabet; -1 for the rest.
constexpr std::array<int8_t, 256> MakeSextets() {
  std::array<int8_t, 256> table{};
  for (int c = 0; c < 256; ++c) table[c] = -1;
  for (int c = 'A'; c <= 'Z'; ++c) table[c] = static_cast<int8_t>(c - 'A');
  for (int c = 'a'; c <= 'z'; ++c) table[c] = static_cast<int8_t>(c - 'a' + 26);
  for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<int8_t>(c - '0' + 52);
  table['+'] = 62;
  table['/'] = 63;
  return table;
}

constexpr std::array<int8_t, 256> kSextets = MakeSextets();

}  // namespace

std::vector<uint8_t> Base64Decode(const std::string& text) {
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() / 4 * 3 + 3);
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  uint32_t accumulator = 0;
  int pending = 0;
  for (size_t i = 0; i < n; ++i) {
    // Fast path: four alphabet bytes at a group boundary make three bytes.
    if (pending == 0 && i + 4 <= n) {
      const int a = kSextets[in[i]], b = kSextets[in[i + 1]], c = kSextets[in[i + 2]],
                d = kSextets[in[i + 3]];
      if ((a | b | c | d) >= 0) {
        const uint32_t v = (uint32_t(a) << 18) | (uint32_t(b) << 12) | (uint32_t(c) << 6) | d;
        bytes.push_back(static_cast<uint8_t>(v >> 16));
        bytes.push_back(static_cast<uint8_t>(v >> 8));
        bytes.push_back(static_cast<uint8_t>(v));
        i += 3;
        continue;
      }
    }
    const unsigned char ch = in[i];
    if (ch == '=') break;
    const int value = kSextets[ch];
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
