#include "params/part_values.h"

namespace velamanifold {
void ApplyPartValues(nlohmann::json&, const nlohmann::json&, const nlohmann::json&) {}
}  // namespace velamanifold
