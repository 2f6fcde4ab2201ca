// Escaping of XML attribute text.
#pragma once

#include <string>

namespace velamanifold {

// Returns the text with & < > " ' written as entities, tab, line feed and
// carriage return kept, and the other control bytes (below 0x20) left out:
// XML 1.0 allows them in no form, so keeping them would make readers refuse
// the whole document. All other bytes, UTF-8 sequences included, pass as they are.
std::string LocalXmlEscape(const std::string& text);

}  // namespace velamanifold
