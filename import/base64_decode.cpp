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
  // Sized for the whole text up front and written through a pointer: the
  // groups then decode without a capacity check per byte.
  std::vector<uint8_t> bytes(text.size() / 4 * 3 + 3);
  uint8_t* out = bytes.data();
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  uint32_t accumulator = 0;
  int pending = 0;
  for (size_t i = 0; i < n; ++i) {
    // Fast path: runs of four alphabet bytes at a group boundary make three bytes.
    if (pending == 0) {
      while (i + 4 <= n) {
        const int a = kSextets[in[i]], b = kSextets[in[i + 1]], c = kSextets[in[i + 2]],
                  d = kSextets[in[i + 3]];
        if ((a | b | c | d) < 0) break;
        const uint32_t v = (uint32_t(a) << 18) | (uint32_t(b) << 12) | (uint32_t(c) << 6) | d;
        out[0] = static_cast<uint8_t>(v >> 16);
        out[1] = static_cast<uint8_t>(v >> 8);
        out[2] = static_cast<uint8_t>(v);
        out += 3;
        i += 4;
      }
      if (i >= n) break;
    }
    const unsigned char ch = in[i];
    if (ch == '=') break;
    const int value = kSextets[ch];
    if (value < 0) continue;  // line breaks and other noise between groups
    accumulator = (accumulator << 6) | static_cast<uint32_t>(value);
    pending += 6;
    if (pending >= 8) {
      pending -= 8;
      *out++ = static_cast<uint8_t>(accumulator >> pending);
      accumulator &= (1u << pending) - 1;  // keep only the bits still pending
    }
  }
  bytes.resize(static_cast<size_t>(out - bytes.data()));
  return bytes;
}

}  // namespace velamanifold
