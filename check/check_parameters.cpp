// Findings about parameters and named sizes: a parameter's value outside its
// own bounds, bounds that contradict each other, and thread standards the
// build does not know.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "check/diagnostics.h"
#include "model/json_access.h"
#include "params/parameter_bounds.h"
#include "pipeline/thread_standards.h"

#include "check/shape_checker.h"

namespace velamanifold::shape {

void ShapeChecker::CheckParameterBounds(const json& object, const std::string& pointer) {
  const std::string name = Js(object, "vid", "");
  if (name.empty()) return;
  // Bounds are read as the build solves them: against the solved document.
  const ParameterBounds bounds = ReadParameterBounds(resolved_, object);
  if (bounds.min && bounds.max && *bounds.min > *bounds.max) {
    out_.Error(pointer + "/value/min", "parameter '" + name + "' has a minimum above its maximum");
    return;
  }
  if (Jobj(object, "value").contains("step") && !bounds.step) {
    out_.Warning(pointer + "/value/step", "the step of parameter '" + name +
                                              "' is not a number above 0: it is ignored");
  }
  if (!bounds.Any()) return;
  const std::string problem = BoundViolation(name, bounds, SolvedParameterValue(resolved_, object));
  if (!problem.empty()) {
    out_.Error(pointer + "/value/value",
               "the value of parameter '" + name + "' lies outside its own bounds: " + problem);
  }
}

void ShapeChecker::CheckThreadStandard(const json& resolved, const std::string& pointer) {
  const json& standard = Jobj(Jobj(resolved, "size"), "standard");
  if (!standard.is_string()) return;
  const std::string name = standard.get<std::string>();
  if (ThreadStandards().count(name)) return;
  // Listed from the thinnest up.
  std::vector<std::pair<double, std::string>> sizes;
  for (const auto& [key, size] : ThreadStandards()) sizes.emplace_back(size.diameter, key);
  std::sort(sizes.begin(), sizes.end());
  std::string known;
  for (const auto& [diameter, key] : sizes) known += (known.empty() ? "" : ", ") + key;
  out_.Error(pointer + "/size/standard",
             "unknown thread standard " + Quoted(name) +
                 ": the thread takes its own diameter and pitch (or their defaults) instead; "
                 "the standards are " + known);
}

}  // namespace velamanifold::shape
