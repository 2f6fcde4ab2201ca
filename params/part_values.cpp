#include "params/part_values.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "params/templates.h"

namespace velamanifold {

namespace {

using json = nlohmann::json;

// Reads an importance: whole numbers as they are, fractions truncated toward
// zero, booleans as 1 and 0. Values beyond the 64-bit range are clamped rather
// than wrapped, so a huge importance never ranks as a small or negative one.
// Other kinds raise the JSON library's type error.
int64_t ReadImportance(const json& value) {
  switch (value.type()) {
    case json::value_t::number_integer:
      return value.get<int64_t>();
    case json::value_t::number_unsigned: {
      auto v = value.get<uint64_t>();
      return v > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(v);
    }
    case json::value_t::number_float: {
      double d = std::trunc(value.get<double>());
      if (std::isnan(d)) return 0;
      if (d >= 9.2e18) return INT64_MAX;
      if (d <= -9.2e18) return INT64_MIN;
      return static_cast<int64_t>(d);
    }
    case json::value_t::boolean:
      return value.get<bool>() ? 1 : 0;
    default:
      return value.get<int>();  // throws the library's type error
  }
}

// Returns the importance of a parameter whose "info" is an object; a missing
// "isimportant" is 0.
int64_t Importance(const json& info) {
  auto it = info.find("isimportant");
  return it == info.end() ? 0 : ReadImportance(*it);
}

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

bool NeedsEquals(const std::string& text) {
  return Contains(text, "{{") && (text.empty() || text[0] != '=');
}

std::string SolvedText(const json& document, const std::string& expression) {
  json solved = SolveExpression(document, json(expression));
  return solved.is_string() ? solved.get<std::string>() : std::string();
}

// Resolves a part-value text: placeholders are looked up in the outer model
// first, and those it does not know in the included model.
std::string ResolvePartText(const std::string& text, const json& outer, const json& included) {
  std::string solved = SolvedText(outer, NeedsEquals(text) ? "= " + text : text);
  if (NeedsEquals(solved)) solved = SolvedText(included, "= " + solved);
  return Contains(solved, "{{") ? text : solved;
}

}  // namespace

void ApplyPartValues(json& included, const json& includingObject, const json& outer) {
  if (!included.is_object() || !includingObject.is_object()) return;
  auto objects = included.find("objects");
  if (objects == included.end() || !objects->is_array()) return;
  auto partValues = includingObject.find("partvalues");
  if (partValues == includingObject.end() || !partValues->is_array()) return;

  struct Ranked {
    int64_t importance;
    json* parameter;
  };
  std::vector<Ranked> ranked;
  for (auto& element : *objects) {
    if (!element.is_object()) continue;
    auto type = element.find("type");
    if (type == element.end() || !type->is_string() || *type != "parameter") continue;
    auto info = element.find("info");
    if (info == element.end() || !info->is_object()) continue;
    int64_t importance = Importance(*info);
    if (importance > 0) ranked.push_back({importance, &element});
  }
  std::stable_sort(ranked.begin(), ranked.end(),
                   [](const Ranked& a, const Ranked& b) { return a.importance > b.importance; });

  size_t count = std::min(ranked.size(), partValues->size());
  for (size_t n = 0; n < count; ++n) {
    json value = (*partValues)[n];
    if (value.is_null()) continue;
    if (value.is_string()) value = ResolvePartText(value.get<std::string>(), outer, included);
    json& parameter = *ranked[n].parameter;
    auto holder = parameter.find("value");
    if (holder == parameter.end()) {
      holder = parameter.emplace("value", json::object()).first;
    } else if (!holder->is_object()) {
      // A null "value" would silently become an object; it is as unusable as
      // any other non-object, so it fails the same way.
      throw json::type_error::create(
          305, std::string("cannot use operator[] with a string argument with ") +
                   holder->type_name(), &*holder);
    }
    (*holder)["value"] = std::move(value);
  }
}

}  // namespace velamanifold
