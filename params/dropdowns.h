// Dropdown fields: a text listing every choice with the chosen one marked.
#pragma once

#include <nlohmann/json.hpp>

namespace velamanifold {

// Replaces, at every depth, each object member holding a dropdown text
// ('|10|*20|30') by its chosen entry as a string ("20").
void ResolveDropdowns(nlohmann::json& value);

}  // namespace velamanifold
