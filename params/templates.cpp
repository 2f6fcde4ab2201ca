#include "params/templates.h"

namespace velamanifold {
void SolveAllObjects(nlohmann::json&) {}
nlohmann::json SolveExpression(const nlohmann::json&, const nlohmann::json& value) { return value; }
std::string NumberToJsonString(double d) { return std::to_string(d); }
}  // namespace velamanifold
