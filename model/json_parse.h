// Strict JSON parsing with a bound on nesting depth.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace velamanifold {

// Deepest nesting of arrays and objects a request or model document may have.
// Copying and printing a JSON value recurse per level, so deeper texts are
// refused before they are parsed.
inline constexpr int kMaxJsonDepth = 1000;

// Returns the parsed value of `text` (strict JSON, no comments). Throws
// nlohmann::json::parse_error for malformed text and for nesting deeper than
// kMaxJsonDepth.
nlohmann::json ParseJson(const std::string& text);

}  // namespace velamanifold
