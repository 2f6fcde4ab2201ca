// Metric screws with the ISO 60-degree thread profile.
#pragma once

#include <cstdint>

#include <manifold/manifold.h>

namespace velamanifold {

// Returns the number of helix rings MetricScrew builds for these sizes (0 when
// it builds none).
int64_t MetricScrewRings(double diameter, double length, double pitch, int segments);

// Returns a right-handed threaded rod standing on z = 0 along +Z, from z = 0 to
// length; empty for non-positive sizes, a plain cylinder when the minor
// diameter vanishes.
manifold::Manifold MetricScrew(double diameter, double length, double pitch, int segments);

}  // namespace velamanifold
