// Findings about placeholders: parameters that do not exist or whose value is a
// dropdown.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "import/base64_decode.h"
#include "import/stl_reader.h"
#include "params/dropdowns.h"
#include "params/math_parser.h"
#include "params/templates.h"
#include "check/diagnostics.h"
#include "model/json_access.h"
#include "model/limits.h"
#include "model/object_keys.h"

#include "check/shape_checker.h"

namespace velamanifold::shape {

// Every "=" text of the object (its "vid" excepted) whose placeholders name
// parameters the document does not have.
void ShapeChecker::CheckPlaceholders(const json& value, const std::string& pointer, bool topLevel) {
  if (value.is_object()) {
    for (auto it = value.begin(); it != value.end(); ++it) {
      if (topLevel && it.key() == "vid") continue;
      CheckPlaceholders(*it, pointer + "/" + PointerToken(it.key()), false);
    }
  } else if (value.is_array()) {
    for (size_t k = 0; k < value.size(); ++k) {
      CheckPlaceholders(value[k], pointer + "/" + std::to_string(k), false);
    }
  } else if (value.is_string() && !IsExpression(value)) {
    // Placeholders are filled in only in texts that begin with "=".
    for (const std::string& name : PlaceholderNames(value.get_ref<const std::string&>())) {
      if (!parameters_.count(name)) continue;
      out_.Warning(pointer, "placeholder {{" + name + "}} in " + Quoted(value.get<std::string>()) +
                                " is never filled in: only texts that begin with \"=\" are "
                                "solved; write " +
                                Quoted(std::string("=").append(value.get<std::string>())));
      break;
    }
  } else if (IsExpression(value)) {
    for (const std::string& name : PlaceholderNames(value.get_ref<const std::string&>())) {
      if (!parameters_.count(name)) {
        std::vector<std::string> known(parameters_.begin(), parameters_.end());
        out_.Error(pointer,
                   "placeholder {{" + name + "}} names no parameter" + DidYouMean(name, known));
      } else if (auto dropdown = dropdownParameters_.find(name);
                 dropdown != dropdownParameters_.end()) {
        out_.Warning(pointer,
                     "placeholder {{" + name +
                         "}} names a parameter whose value is the dropdown " +
                         Quoted(dropdown->second) +
                         ": expressions are solved before dropdowns, so it is solved only where "
                         "the caller first writes the chosen entry into the parameter (as the "
                         "configurator page does); built as it stands, the expression fails");
      }
    }
  }
}

// Returns the parameter names of the placeholders of an expression text.
std::vector<std::string> ShapeChecker::PlaceholderNames(const std::string& text) {
  std::vector<std::string> names;
  size_t open = text.find("{{");
  while (open != std::string::npos) {
    const size_t close = text.find("}}", open + 2);
    if (close == std::string::npos) break;
    const std::string inner = text.substr(open + 2, close - open - 2);
    if (!inner.empty() && inner.find('}') == std::string::npos) {
      names.push_back(inner.substr(0, inner.find('|')));
    }
    open = text.find("{{", close + 2);
  }
  return names;
}

bool ShapeChecker::NamesDropdownParameter(const std::string& expression) const {
  for (const std::string& name : PlaceholderNames(expression)) {
    if (dropdownParameters_.count(name)) return true;
  }
  return false;
}

}  // namespace velamanifold::shape
