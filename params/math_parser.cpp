#include "params/math_parser.h"

namespace velamanifold {
bool TryEvalMath(const std::string&, double&) { return false; }
double EvalMath(const std::string&) { return 0; }
}  // namespace velamanifold
