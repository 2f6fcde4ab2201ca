// Measurable facts about solids and regions, and small builders of model
// documents, shared by the unit tests.
#pragma once

#include <string>

#include <manifold/cross_section.h>
#include <manifold/manifold.h>
#include <nlohmann/json.hpp>

namespace velamanifold::testing {

// Returns true when every edge of the solid's mesh (vertices merged by
// position) is used exactly once in each direction.
bool IsClosed(const manifold::Manifold& solid);

// Returns true when the box's bounds match (lo, hi) within tol on every axis.
bool BoxNear(const manifold::Box& box, manifold::vec3 lo, manifold::vec3 hi, double tol = 1e-6);

// Returns a model document whose "objects" are the given records.
nlohmann::json Doc(const nlohmann::json& objects);

// Returns the solid of object `id` of the document, built by a fresh pipeline
// (segments 64 unless given, colours off).
manifold::Manifold BuildDoc(const nlohmann::json& document, const std::string& id,
                            int segments = 64);

// Returns the region of object `id` of the document, resolved by a fresh pipeline.
manifold::CrossSection ResolveDoc(const nlohmann::json& document, const std::string& id,
                                  int segments = 64);

}  // namespace velamanifold::testing
