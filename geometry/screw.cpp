#include "geometry/screw.h"

namespace velamanifold {
int64_t MetricScrewRings(double, double, double, int) { return 0; }
manifold::Manifold MetricScrew(double, double, double, int) { return {}; }
}  // namespace velamanifold
