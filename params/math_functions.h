// The functions expressions may call: trigonometry in degrees, roots, rounding,
// min/max, pow and the conditional if(c, a, b).
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace velamanifold {

struct MathFunction {
  int minArgs;
  int maxArgs;        // -1: any number from minArgs up
  const char* arity;  // "1 argument", "2 arguments", "at least 1 argument"
  std::function<double(const std::vector<double>&)> apply;  // NaN where undefined
};

// Returns the function called `name`, or null when there is none.
const MathFunction* FindMathFunction(const std::string& name);

// Returns the names of every function, in alphabetical order.
std::vector<std::string> MathFunctionNames();

}  // namespace velamanifold
