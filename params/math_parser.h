// The arithmetic evaluator: numbers, + - * /, parentheses and a sign on a number.
#pragma once

#include <string>

namespace velamanifold {

// Returns true and stores the value of `text` in `out` when it evaluates;
// returns false and leaves `out` untouched otherwise.
bool TryEvalMath(const std::string& text, double& out);

// Returns the value of `text`; throws std::runtime_error with the evaluator's
// message ("expected number at pos 3") when it does not evaluate; a text
// nested more than 200 parentheses deep fails the same way.
double EvalMath(const std::string& text);

}  // namespace velamanifold
