#include "params/parameter_bounds.h"

#include <cmath>
#include <cstdlib>
#include <set>

#include "params/dropdowns.h"
#include "params/templates.h"

namespace velamanifold {

namespace {

using json = nlohmann::json;

// Returns the number `value` stands for when the whole of it reads as one.
std::optional<double> NumberOf(const json& value) {
  if (value.is_number()) return value.get<double>();
  if (value.is_boolean()) return value.get<bool>() ? 1 : 0;
  if (!value.is_string()) return std::nullopt;
  const std::string& text = value.get_ref<const std::string&>();
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const double d = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(d)) return std::nullopt;
  return d;
}

std::string Text(double d) { return NumberToJsonString(d); }

std::string Shown(const json& value) {
  if (auto n = NumberOf(value)) return Text(*n);
  if (!value.is_string()) return value.dump();
  std::string quoted = "\"";
  quoted += value.get_ref<const std::string&>();
  quoted += '"';
  return quoted;
}

// Returns the record solved as the build would see it.
json SolvedRecord(const json& document, const json& parameter) {
  auto holder = parameter.find("value");
  if (holder == parameter.end() || !holder->is_object()) return json::object();
  json solved = SolveExpression(document, *holder);
  ResolveDropdowns(solved);
  return solved;
}

}  // namespace

ParameterBounds ReadParameterBounds(const json& document, const json& parameter) {
  const json record = SolvedRecord(document, parameter);
  ParameterBounds bounds;
  auto number = [&](const char* key) -> std::optional<double> {
    auto it = record.find(key);
    return it == record.end() ? std::nullopt : NumberOf(*it);
  };
  bounds.min = number("min");
  bounds.max = number("max");
  bounds.step = number("step");
  if (bounds.step && !(*bounds.step > 0)) bounds.step.reset();
  auto choices = record.find("choices");
  if (choices != record.end() && choices->is_array()) {
    for (const json& choice : *choices) bounds.choices.push_back(choice);
  }
  auto unit = record.find("unit");
  if (unit != record.end() && unit->is_string()) bounds.unit = unit->get<std::string>();
  return bounds;
}

json SolvedParameterValue(const json& document, const json& parameter) {
  const json record = SolvedRecord(document, parameter);
  auto it = record.find("value");
  if (it == record.end()) return nullptr;
  if (auto n = NumberOf(*it)) return *n;
  return *it;
}

std::string BoundViolation(const std::string& name, const ParameterBounds& bounds,
                           const json& value) {
  const std::string unit = bounds.unit.empty() ? "" : " " + bounds.unit;
  const std::optional<double> number = NumberOf(value);
  if (!bounds.choices.empty()) {
    for (const json& choice : bounds.choices) {
      const std::optional<double> c = NumberOf(choice);
      if (number && c ? *number == *c : Shown(choice) == Shown(value)) return "";
    }
    std::string list;
    for (const json& choice : bounds.choices) list += (list.empty() ? "" : ", ") + Shown(choice);
    return name + " must be one of " + list + unit + ", not " + Shown(value);
  }
  if (!bounds.min && !bounds.max && !bounds.step) return "";
  if (!number) {
    std::string range = bounds.min && bounds.max
                            ? " from " + Text(*bounds.min) + " to " + Text(*bounds.max) + unit
                            : "";
    return name + " must be a number" + range + ", not " + Shown(value);
  }
  if (bounds.min && *number < *bounds.min) {
    return name + " must be at least " + Text(*bounds.min) + unit + ", not " + Text(*number);
  }
  if (bounds.max && *number > *bounds.max) {
    return name + " must be at most " + Text(*bounds.max) + unit + ", not " + Text(*number);
  }
  if (bounds.step) {
    const double base = bounds.min.value_or(0);
    const double steps = (*number - base) / *bounds.step;
    if (std::fabs(steps - std::round(steps)) > 1e-6) {
      return name + " must be " + Text(base) + " plus a whole number of steps of " +
             Text(*bounds.step) + unit + ", not " + Text(*number);
    }
  }
  return "";
}

std::vector<std::pair<size_t, const json*>> ParameterObjects(const json& document) {
  std::vector<std::pair<size_t, const json*>> out;
  if (!document.is_object()) return out;
  auto objects = document.find("objects");
  if (objects == document.end() || !objects->is_array()) return out;
  std::set<std::string> seen;
  for (size_t i = 0; i < objects->size(); ++i) {
    const json& element = (*objects)[i];
    if (!element.is_object()) continue;
    auto type = element.find("type");
    auto vid = element.find("vid");
    if (type == element.end() || *type != "parameter" || vid == element.end() ||
        !vid->is_string()) {
      continue;
    }
    if (!seen.insert(vid->get<std::string>()).second) continue;
    out.emplace_back(i, &element);
  }
  return out;
}

void CheckAssignedBounds(const json& document,
                         const std::vector<ParameterAssignment>& assignments) {
  for (const auto& [index, parameter] : ParameterObjects(document)) {
    const std::string name = (*parameter)["vid"].get<std::string>();
    bool assigned = false;
    for (const auto& assignment : assignments) assigned = assigned || assignment.first == name;
    if (!assigned) continue;
    const ParameterBounds bounds = ReadParameterBounds(document, *parameter);
    if (!bounds.Any()) continue;
    const std::string problem =
        BoundViolation(name, bounds, SolvedParameterValue(document, *parameter));
    if (!problem.empty()) throw ParameterBoundError(problem);
  }
}

}  // namespace velamanifold
