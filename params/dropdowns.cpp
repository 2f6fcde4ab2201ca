#include "params/dropdowns.h"

#include <optional>
#include <string>

namespace velamanifold {

namespace {

// Returns the chosen entry of a dropdown text, or nothing when the text is not
// a dropdown or marks no entry.
std::optional<std::string> ChosenEntry(const std::string& text) {
  if (text.empty() || text[0] != '|' || text.find('*') == std::string::npos) return std::nullopt;
  size_t begin = 0;
  for (;;) {
    size_t end = text.find('|', begin);
    size_t stop = end == std::string::npos ? text.size() : end;
    if (stop > begin && text[begin] == '*') return text.substr(begin + 1, stop - begin - 1);
    if (end == std::string::npos) return std::nullopt;
    begin = end + 1;
  }
}

}  // namespace

void ResolveDropdowns(nlohmann::json& value) {
  if (value.is_object()) {
    for (auto& member : value) {
      if (member.is_string()) {
        if (auto chosen = ChosenEntry(member.get_ref<const std::string&>())) member = *chosen;
      } else {
        ResolveDropdowns(member);
      }
    }
  } else if (value.is_array()) {
    // Strings directly inside arrays are list data, not fields: left alone.
    for (auto& element : value) {
      if (!element.is_string()) ResolveDropdowns(element);
    }
  }
}

}  // namespace velamanifold
