#include "cli/base64.h"

#include <array>
#include <cstdint>

namespace velamanifold {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The two characters of every 12-bit value, so that three input bytes take
// two lookups instead of four.
constexpr std::array<char, 8192> MakePairs() {
  std::array<char, 8192> pairs{};
  for (int v = 0; v < 4096; ++v) {
    pairs[2 * v] = kAlphabet[v >> 6];
    pairs[2 * v + 1] = kAlphabet[v & 63];
  }
  return pairs;
}

constexpr std::array<char, 8192> kSextetPairs = MakePairs();

}  // namespace

void AppendBase64(std::string& out, const void* bytes, size_t length) {
  const auto* in = static_cast<const uint8_t*>(bytes);
  const size_t start = out.size();
  out.resize(start + (length + 2) / 3 * 4);
  char* o = out.data() + start;
  size_t i = 0;
  for (; i + 3 <= length; i += 3) {
    const uint32_t v = (uint32_t{in[i]} << 16) | (uint32_t{in[i + 1]} << 8) | in[i + 2];
    const char* hi = &kSextetPairs[2 * (v >> 12)];
    const char* lo = &kSextetPairs[2 * (v & 4095)];
    o[0] = hi[0];
    o[1] = hi[1];
    o[2] = lo[0];
    o[3] = lo[1];
    o += 4;
  }
  const size_t rest = length - i;
  if (rest > 0) {
    uint32_t v = uint32_t{in[i]} << 16;
    if (rest == 2) v |= uint32_t{in[i + 1]} << 8;
    o[0] = kAlphabet[v >> 18];
    o[1] = kAlphabet[(v >> 12) & 63];
    o[2] = rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    o[3] = '=';
  }
}

std::string Base64Encode(const void* bytes, size_t length) {
  std::string out;
  AppendBase64(out, bytes, length);
  return out;
}

}  // namespace velamanifold
