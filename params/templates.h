// Template expressions: values written as "=" and arithmetic over parameter
// placeholders ('={{width}}*2'), solved to plain text before a build.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace velamanifold {

// Solves every expression of every object of the document in place (the
// top-level "vid" members excepted). Never throws for unresolvable text.
void SolveAllObjects(nlohmann::json& document);

// Returns `value` with every expression string solved against the parameters
// of `document`; results of expressions are always strings.
nlohmann::json SolveExpression(const nlohmann::json& document, const nlohmann::json& value);

// Returns integral values below 1e15 in magnitude as integers, others with 15
// significant digits ("40", "1.5", "1e+15", "inf").
std::string NumberToJsonString(double d);

}  // namespace velamanifold
