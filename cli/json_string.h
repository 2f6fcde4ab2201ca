// JSON string literals for answers too big for the JSON library's writer.
#pragma once

#include <string>

namespace velamanifold {

// Appends `text` to `out` as a quoted JSON string, byte for byte as the JSON
// library's compact dump writes it (UTF-8 kept as is, control bytes escaped).
// Throws the library's type_error for text that is not valid UTF-8.
void AppendJsonString(std::string& out, const std::string& text);

}  // namespace velamanifold
