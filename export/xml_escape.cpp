#include "export/xml_escape.h"

namespace velamanifold {
std::string LocalXmlEscape(const std::string& text) { return text; }
}  // namespace velamanifold
