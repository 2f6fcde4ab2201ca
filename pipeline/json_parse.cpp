#include "pipeline/json_parse.h"

namespace velamanifold {

namespace {

// Returns the byte offset at which nesting first exceeds `limit`, or npos.
// Brackets inside strings do not count; malformed text is left to the parser.
size_t FindTooDeep(const std::string& text, int limit) {
  int depth = 0;
  bool inString = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (inString) {
      // Skip to the next quote or escape: strings may be megabytes long.
      i = text.find_first_of("\"\\", i);
      if (i == std::string::npos) break;
      if (text[i] == '\\') {
        ++i;
      } else {
        inString = false;
      }
      continue;
    }
    if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > limit) return i;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return std::string::npos;
}

}  // namespace

nlohmann::json ParseJson(const std::string& text) {
  size_t at = FindTooDeep(text, kMaxJsonDepth);
  if (at != std::string::npos) {
    throw nlohmann::json::parse_error::create(
        101, at + 1,
        "syntax error while parsing value - nesting deeper than " +
            std::to_string(kMaxJsonDepth) + " levels",
        nullptr);
  }
  return nlohmann::json::parse(text, nullptr, true, false);
}

}  // namespace velamanifold
