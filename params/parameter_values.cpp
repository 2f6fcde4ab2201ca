#include "params/parameter_values.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace velamanifold {

namespace {

using nlohmann::json;

bool IsParameter(const json& element) {
  if (!element.is_object()) return false;
  auto type = element.find("type");
  return type != element.end() && type->is_string() && *type == "parameter";
}

std::string NameOf(const json& element) {
  auto vid = element.find("vid");
  return vid != element.end() && vid->is_string() ? vid->get<std::string>() : std::string();
}

// Returns "a, b, c": the names of the document's parameters in order, each once.
std::string ParameterList(const json& objects) {
  std::vector<std::string> names;
  for (const json& element : objects) {
    if (!IsParameter(element)) continue;
    std::string name = NameOf(element);
    if (name.empty() || std::find(names.begin(), names.end(), name) != names.end()) continue;
    names.push_back(std::move(name));
  }
  std::string list;
  for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
  return list;
}

bool IsExpression(const json& value) {
  return value.is_string() && !value.get_ref<const std::string&>().empty() &&
         value.get_ref<const std::string&>()[0] == '=';
}

// True when the parameter's current value is a number or an expression, which
// the model's placeholders read as a number.
bool HoldsNumber(const json& holder) {
  auto value = holder.find("value");
  if (value == holder.end()) return false;
  return value->is_number() || IsExpression(*value);
}

}  // namespace

json ParameterValueOf(const std::string& text) {
  double number = 0;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, number);
  if (text.empty() || error != std::errc() || stop != end || !std::isfinite(number)) return text;
  // Whole numbers stay integers, so the document reads as a person wrote it.
  if (number == std::trunc(number) && std::fabs(number) < 1e15) return static_cast<int64_t>(number);
  return number;
}

void SetParameterValues(json& document, const std::vector<ParameterAssignment>& assignments) {
  static const json kNoObjects = json::array();
  const json* objects = &kNoObjects;
  if (document.is_object()) {
    auto it = document.find("objects");
    if (it != document.end() && it->is_array()) objects = &*it;
  }
  for (const auto& [name, text] : assignments) {
    json* target = nullptr;
    if (objects != &kNoObjects) {
      for (json& element : document["objects"]) {
        if (IsParameter(element) && NameOf(element) == name) {
          target = &element;
          break;
        }
      }
    }
    if (!target) {
      const std::string list = ParameterList(*objects);
      throw UnknownParameterError("unknown parameter \"" + name + "\"; " +
                                  (list.empty() ? "the model has no parameters"
                                                : "the model's parameters are: " + list));
    }
    json& holder = (*target)["value"];
    if (!holder.is_object()) holder = json::object();
    json value = ParameterValueOf(text);
    // A parameter with bounds of its own is refused with its range instead,
    // when the bounds are checked.
    const bool bounded = holder.is_object() && (holder.contains("min") || holder.contains("max") ||
                                                holder.contains("step") || holder.contains("choices"));
    if (value.is_string() && !IsExpression(value) && HoldsNumber(holder) && !bounded) {
      throw ParameterKindError("parameter \"" + name + "\" holds a number; \"" + text +
                               "\" is neither a number nor an expression (=...)");
    }
    holder["value"] = std::move(value);
  }
}

}  // namespace velamanifold
