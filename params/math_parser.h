// The expression evaluator: numbers, + - * / % ^, comparisons and && || ! (1 or
// 0), c ? a : b, pi and the functions of params/math_functions.h, parentheses.
#pragma once

#include <string>

namespace velamanifold {

// Returns true and stores the value of `text` in `out` when it evaluates;
// returns false and leaves `out` untouched otherwise.
bool TryEvalMath(const std::string& text, double& out);

// Returns the value of `text`; throws std::runtime_error with the evaluator's
// message ("expected number at pos 3", "sqrt(-1) is undefined at pos 0") when
// it does not evaluate; a text nested more than 200 levels deep fails the same way.
double EvalMath(const std::string& text);

// Returns whether c is a space, tab or line break: the blanks expressions may hold.
bool IsBlank(char c);

}  // namespace velamanifold
