// Part values: an including model's overrides of an included model's most
// important parameters.
#pragma once

#include <nlohmann/json.hpp>

namespace velamanifold {

// Writes the "partvalues" of `includingObject` into the "value"."value" of the
// ranked important parameters of `included`, resolving text against `outer`
// first and `included` second. Throws the JSON library's type errors for
// ill-typed "isimportant" or "value" members.
void ApplyPartValues(nlohmann::json& included, const nlohmann::json& includingObject,
                     const nlohmann::json& outer);

}  // namespace velamanifold
