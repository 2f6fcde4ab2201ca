#include "params/dropdowns.h"

namespace velamanifold {
void ResolveDropdowns(nlohmann::json&) {}
}  // namespace velamanifold
