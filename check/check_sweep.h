// Building a model at the bounds of its parameters.
#pragma once

#include <nlohmann/json.hpp>

#include "check/diagnostics.h"

namespace velamanifold {

// Records, at each parameter with bounds, every minimum, maximum or choice at
// which a visible object of the (unsolved) document fails, builds nothing,
// or splits into more shells than it has at the current values.
void CheckSweep(const nlohmann::json& document, int segments, Diagnostics& out);

}  // namespace velamanifold
