// Parameter values given from outside the model, such as on the command line.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace velamanifold {

// A parameter name and the text of its new value.
using ParameterAssignment = std::pair<std::string, std::string>;

// A name that no parameter object of the document carries.
class UnknownParameterError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A value whose kind does not fit its parameter: text, and no expression,
// for a parameter that holds a number.
class ParameterKindError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Returns the value a text stands for: a JSON number when the whole text
// reads as a finite decimal number ("40", "-2.5", "1e3"), the text otherwise.
nlohmann::json ParameterValueOf(const std::string& text);

// Sets, in the unsolved document, the value of the first parameter object
// named by each assignment, in order. Throws UnknownParameterError, listing
// the document's parameter names, for a name that none carries, and
// ParameterKindError for text that is no expression ("=...") given to a
// parameter holding a number or an expression.
void SetParameterValues(nlohmann::json& document,
                        const std::vector<ParameterAssignment>& assignments);

}  // namespace velamanifold
