#include "geometry/loft.h"

namespace velamanifold {
using manifold::CrossSection;
using manifold::Manifold;
Manifold Loft(const CrossSection&, const CrossSection&, double, double, double, double, int) {
  return {};
}
Manifold Lathe(const std::vector<CrossSection>&, const std::vector<CrossSection>&, int) {
  return {};
}
Manifold ExtrudeTwist(const CrossSection&, double, double, int, int) { return {}; }
}  // namespace velamanifold
