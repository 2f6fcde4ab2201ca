// The bounds a parameter's "value" record may set ("min", "max", "step",
// "choices", with a "unit" for messages): the build ignores them, the
// commands for people and the configurator refuse values outside them.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "params/parameter_values.h"

namespace velamanifold {

// A value set from outside that breaks its parameter's own bounds.
class ParameterBoundError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The bounds of one parameter, read from its solved "value" record.
struct ParameterBounds {
  std::optional<double> min;
  std::optional<double> max;
  std::optional<double> step;  // only a step above 0 counts
  std::vector<nlohmann::json> choices;
  std::string unit;

  bool Any() const { return min || max || step || !choices.empty(); }
};

// Returns the bounds of parameter object `parameter` of `document`, with
// expressions and dropdowns of its "value" record solved.
ParameterBounds ReadParameterBounds(const nlohmann::json& document, const nlohmann::json& parameter);

// Returns the current value of parameter object `parameter` of `document`,
// solved: a number when it reads as one, else its text.
nlohmann::json SolvedParameterValue(const nlohmann::json& document, const nlohmann::json& parameter);

// Returns "" when `value` keeps to `bounds`, else why not, naming the
// parameter and the bound: "hole must be at most 8 mm, not 30".
std::string BoundViolation(const std::string& name, const ParameterBounds& bounds,
                           const nlohmann::json& value);

// Throws ParameterBoundError for the first assigned parameter of the
// (unsolved) document whose value breaks its bounds.
void CheckAssignedBounds(const nlohmann::json& document,
                         const std::vector<ParameterAssignment>& assignments);

// Returns the parameter objects of the document (those of type "parameter"
// with a "vid"), the first of each name only, in document order, with their
// index among the objects.
std::vector<std::pair<size_t, const nlohmann::json*>> ParameterObjects(const nlohmann::json& document);

}  // namespace velamanifold
