#include "cli/json_string.h"

#include <array>
#include <cstdint>

#include <nlohmann/json.hpp>

namespace velamanifold {

namespace {

// Returns true when `text` is well-formed UTF-8: no stray continuation bytes,
// no overlong forms, no surrogates, nothing beyond U+10FFFF.
bool IsUtf8(const std::string& text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const unsigned char c = *p;
    if (c < 0x80) {
      ++p;
      continue;
    }
    int length;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
      length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3;
      if (c == 0xE0) low = 0xA0;
      if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4;
      if (c == 0xF0) low = 0x90;
      if (c == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (end - p < length || p[1] < low || p[1] > high) return false;
    for (int k = 2; k < length; ++k) {
      if (p[k] < 0x80 || p[k] > 0xBF) return false;
    }
    p += length;
  }
  return true;
}

// The escape of every byte below 0x20 besides the short ones: \u00XX.
std::array<char, 6> ControlEscape(unsigned char c) {
  static constexpr char kHex[] = "0123456789abcdef";
  return {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
}

}  // namespace

void AppendJsonString(std::string& out, const std::string& text) {
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  // One counting pass the compiler can vectorise, then one writing pass into
  // exactly the room needed.
  size_t marked = 0, controls = 0;
  unsigned char any = 0;
  for (size_t i = 0; i < n; ++i) {
    marked += (in[i] == '"') | (in[i] == '\\');
    controls += in[i] < 0x20;
    any |= in[i];
  }
  if ((any & 0x80) && !IsUtf8(text)) {
    out += nlohmann::json(text).dump();  // throws the library's own message
    return;
  }
  const size_t start = out.size();
  out.resize(start + n + marked + 5 * controls + 2);
  char* p = out.data() + start;
  *p++ = '"';
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = in[i];
    if (c >= 0x20) {
      // Branch-free: the backslash is written always and kept when needed.
      *p = '\\';
      p += (c == '"') | (c == '\\');
      *p++ = static_cast<char>(c);
      continue;
    }
    *p++ = '\\';
    switch (c) {
      case '\b': *p++ = 'b'; break;
      case '\t': *p++ = 't'; break;
      case '\n': *p++ = 'n'; break;
      case '\f': *p++ = 'f'; break;
      case '\r': *p++ = 'r'; break;
      default: {
        std::array<char, 6> escape = ControlEscape(c);
        for (int k = 1; k < 6; ++k) *p++ = escape[k];
      }
    }
  }
  *p++ = '"';
  out.resize(static_cast<size_t>(p - out.data()));
}

}  // namespace velamanifold
