// Escaping of XML attribute text.
#pragma once

#include <string>

namespace velamanifold {

// Returns the text with & < > " ' escaped as entities and control bytes
// escaped or left out so that the result is valid XML 1.0 attribute text.
std::string LocalXmlEscape(const std::string& text);

}  // namespace velamanifold
