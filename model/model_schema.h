// The JSON Schema (draft 2020-12) of model documents, made from the table of
// object types and their members, for editors and validators.
#pragma once

#include <nlohmann/json.hpp>

namespace velamanifold {

// Returns the schema: one definition per object type with exactly the members
// it reads (any other member fails validation), numeric members accepting
// numbers, numeric texts, "=" expressions and dropdown texts.
nlohmann::json ModelSchema();

}  // namespace velamanifold
